#include "separationclaim.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"
#include "separationattempt.h"
#include "windowguard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QThreadPool>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// A claim is written anew this often while it is held; one not written for the longer time is taken over.
constexpr int kFreshenMs = 20 * 1000;
constexpr qint64 kExpiryMs = 3 * 60 * 1000;
// The look at the claims given back whose copies are still under way.
constexpr int kSettleMs = 100;
// How often the program's end looks whether its copies have ended.
constexpr int kEndLookMs = 1000;
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

// Whether another program's claim (its bytes) was left by a program of this desk that has ended: the desk
// is this one, and the process it names runs this program no more (that is also so when this program has
// that process id now: the system gave it anew). Such a claim need not wait for its expiry.
// Whether a claim (read as JSON) names this desk: its name and its id.
bool namesThisDesk(const QJsonObject &claim)
{
    return claim.value(kDesk).toString() == deskName() && claim.value(kMachine).toString() == machineId();
}

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
    QString orderDir; // as the run's jobs name the folder they write into
    int runs = 0;     // the runs holding it
    QList<std::shared_ptr<WindowGuard>> copying; // windows whose runs gave it back, while they copy into it
    bool lost = false; // no longer this program's file: neither written again nor removed
    // Whether the jobs into its folder make progress, as the last look saw them: how many had ended then,
    // the claim's write time (the folder's clock) when they were first seen making none (-1: they make
    // progress, or none runs), and whether they have made none for the expiry time since: then the claim
    // ages.
    quint64 endedSeen = 0;
    qint64 stalledSince = -1;
    bool aging = false;
};

struct Claims {
    QMutex mutex; // the claims are looked at on the GUI thread and in their file work (startFileWork); never
                  // held during file work
    QHash<QString, Held> byPath;
    bool freshening = false; // the next freshening is due
    bool looking = false;    // a look (startFileWork) is under way
    bool settling = false;   // the next look at the claims given back is due
    bool ending = false;     // the program's end has begun: nothing goes to the GUI thread any more
};

void releaseAtExit();

// Never destroyed: the windows give their claims back while the program ends. The claims left when the
// program ends go with it (releaseAtExit).
Claims &claims()
{
    static Claims *c = [] {
        qAddPostRoutine(releaseAtExit);
        return new Claims;
    }();
    return *c;
}

// The claims' file work (the looks that write them anew, takes, checks) runs on a thread of its own, one
// job at a time: never on the GUI thread, and never behind the jobs waiting in the global pool (copies) or
// the jobs that fill it. Never destroyed.
QThreadPool &claimWork()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}
void startFileWork(std::function<void()> work)
{
    claimWork().start(std::move(work));
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

// Writes the claim at path anew, so that its time is the folder's clock of now.
void writeOne(const QString &path)
{
    QString why;
    const QByteArray &own = ownClaim();
    Platform::delayWrite(path); // a share that stalls
    if (Platform::writeIntoPlace(path, [&own](QIODevice &file) { return file.write(own) == own.size(); }, &why))
        FileOperation::setFileHidden(path);
    else
        qCWarning(lcSeparation) << "claim not written anew:" << path << why;
}

// One look at the claims held. One that is no longer this program's is left to whoever has it now. The
// others are written anew (when write says so) while the jobs into their folders make progress (a job
// ends), while none runs (a run of a window waits for the web service, say), or for the expiry time after
// they made their last, by the folder's clock; then the claim ages, and the takeover rule applies to it: a
// copy that hangs on a stalled share keeps the order from other desks no longer than that, and the copy,
// should it land after all, lands only while the claim is still this program's (its still-wanted check).
void look(bool write)
{
    QList<QPair<QString, QString>> held; // the claims (path and order folder)
    {
        QMutexLocker lock(&claims().mutex);
        for (auto it = claims().byPath.cbegin(); it != claims().byPath.cend(); ++it)
            held.append({it.key(), it->orderDir});
    }
    for (const auto &claim : qAsConst(held)) {
        const QString &path = claim.first;
        // While windows are open, jobs that wait their turn in the pool (behind another window's copies, say)
        // are no stalled copy; once the program's end has begun, none is started any more.
        quint64 ended = 0;
        int running = 0;
        const int jobs = WindowGuard::jobsInto(claim.second, &ended, &running);
        bool ending = false;
        {
            QMutexLocker lock(&claims().mutex);
            ending = claims().ending;
        }
        const bool copying = ending ? jobs > 0 : running > 0;
        const qint64 written = copying ? modified(path) : -1;
        bool wasLost = true;
        {
            QMutexLocker lock(&claims().mutex);
            const auto it = claims().byPath.find(path);
            if (it == claims().byPath.end())
                continue;
            if (!copying || ended != it->endedSeen) {
                it->stalledSince = -1;
                it->aging = false;
            } else if (it->stalledSince < 0) {
                it->stalledSince = written;
            }
            it->endedSeen = ended;
            wasLost = it->lost;
        }
        const bool own = !wasLost && isOwn(path);
        qint64 stalledSince = -1;
        bool aging = false;
        {
            QMutexLocker lock(&claims().mutex);
            const auto it = claims().byPath.find(path);
            if (it == claims().byPath.end())
                continue;
            if (!wasLost && !own) {
                it->lost = true;
                qCWarning(lcSeparation) << "the order folder's claim is no longer this program's:" << path;
            }
            stalledSince = it->stalledSince;
            aging = it->aging;
        }
        if (stalledSince >= 0 && !aging
            && Platform::folderClock(QFileInfo(path).absolutePath()) - stalledSince >= kExpiryMs) {
            aging = true;
            QMutexLocker lock(&claims().mutex);
            const auto it = claims().byPath.find(path);
            if (it != claims().byPath.end())
                it->aging = true;
            qCWarning(lcSeparation) << "the copies into the order's folder made no progress for the expiry time:"
                                       " its claim is no longer written anew"
                                    << path;
        }
        if (write && own && !aging)
            writeOne(path);
    }
    QMutexLocker lock(&claims().mutex);
    claims().looking = false;
}

// Keeps the claims held fresh while there are any: a look every kFreshenMs, off the GUI thread.
void freshen()
{
    Claims &all = claims();
    QMutexLocker lock(&all.mutex);
    if (all.freshening || all.byPath.isEmpty() || !QCoreApplication::instance())
        return;
    all.freshening = true;
    QTimer::singleShot(kFreshenMs, QCoreApplication::instance(), [] {
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

// Whether every claim whose folder a job still writes into ages (its jobs made no progress for the expiry
// time).
bool onlyStalledCopiesLeft()
{
    QMutexLocker lock(&claims().mutex);
    for (auto it = claims().byPath.cbegin(); it != claims().byPath.cend(); ++it) {
        quint64 ended = 0;
        if (WindowGuard::jobsInto(it->orderDir, &ended) > 0 && !it->aging)
            return false;
    }
    return true;
}

// The program ends (its event loop is over). It waits for the jobs still under way (a closed window's
// copies into an order's folder among them), the claims written anew meanwhile as above: as long as the
// copies make progress, and no longer than until every claim whose copies stalled ages. Then every claim
// whose folder no job of this program writes into any more goes; one whose copy still hangs on a stalled
// share is left to age, and the program ends without waiting for that copy any longer.
void releaseAtExit()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    {
        // Progress is counted from here on.
        QMutexLocker lock(&claims().mutex);
        claims().ending = true;
        for (auto it = claims().byPath.begin(); it != claims().byPath.end(); ++it)
            WindowGuard::jobsInto(it->orderDir, &it->endedSeen);
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
        if (pool->waitForDone(kEndLookMs))
            break;
        if (claimWork().waitForDone(0)) { // the last look has ended
            if (onlyStalledCopiesLeft())
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
        quint64 ended = 0;
        if (WindowGuard::jobsInto(it->orderDir, &ended) > 0) {
            hanging = true;
            qCWarning(lcSeparation) << "the program ends while a copy into the order's folder hangs; its claim is left"
                                       " to age:"
                                    << it.key();
            continue;
        }
        if (!it->lost && isOwn(it.key()) && !FileOperation::deleteFile(it.key()))
            qCWarning(lcSeparation) << "claim not removed:" << it.key() << errorText(errno);
    }
    if (hanging) {
        // The program's own end would wait for those copies without bound.
        std::fflush(nullptr);
        std::_Exit(EXIT_SUCCESS);
    }
}

// Removes a claim given back, unless a run of this program has taken it again meanwhile.
void removeGiven(const QString &path)
{
    {
        QMutexLocker lock(&claims().mutex);
        if (claims().byPath.contains(path))
            return;
    }
    if (isOwn(path) && !FileOperation::deleteFile(path))
        qCWarning(lcSeparation) << "claim not removed:" << path << errorText(errno);
}

// Removes the claims no run holds once their runs' copies have ended; looks again soon while some copy. A
// claim goes at once (the run that gave it back has ended when its window says so), or after the look
// under way off the GUI thread, which might write it anew.
void settle()
{
    Claims &all = claims();
    QStringList gone; // claims to remove
    bool later = false;
    bool copying = false;
    {
        QMutexLocker lock(&all.mutex);
        for (auto it = all.byPath.begin(); it != all.byPath.end();) {
            Held &held = it.value();
            if (held.runs > 0) {
                ++it;
                continue;
            }
            for (int i = held.copying.size() - 1; i >= 0; --i) {
                if (!held.copying.at(i)->writesInto(held.orderDir))
                    held.copying.removeAt(i);
            }
            if (!held.copying.isEmpty()) {
                copying = true;
                ++it;
                continue;
            }
            if (!held.lost)
                gone << it.key();
            it = all.byPath.erase(it);
        }
        later = all.looking;
    }
    if (later) {
        startFileWork([gone] {
            for (const QString &path : gone)
                removeGiven(path);
        });
    } else {
        for (const QString &path : qAsConst(gone))
            removeGiven(path);
    }
    QMutexLocker lock(&all.mutex);
    if (copying && !all.settling && QCoreApplication::instance()) {
        all.settling = true;
        QTimer::singleShot(kSettleMs, QCoreApplication::instance(), [] {
            {
                QMutexLocker lock(&claims().mutex);
                claims().settling = false;
            }
            settle();
        });
    }
}

// Takes over another program's claim (bytes, as read) when it has not been written anew for the expiry
// time, as the folder's clock has it, or at once when a program of this desk that has ended left it. It is
// moved aside first, then removed only while it is still that claim: another desk that took it over a
// moment earlier keeps its own.
bool takeOver(const QString &path, const QByteArray &bytes)
{
    const qint64 written = modified(path);
    if (!leftByEndedProgramHere(bytes)
        && qAbs(Platform::folderClock(QFileInfo(path).absolutePath()) - written) < kExpiryMs)
        return false;
    const QString aside = path + QStringLiteral(".ended-") + QString::number(QRandomGenerator::global()->generate64(), 36);
    if (!QDir().rename(path, aside)) // never over a file; gone: taken over by another desk first
        return false;
    QByteArray moved;
    if (Platform::readRegularFile(aside, kLargestClaim, &moved) && moved == bytes && modified(aside) == written) {
        qCWarning(lcSeparation) << "a claim left by a program that ended, taken over:" << path << bytes;
        FileOperation::deleteFile(aside);
        return true;
    }
    // A claim made since it was judged: back under its name, unless another one took the name meanwhile.
    if (!QDir().rename(aside, path))
        FileOperation::deleteFile(aside);
    return false;
}

} // namespace

QString SeparationClaim::fileName()
{
    return QStringLiteral(".分件进行中");
}

SeparationClaim::SeparationClaim(const QString &path, const QString &shown, std::shared_ptr<WindowGuard> guard)
    : m_path(path), m_shown(shown), m_guard(std::move(guard))
{
}

SeparationClaim::~SeparationClaim()
{
    {
        QMutexLocker lock(&claims().mutex);
        Held &held = claims().byPath[m_path];
        --held.runs;
        if (m_guard)
            held.copying << m_guard;
        WindowGuard::jobsInto(held.orderDir, &held.endedSeen); // its copies' progress counts from here on
    }
    settle();
}

namespace {

// Claims path (shown so in the report) for a run into orderDir: its file work (startFileWork).
SeparationClaim::Taking takeNow(const QString &orderDir, const QString &path, const QString &shown)
{
    SeparationClaim::Taking taking;
    QByteArray bytes;
    int error = 0;
    const bool there = Platform::readRegularFile(path, kLargestClaim, &bytes, &error);
    if (!there && error != ENOENT) {
        const QString reason = error == ELOOP    ? QStringLiteral("是链接")
                               : error == EINVAL ? QStringLiteral("不是普通文件")
                               : error == EFBIG  ? QStringLiteral("不是分件标记")
                                                 : errorText(error);
        taking.outcome = SeparationClaim::Refused;
        taking.why = QStringLiteral("该订单未分件：分件标记无法读取（") + reason
                     + QStringLiteral("），无法确定其它电脑是否正在分件该订单，请删除该文件后重新分件：") + shown;
        qCWarning(lcSeparation) << "no claim under the claim's name:" << path << reason;
        return taking;
    }
    if (there && bytes != ownClaim() && !takeOver(path, bytes)) {
        qCDebug(lcSeparation) << "the order is being separated by another program:" << path << bytes;
        const QJsonObject other = QJsonDocument::fromJson(bytes).object();
        taking.outcome = SeparationClaim::Busy;
        taking.desk = other.value(kDesk).toString().simplified();
        taking.thisDesk = namesThisDesk(other);
        return taking;
    }
    if (!there || bytes != ownClaim()) { // none there, or the one taken over is gone: a claim of our own
        Platform::SystemFile file;
        Platform::delayWrite(path); // a share that stalls
        if (!file.openForWriting(path, Platform::SystemFile::NewOnly)) {
            // EEXIST: another program claimed it first, or something else is there now
            taking.outcome = file.error() == EEXIST ? SeparationClaim::Busy : SeparationClaim::NotWritten;
            if (file.error() != EEXIST)
                taking.why = shown + QStringLiteral("（") + errorText(file.error()) + QStringLiteral("）");
            return taking;
        }
        const QByteArray &own = ownClaim();
        if (file.write(own) != own.size() || !file.closeChecked()) {
            const int failed = file.error();
            file.close();
            FileOperation::deleteFile(path);
            taking.outcome = SeparationClaim::NotWritten;
            taking.why = shown + QStringLiteral("（")
                         + (failed != 0 ? errorText(failed) : QStringLiteral("未能完整写入")) + QStringLiteral("）");
            qCWarning(lcSeparation) << "claim not written:" << path << taking.why;
            return taking;
        }
        FileOperation::setFileHidden(path);
    }
    // This program's claim now, held by the run from here on (also should its window close before it
    // hears of it: then it gives it back at once).
    {
        QMutexLocker lock(&claims().mutex);
        Held &held = claims().byPath[path];
        held.orderDir = orderDir;
        held.lost = false;
        held.stalledSince = -1;
        held.aging = false;
        ++held.runs;
    }
    // One that was this program's already (a window that gave it back may still be copying; it may have
    // aged meanwhile, or just gone with that window) is made fresh again for the run.
    if (there && bytes == ownClaim())
        writeOne(path);
    taking.outcome = SeparationClaim::Taken;
    return taking;
}

// Calls call on the GUI thread, unless the program's end has begun. Any thread.
void onGuiThread(std::function<void()> call)
{
    QMutexLocker lock(&claims().mutex);
    if (!claims().ending && QCoreApplication::instance())
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

} // namespace

void SeparationClaim::take(const QString &orderDir, const std::shared_ptr<WindowGuard> &guard,
                           std::function<void(const Taking &)> done)
{
    const QString path = Platform::localPath(orderDir) + fileName();
    const QString shown = orderDir + fileName();
    startFileWork([orderDir, path, shown, guard, done] {
        Taking taking = takeNow(orderDir, path, shown);
        onGuiThread([taking, path, shown, guard, done]() mutable {
            if (taking.outcome == Taken) {
                taking.claim.reset(new SeparationClaim(path, shown, guard));
                freshen();
            }
            if (guard->isWindowShow()) // the window is there
                done(taking);
        });
    });
}

bool SeparationClaim::isHeld() const
{
    QMutexLocker lock(&claims().mutex);
    const auto held = claims().byPath.constFind(m_path);
    return held != claims().byPath.constEnd() && !held->lost;
}

void SeparationClaim::check(const std::shared_ptr<WindowGuard> &guard, std::function<void(bool)> answer) const
{
    const QString path = m_path;
    const std::weak_ptr<WindowGuard> window = guard;
    startFileWork([path, window, answer] {
        const bool own = isOwn(path);
        {
            QMutexLocker lock(&claims().mutex);
            const auto held = claims().byPath.find(path);
            if (!own && held != claims().byPath.end() && !held->lost) {
                held->lost = true;
                qCWarning(lcSeparation) << "the order folder's claim is no longer this program's:" << path;
            }
        }
        onGuiThread([window, answer, own] {
            const std::shared_ptr<WindowGuard> open = window.lock();
            if (open && open->isWindowShow())
                answer(own);
        });
    });
}

std::function<bool()> SeparationClaim::heldCheck() const
{
    const QString path = m_path;
    return [path] { return isOwn(path); };
}

QStringList SeparationClaim::interference(const SeparationClaim *claim, const SeparationAttempt *attempt)
{
    QStringList lines;
    if (claim && !claim->isHeld()) {
        lines << QStringLiteral("分件期间该订单的分件标记被删除或被其它电脑接手，产品文件夹未按本次分件核对：")
                     + claim->m_shown;
    }
    if (attempt && !attempt->recordIntact())
        lines << QStringLiteral("分件期间该订单的分件记录被删除、移走或替换，产品文件夹未按本次分件核对：")
                     + attempt->recordPath();
    return lines;
}
