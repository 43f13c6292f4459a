#include "dovraxml.h"

#include "webapi.h"

#include <QJsonObject>

namespace DovraXml {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");

namespace {

bool allowedInXml(char16_t c)
{
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    return c != 0xFFFE && c != 0xFFFF;
}

QString textOf(const QJsonValue &element, const QString &key)
{
    return escapeText(jsonString(element.toObject(), key));
}

} // namespace

QString escapeText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (c.isSurrogate() || !allowedInXml(c.unicode())) {
            continue; // a lone surrogate or a character XML does not allow
        } else if (c == QLatin1Char('&')) {
            out += QLatin1String("&amp;");
        } else if (c == QLatin1Char('<')) {
            out += QLatin1String("&lt;");
        } else if (c == QLatin1Char('>')) {
            out += QLatin1String("&gt;");
        } else {
            out += c;
        }
    }
    return out;
}

QString entry(const QJsonValue &element, int dataType)
{
    const QString id = textOf(element, QStringLiteral("id"));
    const QString name = textOf(element, QStringLiteral("name"));
    if (dataType == 0)
        return QLatin1String("<Staff><id>") + id + QLatin1String("</id><name>") + name
               + QLatin1String("</name></Staff>");
    return QLatin1String("<product><ID>") + id + QLatin1String("</ID><name>") + name
           + QLatin1String("</name><width>0</width><height>0</height></product>");
}

QString document(const QJsonArray &list, int dataType, const std::function<bool()> &stopRequested)
{
    QString xml = kDeclaration + QLatin1String("<nemovg>");
    for (int i = 0; i < list.size(); ++i) {
        if (stopRequested && stopRequested())
            return QString();
        xml += entry(list.at(i), dataType);
    }
    xml += QLatin1String("</nemovg>");
    return xml;
}

QByteArray fileBytes(const QString &document)
{
    QString text = document;
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text.toUtf8();
}

} // namespace DovraXml
