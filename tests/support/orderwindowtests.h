#pragma once
// What the tests of the order search windows share: the order table's ticks, a search through the
// window, the fixture of one window per test, the fixture of the separation runs (windows on the sample
// studio, a fresh save folder per test) and a global pool held busy by another window. Header only: it
// is used by the tests that link the separation windows.

#include "globals.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "filebytes.h"
#include "msgbox.h"
#include "multiselectcombobox.h"
#include "platform.h"
#include "runoutput.h"
#include "separationwindow.h"
#include "studiofixture.h"
#include "testsupport.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QStandardItemModel>
#include <QTableView>
#include <QThreadPool>

#include <memory>

namespace testsupport {

inline QStandardItemModel *orderModelOf(QWidget *w)
{
    return qobject_cast<QStandardItemModel *>(child<QTableView>(w, "tableView")->model());
}

// The store box's rows, ticked or not.
inline QStandardItemModel *storesOf(QWidget *w)
{
    return qobject_cast<QStandardItemModel *>(child<MultiSelectComboBox>(w, "cb_shops")->model());
}

// One character per row: "X" ticked, "-" not, "?" when the record and the table disagree.
inline QString ticksOf(const OrderSearchWindowBase *w)
{
    QString out;
    QStandardItemModel *model = orderModelOf(const_cast<OrderSearchWindowBase *>(w));
    for (int r = 0; r < w->orderList().size(); ++r) {
        const bool record = w->orderList().at(r).checked;
        const bool shown = model->item(r, 0)->data(Qt::CheckStateRole).toInt() == Qt::Checked;
        out += record != shown ? QLatin1Char('?') : record ? QLatin1Char('X') : QLatin1Char('-');
    }
    return out;
}

// Lists every sample order: they share a phone fragment of five zeros.
inline bool listAllOrders(QWidget *w, standin::Server &server)
{
    child<QComboBox>(w, "comboBox")->setCurrentText(QStringLiteral("电话"));
    child<QLineEdit>(w, "orderNumber")->setText(QStringLiteral("00000"));
    return searchAndWait(w, server);
}

// The dated level a run puts its orders in: today, "yyyy-MM-dd/".
inline QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/');
}
// The folder a run makes for the sample order A1203.
inline const QString kA1203Folder = QStringLiteral("A1203-服务1 张小宝-李梅-张伟 自取/");

// The stores of the shop the order windows are opened for.
inline const QStringList kStoreIds{"21", "22", "23"};
inline const QStringList kStoreNames{"一店", "二店", "三店"};

// One order search window per test, on the sample studio's stand-in: m_win is the test's window.
template <typename Window>
class OrderWindowFixture : public StudioFixture
{
protected:
    // For initTestCase: a new studio on a started stand-in, the working folder (where the save-path list
    // file goes) in the studio's temporary folder.
    bool startWindowStudio() { return startStudioServer() && QDir::setCurrent(m_roots->base()); }
    // For init: no boxes, dialogs, opened folders or requests left over, the three stores, no save folder kept.
    void prepareWindowTest()
    {
        MsgBox::clearShown();
        FileDialogs::clearAsked();
        Platform::clearOpenedPaths();
        m_server.clearRequests();
        g_storeIds = kStoreIds;
        g_storeNames = kStoreNames;
        QFile::remove(QStringLiteral("path_separatePhotos.dat"));
    }
    // For cleanup: the test's window gone, the studio answering again as it does.
    void closeWindowTest()
    {
        delete m_win.data();
        serveStudio();
    }
    template <typename W = Window>
    W *open()
    {
        auto *w = new W(nullptr, ShopSettings::current());
        m_win = w;
        w->resize(1200, 700);
        w->show();
        return w;
    }

    QPointer<Window> m_win;
};

// Another window's jobs holding all ten threads of the global pool until released, so that the jobs a
// window queues meanwhile wait in the pool.
class BusyPool
{
public:
    BusyPool() : m_guard(WindowGuard::create(&m_receiver))
    {
        QThreadPool::globalInstance()->setMaxThreadCount(kThreads);
        for (int i = 0; i < kThreads; ++i)
            m_guard->startJob([this] { m_release.acquire(); });
    }
    ~BusyPool()
    {
        release();
        m_guard->close();
    }
    // Lets the jobs end and waits until the pool is idle and their reports are delivered.
    void release()
    {
        if (m_released)
            return;
        m_released = true;
        m_release.release(kThreads);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
    // The other window's guard, for queuing more of its jobs.
    std::shared_ptr<WindowGuard> guard() const { return m_guard; }

private:
    static constexpr int kThreads = 10;
    QObject m_receiver;
    QSemaphore m_release;
    std::shared_ptr<WindowGuard> m_guard;
    bool m_released = false;
};

// Another program importing one finished photo into an order folder: the test program run again as a
// child with the test function and its row, the order, the photo and the storage roots in its environment;
// it holds the order's import claim, its copy into "成品/" waiting (as on a slow share) until this program
// lets it go.
class ImportingProgram
{
public:
    ~ImportingProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            put(m_signals + QStringLiteral("go"), QByteArray());
            m_process.waitForFinished(kWaitMs);
        }
    }
    // In the child: imports as this program asked and answers true (the test function's row ends there, its
    // checks having reported); false in this program.
    static bool runAsChild(const QJsonObject &order)
    {
        const QString signalled = qEnvironmentVariable("TESSALY_IMPORT_CHILD");
        if (signalled.isEmpty())
            return false;
        Platform::holdWrites(QStringLiteral("成品/"));
        ImportOrderModel record(order);
        record.setOrderPath(qEnvironmentVariable("TESSALY_IMPORT_ORDER"));
        record.setFinishedFiles({qEnvironmentVariable("TESSALY_IMPORT_PHOTO")});
        g_picPath = qEnvironmentVariable("TESSALY_IMPORT_ROOTS").section(QLatin1Char('|'), 0, 0);
        g_bakPicPath = qEnvironmentVariable("TESSALY_IMPORT_ROOTS").section(QLatin1Char('|'), 1, 1);
        ImportOrderThread run(&record, ImportFinishedPhotos);
        run.setParallelPhotos(1);
        run.start();
        const bool held = waitFor([] { return Platform::heldWrites() > 0; })
                          && put(signalled + QStringLiteral("held"), QByteArray())
                          && waitFor([&] { return QFile::exists(signalled + QStringLiteral("go")); });
        Platform::releaseWrites();
        const bool ended = run.wait(kWaitMs);
        [&] {
            QVERIFY2(held, "the child's copy was not held, or never let go");
            QVERIFY(ended);
            QCOMPARE(run.failures(), QStringList());
        }();
        return true;
    }
    // Starts the child on the current row of testFunction, importing photo into orderFolder (roots: the
    // photo and backup roots, "|" between them), its signals in the new folder signalFolder; true once its
    // copy is held.
    bool start(const char *testFunction, const QString &orderFolder, const QString &photo, const QString &roots,
               const QString &signalFolder)
    {
        m_signals = signalFolder;
        if (!QDir().mkpath(m_signals))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TESSALY_IMPORT_CHILD"), m_signals);
        env.insert(QStringLiteral("TESSALY_IMPORT_ORDER"), orderFolder);
        env.insert(QStringLiteral("TESSALY_IMPORT_PHOTO"), photo);
        env.insert(QStringLiteral("TESSALY_IMPORT_ROOTS"), roots);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(testFunction) + QLatin1Char(':') + QString::fromUtf8(QTest::currentDataTag())});
        if (!m_process.waitForStarted())
            return false;
        waitFor([&] { return QFile::exists(m_signals + QStringLiteral("held")) || m_process.state() == QProcess::NotRunning; });
        if (QFile::exists(m_signals + QStringLiteral("held")))
            return true;
        qWarning("the importing program did not start its copy: %s", m_process.readAll().right(2000).constData());
        return false;
    }
    // Lets its copy go and waits for its end; true when it imported without a failure.
    bool go()
    {
        if (!put(m_signals + QStringLiteral("go"), QByteArray()) || !m_process.waitForFinished(kWaitMs))
            return false;
        const QByteArray said = m_process.readAll();
        if (m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0)
            return true;
        qWarning("the importing program failed: %s", said.right(2000).constData());
        return false;
    }

private:
    QProcess m_process;
    QString m_signals;
};

// Separation runs on the written sample studio: windows that delete themselves when closed, each test's
// save folder m_out (ending in "/") new.
class SeparationRunFixture : public StudioFixture
{
protected:
    // For initTestCase: the stand-in on the sample studio written to disk; the working folder (where the
    // save-path list file goes) beside it. A studio that could not be written is logged.
    bool startWrittenStudio()
    {
        QString error;
        if (!startServer() || !newStudio(true, &error)) {
            qWarning("sample studio not written: %s", qPrintable(error));
            return false;
        }
        serveStudio();
        return QDir::setCurrent(m_roots->base());
    }
    // Before each test: no boxes, faults or requests left over, the shop's one store, a new save folder.
    bool prepareRun()
    {
        MsgBox::clearShown();
        Platform::clearFaults();
        m_server.clearRequests();
        g_storeIds = QStringList{QStringLiteral("11")};
        g_storeNames = QStringList{QStringLiteral("星光店")};
        return newSaveFolder();
    }
    template <typename Window>
    Window *openWindow()
    {
        auto *w = new Window(nullptr, ShopSettings::current());
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->resize(1200, 700);
        w->show();
        m_windows << w;
        return w;
    }
    // Lists every sample order (by the phone fragment they share), ticks the given rows and puts m_out
    // into the save field.
    bool listAndTick(OrderSearchWindowBase *w, const QList<int> &rows)
    {
        if (!listAllOrders(w, m_server))
            return false;
        for (int row : rows)
            clickRow(w, row);
        child<QLineEdit>(w, "pathLineEdit")->setText(m_out.chopped(1));
        return true;
    }
    // Clicks "开始分件" and waits for the run to end.
    bool runToEnd(SeparationWindow *w)
    {
        child<QPushButton>(w, "pushButton_separate")->click();
        return waitFor([w] { return !w->isSeparating(); });
    }
    // The order ids of the goods requests so far.
    QStringList goodsRequests() const
    {
        QStringList ids;
        for (const standin::Request &r : m_server.requests(QStringLiteral("ordergoods20230521")))
            ids << r.field(QStringLiteral("order_photo_id"));
        return ids;
    }
    // Today's level in the test's save folder.
    QString dated() const { return m_out + today(); }
    // A new save folder for the next test.
    bool newSaveFolder()
    {
        m_out = m_roots->path(QStringLiteral("out%1/").arg(++m_outs));
        return QDir().mkpath(m_out);
    }
    // After each test: closes the windows still open and waits until they are gone, their report boxes and
    // jobs too; then no fault is left and the studio answers again as it does.
    bool closeWindows()
    {
        for (const QPointer<OrderSearchWindowBase> &w : qAsConst(m_windows)) {
            if (!w)
                continue;
            if (w->runActive())
                MsgBox::setNextAnswer(QMessageBox::Yes); // closing during a run is asked
            w->close();
        }
        const bool gone = waitFor([this] {
            for (const QPointer<OrderSearchWindowBase> &w : qAsConst(m_windows)) {
                if (w)
                    return false;
            }
            return true;
        });
        m_windows.clear();
        takeReportBox();
        QThreadPool::globalInstance()->waitForDone();
        Platform::clearFaults();
        serveStudio();
        return gone;
    }

    QList<QPointer<OrderSearchWindowBase>> m_windows;
    QString m_out;
    int m_outs = 0;
};

} // namespace testsupport
