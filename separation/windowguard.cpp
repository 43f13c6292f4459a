#include "windowguard.h"

#include "logging.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QHash>
#include <QMetaObject>
#include <QMutexLocker>
#include <QRunnable>
#include <QThreadPool>

namespace {

// The jobs of every guard that write into a folder: the folder (cleaned), once per job, with its guard.
struct Writers {
    QMutex mutex;
    QHash<QString, QList<const WindowGuard *>> byFolder;
    QHash<QString, quint64> ended; // the jobs into the folder that have ended
    QHash<QString, int> running;   // the jobs into the folder running now (the others wait their turn)
};

// Never destroyed: a pool job may end while the program exits.
Writers &writers()
{
    static Writers *w = new Writers;
    return *w;
}

} // namespace

// One of a window's jobs in the global pool: the job itself, run only while the window is open. A job
// that writes into a folder is listed there from the moment it is made until it is deleted, after its
// run or dropped unstarted.
class WindowGuard::Job : public QRunnable
{
public:
    Job(std::shared_ptr<WindowGuard> guard, QRunnable *inner, const QString &folder)
        : m_guard(std::move(guard)), m_inner(inner)
    {
        setAutoDelete(true);
        m_inner->setAutoDelete(false);
        listIn(folder);
    }
    Job(std::shared_ptr<WindowGuard> guard, std::function<void()> work, const QString &folder)
        : m_guard(std::move(guard)), m_work(std::move(work))
    {
        setAutoDelete(true);
        listIn(folder);
    }
    ~Job() override
    {
        // What the job holds goes first (a separation attempt it was the last to hold writes its journal
        // as it goes): the job writes into its folder until then.
        m_inner.reset();
        m_work = nullptr;
        if (m_folder.isEmpty())
            return;
        QMutexLocker lock(&writers().mutex);
        QList<const WindowGuard *> &jobs = writers().byFolder[m_folder];
        jobs.removeOne(m_guard.get());
        ++writers().ended[m_folder];
        if (jobs.isEmpty())
            writers().byFolder.remove(m_folder);
    }

    void run() override
    {
        countRunning(1);
        if (m_guard->jobStarting(this)) {
            if (m_inner)
                m_inner->run();
            else if (m_work)
                m_work();
        }
        countRunning(-1);
        m_guard->jobEnded();
    }

private:
    void countRunning(int step)
    {
        if (m_folder.isEmpty())
            return;
        QMutexLocker lock(&writers().mutex);
        int &running = writers().running[m_folder];
        running += step;
        if (running == 0)
            writers().running.remove(m_folder);
    }
    void listIn(const QString &folder)
    {
        if (folder.isEmpty())
            return;
        m_folder = QDir::cleanPath(folder);
        QMutexLocker lock(&writers().mutex);
        writers().byFolder[m_folder].append(m_guard.get());
    }

    std::shared_ptr<WindowGuard> m_guard;
    std::unique_ptr<QRunnable> m_inner;
    std::function<void()> m_work;
    QString m_folder;
};

std::shared_ptr<WindowGuard> WindowGuard::create(QObject *receiver)
{
    return std::shared_ptr<WindowGuard>(new WindowGuard(receiver));
}

WindowGuard::WindowGuard(QObject *receiver) : m_receiver(receiver)
{
}

WindowGuard::~WindowGuard() = default;

void WindowGuard::close()
{
    {
        QMutexLocker lock(&m_mutex);
        m_shown = false;
    }
    dropQueuedJobs();
}

bool WindowGuard::post(std::function<void(QObject *)> call)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_shown)
        return false;
    std::weak_ptr<WindowGuard> weak = shared_from_this();
    QMetaObject::invokeMethod(
        app,
        [weak, call = std::move(call)] {
            // The GUI thread, where the window closes and goes: it is either open and alive here, or the
            // guard says it is closed.
            const std::shared_ptr<WindowGuard> guard = weak.lock();
            if (guard && guard->isWindowShow() && guard->m_receiver)
                call(guard->m_receiver.data());
        },
        Qt::QueuedConnection);
    return true;
}

void WindowGuard::invokeSlot(QObject *receiver, const char *slot, QGenericArgument a1, QGenericArgument a2)
{
    if (!QMetaObject::invokeMethod(receiver, slot, Qt::DirectConnection, a1, a2))
        qCDebug(lcSeparation) << __FILE__ << __LINE__ << Q_FUNC_INFO << "no slot" << slot << "on" << receiver;
}

void WindowGuard::startJob(QRunnable *job, int priority, const QString &folder)
{
    if (job)
        enqueue(new Job(shared_from_this(), job, folder), priority);
}

void WindowGuard::startJob(std::function<void()> work, int priority, const QString &folder)
{
    enqueue(new Job(shared_from_this(), std::move(work), folder), priority);
}

bool WindowGuard::othersWriteInto(const QString &folder) const
{
    return writerInto(folder, false);
}

bool WindowGuard::writesInto(const QString &folder) const
{
    return writerInto(folder, true);
}

bool WindowGuard::writerInto(const QString &folder, bool own) const
{
    if (folder.isEmpty())
        return false;
    QMutexLocker lock(&writers().mutex);
    const auto it = writers().byFolder.constFind(QDir::cleanPath(folder));
    if (it == writers().byFolder.constEnd())
        return false;
    for (const WindowGuard *guard : it.value()) {
        if ((guard == this) == own)
            return true;
    }
    return false;
}

int WindowGuard::jobsInto(const QString &folder, quint64 *ended, int *running)
{
    const QString cleaned = QDir::cleanPath(folder);
    QMutexLocker lock(&writers().mutex);
    *ended = writers().ended.value(cleaned);
    if (running)
        *running = writers().running.value(cleaned);
    return writers().byFolder.value(cleaned).size();
}

void WindowGuard::enqueue(QRunnable *job, int priority)
{
    QMutexLocker lock(&m_mutex);
    m_queued.insert(job);
    QThreadPool::globalInstance()->start(job, priority);
}

int WindowGuard::dropQueuedJobs()
{
    QList<QRunnable *> taken;
    {
        QMutexLocker lock(&m_mutex);
        // A job still listed has not begun its run: it is queued, or just taken off the queue by a pool
        // thread that waits for this lock (then tryTake fails and it runs, or does nothing once closed).
        for (QRunnable *job : qAsConst(m_queued)) {
            if (QThreadPool::globalInstance()->tryTake(job))
                taken.append(job);
        }
        for (QRunnable *job : qAsConst(taken))
            m_queued.remove(job);
    }
    // The taken jobs are ours now; they hold the guard, so they go outside the lock.
    qDeleteAll(taken);
    return taken.size();
}

int WindowGuard::queuedJobs() const
{
    QMutexLocker lock(&m_mutex);
    return m_queued.size();
}

int WindowGuard::runningJobs() const
{
    QMutexLocker lock(&m_mutex);
    return m_running;
}

bool WindowGuard::jobStarting(QRunnable *job)
{
    QMutexLocker lock(&m_mutex);
    m_queued.remove(job);
    ++m_running;
    return m_shown;
}

void WindowGuard::jobEnded()
{
    QMutexLocker lock(&m_mutex);
    --m_running;
}

void WindowGuard::addFailure(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    m_failures.append(text);
}

QStringList WindowGuard::takeFailures()
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    out.swap(m_failures);
    return out;
}

void WindowGuard::addUnreadable(const QString &name)
{
    QMutexLocker lock(&m_mutex);
    m_unreadable.append(name);
}

QStringList WindowGuard::takeUnreadable()
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    out.swap(m_unreadable);
    return out;
}

// ---- the run token ----

namespace {
QPointer<QObject> &runHolder()
{
    static QPointer<QObject> holder;
    return holder;
}
} // namespace

bool SeparationRun::take(const QObject *owner)
{
    QPointer<QObject> &holder = runHolder();
    if (holder && holder != owner)
        return false;
    holder = const_cast<QObject *>(owner);
    return true;
}

void SeparationRun::release(const QObject *owner)
{
    QPointer<QObject> &holder = runHolder();
    if (holder == owner)
        holder = nullptr;
}

const QObject *SeparationRun::holder()
{
    return runHolder().data();
}
