#pragma once
// What the tests of the order search windows share: the order table's ticks, a search through the
// window, and the fixture of the separation runs (windows on the sample studio, a fresh save folder per
// test). Header only: it is used by the tests that link the separation windows.

#include "globals.h"
#include "msgbox.h"
#include "platform.h"
#include "runoutput.h"
#include "separationwindow.h"
#include "studiofixture.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QThreadPool>

namespace testsupport {

inline QStandardItemModel *orderModelOf(QWidget *w)
{
    return qobject_cast<QStandardItemModel *>(child<QTableView>(w, "tableView")->model());
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

// Separation runs on the written sample studio: windows that delete themselves when closed, each test's
// save folder m_out (ending in "/") new.
class SeparationRunFixture : public StudioFixture
{
protected:
    // The stand-in on the sample studio written to disk; the working folder (where the save-path list
    // file goes) beside it.
    bool startWrittenStudio(QString *error)
    {
        if (!startServer() || !newStudio(true, error))
            return false;
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
        auto *w = new Window;
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
        return waitFor([w] { return !w->isSeparating(); }, 20000);
    }
    // The order ids of the goods requests so far.
    QStringList goodsRequests() const
    {
        QStringList ids;
        for (const standin::Request &r : m_server.requests(QStringLiteral("ordergoods20230521")))
            ids << r.field(QStringLiteral("order_photo_id"));
        return ids;
    }
    // A new save folder for the next test.
    bool newSaveFolder()
    {
        m_out = m_roots->path(QStringLiteral("out%1/").arg(++m_outs));
        return QDir().mkpath(m_out);
    }
    // Closes the windows still open and waits until they are gone, their report boxes and jobs too.
    bool closeWindows()
    {
        for (const QPointer<OrderSearchWindowBase> &w : qAsConst(m_windows)) {
            if (w)
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
        return gone;
    }

    QList<QPointer<OrderSearchWindowBase>> m_windows;
    QString m_out;
    int m_outs = 0;
};

} // namespace testsupport
