#pragma once
// The batch import dialog over the sample studio: opens a fresh dialog for a test and, after it,
// closes the dialog and frees the order records the test made; reaches the dialog's widgets.

#include "importordermodel.h"
#include "importordersphotodlg.h"
#include "studiofixture.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <functional>

class ImportDialogFixture : public QObject, protected testsupport::StudioFixture
{
protected:
    QPointer<importOrdersPhotoDlg> m_dlg;
    QList<QPointer<ImportOrderModel>> m_records; // the dialog takes the records it lists and frees the refused ones

    void openDialog()
    {
        m_dlg = new importOrdersPhotoDlg(nullptr, ShopSettings::current());
        m_dlg->show();
    }

    void closeDialog()
    {
        delete m_dlg.data(); // stops and waits for whatever still runs
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<ImportOrderModel> &r : qAsConst(m_records))
            delete r.data();
        m_records.clear();
    }

    // A record of a sample order, its web text changed first if asked.
    ImportOrderModel *record(int sampleIndex, const std::function<void(QJsonObject &)> &tweak = {})
    {
        QJsonObject json = m_studio->orderJson(m_studio->orders.at(sampleIndex));
        if (tweak)
            tweak(json);
        m_records.append(new ImportOrderModel(json));
        return m_records.last();
    }
    ImportOrderModel *recordWithPath(int sampleIndex, const QString &orderPath)
    {
        return record(sampleIndex, [&](QJsonObject &json) { json["orderpath"] = orderPath; });
    }

    // Lists the orders as the order picker hands them over.
    bool handOver(const QList<ImportOrderModel *> &orders)
    {
        return QMetaObject::invokeMethod(m_dlg, "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, orders));
    }

    QTableWidget *table() { return m_dlg->findChild<QTableWidget *>("ordersTable"); }
    QString cell(int row, int column) { return table()->item(row, column)->text(); }
    QString status(int row) { return cell(row, 3); }
    template <typename T>
    T *cellChild(int row, int column)
    {
        return table()->cellWidget(row, column)->findChild<T *>();
    }
    QPushButton *chooseButton(int row) { return cellChild<QPushButton>(row, 4); }
    QString selectionText(int row) { return cellChild<QLabel>(row, 4)->text(); }
    QString progressText(int row) { return cellChild<QLabel>(row, 5)->text(); }
    QProgressBar *progressBar(int row) { return cellChild<QProgressBar>(row, 5); }

    QRadioButton *radio(int id) { return m_dlg->findChild<QRadioButton *>(QString("importTypeRadio%1").arg(id)); }
    void chooseType(int id) { radio(id)->click(); }
    QPushButton *button(const char *name) { return m_dlg->findChild<QPushButton *>(name); }
};
