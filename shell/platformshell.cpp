#include "platformshell.h"

#include "logging.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>
#include <QProcess>

#ifndef TESSALY_DEFAULT_UPDATER
#define TESSALY_DEFAULT_UPDATER ""
#endif

namespace PlatformShell {
namespace {
std::function<bool(const QString &)> &updaterHook()
{
    static std::function<bool(const QString &)> hook;
    return hook;
}
std::function<void()> &endHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

QString updaterPath()
{
#ifdef Q_OS_WIN
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("checkUpdate.exe"));
#else
    const QByteArray env = qgetenv("TESSALY_UPDATER");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStringLiteral(TESSALY_DEFAULT_UPDATER);
#endif
}

bool startUpdater(QString *error)
{
    const QString program = updaterPath();
    if (program.isEmpty()) {
        if (error)
            *error = QStringLiteral("没有配置更新程序，请手动安装新版本。");
        return false;
    }
    if (updaterHook()) {
        const bool ok = updaterHook()(program);
        if (!ok && error)
            *error = QStringLiteral("无法启动更新程序：") + QDir::toNativeSeparators(program);
        return ok;
    }
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        if (error)
            *error = QStringLiteral("找不到更新程序：") + QDir::toNativeSeparators(program);
        return false;
    }
    if (!QProcess::startDetached(info.absoluteFilePath(), {}, info.absolutePath())) {
        if (error)
            *error = QStringLiteral("无法启动更新程序：") + QDir::toNativeSeparators(program);
        return false;
    }
    qCDebug(lcShell) << "updater started:" << info.absoluteFilePath();
    return true;
}

namespace {
// Asks the windows to close, a modal one on top first, as Qt's closeAllWindows does; stops at the first
// that refuses. True when every visible window closed.
bool closeEveryWindow()
{
    QList<QPointer<QWidget>> asked;
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (asked.contains(modal))
            break;
        asked << modal;
        if (!modal->close())
            return false;
    }
    QList<QPointer<QWidget>> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        windows << w;
    // A window may take others with it as it closes: each is looked at only when its turn comes.
    for (const QPointer<QWidget> &w : qAsConst(windows)) {
        if (w && w->isVisible() && !w->close())
            return false;
    }
    return true;
}
} // namespace

bool endProgram()
{
    // Nothing may be left half-done: the program ends only once every window has agreed to close.
    if (!closeEveryWindow()) {
        qCWarning(lcShell) << "program end for the update cancelled: a window refused to close";
        return false;
    }
    qCDebug(lcShell) << "program ends for the update";
    if (endHook())
        endHook()();
    else
        QCoreApplication::exit(0);
    return true;
}

void setUpdaterHook(std::function<bool(const QString &)> hook)
{
    updaterHook() = std::move(hook);
}

void setEndProgramHook(std::function<void()> hook)
{
    endHook() = std::move(hook);
}

} // namespace PlatformShell
