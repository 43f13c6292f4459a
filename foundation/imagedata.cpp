#include "imagedata.h"

#include "logging.h"
#include "platform.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

QList<Image> g_imageList;
QString g_separateWorkDir;

QString ImagePath::orderOutPath;
QMutex ImagePath::s_mutex;
QString ImagePath::s_orderPath;
QString ImagePath::s_sheetThumbPath;

void ImagePath::setOrderPath(const QString &root)
{
    QMutexLocker lock(&s_mutex);
    s_orderPath = root;
}

// The order root and the folders below it, as local paths (back-slashes of the web service's form
// become "/" off Windows).
QString ImagePath::getOrderPath()
{
    QMutexLocker lock(&s_mutex);
    return Platform::localPath(s_orderPath);
}

QString ImagePath::getPhotoPath()
{
    return getOrderPath() + QStringLiteral("照片/");
}

QString ImagePath::getFinePath()
{
    return getOrderPath() + QStringLiteral("成品/");
}

QString ImagePath::getFineThumbPath()
{
    return getOrderPath() + QStringLiteral("成品缩略图/");
}

QString ImagePath::getDelPath()
{
    return getOrderPath() + QStringLiteral("汰片/");
}

QString ImagePath::getMarksPath()
{
    return getOrderPath() + QStringLiteral("marks/");
}

void ImagePath::setSheetThumbPath(const QString &path)
{
    QMutexLocker lock(&s_mutex);
    s_sheetThumbPath = path;
}

QString ImagePath::getSheetThumbPath()
{
    QMutexLocker lock(&s_mutex);
    return s_sheetThumbPath;
}

ImageData *ImageData::getInstance()
{
    static ImageData instance; // made on first use, thread-safe
    return &instance;
}

void ImageData::importImage(PHOTOTYPE type)
{
    m_type = type;
    m_photoList.clear();
    m_fineList.clear();
    m_delList.clear();

    const QString finePath = ImagePath::getFinePath();
    QDir dir(finePath);
    // An empty or relative order root names no order folder (it would be the program's own folder).
    if (!Platform::isAbsolutePath(ImagePath::getOrderPath()) || !dir.exists()) {
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "no finished-photo folder:" << finePath;
        return;
    }
    // Name filters of QDir ignore letter case unless QDir::CaseSensitive is asked for.
    const QStringList names = dir.entryList(QStringList() << QStringLiteral("*.jpg"),
                                            QDir::Files | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase);
    for (QString name : names) {
        if (name.endsWith(QLatin1String(".JPG")))
            name = name.left(name.size() - 4) + QStringLiteral(".jpg");
        Image image(PHOTOTYPE_FINE, name);
        for (int i = g_imageList.size() - 1; i >= 0; --i) {
            const Image &crop = g_imageList.at(i);
            if (crop.getFileName() == name) {
                image.setDescription(crop.getDescription());
                image.setRect(crop.getRect(), crop.isMark());
                break;
            }
        }
        m_fineList.append(image);
    }
}
