#include "importclaim.h"

#include "orderfolders.h"
#include "platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>

namespace {

// This program's imports into each order folder: the photos being placed, those that have ended, and the
// runs holding the folder's claim.
struct Folder
{
    int working = 0;
    quint64 ended = 0;
    int holds = 0;  // of import runs
    int others = 0; // of tools that keep imports away
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

QString keyOf(const QString &orderFolder)
{
    const QString path = QDir::cleanPath(OrderFolders::fsPath(orderFolder));
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

// Drops the entry of a folder nothing of this program works in any more (its count of ended photos goes
// with it: a claim taken later counts from nought, which its progress only compares with itself).
void dropIfIdle(const QString &key)
{
    const auto it = folders().byKey.find(key);
    if (it != folders().byKey.end() && it->working == 0 && it->holds == 0 && it->others == 0)
        folders().byKey.erase(it);
}

} // namespace

namespace ImportClaim {

QString fileName()
{
    return QStringLiteral(".导片进行中");
}

Working::Working(const QString &orderFolder) : m_key(keyOf(orderFolder))
{
    QMutexLocker lock(&folders().mutex);
    ++folders().byKey[m_key].working;
}

Working::~Working()
{
    QMutexLocker lock(&folders().mutex);
    Folder &folder = folders().byKey[m_key];
    --folder.working;
    ++folder.ended;
    dropIfIdle(m_key);
}

Hold::Hold(std::shared_ptr<FolderClaim> claim, const QString &orderFolder, bool imports, qint64 endedHereAt,
           const QByteArray &tookOver)
    : m_claim(std::move(claim)), m_key(keyOf(orderFolder)), m_imports(imports), m_tookOver(tookOver)
{
    QMutexLocker lock(&folders().mutex);
    Folder &folder = folders().byKey[m_key];
    m_anew = folder.holds == 0;
    m_alone = m_anew && folder.others == 0 && folder.working == 0;
    if (m_anew && imports)
        folder.endedHereAt = endedHereAt;
    ++(imports ? folder.holds : folder.others);
}

Hold::~Hold()
{
    {
        QMutexLocker lock(&folders().mutex);
        Folder &folder = folders().byKey[m_key];
        --(m_imports ? folder.holds : folder.others);
        dropIfIdle(m_key);
    }
    m_claim.reset(); // given back: it goes once no photo of this program is placed in the folder
}

void take(const QString &orderFolder, QObject *context,
          std::function<void(const FolderClaim::Taking &, const std::shared_ptr<Hold> &)> done, bool imports)
{
    const QString folder = OrderFolders::withSeparator(orderFolder);
    FolderClaim::take(folder, fileName(), holderOf(keyOf(folder)), context, [folder, done, imports](const FolderClaim::Taking &taking) {
        const std::shared_ptr<Hold> hold = taking.outcome == FolderClaim::Taken
                                               ? std::make_shared<Hold>(taking.claim, folder, imports,
                                                                        taking.endedHereAt, taking.tookOverClaim)
                                               : nullptr;
        done(taking, hold);
    });
}

FolderClaim::Taking takeAndWait(const QString &orderFolder, std::shared_ptr<Hold> *hold,
                                const std::function<bool()> &stopped, bool imports)
{
    const QString folder = OrderFolders::withSeparator(orderFolder);
    const FolderClaim::Taking taking = FolderClaim::takeAndWait(folder, fileName(), holderOf(keyOf(folder)), stopped);
    hold->reset();
    if (taking.outcome == FolderClaim::Taken)
        *hold = std::make_shared<Hold>(taking.claim, folder, imports, taking.endedHereAt, taking.tookOverClaim);
    return taking;
}

qint64 msSinceEndedProgram(const QString &orderFolder)
{
    qint64 at = -1;
    {
        QMutexLocker lock(&folders().mutex);
        const auto it = folders().byKey.constFind(keyOf(OrderFolders::withSeparator(orderFolder)));
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

QString waitingText(const QString &orderKey, const FolderClaim::Taking &taking)
{
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
