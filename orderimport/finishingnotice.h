#pragma once
// The photos an import window had started when it was closed during its run are finished after it has left
// the screen, and the run's reports to the web service answered: the window never waits for them. While any
// are and no other window of the program is on the screen, one small window says so and that the program
// ends by itself afterwards, so that the program neither freezes in the closing window nor runs on with no
// window at all (nor ends with a report under way). While another window stays (the order picker, the
// tool window), nothing is shown: the notice comes only when the last of them goes. It closes with the last
// hold, and the program then ends as it would have (when no other window is open). Both import windows
// take it the same way. GUI thread.

#include <QString>

#include <memory>

class QWidget;

namespace FinishingNotice {

// What a closed window still waits for.
enum class Stage {
    Photos, // photos under way, then the answer to their counts
    Answer, // only the web service's answer to the counts it was sent
};

// A closed window's hold on the notice; the notice goes once every hold has gone.
class Hold
{
public:
    ~Hold();
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
    // The photos are in, only the answer is awaited now (the notice's words follow).
    void setStage(Stage stage);
    Stage stage() const { return m_stage; }

private:
    friend std::shared_ptr<Hold> hold(const QWidget *, Stage);
    explicit Hold(Stage stage) : m_stage(stage) {}
    Stage m_stage;
};

// Holds the notice for the window closing, which is leaving the screen: shown at once when no other window
// of the program is on the screen, or else as soon as the last of them leaves it.
std::shared_ptr<Hold> hold(const QWidget *closing, Stage stage);
// The notice while it is shown, else nullptr.
QWidget *shown();
// The notice's words at each stage.
QString text(Stage stage);

} // namespace FinishingNotice
