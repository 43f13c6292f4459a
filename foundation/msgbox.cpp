#include "msgbox.h"

#include <QAbstractButton>
#include <QDebug>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMutex>
#include <QMutexLocker>
#include <QQueue>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVariant>

#include <utility>

namespace {
struct SeamState {
    QMutex mutex;
    bool testMode = false;
    QQueue<QVariant> answers; // StandardButton (int) or QString
    QList<MsgBox::Shown> shown;
    QQueue<QStringList> paths;
    QList<FileDialogs::Asked> asked;
    bool holdNext = false;
};

// A box open on the GUI thread: a real one, or a held one of the test mode (its event loop and answer).
struct OpenBox {
    QWidget *parent = nullptr;
    QMessageBox *box = nullptr;
    QEventLoop *loop = nullptr;
    QVariant *answer = nullptr;
    bool closed = false; // closed unanswered
};
QList<OpenBox *> &openBoxes() // GUI thread only
{
    static QList<OpenBox *> boxes;
    return boxes;
}

// Keeps a box in the list of open boxes while its call waits.
class OpenScope
{
public:
    explicit OpenScope(OpenBox *open) : m_open(open) { openBoxes().append(open); }
    ~OpenScope() { openBoxes().removeOne(m_open); }
    OpenScope(const OpenScope &) = delete;
    OpenScope &operator=(const OpenScope &) = delete;

private:
    OpenBox *m_open;
};
SeamState &state()
{
    static SeamState s;
    return s;
}

QVariant takeAnswer()
{
    QMutexLocker lock(&state().mutex);
    return state().answers.isEmpty() ? QVariant() : state().answers.dequeue();
}

// The test mode's answer: from the queue, or, when the box is to be held, what answerHeld() gives; *closed
// when closeOpen() closed it.
QVariant testAnswer(QWidget *parent, bool *closed)
{
    bool hold = false;
    {
        QMutexLocker lock(&state().mutex);
        std::swap(hold, state().holdNext);
    }
    *closed = false;
    if (!hold)
        return takeAnswer();
    QEventLoop loop;
    QVariant answer;
    OpenBox open{parent, nullptr, &loop, &answer};
    const OpenScope scope(&open);
    loop.exec();
    *closed = open.closed;
    return answer;
}

void record(const QString &title, const QString &text, const QStringList &buttons)
{
    QMutexLocker lock(&state().mutex);
    state().shown.append({title, text, buttons});
}

// A message box no taller than the screen it opens on: a text too long for it scrolls, and the buttons
// stay in view. (QMessageBox sizes itself to its whole text when it is shown.)
class ScreenFittingBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event); // sized to the text and placed
        if (fitToScreen())
            adjustPosition(parentWidget()); // placed again at its new size
    }
    bool event(QEvent *event) override
    {
        // QMessageBox sizes itself to its text again on a layout request; once fitted, the layout decides.
        if (m_fitted && event->type() == QEvent::LayoutRequest)
            return QDialog::event(event);
        return QMessageBox::event(event);
    }

private:
    // Puts the text into a scroll area when the box would be taller than the screen's free height; true
    // when it did.
    bool fitToScreen()
    {
        const QScreen *on = screen();
        if (!on)
            return false;
        // The window's frame, known once the system made the window; at least a title bar's height.
        const int frame = qMax(frameGeometry().height() - height(),
                               style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this)
                                   + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
        const QRect available = on->availableGeometry();
        const int room = available.height() - frame;
        auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        auto *grid = qobject_cast<QGridLayout *>(layout());
        const int index = label && grid ? grid->indexOf(label) : -1;
        if (height() <= room || index < 0)
            return false;
        int row = 0, column = 0, rows = 1, columns = 1;
        grid->getItemPosition(index, &row, &column, &rows, &columns);
        const int besideText = height() - label->height(); // margins, icon row, buttons
        const int textHeight = qMax(room - besideText, 3 * fontMetrics().lineSpacing());
        auto *scroll = new QScrollArea(this);
        scroll->setObjectName(QStringLiteral("msgbox_scroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        scroll->setWidgetResizable(true);
        // The box grows by the scroll bar's width as far as the screen's width allows (and is narrowed to it
        // when its text made it wider); the text wraps at what is left for it.
        const int frameSides = qMax(frameGeometry().width() - width(),
                                    2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
        const int wider = qMin(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll),
                               available.width() - frameSides - width());
        grid->removeWidget(label);
        label->setWordWrap(true);
        scroll->setFixedSize(label->width() + wider, textHeight);
        scroll->setWidget(label);
        grid->addWidget(scroll, row, column, rows, columns);
        scroll->show(); // now: the layout counts only widgets shown
        setFixedSize(width() + wider, besideText + textHeight);
        m_fitted = true;
        return true;
    }

    bool m_fitted = false;
};
} // namespace

QMessageBox::StandardButton MsgBox::information(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton)
{
    if (testMode()) {
        record(title, text, {});
        bool closed = false;
        const QVariant answer = testAnswer(parent, &closed);
        if (closed)
            return QMessageBox::NoButton;
        if (answer.type() == QVariant::Int)
            return static_cast<QMessageBox::StandardButton>(answer.toInt());
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        // the first button the box offers
        for (int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1)
            if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(b)))
                return static_cast<QMessageBox::StandardButton>(b);
        return QMessageBox::NoButton;
    }
    ScreenFittingBox box(QMessageBox::Information, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    OpenBox open{parent, &box};
    const OpenScope scope(&open);
    if (box.exec() == -1 || open.closed)
        return QMessageBox::NoButton;
    return box.standardButton(box.clickedButton());
}

QMessageBox::StandardButton MsgBox::question(QWidget *parent, const QString &title, const QString &text,
                                             QMessageBox::StandardButton defaultButton)
{
    return information(parent, title, text, QMessageBox::Yes | QMessageBox::No, defaultButton);
}

QString MsgBox::choose(QWidget *parent, const QString &title, const QString &text,
                       const QList<QPair<QString, QMessageBox::ButtonRole>> &buttons)
{
    QStringList texts;
    for (const auto &b : buttons)
        texts << b.first;
    if (testMode()) {
        record(title, text, texts);
        bool closed = false;
        const QVariant answer = testAnswer(parent, &closed);
        if (closed)
            return QString();
        if (answer.type() == QVariant::String)
            return answer.toString();
        return texts.value(0);
    }
    ScreenFittingBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, parent);
    for (const auto &b : buttons)
        box.addButton(b.first, b.second);
    OpenBox open{parent, &box};
    const OpenScope scope(&open);
    box.exec();
    return box.clickedButton() && !open.closed ? box.clickedButton()->text() : QString();
}

void MsgBox::closeOpen(QWidget *parent)
{
    for (OpenBox *open : qAsConst(openBoxes())) {
        if (open->parent != parent || open->closed)
            continue;
        open->closed = true;
        if (open->box)
            open->box->done(-1);
        if (open->loop)
            open->loop->quit();
    }
}

void MsgBox::setTestMode(bool on)
{
    QMutexLocker lock(&state().mutex);
    state().testMode = on;
}

bool MsgBox::testMode()
{
    QMutexLocker lock(&state().mutex);
    return state().testMode;
}

void MsgBox::holdNext()
{
    QMutexLocker lock(&state().mutex);
    state().holdNext = true;
}

bool MsgBox::held()
{
    for (const OpenBox *open : qAsConst(openBoxes()))
        if (open->loop && !open->closed && !open->answer->isValid())
            return true;
    return false;
}

void MsgBox::answerHeld(QMessageBox::StandardButton button)
{
    for (OpenBox *open : qAsConst(openBoxes())) {
        if (open->loop && !open->closed && !open->answer->isValid()) {
            *open->answer = int(button);
            open->loop->quit();
        }
    }
}

void MsgBox::setNextAnswer(QMessageBox::StandardButton button)
{
    QMutexLocker lock(&state().mutex);
    state().answers.enqueue(QVariant(int(button)));
}

void MsgBox::setNextAnswer(const QString &buttonText)
{
    QMutexLocker lock(&state().mutex);
    state().answers.enqueue(QVariant(buttonText));
}

QList<MsgBox::Shown> MsgBox::shown()
{
    QMutexLocker lock(&state().mutex);
    return state().shown;
}

MsgBox::Shown MsgBox::lastShown()
{
    QMutexLocker lock(&state().mutex);
    return state().shown.isEmpty() ? Shown() : state().shown.last();
}

void MsgBox::clearShown()
{
    QMutexLocker lock(&state().mutex);
    state().shown.clear();
    state().answers.clear();
    state().holdNext = false;
}

// ---------------------------------------------------------------------------

namespace {
QStringList answerPaths(const QString &kind, const QString &caption, const QString &dir, const QString &filter)
{
    QMutexLocker lock(&state().mutex);
    state().asked.append({kind, caption, dir, filter});
    return state().paths.isEmpty() ? QStringList() : state().paths.dequeue();
}
} // namespace

QStringList FileDialogs::getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                          const QString &filter)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("openMany"), caption, dir, filter);
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString FileDialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("open"), caption, dir, filter).value(0);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString FileDialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("dir"), caption, dir, QString()).value(0);
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString FileDialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("save"), caption, dir, filter).value(0);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

void FileDialogs::queueAnswer(const QStringList &paths)
{
    QMutexLocker lock(&state().mutex);
    state().paths.enqueue(paths);
}

void FileDialogs::queueAnswer(const QString &path)
{
    queueAnswer(path.isEmpty() ? QStringList() : QStringList{path});
}

QList<FileDialogs::Asked> FileDialogs::asked()
{
    QMutexLocker lock(&state().mutex);
    return state().asked;
}

void FileDialogs::clearAsked()
{
    QMutexLocker lock(&state().mutex);
    state().asked.clear();
    state().paths.clear();
}
