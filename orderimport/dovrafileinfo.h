#pragma once
// One file of a copy for the Dovra system: where it is and where it goes. Lists of it travel from an
// order's import thread to the import dialog through a queued signal, registered as
// "QList<DovraFileInfo>".

#include <QList>
#include <QMetaType>
#include <QString>

class DovraFileInfo
{
public:
    DovraFileInfo() = default;
    DovraFileInfo(const QString &filePath, const QString &toFilePath)
        : filePath(filePath), toFilePath(toFilePath)
    {
    }

    QString getFilePath() const { return filePath; }
    void setFilePath(const QString &path) { filePath = path; }
    QString getToFilePath() const { return toFilePath; }
    void setToFilePath(const QString &path) { toFilePath = path; }

    QString filePath;   // source file
    QString toFilePath; // target file in the Dovra server folder
};

Q_DECLARE_METATYPE(DovraFileInfo)
Q_DECLARE_METATYPE(QList<DovraFileInfo>)

// Registers the list type under its name for queued connections; calling it again does no harm.
inline int registerDovraFileInfoList()
{
    return qRegisterMetaType<QList<DovraFileInfo>>("QList<DovraFileInfo>");
}
