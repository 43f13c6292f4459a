#include "sheetfiles.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"

#include <QImageReader>
#include <QImageWriter>

namespace {

QImageReader *openPicture(QImageReader &reader, const QString &path)
{
    reader.setFileName(Platform::localPath(path));
    reader.setDecideFormatFromContent(true);
    return &reader;
}

} // namespace

int markPrintSide()
{
    return 360;
}

void prepareSheetFiles(WorkSheetData *data, const QString &marksSource, QList<QPair<QUrl, QImage>> *printImages)
{
    // the thumbnails' widths: an unreadable one gets no entry
    QStringList photos;
    for (const OrderGoodsInfo &g : qAsConst(data->goods)) {
        photos << g.photoNames;
        for (const OrderGoodsInfo &son : g.sonGoods)
            photos << son.photoNames;
    }
    for (const QString &photo : qAsConst(photos)) {
        const QString file = FileOperation::getFileName(photo);
        if (file.isEmpty() || data->thumbWidths.contains(file))
            continue;
        QImageReader reader;
        const QSize size = openPicture(reader, data->thumbFolder + file)->size();
        if (size.isValid())
            data->thumbWidths.insert(file, size.width());
    }

    if (data->picsMarkArr.isEmpty())
        return;
    const QString marksCopy = data->thumbFolder + QStringLiteral("marks/");
    if (!FileOperation::dirExists(marksCopy) && !FileOperation::mkDir(marksCopy))
        qCDebug(lcSeparation) << "marks folder not created:" << marksCopy;
    for (const QStringList &entry : qAsConst(data->picsMarkArr)) {
        const QString name = entry.value(0);
        const QString target = markedPicturePath(*data, name);
        if (target.isEmpty() || data->markSizes.contains(name))
            continue; // a name with folder parts stays outside the thumbnail folder: no picture
        const QString source = Platform::findFileNoCase(marksSource, name);
        QImageReader reader;
        openPicture(reader, source);
        const QSize size = source.isEmpty() ? QSize() : reader.size();
        if (!size.isValid()) {
            qCDebug(lcSeparation) << "marked picture cannot be read:" << marksSource + name;
            continue;
        }
        bool copied = false;
        if (reader.format() == "jpeg") {
            copied = FileOperation::copyFile(source, target, true);
        } else {
            QImageReader whole;
            const QImage picture = openPicture(whole, source)->read();
            QImageWriter writer(Platform::localPath(target), "jpeg");
            copied = !picture.isNull() && writer.write(picture);
        }
        qCDebug(lcSeparation) << "tempPath Path:" << target << (copied ? "" : "not written");
        if (!copied)
            continue;
        data->markSizes.insert(name, size);
        if (size.width() > markPrintSide() || size.height() > markPrintSide())
            reader.setScaledSize(size.scaled(markPrintSide(), markPrintSide(), Qt::KeepAspectRatio));
        const QImage small = reader.read();
        if (!small.isNull() && printImages)
            printImages->append({sheetImageUrl(target), small});
    }
}
