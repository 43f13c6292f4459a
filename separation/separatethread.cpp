#include "separatethread.h"

#include "fileoperation.h"
#include "goodsplan.h"
#include "imagedata.h"
#include "imageoperation.h"
#include "logging.h"
#include "platform.h"
#include "separationattempt.h"
#include "webapi.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>

namespace {

// A crop value: a JSON string holding a decimal number; anything else reads as 0.
int jsonNumber(const QJsonObject &o, const QString &key)
{
    bool ok = false;
    const int n = jsonString(o, key).toInt(&ok, 10);
    return ok ? n : 0;
}

// The largest side a photo has: a JPEG holds at most 65535 pixels a side.
const qint64 kMaxPhotoSide = 65535;

// The crop rectangle of an entry, bounded to the largest photo there is: what lies outside is cut off, so
// no value of the reply can overflow the rectangle.
QRect cropRect(const QJsonObject &entry)
{
    auto span = [&entry](const char *start, const char *length, int *from, int *size) {
        const qint64 first = jsonNumber(entry, QLatin1String(start));
        const qint64 begin = qBound<qint64>(0, first, kMaxPhotoSide);
        *from = int(begin);
        *size = int(qBound<qint64>(begin, first + jsonNumber(entry, QLatin1String(length)), kMaxPhotoSide) - begin);
    };
    int x, y, width, height;
    span("picx", "picwidth", &x, &width);
    span("picy", "picheight", &y, &height);
    return QRect(x, y, width, height);
}

// The part of a file name before ".jpg" (any letter case); "" when it does not end so.
QString jpegBase(const QString &name)
{
    if (name.size() > 4 && name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive))
        return name.left(name.size() - 4);
    return QString();
}

} // namespace

SeparateThread::SeparateThread(const QString &src, int type, std::shared_ptr<WindowGuard> guard)
    : m_guard(std::move(guard)), m_type(type), m_src(src)
{
    setAutoDelete(true);
}

SeparateThread::SeparateThread(const QString &src, const QString &dst, bool overwrite, int type,
                               std::shared_ptr<WindowGuard> guard)
    : m_guard(std::move(guard)), m_type(type), m_src(src), m_dst(dst), m_overwrite(overwrite)
{
    setAutoDelete(true);
}

SeparateThread::SeparateThread(const QString &src, const QString &dst, const QString &productName, bool overwrite,
                               int type, std::shared_ptr<WindowGuard> guard)
    : m_guard(std::move(guard)), m_type(type), m_src(src), m_dst(dst), m_overwrite(overwrite),
      m_productName(productName)
{
    setAutoDelete(true);
}

SeparateThread::SeparateThread(const QJsonArray &picInfo, const QString &orderPath, int type,
                               std::shared_ptr<WindowGuard> guard)
    : m_guard(std::move(guard)), m_type(type), m_orderPath(orderPath), m_picInfo(picInfo)
{
    setAutoDelete(true);
}

QStringList SeparateThread::rawExtensions()
{
    return {QStringLiteral(".CR2"), QStringLiteral(".CR3"), QStringLiteral(".ARW"), QStringLiteral(".NEF"),
            QStringLiteral(".RAF")};
}

QString SeparateThread::rawFolderFor(const QString &finishedDir)
{
    const QString finished = QStringLiteral("成品/");
    if (!finishedDir.endsWith(finished))
        return QString();
    return finishedDir.left(finishedDir.size() - finished.size()) + QStringLiteral("照片/新建文件夹/");
}

void SeparateThread::run()
{
    const bool shown = m_guard && m_guard->isWindowShow();
    qCDebug(lcSeparation) << "isWindowShow :" << (shown ? "true" : "false") << "-" << m_type;
    if (!shown)
        return;
    switch (m_type) {
    case FinalPhotoCopy:
        finalPhotoCopy();
        break;
    case PhotoIsFile:
        photoisFile();
        break;
    case DelPhotoCopy:
        plainCopy("fenjian_delPhotoSlot_3");
        break;
    case MarkPhotoCopy:
        plainCopy("fenjian_markPhoto_3_1");
        break;
    case ProductPhotoCopy:
        productPhotoCopy();
        break;
    case AnalysePhotoInfo:
        analysePhotoInfo();
        break;
    default:
        break;
    }
}

bool SeparateThread::copyOne(const QString &src, const QString &dst)
{
    // A folder (or "." and "..") in a listing is no photo: nothing to copy, nothing failed.
    if (!FileOperation::isFile(src))
        return false;
    QString why;
    if (FileOperation::copyFile(src, dst, m_overwrite, &why))
        return true;
    qCDebug(lcSeparation) << __FILE__ << __LINE__ << Q_FUNC_INFO << "copy failed:" << src << "->" << dst << why;
    m_guard->addFailure(dst + QStringLiteral("（") + why + QStringLiteral("）"));
    return false;
}

void SeparateThread::photoisFile()
{
    qCDebug(lcSeparation) << "---20--2" << m_src;
    const int found = FileOperation::isFile(m_src) ? 1 : 0;
    m_guard->report("fenjian_photoIsFileSlot_1", found);
}

void SeparateThread::finalPhotoCopy()
{
    // The copy is made whatever the photo holds; one that is no readable picture is named in the report.
    if (copyOne(m_src, m_dst) && !ImageOperation::isReadablePicture(m_dst))
        m_guard->addUnreadable(m_src.mid(m_src.lastIndexOf(QLatin1Char('/')) + 1));
    if (m_copyRaws) {
        // The raw siblings of a JPEG photo: the same base name in the order's "照片/新建文件夹/", copied
        // beside the finished copy under its base name. Only the suffix changes, so no sibling can land
        // on the finished copy itself.
        const int srcSlash = m_src.lastIndexOf(QLatin1Char('/'));
        const int dstSlash = m_dst.lastIndexOf(QLatin1Char('/'));
        const QString srcBase = jpegBase(m_src.mid(srcSlash + 1));
        const QString dstBase = jpegBase(m_dst.mid(dstSlash + 1));
        const QString rawDir = rawFolderFor(m_src.left(srcSlash + 1));
        if (!srcBase.isEmpty() && !dstBase.isEmpty() && !rawDir.isEmpty()) {
            if (!m_rawIndex)
                m_rawIndex = std::make_shared<SharedFolderIndex>(rawDir);
            for (const QString &ext : rawExtensions()) {
                const QString raw = m_rawIndex->index().filePath(srcBase + ext);
                if (!raw.isEmpty())
                    copyOne(raw, m_dst.left(dstSlash + 1) + dstBase + ext);
            }
        }
    }
    m_guard->report("fenjian_finalPhotoSlot_2");
}

void SeparateThread::plainCopy(const char *slot)
{
    const bool copied = copyOne(m_src, m_dst);
    qCDebug(lcSeparation) << "isWindowShow4 :" << m_guard->isWindowShow() << copied;
    m_guard->report(slot);
}

void SeparateThread::productPhotoCopy()
{
    // The finished copy in the work folder, under its name as listed there (whatever its letter case).
    QString path;
    if (isSafePhotoName(m_src) && !m_finishedName.isEmpty() && FileOperation::isFile(m_finishedDir + m_finishedName))
        path = m_finishedDir + m_finishedName;
    if (!path.isEmpty()) {
        QString failure;
        if (!m_attempt)
            copyOne(path, m_dst);
        else if (!m_attempt->copy(m_attemptFolder, m_attemptPhoto, path, &failure))
            m_guard->addFailure(failure);
        m_guard->report("fenjian_productPhotoSlot_4", QString());
        if (m_attempt)
            m_attempt->writeCopies();
        return;
    }
    m_guard->report("fenjian_productPhotoSlot_4", m_productName + QLatin1Char(':') + m_src);
}

void SeparateThread::analysePhotoInfo()
{
    QList<Image> crops;
    for (const QJsonValue &value : qAsConst(m_picInfo)) {
        if (!m_guard->isWindowShow())
            return;
        const QJsonObject entry = value.toObject();
        Image image(PHOTOTYPE_FINE, jsonString(entry, "picname"));
        image.setDescription(jsonString(entry, "descr"));
        image.setRect(cropRect(entry), jsonString(entry, "pictype") != QLatin1String("0"));
        crops.append(image);
    }
    if (!m_guard->isWindowShow())
        return;
    m_guard->report("fenjian_analysisPhotoInfo", finishedImages(ImagePath(m_orderPath), crops));
}
