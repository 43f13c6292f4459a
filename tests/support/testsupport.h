#pragma once
// Shared helpers of the test programs.

#include <QApplication>
#include <QByteArray>
#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace testsupport {

// The test program's own temporary folder, made in the temporary folder the program was given and made the
// temporary folder of the program and of every program it starts (TMPDIR; TMP and TEMP on Windows), so that
// whatever a child program leaves when a test kills it (its own temporary folders, the photo it was writing)
// goes with this program's end, and so does what Qt makes there (the runtime folder where XDG_RUNTIME_DIR is
// not set). A child program makes its own inside its parent's. Where none can be made (a child running as
// another user, given a folder it may not write in), the temporary folder stays as it was given. Made before
// the application object, which already writes into the temporary folder.
class OwnTemporaryFolder
{
public:
    explicit OwnTemporaryFolder(const char *program);
    OwnTemporaryFolder(const OwnTemporaryFolder &) = delete;
    OwnTemporaryFolder &operator=(const OwnTemporaryFolder &) = delete;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

// Puts the message-box and file-dialog seam into test mode and the program's state to its start.
void prepare();

// A JPEG of the given size (a gradient with a red corner at the top left, so a turn can be seen)
// carrying an EXIF orientation tag in Intel ("II") or Motorola ("MM") byte order;
// orientation 0 writes no EXIF block at all. A shot time ("yyyy:MM:dd hh:mm:ss") adds the DateTime tag
// (and the EXIF block, whatever the orientation).
QByteArray jpegWithOrientation(const QSize &size, int orientation, bool motorola = false,
                               const QColor &base = QColor(40, 120, 200), const QString &shotTime = QString());
bool writeJpeg(const QString &path, const QSize &size, int orientation = 0, bool motorola = false,
               const QColor &base = QColor(40, 120, 200), const QString &shotTime = QString());

// A temporary folder holding a photo root and a backup root, each ending in "/".
class TempRoots
{
public:
    TempRoots();
    bool isValid() const { return m_dir.isValid(); }
    QString base() const;    // the folder itself, ending in "/"
    QString picRoot() const; // base + "pic/"
    QString bakRoot() const; // base + "bak/"
    QString path(const QString &relative) const { return base() + relative; }

private:
    QTemporaryDir m_dir;
};

#ifdef Q_OS_WIN
// The root of a drive letter this machine has no drive for ("Z:/", or the next free letter below it).
QString missingDriveRoot();
#endif

// The child widget of w with the object name (asserted to be there), as the window's code takes it.
template <typename T = QWidget>
T *child(QWidget *w, const char *name)
{
    T *found = w->findChild<T *>(QString::fromLatin1(name));
    Q_ASSERT(found);
    return found;
}

// Clicks a cell of row in w's "tableView", scrolled into view first.
inline void clickRow(QWidget *w, int row, int column = 3)
{
    auto *view = child<QTableView>(w, "tableView");
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

// Types the user and the password into a login window, sets its "remember" box and presses "登录".
inline void logIn(QWidget *login, const QString &user, const QString &password, bool remember = false)
{
    child<QLineEdit>(login, "le_username")->setText(user);
    child<QLineEdit>(login, "le_password")->setText(password);
    child<QCheckBox>(login, "cb_remember")->setChecked(remember);
    child<QPushButton>(login, "pb_login")->click();
}

// How long a test waits for what it expects: a run's end, a reply handled, a window or a box shown. A wait
// ends on its event, so this bound only ends a test that is stuck; it is generous enough that a machine
// running two suites at once under the sanitizers never reaches it.
constexpr int kWaitMs = 120000;

// Waits (spinning the event loop) until pred() is true or the time is up; returns pred().
template <typename Pred>
bool waitFor(Pred pred, int timeoutMs = kWaitMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qSleep(5);
    }
    return true;
}

// The top-level widgets of type T, and of that class name exactly when one is given.
template <typename T = QWidget>
QList<T *> topLevels(const char *className = nullptr)
{
    QList<T *> out;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *t = qobject_cast<T *>(w))
            if (!className || qstrcmp(w->metaObject()->className(), className) == 0)
                out << t;
    }
    return out;
}

// Waits until a visible top-level window of type T (and class name) is open; the last one Qt lists, or
// null when none came.
template <typename T = QWidget>
T *waitForWindow(const char *className = nullptr, int timeoutMs = kWaitMs)
{
    T *found = nullptr;
    waitFor(
        [&] {
            for (T *t : topLevels<T>(className))
                if (t->isVisible())
                    found = t;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

// Runs the program's event loop until the program ends it (QCoreApplication::exec) and returns its exit code;
// 1 when it has not ended within timeoutMs. That bound ends this loop only: it is gone with the call, so it
// never ends a later test's event loop, however long that one comes after.
int execUntilProgramEnds(int timeoutMs = kWaitMs);

#ifdef Q_OS_UNIX
// A folder of which every folder from the root down lets others pass (a user's private temporary folder
// does not): the temporary folder, or else one of the system's shared ones; empty when none does. Where a
// child running as another user finds what a test made for it.
QString reachableByOthers();
#endif

// The last message box as "title|text" ("" when none was shown).
QString lastBox();
// Waits (spinning the event loop) until at least count message boxes have been shown.
bool waitForBoxes(int count = 1, int timeoutMs = kWaitMs);

// The program's log lines (of one category, or all) while the object lives; every line still goes on to
// the handler that was there before.
class LogCapture
{
public:
    explicit LogCapture(const char *category = nullptr);
    ~LogCapture();
    QStringList lines() const;
    // The lines above debug level (info, warnings and worse).
    QStringList warnings() const;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    const char *m_category;
    QStringList m_lines;
    QStringList m_warnings;
    QtMessageHandler m_next = nullptr;
};

} // namespace testsupport

// A QtTest main for GUI tests: a temporary folder of its own, a QApplication, the seams in test mode, then the
// test object.
#define TESSALY_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                                   \
        testsupport::OwnTemporaryFolder temporary(argv[0]);                                                            \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        testsupport::prepare();                                                                                        \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
