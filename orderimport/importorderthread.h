#pragma once
// The worker thread of one order. Import mode (made by the batch import dialog) builds the order's
// folder tree and copies the chosen files of one import type into it, or walks the folder chosen for
// the Dovra system. Delete mode (made by the order search windows) deletes the order's photo folder and
// reports it by deleteSucceed.
//
// Lifetime: the object may only be destroyed after `finished`. Delete-mode threads delete themselves
// once they have finished (finished -> deleteLater), so callers only connect deleteSucceed and start
// them. Import-mode callers connect finished -> deleteLater themselves.

#include "dovrafileinfo.h"
#include "importtype.h"

#include <QList>
#include <QString>
#include <QThread>

class ImportOrderModel;
struct OrderRowInfo;

class ImportOrderThread : public QThread
{
    Q_OBJECT
public:
    // Import mode: one order, one import type; the record is not owned and must outlive the run.
    ImportOrderThread(ImportOrderModel *model, ImportTypeEnum type, QObject *parent = nullptr);
    // Delete mode: deletes the row's "orderpath" folder and reports it with the row's order id.
    explicit ImportOrderThread(const OrderRowInfo &info, QObject *parent = nullptr);
    ~ImportOrderThread() override;

    // Delete job; run() calls it in delete mode.
    void startDelete();

    // Builds the order's folder tree under the photo root and the backup root.
    void createOrderDir(QString picPath, QString bakPath);
    // Copies the chosen files of the import type into the order's folders.
    void importOrderFiles();

    // Copy for the Dovra system.
    void createDovraDir(QString path);
    void copyDovraDirToSer(QString dovraDir);
    void copyDir(QString fromDir, QString toDir);
    void copyDir2(QString fromDir, QString toDir);

    QString mode() const { return mMode; }
    quint16 totalCount() const { return mTotalCount; }

signals:
    void hasImportedImgCount(quint16 done, quint16 total);
    void hasFinishedImportSigl(quint16 count);
    void importImageThreadError(quint8 errorCode);
    void checkDiskSizeSigl(QString picPath);
    void checkOrderPicPathSigl();
    void deleteSucceed(QString mOrderid, QString deleteDir);
    void importDirDovraThreadError();
    void importDirDovraThreadSigl(QString picPath);
    void startImportDirDovraThreadSigl(QList<DovraFileInfo> list, QString toDir);
    void emit_msg(QString str);

protected:
    void run() override;

private:
    ImportOrderModel *mModel = nullptr;
    ImportTypeEnum mImportType = ImportFinishedPhotos;
    quint16 mTotalCount = 0;
    quint16 mImportedCount = 0;
    QList<DovraFileInfo> mDovraFileList;
    QString deleteDir;
    QString mMode;
    QString mOrderid;
};
