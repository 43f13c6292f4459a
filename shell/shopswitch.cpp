#include "shopswitch.h"

#include "fileoperation.h"
#include "globals.h"
#include "logging.h"
#include "msgbox.h"
#include "webapi.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QWidget>

namespace {

// Why the shop's folder names cannot be used ("" when they can): the work folders are named by them, so
// each must be one name.
QString folderNamesRefusal(const ShopSettings &s)
{
    QString why;
    if (!isSafeName(s.finishedDirName, &why))
        return QStringLiteral("成品文件夹") + why + QStringLiteral("：") + s.finishedDirName;
    if (!isSafeName(s.markDirName, &why))
        return QStringLiteral("标注文件夹") + why + QStringLiteral("：") + s.markDirName;
    return QString();
}

} // namespace

ShopSwitch::ShopSwitch(QWidget *boxParent)
    : QObject(boxParent), m_boxParent(boxParent), m_manager(new QNetworkAccessManager(this))
{
}

void ShopSwitch::post(const ShopEntry &shop)
{
    if (m_busy)
        return;
    m_busy = true;
    m_pending = shop;
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("uid"), g_UID)
                                .add(QStringLiteral("shopid"), shop.id)
                                .toByteArray();
    qCDebug(lcShell) << "change shop url:" << g_url_changeshop << "shop:" << shop.id;
    postForm(m_manager, g_url_changeshop, body, this, &ShopSwitch::replied);
}

void ShopSwitch::replied(QNetworkReply *reply)
{
    m_busy = false;
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, m_boxParent, QStringLiteral("切换店铺失败：服务器返回的数据无法识别"))) {
        emit failed();
        return;
    }
    if (!replyOk(obj)) {
        MsgBox::information(m_boxParent, QStringLiteral("警告"), replyMessage(obj, QStringLiteral("切换店铺失败")));
        emit failed();
        return;
    }
    const ShopSettings settings = parseReply(obj, m_pending);
    const QString refusal = folderNamesRefusal(settings);
    if (!refusal.isEmpty()) {
        MsgBox::information(m_boxParent, QStringLiteral("警告"), QStringLiteral("切换店铺失败：") + refusal);
        emit failed();
        return;
    }
    emit switched(settings);
}

ShopSettings ShopSwitch::parseReply(const QJsonObject &obj, const ShopEntry &chosen)
{
    auto str = [&obj](const char *key) { return jsonString(obj, QLatin1String(key)); };
    auto orElse = [](const QString &value, const QString &fallback) {
        return value.isEmpty() ? fallback : value;
    };
    ShopSettings s;
    s.uid = g_UID;
    s.shopId = orElse(str("SHOPID"), chosen.id);
    s.shopName = orElse(str("SHOPNAME"), chosen.name);
    s.superId = orElse(str("SUPERID"), g_SUPERID);
    s.eid = orElse(str("EID"), g_EID);
    s.picPath = str("picpath");
    s.bakPicPath = str("bakpicpath");
    s.homePicPath = str("homepicpath");
    const QJsonArray stores = obj.value(QStringLiteral("stores")).toArray();
    for (const QJsonValue &value : stores) {
        const QJsonObject store = value.toObject();
        const QString id = shopIdText(store);
        if (id.isEmpty())
            continue; // an entry without an id cannot be searched for
        s.storeIds.append(id);
        s.storeNames.append(jsonString(store, QStringLiteral("name")));
    }
    s.isshowSubproduct = str("isshow_subproduct");
    s.yptbcp = str("yptbcp");
    s.xztp = str("xztp");
    s.sjfjxz = str("sjfjxz");
    s.dovrabigimg = str("dovrabigimg");
    s.dovraisdownloadall = str("dovraisdownloadall");
    s.separateMode = str("separatemode");
    s.markDirName = orElse(str("markdirname"), QStringLiteral("标注"));
    s.finishedDirName = orElse(str("finisheddirname"), QStringLiteral("成品"));
    s.mayDelete = str("isdelphoto") == QLatin1String("1");
    return s;
}
