#pragma once
// The window of the tool "Dovra分件": searches orders like the separation window, and for the ticked
// orders copies the selections Dovra finished on its share into a dated tree under the chosen folder.
// The copying runs on the window's one Dovra worker; its progress lines show in the status label and its
// report in one box at the end. The export is no separation: it uses no pool and no separation state,
// and only reads the last save folder.

#include "ordersearchwindowbase.h"

#include <QJsonObject>

class Dovrathread;
class Ui_ExportDovraResult;

class ExportDovraResult : public OrderSearchWindowBase
{
    Q_OBJECT
public:
    explicit ExportDovraResult(QWidget *parent, const ShopSettings &shop);
    ~ExportDovraResult() override;

    // The tool's name; nothing here depends on it.
    void setToolName(const QString &name);
    // True from a start until the report box of that export has been closed.
    bool isSeparating() const { return m_isSeparating; }

private slots:
    void on_selectPathButton_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void slt_exportDovraResult(QJsonObject msgObjc);

protected:
    void startClicked() override;
    void closeEvent(QCloseEvent *event) override;

private:
    Ui_ExportDovraResult *ui;
    Dovrathread *dovraThread = nullptr;
    bool m_isSeparating = false;
};
