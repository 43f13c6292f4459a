#pragma once
// The batch import dialog over the sample studio: opens a fresh dialog for a test and, after it,
// closes the dialog and frees the order records the test made.

#include "importordermodel.h"
#include "importordersphotodlg.h"
#include "studiofixture.h"

#include <QCoreApplication>
#include <QList>
#include <QObject>
#include <QPointer>

class ImportDialogFixture : public QObject, protected testsupport::StudioFixture
{
protected:
    QPointer<importOrdersPhotoDlg> m_dlg;
    QList<QPointer<ImportOrderModel>> m_records; // the dialog takes the records it lists and frees the refused ones

    void openDialog()
    {
        m_dlg = new importOrdersPhotoDlg(nullptr);
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
};
