#pragma once
// The batch deletion tool "批量删除": searches the orders closed between two dates, lists them in the
// 14-column order table and deletes the photo folders of the ticked ones at once (OrderDeleteBatch).
// No search type, keyword, store filter or save folder. It searches and deletes for the shop it was
// opened for (whose deletion right the tool window confirmed) alone.

#include "ordersearchwindowbase.h"

class Ui_BatchDeleteOrder;

class BatchDeleteOrder : public OrderSearchWindowBase
{
    Q_OBJECT
public:
    explicit BatchDeleteOrder(QWidget *parent, const ShopSettings &shop);
    ~BatchDeleteOrder() override;

protected:
    // "order_list2" with the two calendars' dates, as picked (an end before the start included).
    bool searchRequest(SearchRequest *request) override;
    void startClicked() override;
    void closeEvent(QCloseEvent *event) override;

private:
    Ui_BatchDeleteOrder *ui;
};
