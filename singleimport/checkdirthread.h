#pragma once
// Tests whether an order folder exists, on a thread of its own, so that a slow or lost share never
// holds up the window. The answer comes by onFinishCheck; the thread deletes itself once it has ended.

#include <QString>
#include <QThread>

class CheckDirThread : public QThread
{
    Q_OBJECT
public:
    explicit CheckDirThread(QString path);
    ~CheckDirThread() override;

signals:
    void onFinishCheck(bool exists);

protected:
    void run() override;

private:
    QString path;
};
