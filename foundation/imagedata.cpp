#include "imagedata.h"

#include "logging.h"
#include "platform.h"

#include <QDebug>
#include <QDir>

QString ImagePath::getOrderPath() const
{
    return Platform::localPath(m_root);
}

QString ImagePath::getFinePath() const
{
    return getOrderPath() + QStringLiteral("成品/");
}

QString ImagePath::getFineThumbPath() const
{
    return getOrderPath() + QStringLiteral("成品缩略图/");
}

QList<Image> finishedImages(const ImagePath &order, const QList<Image> &crops)
{
    QList<Image> fine;
    const QString finePath = order.getFinePath();
    QDir dir(finePath);
    // An empty or relative order root names no order folder (it would be the program's own folder).
    if (!Platform::isAbsolutePath(order.getOrderPath()) || !dir.exists()) {
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "no finished-photo folder:" << finePath;
        return fine;
    }
    // Name filters of QDir ignore letter case unless QDir::CaseSensitive is asked for.
    const QStringList names = dir.entryList(QStringList() << QStringLiteral("*.jpg"),
                                            QDir::Files | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase);
    for (QString name : names) {
        if (name.endsWith(QLatin1String(".JPG")))
            name = name.left(name.size() - 4) + QStringLiteral(".jpg");
        Image image(PHOTOTYPE_FINE, name);
        for (int i = crops.size() - 1; i >= 0; --i) {
            const Image &crop = crops.at(i);
            if (crop.getFileName() == name) {
                image.setDescription(crop.getDescription());
                image.setRect(crop.getRect(), crop.isMark());
                break;
            }
        }
        fine.append(image);
    }
    return fine;
}
