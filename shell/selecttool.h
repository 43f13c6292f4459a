#pragma once
// The tool window: the user's shops, the tools, and the start that switches to the chosen shop, stores
// its settings program-wide and opens the chosen tool's window with a copy of them.

#include "shopentry.h"
#include "shopsettings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class Dovrathread;
class QButtonGroup;
class QNetworkAccessManager;
class QNetworkReply;
class ShopSwitch;

namespace Ui {
class SelectTool;
}

class SelectTool : public QWidget
{
    Q_OBJECT
public:
    explicit SelectTool(const QList<ShopEntry> &shops, QWidget *parent = nullptr);
    ~SelectTool() override;

    QList<ShopEntry> shops() const { return m_shops; }
    // The shop chosen in the shop box ({} when there is none).
    ShopEntry currentShop() const;
    // The id of the checked tool, 0 when none.
    int chosenTool() const;
    bool isBusy() const { return m_busy; }

private slots:
    void on_pb_start_clicked();
    void shopSwitched(const ShopSettings &settings);
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
    ShopSwitch *m_shopSwitch; // the shop switch before a tool opens
    QList<ShopEntry> m_shops;
    bool m_busy = false;
    int m_pendingTool = 0;
    QString m_syncShopId;                      // the shop whose stores the running check tests
    QList<QPointer<Dovrathread>> m_storeChecks; // waited for before the window goes
};
