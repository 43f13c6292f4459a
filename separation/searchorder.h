#pragma once
// The photo-separation window of the tool "设计分件": searches orders, lists them in the 15-column table
// and separates the ticked orders one after another into the chosen save folder: for each order its
// goods are fetched and planned as product folders, the dated order folder is made, and the finished,
// rejected, marked and product photos are copied by pool jobs; after the last order the report of
// missing photos, empty products and failed files appears. Given the tool name "批量删除" it offers the
// search types of the delete mode and the action "批量删除" instead.

#include "ordersearchwindowbase.h"

#include <QPointer>
#include <QStringList>

class MessageDialog;
class Ui_SearchOrder;

class SearchOrder : public OrderSearchWindowBase
{
    Q_OBJECT
public:
    explicit SearchOrder(QWidget *parent = nullptr);
    ~SearchOrder() override;

    // "批量删除" switches to the delete mode; any other name leaves the window as it is.
    void setToolName(const QString &name);

    // The findings of the current (or last) run, two entries per order that reached its product copies.
    QList<SeparateMessageInfo> messageList() const { return m_messageList; }
    // The product folders planned for the current order.
    QList<ProductFolderInfo> productFolders() const { return productFolderList; }
    bool isSeparating() const { return runActive(); }

public slots:
    // Reports of the separation jobs (SeparateThread), by name.
    void fenjian_photoIsFileSlot_1(int num);
    void fenjian_finalPhotoSlot_2();
    void fenjian_delPhotoSlot_3();
    void fenjian_markPhoto_3_1();
    void fenjian_productPhotoSlot_4(QString fullPicName);
    // Delete mode, once the SMS code was accepted: deletes the folders of the rows ticked now.
    void startDel();

private slots:
    void on_selectPathButton_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void onFinishSeparateImage();

private:
    void startClicked() override;
    void startSeparation();
    // Delete mode: a click asks for the SMS code first.
    void deleteClicked();
    // Takes the next ticked row not yet taken and asks for its goods; true when there is none.
    bool startNextOrder();
    void postQueryProducts(const QString &orderPhotoId);
    void queryProductsCallBack(QNetworkReply *reply);
    void startSeparatePhotos();
    // The order's product copies are done: on to its sheets.
    void productsDone();
    void separateNextOrder();
    // A step of the run failed: the run stops here; the next click goes on with the rows not yet taken.
    void endRunEarly();
    // The report's default file: save folder, today's date, the orders' numbers, "分件结果.txt".
    QString reportFileName() const;

    Ui_SearchOrder *ui;

    // ---- the separation run ----
    QList<ProductFolderInfo> productFolderList;
    QList<SeparateMessageInfo> m_messageList;
    QString workDir;  // the save folder, then the work folder of the order being separated
    QString orderDir; // the order's folder: save folder, date, order
    QString expressSheetHtml;
    QStringList finalPhotoList;
    QStringList delPhotoList;
    QStringList markPhotoList;
    SeparateMessageInfo m_orderMessage;
    int readyNum = 0;
    int checkOrdersNum = 0;
    int finishOrdersNum = 0;
    int m_finalReturnCount = 0;
    int m_checkJobCount = 0;
    int m_checkReturnCount = 0;
    int m_delReturnCount = 0;
    int m_markReturnCount = 0;
    int m_productJobCount = 0;
    int m_progressBase = 0;
    int fenjian_productOkNum = 0;
    bool isSheetDone = false;
    bool isProductsDone = false;

    // ---- the delete mode ----
    QPointer<MessageDialog> m_codeDialog; // the one open code check
};
