#include "csvexport.h"

#include "logging.h"
#include "msgbox.h"
#include "platform.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace CsvExport {

namespace {
// A spreadsheet program takes a cell that starts with one of these for a formula.
bool looksLikeFormula(const QString &text)
{
    return !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.at(0));
}

QString field(QString text)
{
    const bool formula = looksLikeFormula(text);
    if (formula)
        text.prepend(QLatin1Char('\''));
    if (formula || text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}
} // namespace

QByteArray toCsv(const QList<QStringList> &rows)
{
    QByteArray out("\xEF\xBB\xBF");
    for (const QStringList &row : rows) {
        QStringList fields;
        for (const QString &text : row)
            fields.append(field(text));
        out += fields.join(QLatin1Char(',')).toUtf8();
        out += "\r\n";
    }
    return out;
}

bool exportRows(QWidget *dialogParent, const QList<QStringList> &rows)
{
    QString path = FileDialogs::getSaveFileName(dialogParent, QStringLiteral("保存"),
                                                QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                                QStringLiteral("CSV 文件(*.csv)"));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    const QByteArray bytes = toCsv(rows);
    QString why;
    if (!Platform::writeIntoPlace(path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); }, &why)) {
        qCWarning(lcDesk) << "export failed:" << path << why;
        MsgBox::information(nullptr, QStringLiteral("警告"),
                            QStringLiteral("导出失败，文件无法写入：\n") + QDir::toNativeSeparators(path)
                                + QLatin1Char('\n') + why);
        return false;
    }
    return true;
}

} // namespace CsvExport
