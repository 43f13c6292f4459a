#pragma once
// The photos an import window had started when it was closed during its run are finished after it has left
// the screen, and the run's reports to the web service answered: the window never waits for them. While any
// are, one small window says so ("正在完成已开始的照片…"), so that the program neither freezes in the closing
// window nor runs on with no window at all (nor ends with a report under way); it closes with the last of
// them, and the program then ends as it would have (when no other window is open). Both import windows take
// it the same way. GUI thread.

#include <memory>

class QWidget;

namespace FinishingNotice {

// Shows the notice until the handle returned, and every other one, has gone.
std::shared_ptr<void> hold();
// The notice while it is shown, else nullptr.
QWidget *shown();

} // namespace FinishingNotice
