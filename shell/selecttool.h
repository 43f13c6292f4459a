#pragma once
// The tool window: the user's shops, the tools, and the start that switches to the chosen shop,
// keeps its settings and opens the chosen tool's window.

#include "shopentry.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QNetworkAccessManager;
class QNetworkReply;

namespace Ui {
class SelectTool;
}

class SelectTool : public QWidget
{
    Q_OBJECT
public:
    explicit SelectTool(const QList<ShopEntry> &shops, QWidget *parent = nullptr);
    ~SelectTool() override;

    // Everything the shop-switch reply sets, read before any of it is stored.
    struct ShopSettings {
        QString shopId;
        QString shopName;
        QString superId;
        QString eid;
        QString picPath;
        QString bakPicPath;
        QString homePicPath;
        QStringList storeIds;
        QStringList storeNames;
        QString isshowSubproduct;
        QString yptbcp;
        QString xztp;
        QString sjfjxz;
        QString dovrabigimg;
        QString dovraisdownloadall;
        QString separateMode;
        QString markDirName;
        QString finishedDirName;
        bool mayDelete = false; // "isdelphoto" is "1"
    };
    // Reads a successful reply; values the reply lacks stay empty (the tool needing them refuses), but
    // the shop's id and name fall back to the chosen shop, and the user's ids to the login's.
    static ShopSettings parseShopSwitchReply(const QJsonObject &obj, const ShopEntry &chosen);
    // Stores every setting into the program-wide state, all at once.
    static void applyShopSettings(const ShopSettings &settings);

    QList<ShopEntry> shops() const { return m_shops; }
    // The shop chosen in the shop box ({} when there is none).
    ShopEntry currentShop() const;
    // The id of the checked tool, 0 when none.
    int chosenTool() const;
    bool isBusy() const { return m_busy; }

private slots:
    void on_pb_start_clicked();
    void changeShopCallBack(QNetworkReply *reply);
    // The Dovra sync: which stores' Dovra folders this computer reaches, then the sync dialog.
    void req_syncToDovraPath();
    void query_storesdovrapaths(QNetworkReply *reply);
    void slt_dovrastores(QJsonArray storeables, QString msg);

private:
    void setBusy(bool busy);
    void warn(const QString &text);

    Ui::SelectTool *ui;
    QButtonGroup *m_tools;
    QNetworkAccessManager *m_manager;
    QList<ShopEntry> m_shops;
    bool m_busy = false;
    int m_pendingTool = 0;
    ShopEntry m_pendingShop;
    QString m_syncShopId; // the shop whose stores the running check tests
};
