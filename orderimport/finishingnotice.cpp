#include "finishingnotice.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

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
        m_label = new QLabel(this);
        m_label->setObjectName(QStringLiteral("finishingText"));
        layout->addWidget(m_label);
    }
    void setText(const QString &text) { m_label->setText(text); }
    bool done = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (done)
            event->accept();
        else
            event->ignore();
    }

private:
    QLabel *m_label;
};

std::vector<FinishingNotice::Hold *> g_holds;
QPointer<Notice> g_notice;

QString currentText()
{
    for (const FinishingNotice::Hold *hold : g_holds)
        if (hold->stage() == FinishingNotice::Stage::Photos)
            return FinishingNotice::text(FinishingNotice::Stage::Photos);
    return FinishingNotice::text(FinishingNotice::Stage::Answer);
}

// Whether a window that keeps the program going (as the system's last-window rule counts them) is on the
// screen, leaving aside the one that leaves it now.
bool otherWindowShown(const QObject *leaving)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == leaving || w == g_notice || !w->isVisible() || w->parentWidget() || !w->testAttribute(Qt::WA_QuitOnClose))
            continue;
        return true;
    }
    return false;
}

void showIfLast(const QObject *leaving)
{
    if (g_holds.empty() || g_notice || otherWindowShown(leaving))
        return;
    g_notice = new Notice;
    g_notice->setText(currentText());
    g_notice->show();
}

// Watches the windows leaving the screen while a closed window still works: the notice comes before the
// last of them has gone (its hide comes before the program's last-window check).
class Watcher : public QObject
{
public:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous() && object->isWidgetType()
            && static_cast<QWidget *>(object)->isWindow())
            showIfLast(object);
        return false;
    }
};
Watcher *g_watcher = nullptr;

} // namespace

namespace FinishingNotice {

Hold::~Hold()
{
    g_holds.erase(std::remove(g_holds.begin(), g_holds.end(), this), g_holds.end());
    if (!g_holds.empty()) {
        if (g_notice)
            g_notice->setText(currentText());
        return;
    }
    if (g_watcher) {
        if (qApp)
            qApp->removeEventFilter(g_watcher);
        delete g_watcher;
        g_watcher = nullptr;
    }
    if (g_notice) {
        g_notice->done = true;
        g_notice->close();
        g_notice = nullptr;
    }
}

void Hold::setStage(Stage stage)
{
    m_stage = stage;
    if (g_notice)
        g_notice->setText(currentText());
}

std::shared_ptr<Hold> hold(const QWidget *closing, Stage stage)
{
    std::shared_ptr<Hold> held(new Hold(stage));
    g_holds.push_back(held.get());
    if (!g_watcher) {
        g_watcher = new Watcher;
        qApp->installEventFilter(g_watcher);
    }
    if (g_notice)
        g_notice->setText(currentText());
    showIfLast(closing);
    return held;
}

QWidget *shown()
{
    return g_notice && g_notice->isVisible() ? g_notice.data() : nullptr;
}

QString text(Stage stage)
{
    return stage == Stage::Photos
               ? QStringLiteral("正在完成已开始的照片并上报导片数量，完成后程序会自动退出…")
               : QStringLiteral("正在等待服务器回复导片数量，完成后程序会自动退出…");
}

} // namespace FinishingNotice
