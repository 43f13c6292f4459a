#include "sheetfiles.h"

#include "fileoperation.h"
#include "folderindex.h"
#include "logging.h"
#include "platform.h"

#include <QImageReader>
#include <QImageWriter>
#include <QThread>
#include <QThreadPool>

#include <cerrno>

namespace {

QImageReader *openPicture(QImageReader &reader, const QString &path)
{
    reader.setFileName(Platform::localPath(path));
    reader.setDecideFormatFromContent(true);
    return &reader;
}

} // namespace

QImage noPicture()
{
    QImage empty(1, 1, QImage::Format_ARGB32);
    empty.fill(Qt::transparent);
    return empty;
}

int markPrintSide()
{
    return 360;
}

void prepareSheetFiles(WorkSheetData *data, const QString &marksSource, QList<QPair<QUrl, QImage>> *printImages,
                       QStringList *notWritten)
{
    // the thumbnails' widths: an unreadable one gets no entry
    QStringList photos;
    for (const OrderGoodsInfo &g : qAsConst(data->goods)) {
        photos << g.photoNames;
        for (const OrderGoodsInfo &son : g.sonGoods)
            photos << son.photoNames;
    }
    for (const QString &photo : qAsConst(photos)) {
        const QString file = sheetThumbName(photo);
        if (file.isEmpty() || data->thumbWidths.contains(file))
            continue;
        QImageReader reader;
        const QSize size = openPicture(reader, data->thumbFolder + file)->size();
        if (size.isValid())
            data->thumbWidths.insert(file, size.width());
        else if (printImages)
            printImages->append({sheetImageUrl(data->thumbFolder + file), noPicture()});
    }

    if (data->picsMarkArr.isEmpty())
        return;
    const QString marksCopy = data->thumbFolder + QStringLiteral("marks/");
    // A folder that cannot be made gives the reason of every copy that then cannot be written (the thumbnail
    // folder's own, when that is what could not be made).
    int folderError = 0;
    if (!FileOperation::dirExists(marksCopy) && !FileOperation::mkPath(marksCopy)) {
        folderError = errno;
        qCDebug(lcSeparation) << "marks folder not created:" << marksCopy;
    }

    // Each marked picture side by side: its copy, its size and its picture at print size.
    struct Marked {
        QString name;
        QString target;
        QSize size;
        QImage printed;
        QString notWritten; // read, but its copy could not be written: why
    };
    QList<Marked> marked;
    for (const QStringList &entry : qAsConst(data->picsMarkArr)) {
        const QString name = entry.value(0);
        const QString target = markedPicturePath(*data, name);
        bool listed = false;
        for (const Marked &m : qAsConst(marked))
            listed = listed || m.name == name;
        if (!target.isEmpty() && !listed) // a name with folder parts stays outside the thumbnail folder
            marked.append({name, target, QSize(), QImage(), QString()});
    }
    const FolderIndex marks(marksSource); // listed once for all the marked pictures
    QThreadPool workers;
    workers.setMaxThreadCount(QThread::idealThreadCount());
    for (Marked &m : marked) {
        workers.start([&m, &marks, marksSource, folderError] {
            const QString source = marks.filePath(m.name);
            QImageReader reader;
            openPicture(reader, source);
            const QSize size = source.isEmpty() ? QSize() : reader.size();
            if (!size.isValid()) {
                qCDebug(lcSeparation) << "marked picture cannot be read:" << marksSource + m.name;
                return;
            }
            // Either way the copy takes its name only when whole: one that fails leaves an earlier copy as it was.
            bool copied = false;
            QString why;
            if (reader.format() == "jpeg") {
                copied = FileOperation::copyFile(source, m.target, true, &why);
            } else {
                QImageReader whole;
                const QImage picture = openPicture(whole, source)->read();
                if (picture.isNull()) {
                    qCDebug(lcSeparation) << "marked picture cannot be read:" << source;
                    return;
                }
                copied = Platform::writeIntoPlace(
                    Platform::localPath(m.target),
                    [&picture](QIODevice &file) { return QImageWriter(&file, "jpeg").write(picture); }, &why);
            }
            qCDebug(lcSeparation) << "tempPath Path:" << m.target << (copied ? "" : "not written") << why;
            if (!copied) {
                m.notWritten = folderError != 0 ? errorText(folderError) : why;
                return;
            }
            m.size = size;
            if (size.width() > markPrintSide() || size.height() > markPrintSide())
                reader.setScaledSize(size.scaled(markPrintSide(), markPrintSide(), Qt::KeepAspectRatio));
            m.printed = reader.read();
        });
    }
    workers.waitForDone();
    for (const Marked &m : qAsConst(marked)) {
        if (!m.notWritten.isEmpty() && notWritten)
            notWritten->append(m.target + QStringLiteral("（") + m.notWritten + QStringLiteral("）"));
        if (!m.size.isValid()) {
            if (printImages)
                printImages->append({sheetImageUrl(m.target), noPicture()});
            continue;
        }
        data->markSizes.insert(m.name, m.size);
        if (!m.printed.isNull() && printImages)
            printImages->append({sheetImageUrl(m.target), m.printed});
    }
}
