#pragma once
// The photos of an order under review: one record per photo (Image), the folders derived from the order's
// root (ImagePath) and the list of its finished photos with their crop information (finishedImages).

#include <QList>
#include <QMetaType>
#include <QRect>
#include <QString>

// Kind of a photo of an order.
enum PHOTOTYPE {
    PHOTOTYPE_PHOTO = 0, // 照片: as shot
    PHOTOTYPE_FINE = 1,  // 成品: finished
    PHOTOTYPE_DEL = 2    // 汰片: rejected
};

// One photo of an order. A default record has empty texts, a rectangle of all zeros and no mark.
class Image
{
public:
    Image() = default;
    Image(PHOTOTYPE type, const QString &fileName) : m_type(type), m_fileName(fileName) {}

    PHOTOTYPE getType() const { return m_type; }
    void setType(PHOTOTYPE type) { m_type = type; }

    // The photo's file name (no folder): the name of its file in the order's folders, the name its
    // work-sheet thumbnail is saved under, and the key that matches it to its crop information.
    QString getFileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    // The same file name under its older accessor name, which the work-sheet builders use.
    QString getDescr() const { return m_fileName; }

    // The crop information's free text for the photo (shown under its thumbnail on a work sheet).
    QString getDescription() const { return m_description; }
    void setDescription(const QString &text) { m_description = text; }

    // The marked area in the photo's own pixels; mark true draws it as an ellipse, false as a rectangle.
    QRect getRect() const { return m_rect; }
    bool isMark() const { return m_mark; }
    void setRect(const QRect &rect, bool mark)
    {
        m_rect = rect;
        m_mark = mark;
    }

private:
    PHOTOTYPE m_type = PHOTOTYPE_PHOTO;
    QString m_fileName;
    QString m_description;
    QRect m_rect = QRect(0, 0, 0, 0);
    bool m_mark = false;
};
Q_DECLARE_METATYPE(Image)

// The folders of one order's photos, derived from the order's root folder on the storage. A value: each
// run or job keeps the one of its own order.
class ImagePath
{
public:
    // The order's root folder on the storage (ends in "/"); the sub-folders below derive from it.
    explicit ImagePath(const QString &root = QString()) : m_root(root) {}

    // The order root and the folders below it, as local paths (back-slashes of the web service's form
    // become "/" off Windows).
    QString getOrderPath() const;
    QString getFinePath() const;      // root + "成品/"
    QString getFineThumbPath() const; // root + "成品缩略图/"

private:
    QString m_root;
};

// The finished photos of the order: one Image of kind 1 per "*.jpg" file (any letter case) of its "成品/"
// folder, in name order without regard to case. A name ending in ".JPG" is recorded ending in ".jpg". Each
// takes description, rectangle and mark from the last crop entry with the same file name (exact case).
// An order root that is empty or relative, or has no such folder, lists nothing.
QList<Image> finishedImages(const ImagePath &order, const QList<Image> &crops);
