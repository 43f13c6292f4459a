#include "importclaim.h"

#include "orderfolders.h"
#include "platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>

#include <cerrno>

namespace {

// This program's imports into each order folder: the photos being placed, those that have ended, and the
// runs holding the folder's claim.
struct Folder
{
    int working = 0;
    quint64 ended = 0;
    int holds = 0;       // of import runs
    int separations = 0; // of the tools that keep imports away
    int deletions = 0;
    // The moment this program's import holds began with a takeover from an ended program of this desk
    // (FolderClaim::Taking::endedHereAt), -1 when they did not.
    qint64 endedHereAt = -1;
};

struct Folders
{
    QMutex mutex;
    QHash<QString, Folder> byKey;
};

// Never destroyed: a pool job may end while the program exits.
Folders &folders()
{
    static Folders *f = new Folders;
    return *f;
}

// The folder itself, by whatever spelling it was reached (a link in the storage root, a mapped drive beside
// the network path, "x/" beside "x"): its canonical path, or, for a folder not made yet, the canonical path of
// the nearest folder above it that is there with the rest as written; case as the platform has it. File calls:
// never under the folders' lock, never on the GUI thread.
QString keyOf(const QString &orderFolder)
{
    QString path = QDir::cleanPath(OrderFolders::fsPath(orderFolder));
    QString rest;
    for (QString at = path;;) {
        const QString canonical = QFileInfo(at).canonicalFilePath();
        if (!canonical.isEmpty()) {
            path = canonical + rest;
            break;
        }
        const int slash = at.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break; // nothing of it is there: the path as written
        rest = at.mid(slash) + rest;
        at = at.left(slash);
    }
    return Platform::pathCase() == Qt::CaseInsensitive ? path.toLower() : path;
}

FolderClaim::Holder holderOf(const QString &key)
{
    FolderClaim::Holder holder;
    holder.progress = [key] {
        QMutexLocker lock(&folders().mutex);
        const Folder folder = folders().byKey.value(key);
        FolderClaim::Progress progress;
        progress.jobs = folder.working;
        progress.running = folder.working;
        progress.ended = folder.ended;
        return progress;
    };
    holder.stillWriting = [key] {
        QMutexLocker lock(&folders().mutex);
        return folders().byKey.value(key).working > 0;
    };
    return holder;
}

// The count of the holds of use in folder.
int &holdsOf(Folder &folder, ImportClaim::Use use)
{
    switch (use) {
    case ImportClaim::Use::Separation: return folder.separations;
    case ImportClaim::Use::Deletion: return folder.deletions;
    case ImportClaim::Use::Import: break;
    }
    return folder.holds;
}

// The tool of this program that keeps imports away from folder (Import: none); a deletion before a
// separation, the import then finding the folder gone.
ImportClaim::Use keeper(const Folder &folder)
{
    return folder.deletions > 0     ? ImportClaim::Use::Deletion
           : folder.separations > 0 ? ImportClaim::Use::Separation
                                    : ImportClaim::Use::Import;
}

// Drops the entry of a folder nothing of this program works in any more (its count of ended photos goes
// with it: a claim taken later counts from nought, which its progress only compares with itself).
void dropIfIdle(const QString &key)
{
    const auto it = folders().byKey.find(key);
    if (it != folders().byKey.end() && it->working == 0 && it->holds == 0 && keeper(*it) == ImportClaim::Use::Import)
        folders().byKey.erase(it);
}

// The tool of this program that keeps imports away from the folder of key now (Import: none).
ImportClaim::Use keptNow(const QString &key)
{
    QMutexLocker lock(&folders().mutex);
    const auto it = folders().byKey.constFind(key);
    return it == folders().byKey.constEnd() ? ImportClaim::Use::Import : keeper(*it);
}

// An import's take that tool of this program keeps away: Busy, this program's own claim, nothing held.
void keptAway(ImportClaim::Taking *taking, ImportClaim::Use tool)
{
    taking->outcome = FolderClaim::Busy;
    taking->claim.reset();
    taking->keptBy = tool;
    taking->desk.clear();
    taking->thisDesk = true;
    taking->tookOver = false;
    taking->tookOverClaim.clear();
    taking->endedHereAt = -1;
}

// An import's take that tool keeps away before any file of the order is touched (its deletion may be under
// way): the claim's file named as a take would name it.
ImportClaim::Taking keptAwayBefore(const QString &folder, ImportClaim::Use tool)
{
    ImportClaim::Taking taking;
    keptAway(&taking, tool);
    taking.shown = folder + ImportClaim::fileName();
    return taking;
}

// The hold of a take of use on the folder of key (none unless Taken). An import's made while a tool of this
// program keeps the order is given back at once, and the take is Busy.
std::shared_ptr<ImportClaim::Hold> holdFor(ImportClaim::Taking *taking, const QString &key, ImportClaim::Use use)
{
    if (taking->outcome != FolderClaim::Taken)
        return nullptr;
    auto hold = std::make_shared<ImportClaim::Hold>(taking->claim, key, use, taking->endedHereAt, taking->tookOverClaim);
    if (hold->keptBy() == ImportClaim::Use::Import)
        return hold;
    keptAway(taking, hold->keptBy());
    return nullptr;
}

} // namespace

namespace ImportClaim {

QString fileName()
{
    return QStringLiteral(".导片进行中");
}

Working::Working(const QString &orderFolder, Use *keptBy) : m_key(keyOf(orderFolder))
{
    QMutexLocker lock(&folders().mutex);
    if (keptBy) {
        // Judged and counted at once, as a hold is: a tool counted first keeps this work away, this work
        // counted first keeps the tool from being alone().
        const auto it = folders().byKey.constFind(m_key);
        *keptBy = it == folders().byKey.constEnd() ? Use::Import : keeper(*it);
        if (*keptBy != Use::Import) {
            m_key.clear();
            return;
        }
    }
    ++folders().byKey[m_key].working;
}

Working::~Working()
{
    if (m_key.isEmpty())
        return; // kept away: nothing counted
    QMutexLocker lock(&folders().mutex);
    Folder &folder = folders().byKey[m_key];
    --folder.working;
    ++folder.ended;
    dropIfIdle(m_key);
}

Hold::Hold(std::shared_ptr<FolderClaim> claim, const QString &folderKey, Use use, qint64 endedHereAt,
           const QByteArray &tookOver)
    : m_claim(std::move(claim)), m_key(folderKey), m_use(use), m_tookOver(tookOver)
{
    // Judged and counted at once: a tool's hold counted first keeps this import away, an import's counted
    // first keeps the tool from being alone().
    QMutexLocker lock(&folders().mutex);
    Folder &folder = folders().byKey[m_key];
    if (use == Use::Import && keeper(folder) != Use::Import) {
        m_keptBy = keeper(folder);
        return;
    }
    m_anew = folder.holds == 0;
    m_alone = m_anew && keeper(folder) == Use::Import && folder.working == 0;
    if (m_anew && use == Use::Import)
        folder.endedHereAt = endedHereAt;
    ++holdsOf(folder, use);
}

Hold::~Hold()
{
    if (m_keptBy == Use::Import) {
        QMutexLocker lock(&folders().mutex);
        Folder &folder = folders().byKey[m_key];
        --holdsOf(folder, m_use);
        dropIfIdle(m_key);
    }
    m_claim.reset(); // given back: it goes once no photo of this program is placed in the folder
}

void take(const QString &orderFolder, QObject *context,
          std::function<void(const Taking &, const std::shared_ptr<Hold> &)> done, Use use)
{
    const QString folder = OrderFolders::withSeparator(orderFolder);
    const QPointer<QObject> target(context);
    // Which folder the path names is read on the claims' thread, in turn with the takes.
    FolderClaim::runInTurn([folder, target, done, use] {
        const QString key = keyOf(folder);
        // Kept away by a tool of this program: no file of the order is touched (its deletion may be under way).
        const Use tool = use == Use::Import ? keptNow(key) : Use::Import;
        if (tool != Use::Import) {
            const Taking taking = keptAwayBefore(folder, tool);
            if (QObject *to = target.data())
                QMetaObject::invokeMethod(to, [taking, done] { done(taking, nullptr); }, Qt::QueuedConnection);
            return;
        }
        FolderClaim::take(folder, fileName(), holderOf(key), target.data(),
                          [key, done, use](const FolderClaim::Taking &took) {
                              Taking taking;
                              static_cast<FolderClaim::Taking &>(taking) = took;
                              const std::shared_ptr<Hold> hold = holdFor(&taking, key, use);
                              done(taking, hold);
                          });
    });
}

Taking takeAndWait(const QString &orderFolder, std::shared_ptr<Hold> *hold, const std::function<bool()> &stopped, Use use)
{
    const QString folder = OrderFolders::withSeparator(orderFolder);
    const QString key = keyOf(folder);
    hold->reset();
    const Use tool = use == Use::Import ? keptNow(key) : Use::Import;
    if (tool != Use::Import) // as above
        return keptAwayBefore(folder, tool);
    Taking taking;
    static_cast<FolderClaim::Taking &>(taking) = FolderClaim::takeAndWait(folder, fileName(), holderOf(key), stopped);
    *hold = holdFor(&taking, key, use);
    return taking;
}

qint64 msSinceEndedProgram(const QString &orderFolder)
{
    qint64 at = -1;
    const QString key = keyOf(OrderFolders::withSeparator(orderFolder)); // file calls: before the lock
    {
        QMutexLocker lock(&folders().mutex);
        const auto it = folders().byKey.constFind(key);
        if (it == folders().byKey.constEnd() || it->holds == 0)
            return -1;
        at = it->endedHereAt;
    }
    if (at < 0)
        return -1;
    QElapsedTimer now;
    now.start();
    return qMax<qint64>(0, now.msecsSinceReference() - at);
}

QString waitingText(const QString &orderKey, const Taking &taking)
{
    if (taking.keptBy == Use::Deletion)
        return QStringLiteral("订单") + orderKey + QStringLiteral("正在本程序中删除，等待其删除完成（可关闭窗口停止等待）");
    if (taking.keptBy == Use::Separation)
        return QStringLiteral("订单") + orderKey
               + QStringLiteral("正在本程序的分件窗口中分件，等待其分件完成（可关闭窗口停止等待）");
    const QString where = taking.thisDesk         ? QStringLiteral("本机的另一个程序中")
                          : taking.desk.isEmpty() ? QStringLiteral("另一个程序中")
                                                  : taking.desk + QStringLiteral("上");
    return QStringLiteral("订单") + orderKey + QStringLiteral("正在") + where
           + QStringLiteral("导片，等待其导片完成（可关闭窗口停止等待）");
}

QString waitingHereText(const QString &orderKey)
{
    return QStringLiteral("订单") + orderKey + QStringLiteral("正在本程序的导片窗口中导片，等待其导片完成（可关闭窗口停止等待）");
}

bool folderGone(const FolderClaim::Taking &taking)
{
    return taking.outcome == FolderClaim::NotWritten && taking.error == ENOENT;
}

QString refusedText(const FolderClaim::Taking &taking)
{
    return QStringLiteral("该订单未导入：导片标记无法读取（") + taking.reason
           + QStringLiteral("），无法确定其它电脑是否正在导入该订单，请删除该文件后重新导入：") + taking.shown;
}

QString notWrittenText(const FolderClaim::Taking &taking)
{
    return QStringLiteral("导片标记无法写入，无法阻止其它电脑同时导入该订单：") + taking.shown + QStringLiteral("（")
           + taking.reason + QStringLiteral("）");
}

} // namespace ImportClaim
