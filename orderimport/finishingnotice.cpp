#include "finishingnotice.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// The notice cannot be closed by hand: the program would end with photos half done.
class Notice : public QWidget
{
public:
    Notice()
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("finishingNotice"));
        setWindowTitle(QStringLiteral("导片"));
        setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(30, 20, 30, 20);
        layout->addWidget(new QLabel(QStringLiteral("正在完成已开始的照片…"), this));
    }
    bool done = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (done)
            event->accept();
        else
            event->ignore();
    }
};

int g_holds = 0;
QPointer<Notice> g_notice;

void release()
{
    if (--g_holds > 0 || !g_notice)
        return;
    g_notice->done = true;
    g_notice->close();
    g_notice = nullptr;
}

} // namespace

namespace FinishingNotice {

std::shared_ptr<void> hold()
{
    if (g_holds++ == 0 && !g_notice) {
        g_notice = new Notice;
        g_notice->show();
    }
    return std::shared_ptr<void>(nullptr, [](void *) { release(); });
}

QWidget *shown()
{
    return g_notice && g_notice->isVisible() ? g_notice.data() : nullptr;
}

} // namespace FinishingNotice
