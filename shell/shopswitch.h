#pragma once
// The shop switch: posts "changeshop" for one shop of the logged-in user and reads the reply into that
// shop's settings. The tool window switches before it opens a tool; "--window" switches to the login's
// shop before it opens the named window. A failure is told in a box ("警告") over the given window; a reply
// whose finished or marked folder name is not one name fails the switch as well.

#include "shopentry.h"
#include "shopsettings.h"

#include <QJsonObject>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

class ShopSwitch : public QObject
{
    Q_OBJECT
public:
    // boxParent: the window the failure boxes show over, and the switch's parent.
    explicit ShopSwitch(QWidget *boxParent);

    // Posts the switch; ignored while one is out.
    void post(const ShopEntry &shop);

    // Reads a successful reply; values the reply lacks stay empty (the tool needing them refuses), but
    // the shop's id and name fall back to the chosen shop, and the user's ids to the login's.
    static ShopSettings parseReply(const QJsonObject &obj, const ShopEntry &chosen);

signals:
    void switched(const ShopSettings &settings);
    // The switch failed; its box has been shown.
    void failed();

private:
    void replied(QNetworkReply *reply);

    QWidget *m_boxParent;
    QNetworkAccessManager *m_manager;
    ShopEntry m_pending;
    bool m_busy = false;
};
