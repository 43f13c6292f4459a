#include "folderclaim.h"

#include "fileoperation.h"
#include "guardedcall.h"
#include "logging.h"
#include "platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMetaObject>
#include <QMutex>
#include <QPair>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QWaitCondition>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// A claim is written anew this often while it is held; one not written for the longer time is taken over.
constexpr int kFreshenMs = 20 * 1000;
constexpr qint64 kExpiryMs = 3 * 60 * 1000;
// The look at the claims given back whose holders still write into their folders.
constexpr int kSettleMs = 100;
// How often the program's end looks whether the jobs have ended, and how often it takes a look at the claims.
constexpr int kEndPollMs = 10;
constexpr int kEndLookMs = 1000;
// How often a wait for a take looks whether its waiter has stopped.
constexpr unsigned long kStopPollMs = 25;
// No claim of any program is larger.
constexpr qint64 kLargestClaim = 4096;

const QString kDesk = QStringLiteral("desk");
const QString kMachine = QStringLiteral("machine");
const QString kProgram = QStringLiteral("program");

// This desk, as its claims name it: its name and the system's own id of it.
QString deskName()
{
    return QSysInfo::machineHostName();
}
QString machineId()
{
    return QString::fromLatin1(QSysInfo::machineUniqueId());
}

// What this program writes into its claims: the desk and the program, the latter its process id and a
// random part of its own.
const QByteArray &ownClaim()
{
    static const QByteArray bytes =
        QJsonDocument(QJsonObject{{kDesk, deskName()},
                                  {kMachine, machineId()},
                                  {kProgram, QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-')
                                                 + QString::number(QRandomGenerator::system()->generate64(), 36)}})
            .toJson(QJsonDocument::Compact);
    return bytes;
}

// Whether a claim (read as JSON) names this desk: its name and its id.
bool namesThisDesk(const QJsonObject &claim)
{
    return claim.value(kDesk).toString() == deskName() && claim.value(kMachine).toString() == machineId();
}

// Whether another program's claim (its bytes) was left by a program of this desk that has ended: the desk
// is this one, and the process it names runs this program no more (that is also so when this program has
// that process id now: the system gave it anew). Such a claim need not wait for its expiry.
bool leftByEndedProgramHere(const QByteArray &bytes)
{
    const QJsonObject claim = QJsonDocument::fromJson(bytes).object();
    if (!namesThisDesk(claim))
        return false;
    bool number = false;
    const qint64 pid = claim.value(kProgram).toString().section(QLatin1Char('-'), 0, 0).toLongLong(&number);
    return number && (pid == QCoreApplication::applicationPid() || !Platform::runsThisProgram(pid));
}

// A claim of this program, by its path.
struct Held {
    QString folder;                         // as the holder's jobs name the folder they write into
    std::function<FolderClaim::Progress()> progress; // of the holder that took it last
    const QLoggingCategory &(*log)() = lcFiles;      // where its lines go
    int holders = 0;                        // the FolderClaims of it
    QList<std::shared_ptr<std::function<bool()>>> writing; // holders that gave it back, while they still write
                                                           // into the folder
    bool lost = false; // no longer this program's file: neither written again nor removed
    // Whether the jobs into its folder make progress, as the last look saw them: how many had ended then,
    // the claim's write time (the folder's clock) when they were first seen making none (-1: they make
    // progress, or none runs), and whether they have made none for the expiry time since: then the claim
    // ages.
    quint64 endedSeen = 0;
    qint64 stalledSince = -1;
    bool aging = false;

    FolderClaim::Progress now() const { return progress ? progress() : FolderClaim::Progress(); }
};

struct Claims {
    QMutex mutex; // the claims are looked at on any thread and in their file work (startFileWork); never
                  // held during file work, nor while a holder is asked for its progress
    QHash<QString, Held> byPath;
    bool freshening = false; // the next freshening is due
    bool looking = false;    // a look (startFileWork) is under way
    bool settling = false;   // the next look at the claims given back is due
    bool ending = false;     // the program's end has begun: nothing goes to another thread's events any more
};

void releaseAtExit();

// Never destroyed: holders give their claims back while the program ends. The claims left when the program
// ends go with it (releaseAtExit).
Claims &claims()
{
    static Claims *c = [] {
        qAddPostRoutine(releaseAtExit);
        return new Claims;
    }();
    return *c;
}

using LogCategory = const QLoggingCategory &(*)();

// Where the lines of the claim at path go.
LogCategory logOf(const QString &path)
{
    QMutexLocker lock(&claims().mutex);
    const auto it = claims().byPath.constFind(path);
    return it != claims().byPath.constEnd() ? it->log : lcFiles;
}

// The claims' file work (the looks that write them anew, takes, checks, removals) runs on a thread of its
// own, one job at a time: never on the GUI thread, and never behind the jobs waiting in the global pool or
// the jobs that fill it. Never destroyed.
QThreadPool &claimWork()
{
    static QThreadPool *pool = newOneThreadPool();
    return *pool;
}
void startFileWork(std::function<void()> work)
{
    claimWork().start(std::move(work));
}

// Calls call on the thread of context, unless context is gone or the program's end has begun. Any thread.
void postTo(QObject *context, std::function<void()> call)
{
    QMutexLocker lock(&claims().mutex);
    if (!claims().ending && context)
        QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

// Whether context (a take's) is still there. Any thread.
bool contextThere(const QPointer<QObject> &context)
{
    QMutexLocker lock(&claims().mutex);
    return !context.isNull();
}

// Calls call after ms on the main thread (its event loop), unless the program's end has begun. Any thread.
void later(int ms, std::function<void()> call)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread()) {
        QTimer::singleShot(ms, app, std::move(call));
        return;
    }
    postTo(app, [ms, call] { QTimer::singleShot(ms, QCoreApplication::instance(), call); });
}

// Whether the file at path is this program's claim (read as a regular file only).
bool isOwn(const QString &path)
{
    QByteArray bytes;
    return Platform::readRegularFile(path, kLargestClaim, &bytes) && bytes == ownClaim();
}

qint64 modified(const QString &path)
{
    return QFileInfo(path).lastModified().toMSecsSinceEpoch();
}

// The claim at path was found no longer this program's file: it is neither written again nor removed.
void markLost(const QString &path)
{
    QMutexLocker lock(&claims().mutex);
    const auto held = claims().byPath.find(path);
    if (held != claims().byPath.end() && !held->lost) {
        held->lost = true;
        qCWarning(held->log) << "the folder's claim is no longer this program's:" << path;
    }
}

// Writes the claim at path anew, so that its time is the folder's clock of now: only while the file is still
// this program's claim, looked at again just before the new one takes its name. A write held up on a stalled
// share past the expiry may find there the claim of another desk that took the folder over meanwhile: that
// one stays, and this program's is lost.
void writeOne(const QString &path)
{
    QString why;
    const QByteArray &own = ownClaim();
    bool lost = false;
    const auto stillOwn = [&path, &lost] {
        lost = !isOwn(path);
        return !lost;
    };
    Platform::delayWrite(path); // a share that stalls
    if (Platform::writeIntoPlace(path, [&own](QIODevice &file) { return file.write(own) == own.size(); }, &why,
                                 nullptr, stillOwn))
        FileOperation::setFileHidden(path);
    else if (lost)
        markLost(path);
    else
        qCWarning(logOf(path)) << "claim not written anew:" << path << why;
}

// One look at the claims held. One that is no longer this program's is left to whoever has it now. The
// others are written anew (when write says so) while the jobs into their folders make progress (a job
// ends), while none runs (a holder waits for the web service, say), or for the expiry time after they made
// their last, by the folder's clock; then the claim ages, and the takeover rule applies to it: a job that
// hangs on a stalled share keeps the folder from other desks no longer than that, and its file, should it
// land after all, lands only while the claim is still this program's (the job's still-wanted check).
void look(bool write)
{
    QList<QPair<QString, std::function<FolderClaim::Progress()>>> held; // the claims (path and progress)
    {
        QMutexLocker lock(&claims().mutex);
        for (auto it = claims().byPath.cbegin(); it != claims().byPath.cend(); ++it)
            held.append({it.key(), it->progress});
    }
    for (const auto &claim : qAsConst(held)) {
        const QString &path = claim.first;
        // While the program runs, jobs that wait their turn (behind another window's copies, say) are no
        // stalled job; once the program's end has begun, none is started any more.
        const FolderClaim::Progress progress = claim.second ? claim.second() : FolderClaim::Progress();
        bool ending = false;
        {
            QMutexLocker lock(&claims().mutex);
            ending = claims().ending;
        }
        const bool copying = ending ? progress.jobs > 0 : progress.running > 0;
        const qint64 written = copying ? modified(path) : -1;
        bool wasLost = true;
        {
            QMutexLocker lock(&claims().mutex);
            const auto it = claims().byPath.find(path);
            if (it == claims().byPath.end())
                continue;
            if (!copying || progress.ended != it->endedSeen) {
                it->stalledSince = -1;
                it->aging = false;
            } else if (it->stalledSince < 0) {
                it->stalledSince = written;
            }
            it->endedSeen = progress.ended;
            wasLost = it->lost;
        }
        const bool own = !wasLost && isOwn(path);
        if (!wasLost && !own)
            markLost(path);
        qint64 stalledSince = -1;
        bool aging = false;
        {
            QMutexLocker lock(&claims().mutex);
            const auto it = claims().byPath.find(path);
            if (it == claims().byPath.end())
                continue;
            stalledSince = it->stalledSince;
            aging = it->aging;
        }
        if (stalledSince >= 0 && !aging
            && Platform::folderClock(QFileInfo(path).absolutePath()) - stalledSince >= kExpiryMs) {
            aging = true;
            LogCategory log = lcFiles;
            {
                QMutexLocker lock(&claims().mutex);
                const auto it = claims().byPath.find(path);
                if (it != claims().byPath.end()) {
                    it->aging = true;
                    log = it->log;
                }
            }
            qCWarning(log) << "the jobs into the claimed folder made no progress for the expiry time:"
                                  " its claim is no longer written anew"
                               << path;
        }
        if (write && own && !aging)
            writeOne(path);
    }
    QMutexLocker lock(&claims().mutex);
    claims().looking = false;
}

// Keeps the claims held fresh while there are any: a look every kFreshenMs, on the claim's thread. Any
// thread.
void freshen()
{
    Claims &all = claims();
    {
        QMutexLocker lock(&all.mutex);
        if (all.freshening || all.ending || all.byPath.isEmpty() || !QCoreApplication::instance())
            return;
        all.freshening = true;
    }
    later(kFreshenMs, [] {
        {
            QMutexLocker lock(&claims().mutex);
            claims().freshening = false;
            if (!claims().looking) { // the last one hangs on a stalled share: it writes nothing meanwhile
                claims().looking = true;
                startFileWork([] { look(true); });
            }
        }
        freshen();
    });
}

// The progress of every claim's holder, by the claim's path.
QList<QPair<QString, std::function<FolderClaim::Progress()>>> progressLooks()
{
    QList<QPair<QString, std::function<FolderClaim::Progress()>>> looks;
    QMutexLocker lock(&claims().mutex);
    for (auto it = claims().byPath.cbegin(); it != claims().byPath.cend(); ++it) {
        if (it->progress)
            looks.append({it.key(), it->progress});
    }
    return looks;
}

// Whether a job into a claimed folder is still queued or under way.
bool jobsLeft()
{
    for (const auto &look : progressLooks()) {
        if (look.second().jobs > 0)
            return true;
    }
    return false;
}

// Whether every claim whose folder a job still writes into ages (its jobs made no progress for the expiry
// time).
bool onlyStalledJobsLeft()
{
    for (const auto &look : progressLooks()) {
        if (look.second().jobs == 0)
            continue;
        QMutexLocker lock(&claims().mutex);
        const auto it = claims().byPath.constFind(look.first);
        if (it != claims().byPath.constEnd() && !it->aging)
            return false;
    }
    return true;
}

// Waits up to ms for the jobs into the claimed folders to end; true when they have.
bool waitForJobs(int ms)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (!jobsLeft())
            return true;
        if (waited.elapsed() >= ms)
            return false;
        QThread::msleep(kEndPollMs);
    }
}

// The program ends (its event loop is over). It waits for the jobs still under way (a closed window's
// copies into an order's folder among them), the claims written anew meanwhile as above: as long as the
// jobs make progress, and no longer than until every claim whose jobs stalled ages. Then every claim whose
// folder no job of this program writes into any more goes; one whose job still hangs on a stalled share is
// left to age, and the program ends without waiting for that job.
void releaseAtExit()
{
    QList<QPair<QString, std::function<FolderClaim::Progress()>>> looks = progressLooks();
    {
        QMutexLocker lock(&claims().mutex);
        claims().ending = true;
    }
    for (const auto &look : qAsConst(looks)) { // progress is counted from here on
        const quint64 ended = look.second().ended;
        QMutexLocker lock(&claims().mutex);
        const auto it = claims().byPath.find(look.first);
        if (it != claims().byPath.end())
            it->endedSeen = ended;
    }
    QElapsedTimer sinceWrite;
    QElapsedTimer sinceLook;
    sinceWrite.start();
    sinceLook.start();
    for (;;) {
        {
            QMutexLocker lock(&claims().mutex);
            if (claims().byPath.isEmpty())
                break;
        }
        if (waitForJobs(kEndLookMs))
            break;
        if (claimWork().waitForDone(0)) { // the last look has ended
            if (onlyStalledJobsLeft())
                break;
            const bool write = sinceWrite.elapsed() >= kFreshenMs;
            if (write)
                sinceWrite.restart();
            {
                QMutexLocker lock(&claims().mutex);
                claims().looking = true;
            }
            startFileWork([write] { look(write); });
            sinceLook.restart();
        } else if (sinceLook.elapsed() >= kExpiryMs) {
            break; // the look itself hangs on a stalled share: nothing is written anew there anyway
        }
    }
    claimWork().waitForDone(kEndLookMs); // a removal of a claim given back, say
    QHash<QString, Held> left;
    {
        QMutexLocker lock(&claims().mutex);
        left.swap(claims().byPath);
    }
    bool hanging = false;
    for (auto it = left.cbegin(); it != left.cend(); ++it) {
        if (it->now().jobs > 0) {
            hanging = true;
            qCWarning(it->log) << "the program ends while a job into the claimed folder hangs; its claim is left"
                                  " to age:"
                               << it.key();
            continue;
        }
        if (!it->lost && isOwn(it.key()) && !FileOperation::deleteFile(it.key()))
            qCWarning(it->log) << "claim not removed:" << it.key() << errorText(errno);
    }
    if (hanging) {
        // The program's own end would wait for those jobs without bound.
        std::fflush(nullptr);
        std::_Exit(EXIT_SUCCESS);
    }
}

// Removes a claim given back, unless a holder of this program has taken it again meanwhile.
void removeGiven(const QString &path, LogCategory log)
{
    {
        QMutexLocker lock(&claims().mutex);
        if (claims().byPath.contains(path))
            return;
    }
    if (isOwn(path) && !FileOperation::deleteFile(path))
        qCWarning(log) << "claim not removed:" << path << errorText(errno);
}

// Removes the claims no holder holds once the jobs of the holders that gave them back have ended; looks
// again soon while some write. The removal is file work of the claims, on their thread: after any look
// queued there before (which might write the claim anew), and before any take queued after. Any thread.
void settle()
{
    Claims &all = claims();
    // The holders that gave a claim back, asked outside the lock; those that write no more leave the list.
    QList<std::shared_ptr<std::function<bool()>>> asked;
    {
        QMutexLocker lock(&all.mutex);
        for (auto it = all.byPath.cbegin(); it != all.byPath.cend(); ++it) {
            if (it->holders <= 0)
                asked << it->writing;
        }
    }
    QList<std::shared_ptr<std::function<bool()>>> done;
    for (const auto &writes : qAsConst(asked)) {
        if (!(*writes)())
            done << writes;
    }
    QList<QPair<QString, LogCategory>> gone; // claims to remove
    bool writing = false;
    {
        QMutexLocker lock(&all.mutex);
        for (auto it = all.byPath.begin(); it != all.byPath.end();) {
            Held &held = it.value();
            if (held.holders > 0) {
                ++it;
                continue;
            }
            for (const auto &writes : qAsConst(done))
                held.writing.removeAll(writes);
            if (!held.writing.isEmpty()) {
                writing = true;
                ++it;
                continue;
            }
            if (!held.lost)
                gone.append({it.key(), held.log});
            it = all.byPath.erase(it);
        }
    }
    if (!gone.isEmpty()) {
        startFileWork([gone] {
            for (const auto &claim : gone)
                removeGiven(claim.first, claim.second);
        });
    }
    {
        QMutexLocker lock(&all.mutex);
        if (!writing || all.settling || all.ending || !QCoreApplication::instance())
            return;
        all.settling = true;
    }
    later(kSettleMs, [] {
        {
            QMutexLocker lock(&claims().mutex);
            claims().settling = false;
        }
        settle();
    });
}

// Takes over another program's claim (bytes, as read) when it has not been written anew for the expiry
// time, as the folder's clock has it, or at once when a program of this desk that has ended left it, or when
// it is empty: a claim takes its name only once written whole (takeNow), so an empty file under the name was
// cut off between its making and its bytes by a program that did not. It is moved aside first, then removed
// only while it is still that claim: another desk that took it over a moment earlier keeps its own.
bool takeOver(const QString &path, const QByteArray &bytes, LogCategory log)
{
    const qint64 written = modified(path);
    if (!bytes.isEmpty() && !leftByEndedProgramHere(bytes)
        && qAbs(Platform::folderClock(QFileInfo(path).absolutePath()) - written) < kExpiryMs)
        return false;
    const QString aside = path + QStringLiteral(".ended-") + QString::number(QRandomGenerator::global()->generate64(), 36);
    if (!QDir().rename(path, aside)) // never over a file; gone: taken over by another desk first
        return false;
    QByteArray moved;
    if (Platform::readRegularFile(aside, kLargestClaim, &moved) && moved == bytes && modified(aside) == written) {
        qCWarning(log) << "a claim left by a program that ended, taken over:" << path << bytes;
        FileOperation::deleteFile(aside);
        return true;
    }
    // A claim made since it was judged: back under its name, unless another one took the name meanwhile.
    if (!QDir().rename(aside, path))
        FileOperation::deleteFile(aside);
    return false;
}

} // namespace

// Makes the claims of this program; the claim's thread only.
struct FolderClaimAccess {
    // Claims path (shown so in the report) for holder: its file work (startFileWork).
    static FolderClaim::Taking takeNow(const QString &folder, const QString &path, const QString &shown,
                                       const FolderClaim::Holder &holder)
    {
        FolderClaim::Taking taking;
        taking.shown = shown;
        const LogCategory log = holder.log ? holder.log : lcFiles;
        QByteArray bytes;
        int error = 0;
        const bool there = Platform::readRegularFile(path, kLargestClaim, &bytes, &error);
        if (!there && error != ENOENT) {
            taking.error = error;
            taking.reason = error == ELOOP    ? QStringLiteral("是链接")
                            : error == EINVAL ? QStringLiteral("不是普通文件")
                            : error == EFBIG  ? QStringLiteral("不是占用标记")
                                              : errorText(error);
            taking.outcome = FolderClaim::Refused;
            qCWarning(log) << "no claim under the claim's name:" << path << taking.reason;
            return taking;
        }
        const bool tookOver = there && bytes != ownClaim() && takeOver(path, bytes, log);
        QElapsedTimer now;
        now.start();
        const qint64 tookOverAt = now.msecsSinceReference(); // before the claim of our own is written
        if (there && bytes != ownClaim() && !tookOver) {
            qCDebug(log) << "the folder is claimed by another program:" << path << bytes;
            const QJsonObject other = QJsonDocument::fromJson(bytes).object();
            taking.outcome = FolderClaim::Busy;
            taking.desk = other.value(kDesk).toString().simplified();
            taking.thisDesk = namesThisDesk(other);
            return taking;
        }
        if (!there || bytes != ownClaim()) { // none there, or the one taken over is gone: a claim of our own
            // Written whole beside its name, then given the name only while no file has it: a program cut off
            // meanwhile leaves a temporary the imports' clean-up knows, never an empty claim.
            const QByteArray &own = ownClaim();
            QString why;
            Platform::WriteStep step = Platform::WriteStep::None;
            Platform::delayWrite(path); // a share that stalls
            if (!Platform::writeIntoPlace(path, [&own](QIODevice &file) { return file.write(own) == own.size(); },
                                          &why, &step, {}, Platform::Placing::OnlyIfFree)) {
                const int failed = errno;
                // EEXIST: another program claimed it first, or something else is there now
                if (step == Platform::WriteStep::Rename && failed == EEXIST) {
                    taking.outcome = FolderClaim::Busy;
                    return taking;
                }
                taking.outcome = FolderClaim::NotWritten;
                taking.error = failed;
                taking.reason = why;
                qCWarning(log) << "claim not written:" << path << taking.reason;
                return taking;
            }
            FileOperation::setFileHidden(path);
        }
        // This program's claim now, held from here on (also should its holder be gone before it hears of
        // it: then it gives it back at once).
        {
            QMutexLocker lock(&claims().mutex);
            Held &held = claims().byPath[path];
            held.folder = folder;
            held.progress = holder.progress;
            held.log = log;
            held.lost = false;
            held.stalledSince = -1;
            held.aging = false;
            ++held.holders;
        }
        taking.claim.reset(new FolderClaim(path, shown, holder));
        // One that was this program's already (a holder that gave it back may still be writing; it may have
        // aged meanwhile, or just gone with that holder) is made fresh again.
        if (there && bytes == ownClaim())
            writeOne(path);
        taking.outcome = FolderClaim::Taken;
        taking.tookOver = tookOver;
        if (tookOver) {
            taking.tookOverClaim = bytes;
            if (leftByEndedProgramHere(bytes))
                taking.endedHereAt = tookOverAt;
        }
        freshen();
        return taking;
    }
};

FolderClaim::FolderClaim(const QString &path, const QString &shown, const Holder &holder)
    : m_path(path), m_shown(shown), m_holder(holder)
{
}

FolderClaim::~FolderClaim()
{
    {
        QMutexLocker lock(&claims().mutex);
        const auto held = claims().byPath.find(m_path);
        if (held == claims().byPath.end())
            return; // the program's end took it
        --held->holders;
        if (m_holder.stillWriting)
            held->writing << std::make_shared<std::function<bool()>>(m_holder.stillWriting);
    }
    // Its jobs' progress counts from here on.
    const quint64 ended = m_holder.progress ? m_holder.progress().ended : 0;
    {
        QMutexLocker lock(&claims().mutex);
        const auto held = claims().byPath.find(m_path);
        if (held != claims().byPath.end())
            held->endedSeen = ended;
    }
    settle();
}

void FolderClaim::take(const QString &folder, const QString &fileName, const Holder &holder, QObject *context,
                       std::function<void(const Taking &)> done)
{
    const QString path = Platform::localPath(folder) + fileName;
    const QString shown = folder + fileName;
    const QPointer<QObject> target(context);
    startFileWork([folder, path, shown, holder, target, done] {
        if (!contextThere(target))
            return; // its window closed while the take waited its turn
        const Taking taking = FolderClaimAccess::takeNow(folder, path, shown, holder);
        postTo(target.data(), [taking, done] { done(taking); });
    });
}

void FolderClaim::runInTurn(std::function<void()> work)
{
    startFileWork(std::move(work));
}

FolderClaim::Taking FolderClaim::takeAndWait(const QString &folder, const QString &fileName, const Holder &holder,
                                             const std::function<bool()> &stopped)
{
    const QString path = Platform::localPath(folder) + fileName;
    const QString shown = folder + fileName;
    // What the take found, handed over unless the waiter has left.
    struct Waiting {
        QMutex mutex;
        QWaitCondition done;
        bool ready = false;
        bool left = false;
        Taking taking;
    };
    const auto waiting = std::make_shared<Waiting>();
    startFileWork([waiting, folder, path, shown, holder] {
        {
            QMutexLocker lock(&waiting->mutex);
            if (waiting->left)
                return;
        }
        Taking taking = FolderClaimAccess::takeNow(folder, path, shown, holder);
        QMutexLocker lock(&waiting->mutex);
        if (waiting->left) {
            lock.unlock();
            return; // a claim it took goes again with taking
        }
        waiting->taking = std::move(taking);
        waiting->ready = true;
        waiting->done.wakeAll();
    });
    QMutexLocker lock(&waiting->mutex);
    for (;;) {
        if (waiting->ready)
            return std::move(waiting->taking);
        if (stopped && stopped()) {
            waiting->left = true;
            Taking none;
            none.outcome = Stopped;
            none.shown = shown;
            return none;
        }
        waiting->done.wait(&waiting->mutex, kStopPollMs);
    }
}

bool FolderClaim::isHeld() const
{
    QMutexLocker lock(&claims().mutex);
    const auto held = claims().byPath.constFind(m_path);
    return held != claims().byPath.constEnd() && !held->lost;
}

void FolderClaim::check(QObject *context, std::function<void(bool)> answer) const
{
    const QString path = m_path;
    const QPointer<QObject> target(context);
    startFileWork([path, target, answer] {
        const bool own = isOwn(path);
        if (!own)
            markLost(path);
        postTo(target.data(), [answer, own] { answer(own); });
    });
}

std::function<bool()> FolderClaim::heldCheck() const
{
    const QString path = m_path;
    return [path] { return isOwn(path); };
}
