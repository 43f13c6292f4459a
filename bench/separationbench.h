#pragma once
// What the separation benchmarks share: an order window made ready to separate one order.

#include "msgbox.h"
#include "ordersearchwindowbase.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace bench {

// Writes out what earlier steps left unwritten (the generated order, a removed output), so that a timed
// run does not pay for it.
inline void settleDisk()
{
#ifdef Q_OS_UNIX
    ::sync();
#endif
}

// Windows in test mode: message boxes answered at once, only warnings and worse printed.
inline void quietWindows()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    MsgBox::setTestMode(true);
}

// Shows the window, searches the order by its number, ticks it and puts saveDir into the save field.
// False when the search lists nothing within 10 s.
inline bool tickOrder(OrderSearchWindowBase *w, const QString &orderKey, const QString &saveDir)
{
    w->show();
    w->findChild<QComboBox *>(QStringLiteral("comboBox"))->setCurrentText(QStringLiteral("预约单号"));
    w->findChild<QLineEdit *>(QStringLiteral("orderNumber"))->setText(orderKey);
    w->findChild<QPushButton *>(QStringLiteral("searchButton"))->click();
    QElapsedTimer wait;
    wait.start();
    while (w->orderList().isEmpty() && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (w->orderList().isEmpty())
        return false;
    auto *view = w->findChild<QTableView *>(QStringLiteral("tableView"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 3)).center());
    w->findChild<QLineEdit *>(QStringLiteral("pathLineEdit"))->setText(saveDir);
    return true;
}

} // namespace bench
