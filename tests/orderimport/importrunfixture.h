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
#include <QLineEdit>

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

    // JPEGs to choose, in a folder of their own, each a photo of its own (different bytes); returns their
    // paths in the order given.
    QStringList photos(const QString &folder, const QStringList &names, const QSize &size = QSize(64, 48))
    {
        QStringList paths;
        QDir().mkpath(m_roots->path(folder));
        for (const QString &name : names) {
            const QString path = m_roots->path(folder + "/" + name);
            const uint tint = qHash(folder + "/" + name);
            if (testsupport::writeJpeg(path, size, 1, false, QColor(tint & 0xff, (tint >> 8) & 0xff, (tint >> 16) & 0xff)))
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

    QPushButton *startButton() { return button("importAllBtn"); }
    bool idle() { return m_dlg && !m_dlg->isImporting() && startButton()->isEnabled(); }

    // Presses the start button and waits until the run is over.
    bool runToEnd(int timeoutMs = testsupport::kWaitMs)
    {
        startButton()->click();
        return testsupport::waitFor([this] { return idle(); }, timeoutMs);
    }

    bool waitRequests(const QString &action, int count, int timeoutMs = testsupport::kWaitMs)
    {
        return testsupport::waitFor([&] { return m_server.requestCount(action) >= count; }, timeoutMs);
    }

    static QString field(const standin::Request &r, const QString &name) { return r.field(name); }
};
