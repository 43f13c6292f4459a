#pragma once
// One order prepared for the batch import: the order's fields as the order list delivers them,
// its storage paths, the naming words of the three photo import types, and per import type the
// chosen source files, the found and imported counts and the imported flag.

#include "importtype.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

class ImportOrderModel : public QObject
{
    Q_OBJECT
public:
    // Builds the record from one order object of an order-list reply. Every value is read as a
    // JSON string; missing keys and values of other types give "".
    explicit ImportOrderModel(QJsonObject order, QObject *parent = nullptr);
    ~ImportOrderModel() override;

    // The order's identity: order number, "-", service times.
    QString orderKey() const;
    // The target file name of each source path for the import type, one per path, in order.
    // Every result is a single name component (never a path, never "." or "..").
    QStringList buildTargetNames(const QStringList &paths, int importType) const;

    // ---- order fields ----
    QString orderPhotoId() const { return m_orderPhotoId; }
    QString orderPayForKey() const { return m_orderPayForKey; }
    QString storesName() const { return m_storesName; }
    QString photoType() const { return m_photoType; }
    QString serviceTimes() const { return m_serviceTimes; }
    QString customerNames() const { return m_customerNames; }
    QString bName() const { return m_bName; }
    QString wName() const { return m_wName; }
    QString mName() const { return m_mName; }
    QString comboName() const { return m_comboName; }
    QString comboPrice() const { return m_comboPrice; }
    QString orderPrice() const { return m_orderPrice; }
    QString orderBasePrice() const { return m_orderBasePrice; }
    QString bookTime() const { return m_bookTime; }
    QString bookStore() const { return m_bookStore; }
    QString gotoDigitalTime() const { return m_gotoDigitalTime; }
    QString shotDate() const { return m_shotDate; }
    QString sampleDate() const { return m_sampleDate; }
    QString role1() const { return m_role1; }
    QString role2() const { return m_role2; }
    QString yinDouEr() const { return m_yinDouEr; }
    QString photoType2() const { return m_photoType2; }
    QString tiaoSeName() const { return m_tiaoSeName; }
    QString tiaoXiName() const { return m_tiaoXiName; }
    QString gotoDigitalTime2() const { return m_gotoDigitalTime2; }

    // ---- storage paths ----
    QString orderPath() const { return m_orderPath; }
    void setOrderPath(const QString &path) { m_orderPath = path; }
    QString orderBakPath() const { return m_orderBakPath; }
    void setOrderBakPath(const QString &path) { m_orderBakPath = path; }
    QString bakPicPath() const { return m_bakPicPath; }
    QString homePicPath() const { return m_homePicPath; }
    QString picPath() const { return m_picPath; }
    // The same paths as the web service sent them.
    QString orderPathRaw() const { return m_orderPathRaw; }
    QString orderBakPathRaw() const { return m_orderBakPathRaw; }
    QString picPathRaw() const { return m_picPathRaw; }
    QString bakPicPathRaw() const { return m_bakPicPathRaw; }

    // ---- naming words of the three photo import types; the three folder suffixes always hold the same text ----
    // True for the types that have naming words: photos as shot, finished photos and designs.
    static bool hasNameParts(ImportTypeEnum type) { return type >= ImportOriginPhotos && type <= ImportDesigns; }
    // The words of such a type; other types read "" and ignore writes.
    QString orderPrefix(ImportTypeEnum type) const { return hasNameParts(type) ? m_names[type].orderPrefix : QString(); }
    void setOrderPrefix(ImportTypeEnum type, const QString &v);
    QString photoSuffix(ImportTypeEnum type) const { return hasNameParts(type) ? m_names[type].photoSuffix : QString(); }
    void setPhotoSuffix(ImportTypeEnum type, const QString &v);
    void setFolderSuffix(ImportTypeEnum type, const QString &v);

    QString originOrderPrefix() const { return m_names[ImportOriginPhotos].orderPrefix; }
    void setOriginOrderPrefix(const QString &v) { setOrderPrefix(ImportOriginPhotos, v); }
    QString originFolderSuffix() const { return m_names[ImportOriginPhotos].folderSuffix; }
    void setOriginFolderSuffix(const QString &v) { setAllFolderSuffixes(v); }
    QString originPhotoSuffix() const { return m_names[ImportOriginPhotos].photoSuffix; }
    void setOriginPhotoSuffix(const QString &v) { setPhotoSuffix(ImportOriginPhotos, v); }

    QString finishedOrderPrefix() const { return m_names[ImportFinishedPhotos].orderPrefix; }
    void setFinishedOrderPrefix(const QString &v) { setOrderPrefix(ImportFinishedPhotos, v); }
    QString finishedFolderSuffix() const { return m_names[ImportFinishedPhotos].folderSuffix; }
    void setFinishedFolderSuffix(const QString &v) { setAllFolderSuffixes(v); }
    QString finishedPhotoSuffix() const { return m_names[ImportFinishedPhotos].photoSuffix; }
    void setFinishedPhotoSuffix(const QString &v) { setPhotoSuffix(ImportFinishedPhotos, v); }

    QString designOrderPrefix() const { return m_names[ImportDesigns].orderPrefix; }
    void setDesignOrderPrefix(const QString &v) { setOrderPrefix(ImportDesigns, v); }
    QString designFolderSuffix() const { return m_names[ImportDesigns].folderSuffix; }
    void setDesignFolderSuffix(const QString &v) { setAllFolderSuffixes(v); }
    QString designPhotoSuffix() const { return m_names[ImportDesigns].photoSuffix; }
    void setDesignPhotoSuffix(const QString &v) { setPhotoSuffix(ImportDesigns, v); }

    // ---- per import type: chosen files, found count, imported count, imported flag ----
    // The copy for the Dovra system keeps only its imported flag: it has no files, and its counts
    // read as 0 and ignore writes.
    QStringList chosenFiles(ImportTypeEnum type) const;
    void setChosenFiles(ImportTypeEnum type, const QStringList &files);
    quint16 foundCount(ImportTypeEnum type) const;
    void setFoundCount(ImportTypeEnum type, quint16 count);
    quint16 importedCount(ImportTypeEnum type) const;
    void setImportedCount(ImportTypeEnum type, quint16 count);
    bool isImported(ImportTypeEnum type) const;
    void setImported(ImportTypeEnum type, bool imported);
    // The folder suffix an import of the type names its order folder with ("" for the Dovra copy).
    QString folderSuffix(ImportTypeEnum type) const;
    // The order folder's name for an import of the type: the trimmed order key cleaned by
    // normalizeFileName, then, when the type's folder suffix is not empty, "-" and the suffix cleaned the
    // same way. *keyPart, when given, receives the first part.
    QString orderFolderName(ImportTypeEnum type, QString *keyPart = nullptr) const;

    QStringList originFiles() const { return m_types[ImportOriginPhotos].files; }
    void setOriginFiles(const QStringList &v) { m_types[ImportOriginPhotos].files = v; }
    quint16 originFoundCount() const { return m_types[ImportOriginPhotos].foundCount; }
    void setOriginFoundCount(const quint16 &v) { m_types[ImportOriginPhotos].foundCount = v; }
    quint16 originImportedCount() const { return m_types[ImportOriginPhotos].importedCount; }
    void setOriginImportedCount(const quint16 &v) { m_types[ImportOriginPhotos].importedCount = v; }
    bool isOriginImported() const { return m_types[ImportOriginPhotos].imported; }
    void setOriginImported(bool v) { m_types[ImportOriginPhotos].imported = v; }

    QStringList finishedFiles() const { return m_types[ImportFinishedPhotos].files; }
    void setFinishedFiles(const QStringList &v) { m_types[ImportFinishedPhotos].files = v; }
    quint16 finishedFoundCount() const { return m_types[ImportFinishedPhotos].foundCount; }
    void setFinishedFoundCount(const quint16 &v) { m_types[ImportFinishedPhotos].foundCount = v; }
    quint16 finishedImportedCount() const { return m_types[ImportFinishedPhotos].importedCount; }
    void setFinishedImportedCount(const quint16 &v) { m_types[ImportFinishedPhotos].importedCount = v; }
    bool isFinishedImported() const { return m_types[ImportFinishedPhotos].imported; }
    void setFinishedImported(bool v) { m_types[ImportFinishedPhotos].imported = v; }

    QStringList designFiles() const { return m_types[ImportDesigns].files; }
    void setDesignFiles(const QStringList &v) { m_types[ImportDesigns].files = v; }
    quint16 designFoundCount() const { return m_types[ImportDesigns].foundCount; }
    void setDesignFoundCount(const quint16 &v) { m_types[ImportDesigns].foundCount = v; }
    quint16 designImportedCount() const { return m_types[ImportDesigns].importedCount; }
    void setDesignImportedCount(const quint16 &v) { m_types[ImportDesigns].importedCount = v; }
    bool isDesignImported() const { return m_types[ImportDesigns].imported; }
    void setDesignImported(bool v) { m_types[ImportDesigns].imported = v; }

    QStringList trialVideoFiles() const { return m_types[ImportTrialVideos].files; }
    void setTrialVideoFiles(const QStringList &v) { m_types[ImportTrialVideos].files = v; }
    quint16 trialVideoFoundCount() const { return m_types[ImportTrialVideos].foundCount; }
    void setTrialVideoFoundCount(const quint16 &v) { m_types[ImportTrialVideos].foundCount = v; }
    quint16 trialVideoImportedCount() const { return m_types[ImportTrialVideos].importedCount; }
    void setTrialVideoImportedCount(const quint16 &v) { m_types[ImportTrialVideos].importedCount = v; }
    bool isTrialVideoImported() const { return m_types[ImportTrialVideos].imported; }
    void setTrialVideoImported(bool v) { m_types[ImportTrialVideos].imported = v; }

    QStringList retouchVideoFiles() const { return m_types[ImportRetouchVideos].files; }
    void setRetouchVideoFiles(const QStringList &v) { m_types[ImportRetouchVideos].files = v; }
    quint16 retouchVideoFoundCount() const { return m_types[ImportRetouchVideos].foundCount; }
    void setRetouchVideoFoundCount(const quint16 &v) { m_types[ImportRetouchVideos].foundCount = v; }
    quint16 retouchVideoImportedCount() const { return m_types[ImportRetouchVideos].importedCount; }
    void setRetouchVideoImportedCount(const quint16 &v) { m_types[ImportRetouchVideos].importedCount = v; }
    bool isRetouchVideoImported() const { return m_types[ImportRetouchVideos].imported; }
    void setRetouchVideoImported(bool v) { m_types[ImportRetouchVideos].imported = v; }

    bool isDovraImported() const { return m_dovraImported; }
    void setDovraImported(bool v) { m_dovraImported = v; }

    // ---- what the web service has not been told yet and only this record keeps, per import type ----
    // The counts of the file types wait in the order folder (UnsentReport) until a report takes them; the
    // record keeps only what could not be written there, and the Dovra copy's report, which has no counts.
    struct ReportDue
    {
        int files = 0;          // files the type's runs placed, not reported and not kept in the order folder
        int backups = 0;        // the same for the backups
        bool unreported = false; // the order is imported, but the report of it did not arrive
    };
    ReportDue reportDue(ImportTypeEnum type) const { return validType(type) ? m_reportDue[type] : ReportDue(); }
    void setReportDue(ImportTypeEnum type, const ReportDue &due)
    {
        if (validType(type))
            m_reportDue[type] = due;
    }
    // The type's start report went out whole and no answer came (sentWithoutAnswer): the web service may take
    // it late, after the end report, and then show the order as not imported. The next press of the start
    // button posts the start again and the end after it.
    bool startUnanswered(ImportTypeEnum type) const { return validType(type) && m_startUnanswered[type]; }
    void setStartUnanswered(ImportTypeEnum type, bool unanswered)
    {
        if (validType(type))
            m_startUnanswered[type] = unanswered;
    }

    // ---- Dovra system ----
    QString dovraServerPath() const { return m_dovraServerPath; }
    QString dovraSourceDir() const { return m_dovraSourceDir; }
    void setDovraSourceDir(const QString &v) { m_dovraSourceDir = v; }
    QString dovraPath() const { return m_dovraPath; }
    void setDovraPath(const QString &v) { m_dovraPath = v; }
    QString fatherPath() const { return m_fatherPath; }
    void setFatherPath(const QString &v) { m_fatherPath = v; }

private:
    void setAllFolderSuffixes(const QString &v)
    {
        for (NameParts &names : m_names)
            names.folderSuffix = v;
    }

    QString m_orderPhotoId;
    QString m_orderPayForKey;
    QString m_storesName;
    QString m_photoType;
    QString m_serviceTimes;
    QString m_customerNames;
    QString m_bName;
    QString m_wName;
    QString m_mName;
    QString m_momTel;
    QString m_dadTel;
    QString m_comboName;
    QString m_comboPrice;
    QString m_orderPrice;
    QString m_orderBasePrice;
    QString m_bookTime;
    QString m_bookStore;
    QString m_gotoDigitalTime;
    QString m_shotDate;
    QString m_sampleDate;
    QString m_getPhotoDate;
    QString m_role1;
    QString m_role2;
    QString m_yinDouEr;
    QString m_photoType2;
    QString m_tiaoSeName;
    QString m_tiaoXiName;
    QString m_gotoDigitalTime2;
    QString m_orderPath;
    QString m_orderBakPath;
    QString m_orderPathRaw;
    QString m_orderBakPathRaw;
    QString m_bakPicPath;
    QString m_homePicPath;
    QString m_picPath;
    QString m_bakPicPathRaw;
    QString m_homePicPathRaw;
    QString m_picPathRaw;
    // The naming words, indexed by the photo import type.
    struct NameParts
    {
        QString orderPrefix;
        QString folderSuffix;
        QString photoSuffix;
    };
    NameParts m_names[ImportDesigns + 1];
    // What an import of one file type keeps, indexed by the type (the Dovra copy has none).
    struct TypeState
    {
        QStringList files;
        quint16 foundCount = 0;
        quint16 importedCount = 0;
        bool imported = false;
    };
    static constexpr int kFileTypeCount = ImportRetouchVideos + 1;
    TypeState *stateOf(ImportTypeEnum type);
    const TypeState *stateOf(ImportTypeEnum type) const;
    template <typename T>
    T stateValue(ImportTypeEnum type, T TypeState::*field) const
    {
        const TypeState *state = stateOf(type);
        return state ? state->*field : T();
    }
    template <typename T>
    void setStateValue(ImportTypeEnum type, T TypeState::*field, const T &value)
    {
        if (TypeState *state = stateOf(type))
            state->*field = value;
    }

    TypeState m_types[kFileTypeCount];
    bool m_dovraImported = false;
    static bool validType(ImportTypeEnum type) { return type >= ImportOriginPhotos && type <= ImportDovraCopy; }
    ReportDue m_reportDue[ImportDovraCopy + 1];
    bool m_startUnanswered[ImportDovraCopy + 1] = {};
    QString m_dovraServerPathRaw;
    QString m_dovraServerPath;
    QString m_dovraSourceDir;
    QString m_dovraPath;
    QString m_fatherPath;
};
