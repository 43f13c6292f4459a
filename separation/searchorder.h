#pragma once
// The photo-separation window of the tool "设计分件": searches orders, lists them in the 15-column table
// and lets the user tick the orders to separate and choose the save folder. Given the tool name
// "批量删除" it offers the search types of the delete mode and the action "批量删除" instead.

#include "ordersearchwindowbase.h"

class Ui_SearchOrder;

class SearchOrder : public OrderSearchWindowBase
{
    Q_OBJECT
public:
    explicit SearchOrder(QWidget *parent = nullptr);
    ~SearchOrder() override;

    // "批量删除" switches to the delete mode; any other name leaves the window as it is.
    void setToolName(const QString &name);

private slots:
    void on_selectPathButton_clicked();
    void on_comboBox_currentIndexChanged(int index);

private:
    Ui_SearchOrder *ui;
};
