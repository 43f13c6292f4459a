#pragma once
// Shared set-up of the import-run tests: the stand-in web service, a fresh sample studio per test,
// records of its orders, and the batch import dialog driven through its widgets.

#include "globals.h"
#include "importdialogfixture.h"
#include "importstate.h"
#include "msgbox.h"
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <functional>

class ImportRunFixture : public ImportDialogFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startServer(QStringLiteral("9"))); }
    void init()
    {
        QString error;
        QVERIFY2(freshStudio(&error), qPrintable(error));
    }
    void cleanup() { tearDown(); }

protected:
    // A fresh studio, a fresh dialog, nothing recorded.
    bool freshStudio(QString *error)
    {
        if (!newStudio(true, error))
            return false;
        m_server.clearReplies();
        m_server.clearRequests();
        m_server.setReply("updatepicpath", standin::Reply::ok());
        m_server.setReply("savedovrapath", standin::Reply::ok());
        MsgBox::clearShown();
        Platform::clearFaults();
        Platform::clearOpenedPaths();
        Platform::setFreeDiskBytesOverride(-1);
        openDialog();
        return true;
    }

    void tearDown()
    {
        closeDialog();
        m_roots.reset();
    }

    ImportOrderModel *record(int sampleIndex, const std::function<void(QJsonObject &)> &tweak = {})
    {
        QJsonObject json = m_studio->orderJson(m_studio->orders.at(sampleIndex));
        if (tweak)
            tweak(json);
        m_records.append(new ImportOrderModel(json));
        return m_records.last();
    }

    bool handOver(const QList<ImportOrderModel *> &orders)
    {
        return QMetaObject::invokeMethod(m_dlg, "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, orders));
    }

    // JPEGs to choose, in a folder of their own; returns their paths in the order given.
    QStringList photos(const QString &folder, const QStringList &names, const QSize &size = QSize(64, 48))
    {
        QStringList paths;
        QDir().mkpath(m_roots->path(folder));
        for (const QString &name : names) {
            const QString path = m_roots->path(folder + "/" + name);
            if (testsupport::writeJpeg(path, size, 1))
                paths << path;
        }
        return paths;
    }

    QStringList files(const QString &folder, const QStringList &names, const QByteArray &content)
    {
        QStringList paths;
        QDir().mkpath(m_roots->path(folder));
        for (const QString &name : names) {
            QFile f(m_roots->path(folder + "/" + name));
            if (f.open(QIODevice::WriteOnly) && f.write(content + name.toUtf8()) > 0)
                paths << f.fileName();
        }
        return paths;
    }

    QTableWidget *table() { return m_dlg->findChild<QTableWidget *>("ordersTable"); }
    QPushButton *startButton() { return m_dlg->findChild<QPushButton *>("importAllBtn"); }
    QRadioButton *radio(int id) { return m_dlg->findChild<QRadioButton *>(QString("importTypeRadio%1").arg(id)); }
    void chooseType(int id) { radio(id)->click(); }
    QString status(int row) { return table()->item(row, 3)->text(); }
    QWidget *cellChild(int row, int column, const char *className)
    {
        for (QObject *o : table()->cellWidget(row, column)->children())
            if (o->inherits(className))
                return static_cast<QWidget *>(o);
        return nullptr;
    }
    QString progressText(int row) { return static_cast<QLabel *>(cellChild(row, 5, "QLabel"))->text(); }
    QProgressBar *progressBar(int row) { return static_cast<QProgressBar *>(cellChild(row, 5, "QProgressBar")); }
    QPushButton *chooseButton(int row) { return static_cast<QPushButton *>(cellChild(row, 4, "QPushButton")); }

    bool idle() { return m_dlg && !m_dlg->isImporting() && startButton()->isEnabled(); }

    // Presses the start button and waits until the run is over.
    bool runToEnd(int timeoutMs = 60000)
    {
        startButton()->click();
        return testsupport::waitFor([this] { return idle(); }, timeoutMs);
    }

    bool waitRequests(const QString &action, int count, int timeoutMs = 10000)
    {
        return testsupport::waitFor([&] { return m_server.requestCount(action) >= count; }, timeoutMs);
    }

    static QString field(const standin::Request &r, const QString &name) { return r.field(name); }
};
