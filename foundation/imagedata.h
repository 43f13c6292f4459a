#pragma once
// The image store of the order under review: one record per photo (Image), the program-wide store of
// the current order's photo lists (ImageData), the folder settings derived from the order's root
// (ImagePath), the crop information of the current order (g_imageList) and the working output folder of
// the order being separated (g_separateWorkDir).

#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QRect>
#include <QString>

// Kind of a photo of an order.
enum PHOTOTYPE {
    PHOTOTYPE_PHOTO = 0, // 照片: as shot
    PHOTOTYPE_FINE = 1,  // 成品: finished
    PHOTOTYPE_DEL = 2    // 汰片: rejected
};

// One photo of an order. A default record has empty texts, a rectangle of all zeros and no mark.
class Image
{
public:
    Image() = default;
    Image(PHOTOTYPE type, const QString &fileName) : m_type(type), m_fileName(fileName) {}

    PHOTOTYPE getType() const { return m_type; }
    void setType(PHOTOTYPE type) { m_type = type; }

    // The photo's file name (no folder): the name of its file in the order's folders, the name its
    // work-sheet thumbnail is saved under, and the key that matches it to its crop information.
    QString getFileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    // The same file name under its older accessor name, which the work-sheet builders use.
    QString getDescr() const { return m_fileName; }

    // The crop information's free text for the photo (shown under its thumbnail on a work sheet).
    QString getDescription() const { return m_description; }
    void setDescription(const QString &text) { m_description = text; }

    // The marked area in the photo's own pixels; mark true draws it as an ellipse, false as a rectangle.
    QRect getRect() const { return m_rect; }
    bool isMark() const { return m_mark; }
    void setRect(const QRect &rect, bool mark)
    {
        m_rect = rect;
        m_mark = mark;
    }

private:
    PHOTOTYPE m_type = PHOTOTYPE_PHOTO;
    QString m_fileName;
    QString m_description;
    QRect m_rect = QRect(0, 0, 0, 0);
    bool m_mark = false;
};
Q_DECLARE_METATYPE(Image)

// Crop information of the current order: one entry per crop entry of the web service's photo
// information. Filled by the separation's photo-information job, read by ImageData::importImage.
extern QList<Image> g_imageList;

// The working output folder of the order being separated (ends in "/"). Written by the separation
// windows before they start the jobs that read it.
extern QString g_separateWorkDir;

// Folder settings of the order under review. Everything is static; set from one thread at a time, but
// guarded so that a reader on another thread never sees a half-written text.
class ImagePath
{
public:
    // The order's root folder on the storage (ends in "/"); the sub-folders below derive from it.
    static void setOrderPath(const QString &root);
    static QString getOrderPath();
    static QString getPhotoPath();     // root + "照片/"
    static QString getFinePath();      // root + "成品/"
    static QString getFineThumbPath(); // root + "成品缩略图/"
    static QString getDelPath();       // root + "汰片/"
    static QString getMarksPath();     // root + "marks/"

    // The folder the work-sheet thumbnails are saved in (ends in "/"); "" until the thumbnail job ran.
    static void setSheetThumbPath(const QString &path);
    static QString getSheetThumbPath();

    // The output folder of the order being separated; assigned by the work-sheet thumbnail job.
    static QString orderOutPath;

private:
    static QMutex s_mutex;
    static QString s_orderPath;
    static QString s_sheetThumbPath;
};

// The one program-wide store of the current order's photos.
class ImageData
{
public:
    static ImageData *getInstance();

    // Empties the three lists, then fills the finished list with one Image of kind 1 per "*.jpg" file
    // (any letter case) of the order root's "成品/" folder, in name order without regard to case. A name
    // ending in ".JPG" is recorded ending in ".jpg". Each takes description, rectangle and mark from the
    // last g_imageList entry with the same file name (exact case). type becomes the store's current kind.
    void importImage(PHOTOTYPE type);

    QList<Image> *getPhotoList() { return &m_photoList; }
    QList<Image> *getFineList() { return &m_fineList; }
    QList<Image> *getDelList() { return &m_delList; }
    PHOTOTYPE currentType() const { return m_type; }

private:
    ImageData() = default;
    ImageData(const ImageData &) = delete;
    ImageData &operator=(const ImageData &) = delete;

    QList<Image> m_photoList;
    QList<Image> m_fineList;
    QList<Image> m_delList;
    PHOTOTYPE m_type = PHOTOTYPE_PHOTO;
};
