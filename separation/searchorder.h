#pragma once
// The photo-separation window of the tool "设计分件": searches orders, lists them in the 15-column table
// and separates the ticked orders one after another into the chosen save folder: for each order its
// goods are fetched and planned as product folders, the dated order folder is made, and the finished,
// rejected, marked and product photos are copied by pool jobs; after the last order the report of
// missing photos, empty products and failed files appears. Given the tool name "批量删除" it offers the
// search types of the delete mode and the action "批量删除" instead.

#include "separationattempt.h"
#include "separationwindow.h"

#include <QPointer>
#include <QStringList>

class MessageDialog;
class Ui_SearchOrder;

class SearchOrder : public SeparationWindow
{
    Q_OBJECT
public:
    explicit SearchOrder(QWidget *parent, const ShopSettings &shop);
    ~SearchOrder() override;

    // "批量删除" switches to the delete mode; any other name leaves the window as it is.
    void setToolName(const QString &name);

public slots:
    // Reports of the separation jobs (SeparateThread), by name; the first two stages are shared.
    void fenjian_delPhotoSlot_3();
    void fenjian_markPhoto_3_1();
    void fenjian_productPhotoSlot_4(QString fullPicName);
    // Delete mode, once the SMS code was accepted: deletes the folders of the rows ticked now.
    void startDel();

private slots:
    void on_selectPathButton_clicked();
    void on_comboBox_currentIndexChanged(int index);

private:
    void startClicked() override;
    // Delete mode: a click asks for the SMS code first.
    void deleteClicked();
    QString readGoods(const QJsonObject &reply) override;
    QString workSubFolder() const override;
    QStringList workFolders() const override;
    QStringList rejectedPhotos() const override;
    QStringList markedPhotos() const override;
    void finalPhotosCopied() override;
    bool orderComplete() const override { return isSheetDone && isProductsDone; }
    // The order's product folders are settled and their copies started.
    void startProductCopies();
    // What the product stage of an order settled: its attempt, the folders placed for the wanted ones, the
    // product of each and the names of its photos in "成品/", and the report's entry of the plan.
    struct ProductStage {
        std::shared_ptr<SeparationAttempt> attempt;
        QList<SeparationAttempt::Placed> placed;
        QList<SeparationAttempt::Wanted> wanted;
        QStringList names;
        QList<QStringList> finishedNames;
        SeparateMessageInfo planned;
    };
    // Once the placed folders are made: one copy job per photo, started in slices.
    void copyIntoPlacedFolders(const std::shared_ptr<ProductStage> &stage);
    // The order's product copies are done: on to its sheets.
    void productsDone();

    Ui_SearchOrder *ui;

    // ---- the separation run ----
    QList<ProductFolderInfo> productFolderList;
    SeparateMessageInfo m_orderMessage;
    int m_delReturnCount = 0;
    int m_markReturnCount = 0;
    int m_productJobCount = 0;
    int m_progressBase = 0;
    int fenjian_productOkNum = 0;
    bool isProductsDone = false;

    // ---- the delete mode ----
    QPointer<MessageDialog> m_codeDialog; // the one open code check
};
