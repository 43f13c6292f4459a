#pragma once
// One step of a photo separation on the global pool: a photo check, one photo copy, or storing the
// order's crop information. The job reports once, by a queued call of one slot of its window, named by
// string (the slots are the interface of every window that starts these jobs):
//
//   type 1  finished photo copied (with its camera-raw siblings)   fenjian_finalPhotoSlot_2()
//   type 2  photo checked                                           fenjian_photoIsFileSlot_1(int): 1 file, 0 not
//   type 3  rejected photo copied                                   fenjian_delPhotoSlot_3()
//   type 4  marked photo copied                                     fenjian_markPhoto_3_1()
//   type 5  product photo copied, or missing                        fenjian_productPhotoSlot_4(QString):
//                                                                     "" when copied, else "product:photo"
//   type 6  crop information read, finished photos listed           fenjian_analysisPhotoInfo(QList<Image>):
//                                                                     the finished photos with their crops
//
// A job is given its paths when it is made (on the GUI thread); its window gives it the raw-copy switch and
// the finished-photo folder of its own shop and order (setCopyRaws, setFinishedFolder). A shop switch or
// another order while it waits changes nothing for it. It reports only through its window's guard, so
// nothing reaches a window that has closed. A copy that fails is added to the guard's failures (the
// reports stay as they are).

#include "folderindex.h"
#include "windowguard.h"

#include <QJsonArray>
#include <QRunnable>
#include <QString>

#include <memory>

class SeparationAttempt;

class SeparateThread : public QRunnable
{
public:
    enum Type {
        FinalPhotoCopy = 1,
        PhotoIsFile = 2,
        DelPhotoCopy = 3,
        MarkPhotoCopy = 4,
        ProductPhotoCopy = 5,
        AnalysePhotoInfo = 6,
    };

    // Type 2: src is the photo's path.
    SeparateThread(const QString &src, int type, std::shared_ptr<WindowGuard> guard);
    // Types 1, 3, 4: src and dst are full file paths.
    SeparateThread(const QString &src, const QString &dst, bool overwrite, int type,
                   std::shared_ptr<WindowGuard> guard);
    // Type 5: src is the photo's name in the work folder's finished-photo folder (setFinishedFolder), dst
    // its target; productName names the product in the report of a missing photo.
    SeparateThread(const QString &src, const QString &dst, const QString &productName, bool overwrite, int type,
                   std::shared_ptr<WindowGuard> guard);
    // Type 6: the crop entries of the order ("orderpicdescr") and the order's folder on the storage.
    SeparateThread(const QJsonArray &picInfo, const QString &orderPath, int type, std::shared_ptr<WindowGuard> guard);

    void run() override;

    // Type 1: whether the camera-raw siblings are copied too (the window's shop switch; off unless set).
    void setCopyRaws(bool on) { m_copyRaws = on; }
    // Type 1: the listing of the raw siblings' folder, shared by the copies of one order (without one the
    // job lists the folder itself).
    void setRawIndex(std::shared_ptr<SharedFolderIndex> index) { m_rawIndex = std::move(index); }
    // Type 5: the photo's file name in the finished-photo folder as listed (its letter case may differ
    // from src); without one the photo is missing there.
    void setFinishedName(const QString &name) { m_finishedName = name; }
    // Type 5: the work folder's finished-photo folder (ending in "/") its photo is taken from.
    void setFinishedFolder(const QString &dir) { m_finishedDir = dir; }
    // Type 5: the photo is copied as the attempt at its order placed it (photo j of its folder i), and
    // enters the attempt's record once it is in place; without one it is copied to dst.
    void setAttempt(std::shared_ptr<SeparationAttempt> attempt, int folder, int photo)
    {
        m_attempt = std::move(attempt);
        m_attemptFolder = folder;
        m_attemptPhoto = photo;
    }

    // The extensions of camera-raw siblings, in the order they are looked for.
    static QStringList rawExtensions();
    // The folder of the raw siblings of a finished photo in folder finishedDir ("…/成品/"): the order
    // folder's "照片/新建文件夹/". "" when finishedDir is no "成品/" folder.
    static QString rawFolderFor(const QString &finishedDir);

private:
    void finalPhotoCopy();
    void photoisFile();
    // Types 3 and 4: one copy, reported to the slot of its type.
    void plainCopy(const char *slot);
    void productPhotoCopy();
    void analysePhotoInfo();
    // Copies one file when src is a file; a failed copy goes into the guard's failures as its target with
    // the reason ("…/IMG_0001.jpg（磁盘空间不足）").
    bool copyOne(const QString &src, const QString &dst);

    std::shared_ptr<WindowGuard> m_guard;
    int m_type = 0;
    QString m_src;
    QString m_dst;
    bool m_overwrite = false;
    QString m_productName;  // type 5
    QString m_finishedDir;  // type 5: where the order's finished copies are
    bool m_copyRaws = false; // type 1
    std::shared_ptr<SharedFolderIndex> m_rawIndex; // type 1
    QString m_finishedName; // type 5
    std::shared_ptr<SeparationAttempt> m_attempt; // type 5
    int m_attemptFolder = -1;
    int m_attemptPhoto = -1;
    QString m_orderPath;    // type 6
    QJsonArray m_picInfo;   // type 6
};
