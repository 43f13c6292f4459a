#pragma once
// What an order window shares with the pool jobs it starts, and the one separation run of the program.
//
// WindowGuard outlives its window: every job holds it, so a job never needs the window itself. While
// the window is open the guard posts a job's report to it (a queued call of one of its slots, by name);
// once the window has closed, a job that starts does nothing and no report reaches the window. The
// guard also keeps the window's jobs that wait in the global pool, so the window can drop exactly
// those and no other window's, and the copies that failed in the window's current run.
//
// SeparationRun is the program-wide token of a separation run: the separation windows take it for the
// length of a run, so that one run goes at a time. A run keeps its order, folders and lists to itself and
// hands its jobs their paths by value; the jobs of a window that closed make nothing more (a copy under
// way finishes, onto a name of its own order), so nothing of a closed run reaches another order's run. A
// copy names the order folder it writes into (startJob with a folder): a later run of the same order asks
// othersWriteInto() and starts its product stage only once the closed window's copies have landed.

#include <QMetaType>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QObject;
class QRunnable;

class WindowGuard : public std::enable_shared_from_this<WindowGuard>
{
public:
    // A guard for receiver, open. Made on the receiver's (GUI) thread.
    static std::shared_ptr<WindowGuard> create(QObject *receiver);
    ~WindowGuard();

    WindowGuard(const WindowGuard &) = delete;
    WindowGuard &operator=(const WindowGuard &) = delete;

    // True until close(). Any thread.
    bool isWindowShow() const { return m_shown.load(); }
    // Closes the guard and drops the window's jobs that have not started. From then on no job works and
    // no report is delivered. GUI thread; called when the window closes and again when it goes.
    void close();

    // Posts a queued call of the receiver's slot (by name, with these arguments) if the window is open.
    // The test and the post happen under the guard's lock, and the call is made on the GUI thread only
    // if the window is still open then. Returns whether the call was posted. Any thread.
    template <typename... T>
    bool report(const char *slot, const T &...values)
    {
        return post([slot, values...](QObject *receiver) {
            invokeSlot(receiver, slot, QArgument<T>(QMetaType::typeName(qMetaTypeId<T>()), values)...);
        });
    }

    // Starts a job on the global pool as one of the window's jobs (the job is owned by the pool or, once
    // dropped, by the guard). A job that starts after the window closed does not run. A job given a folder
    // writes into it (the order folder a separation copies into): from now until it has ended, or has been
    // dropped unstarted, othersWriteInto(folder) of any other guard is true.
    void startJob(QRunnable *job, int priority = 0, const QString &folder = QString());
    void startJob(std::function<void()> work, int priority = 0, const QString &folder = QString());
    // True while a job that another guard started into folder is queued or running (the same folder,
    // however its separators are doubled). Any thread.
    bool othersWriteInto(const QString &folder) const;
    // True while a job this guard started into folder is queued or running. Any thread.
    bool writesInto(const QString &folder) const;
    // The jobs of any guard into folder queued or running now; *ended gets how many into it have ended
    // (or were dropped) since the program started, which grows while they make progress, and *running
    // (when given) how many of them run now. Any thread.
    static int jobsInto(const QString &folder, quint64 *ended, int *running = nullptr);
    // Drops the window's jobs that are still queued, never another window's or one that has started.
    // Returns how many were dropped.
    int dropQueuedJobs();
    // The window's jobs still queued; the window's jobs started and not finished.
    int queuedJobs() const;
    int runningJobs() const;

    // Copies (or other files) that failed in the window's current run, in the order they failed.
    void addFailure(const QString &text);
    QStringList takeFailures();
    // Photos copied in the current run that cannot be read as pictures (empty, cut off), by name.
    void addUnreadable(const QString &name);
    QStringList takeUnreadable();

private:
    class Job;
    explicit WindowGuard(QObject *receiver);

    bool post(std::function<void(QObject *)> call);
    // Whether a job of this guard (own) or of another one writes into folder.
    bool writerInto(const QString &folder, bool own) const;
    static void invokeSlot(QObject *receiver, const char *slot, QGenericArgument a1 = QGenericArgument(),
                           QGenericArgument a2 = QGenericArgument());
    // Lists the wrapped job as queued and hands it to the global pool.
    void enqueue(QRunnable *job, int priority);
    // A queued job begins: leaves the queue list; true when it may work.
    bool jobStarting(QRunnable *job);
    void jobEnded();

    mutable QMutex m_mutex;
    std::atomic<bool> m_shown{true};
    QPointer<QObject> m_receiver; // read on the GUI thread only
    QSet<QRunnable *> m_queued;
    int m_running = 0;
    QStringList m_failures;
    QStringList m_unreadable;
};

// The program-wide separation run token. GUI thread.
namespace SeparationRun {
// Takes the token for owner; true when owner holds it afterwards (also when it held it already).
bool take(const QObject *owner);
// Gives the token back if owner holds it.
void release(const QObject *owner);
// The holder, or nullptr.
const QObject *holder();
} // namespace SeparationRun
