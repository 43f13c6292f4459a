#pragma once
// The desks' export of a table: a CSV file in UTF-8 with a byte-order mark, so that spreadsheet programs
// on Windows read the Chinese texts right.

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace CsvExport {

// The rows as CSV text: fields with a comma, quote or line break quoted, quotes doubled, lines ended by
// CR LF, a byte-order mark in front. A field that starts with "=", "+", "-", "@", a tab or a carriage
// return gets a "'" in front, inside its quotes, so that no spreadsheet program runs web text as a formula;
// every other field (order numbers, dates) is written as it is.
QByteArray toCsv(const QList<QStringList> &rows);

// Asks for a file name (caption "保存", the documents folder, filter "CSV 文件(*.csv)"; ".csv" added to a
// name without a suffix) and writes the rows. A failed write is reported under "警告". False when
// nothing was written (cancelled or failed).
bool exportRows(QWidget *dialogParent, const QList<QStringList> &rows);

} // namespace CsvExport
