#include "cr2downloadwindow.h"

#include "cr2downloadrunnable.h"
#include "logging.h"
#include "msgbox.h"
#include "shottime.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGridLayout>
#include <QProgressBar>

CR2DownLoadWindow::CR2DownLoadWindow(QWidget *parent) : QWidget(parent), ui(new Form)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("CR2DownLoadWindow"));
    resize(349, 38);
    ui->gridLayout = new QGridLayout(this);
    ui->gridLayout->setObjectName(QStringLiteral("gridLayout"));
    ui->progressBar = new QProgressBar(this);
    ui->progressBar->setObjectName(QStringLiteral("progressBar"));
    ui->progressBar->setValue(24);
    ui->gridLayout->addWidget(ui->progressBar, 0, 0, 1, 1);
    setWindowTitle(QCoreApplication::translate("CR2DownLoadWindow", "Form"));
    QMetaObject::connectSlotsByName(this);

    setWindowFlags((windowFlags() & ~Qt::WindowCloseButtonHint & ~Qt::WindowContextHelpButtonHint)
                   | Qt::MSWindowsFixedSizeDialogHint);
#ifndef Q_OS_WIN
    setFixedSize(349, 38);
#endif
    setWindowTitle(QStringLiteral("正在下载照片..."));
    onDownloadProcess(0, 0);
}

CR2DownLoadWindow::~CR2DownLoadWindow()
{
    // The job reports through a guard, so it may outlive the window; it is only waited for here so that
    // nothing of the download runs on after its window is gone.
    m_pool.waitForDone();
    delete ui;
}

QProgressBar *CR2DownLoadWindow::progressBar() const
{
    return ui->progressBar;
}

bool CR2DownLoadWindow::startDownload(const QString &pairsFile, const QString &sourceDir, const QString &targetDir)
{
    if (m_running) {
        qCWarning(lcSingleImport) << "a download is running already; not started again";
        return false;
    }
    m_running = true;
    m_pool.start(new CR2DownloadRunnable(this, sourceDir, targetDir, readTextFile(pairsFile)), 0);
    return true;
}

QString CR2DownLoadWindow::readTextFile(const QString &path)
{
    return ShotTimeList::readText(path);
}

void CR2DownLoadWindow::onDownloadProcess(int max, int value)
{
    ui->progressBar->setMaximum(max);
    ui->progressBar->setValue(value > max ? max : value);
}

void CR2DownLoadWindow::onDownloadFinish(bool isSuccess, QString tip)
{
    m_running = false;
    MsgBox::information(this, isSuccess ? QStringLiteral("提示") : QStringLiteral("警告"), tip, QMessageBox::Yes,
                        QMessageBox::Yes);
    close();
}

void CR2DownLoadWindow::closeEvent(QCloseEvent *event)
{
    // The job's end is the window's end: closing earlier would hide the outcome of a running download.
    if (m_running) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
