#pragma once
// The small progress window of the raw-file download: reads the order's shot-time list, runs one
// download job on a pool of its own, shows its progress and, at the end, its message; then it closes.
// While the job runs the window has no close button and refuses to close.

#include <QThreadPool>
#include <QWidget>

class QGridLayout;
class QProgressBar;

class CR2DownLoadWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CR2DownLoadWindow(QWidget *parent = nullptr);
    ~CR2DownLoadWindow() override;

    // Starts the download and returns at once; false (nothing started) while a download runs.
    bool startDownload(const QString &pairsFile, const QString &sourceDir, const QString &targetDir);
    // The list file's text, trimmed; "" for a missing or empty file.
    static QString readTextFile(const QString &path);

    bool isRunning() const { return m_running; }
    QProgressBar *progressBar() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void onDownloadFinish(bool isSuccess, QString tip);
    void onDownloadProcess(int max, int value);

private:
    struct Form
    {
        QGridLayout *gridLayout = nullptr;
        QProgressBar *progressBar = nullptr;
    };
    Form *ui;
    QThreadPool m_pool;
    bool m_running = false;
};
