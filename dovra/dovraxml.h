#pragma once
// The staff and product lists as the Dovra system reads them: one XML document per list, and the bytes
// that go into its file. Kept apart from the worker thread so that both can be checked on their own.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <functional>

namespace DovraXml {

// "<?xml version="1.0" encoding="UTF-8"?>"
extern const QString kDeclaration;

// A text as XML character data: "&", "<" and ">" escaped ("&" first), and the characters XML 1.0
// forbids dropped (C0 controls but tab, line feed and carriage return; U+FFFE, U+FFFF; lone surrogates).
// Everything else, blanks and line feeds included, stays as it is.
QString escapeText(const QString &text);

// One entry for one element of the web service's list; only its "id" and "name" strings are read.
// Staff (dataType 0): <Staff><id>..</id><name>..</name></Staff>;
// products (any other type): <product><ID>..</ID><name>..</name><width>0</width><height>0</height></product>.
QString entry(const QJsonValue &element, int dataType);

// The whole document: declaration, "<nemovg>", one entry per element in list order, "</nemovg>", with
// nothing between the pieces. stopRequested is asked before each element; when it says yes the build
// gives a null string.
QString document(const QJsonArray &list, int dataType, const std::function<bool()> &stopRequested = {});

// The file's bytes: UTF-8 without a byte-order mark, every line feed written as carriage return + line feed.
QByteArray fileBytes(const QString &document);

} // namespace DovraXml
