#pragma once
// The batch import's type: which kind of material an import run copies. The value is the id of the
// type's radio button in the import dialog and is handed to every import thread; it also indexes the
// per-type members of ImportOrderModel.

enum ImportTypeEnum {
    ImportOriginPhotos = 0,   // photos as shot
    ImportFinishedPhotos = 1, // finished / retouched photos (the default type)
    ImportDesigns = 2,        // designs
    ImportTrialVideos = 3,    // trial-shoot videos
    ImportRetouchVideos = 4,  // retouched videos
    ImportDovraCopy = 5       // copy for the Dovra system
};
