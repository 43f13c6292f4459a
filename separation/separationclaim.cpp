#include "separationclaim.h"

#include "logging.h"
#include "separationattempt.h"
#include "windowguard.h"

#include <QCoreApplication>

#include <cerrno>

static_assert(int(SeparationClaim::Taken) == int(FolderClaim::Taken) && int(SeparationClaim::Busy) == int(FolderClaim::Busy)
                  && int(SeparationClaim::Refused) == int(FolderClaim::Refused)
                  && int(SeparationClaim::NotWritten) == int(FolderClaim::NotWritten),
              "a separation's claim says what the folder's claim found");

QString SeparationClaim::fileName()
{
    return QStringLiteral(".分件进行中");
}

SeparationClaim::SeparationClaim(std::shared_ptr<FolderClaim> claim) : m_claim(std::move(claim))
{
}

// Its FolderClaim goes with it: the claim is removed once no job of the window writes into the folder.
SeparationClaim::~SeparationClaim() = default;

void SeparationClaim::take(const QString &orderDir, const std::shared_ptr<WindowGuard> &guard,
                           std::function<void(const Taking &)> done)
{
    FolderClaim::Holder holder;
    holder.progress = [orderDir] {
        FolderClaim::Progress progress;
        progress.jobs = WindowGuard::jobsInto(orderDir, &progress.ended, &progress.running);
        return progress;
    };
    holder.stillWriting = [guard, orderDir] { return guard->writesInto(orderDir); };
    holder.log = lcSeparation;
    FolderClaim::take(orderDir, fileName(), holder, QCoreApplication::instance(),
                      [guard, done](const FolderClaim::Taking &found) {
                          Taking taking;
                          taking.outcome = Outcome(found.outcome);
                          taking.desk = found.desk;
                          taking.thisDesk = found.thisDesk;
                          if (found.outcome == FolderClaim::Taken) {
                              taking.claim.reset(new SeparationClaim(found.claim));
                          } else if (found.outcome == FolderClaim::Refused) {
                              const QString reason =
                                  found.error == EFBIG ? QStringLiteral("不是分件标记") : found.reason;
                              taking.why = QStringLiteral("该订单未分件：分件标记无法读取（") + reason
                                           + QStringLiteral("），无法确定其它电脑是否正在分件该订单，请删除该文件后重新分件：")
                                           + found.shown;
                          } else if (found.outcome == FolderClaim::NotWritten) {
                              taking.why = found.shown + QStringLiteral("（") + found.reason + QStringLiteral("）");
                          }
                          if (guard->isWindowShow()) // the window is there
                              done(taking);
                      });
}

bool SeparationClaim::isHeld() const
{
    return m_claim->isHeld();
}

void SeparationClaim::check(const std::shared_ptr<WindowGuard> &guard, std::function<void(bool)> answer) const
{
    const std::weak_ptr<WindowGuard> window = guard;
    m_claim->check(QCoreApplication::instance(), [window, answer](bool own) {
        const std::shared_ptr<WindowGuard> open = window.lock();
        if (open && open->isWindowShow())
            answer(own);
    });
}

std::function<bool()> SeparationClaim::heldCheck() const
{
    return m_claim->heldCheck();
}

QStringList SeparationClaim::interference(const SeparationClaim *claim, const SeparationAttempt *attempt)
{
    QStringList lines;
    if (claim && !claim->isHeld()) {
        lines << QStringLiteral("分件期间该订单的分件标记被删除或被其它电脑接手，产品文件夹未按本次分件核对：")
                     + claim->m_claim->shown();
    }
    if (attempt && !attempt->recordIntact())
        lines << QStringLiteral("分件期间该订单的分件记录被删除、移走或替换，产品文件夹未按本次分件核对：")
                     + attempt->recordPath();
    return lines;
}
