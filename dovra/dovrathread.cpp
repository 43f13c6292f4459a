#include "dovrathread.h"

#include "dovraxml.h"
#include "fileoperation.h"
#include "globals.h"
#include "logging.h"
#include "platform.h"
#include "webapi.h"
#include "windowguard.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace {

const QString kNotInAlbumPages = QStringLiteral("未入册版面");
const QString kNotInAlbumPhotos = QStringLiteral("未入册照片");
const QString kDesignSuffix = QStringLiteral("_待Dovra设计同步用数据");
// How many failed copies of one folder the report names (the rest are counted).
constexpr int kFailuresNamed = 3;

// The suffixes a restricted copy takes; "tiff" but not "tif".
const QStringList &restrictedSuffixes()
{
    static const QStringList list{"htm", "html", "jpg", "png", "jpeg", "gif", "bmp",
                                  "tiff", "psd", "webp", "svg", "eps", "ai", "wmf"};
    return list;
}

} // namespace

QString Dovrathread::orderFolderName(const OrderRowInfo &row)
{
    return normalizeFileName(row.orderpayforkey + QStringLiteral("-服务次") + row.servicetimes + QLatin1Char(' ')
                             + row.customerName);
}

QString Dovrathread::designFolderPath(const QString &relPath)
{
    QStringList parts;
    for (const QString &part : QString(relPath).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'))) {
        const QString safe = normalizeFileName(part);
        if (!safe.isEmpty())
            parts.append(safe);
    }
    return parts.join(QLatin1Char('/')) + kDesignSuffix;
}

namespace {

// True when path is folder itself or lies inside it (both made absolute and clean, links resolved
// where they exist).
bool isInside(const QString &path, const QString &folder)
{
    auto resolved = [](const QString &p) {
        const QFileInfo info(p);
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    };
    const QString inner = resolved(path);
    const QString outer = resolved(folder);
    return inner.compare(outer, Platform::pathCase()) == 0
           || inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/'),
                               Platform::pathCase());
}

// The old bytes of a store file written in place are read first; a store file is small, and one larger
// than this is no store file the program wrote.
constexpr qint64 kLargestStoreFile = 256 * 1024 * 1024;

// Writes bytes into the file at localFile itself, for a folder where no new file can take its name. Its old
// bytes stay until the new ones are known to fit: what goes beyond the old length is written first (and cut
// off again when the disk refuses it), then the old length is written over; should that or the close fail,
// the old bytes are put back. A file whose old bytes cannot be read is left as it is. Gives the failure text
// that follows the store's name, or "" when the file holds the new bytes; openFailure (when given) names a
// file that cannot be opened.
QString writeInPlace(const QString &localFile, const QByteArray &bytes, const QString &openFailure)
{
    auto refused = [&](int error) {
        qCDebug(lcDovra) << "文件打开失败，错误原因：" << errorText(error);
        return !openFailure.isEmpty() ? openFailure : QStringLiteral(" 文件打开失败，错误原因：") + errorText(error);
    };
    auto notWritten = [](int error) {
        qCDebug(lcDovra) << "文件写入失败，错误原因：" << errorText(error);
        return QStringLiteral(" 文件写入失败，错误原因：") + errorText(error);
    };
    QByteArray old;
    int error = 0;
    Platform::SystemFile file;
    if (!Platform::readRegularFile(localFile, kLargestStoreFile, &old, &error))
        return refused(file.openForWriting(localFile, Platform::SystemFile::Existing) ? error : file.error());
    if (!file.openForWriting(localFile, Platform::SystemFile::Existing))
        return refused(file.error());
    const qint64 common = qMin<qint64>(old.size(), bytes.size());
    const qint64 beyond = bytes.size() - common;
    if (beyond > 0
        && !(file.seek(old.size()) && file.write(bytes.constData() + common, beyond) == beyond && file.flush())) {
        error = file.error() != 0 ? file.error() : EIO;
        if (!file.resize(old.size()))
            qCWarning(lcDovra) << "Dovra文件未能截回原长度：" << localFile << errorText(file.error());
        file.close();
        return notWritten(error);
    }
    if (file.seek(0) && file.write(bytes.constData(), common) == common && file.resize(bytes.size())
        && file.closeChecked() && !Platform::writeShouldFail(localFile))
        return QString();
    error = file.error() != 0 ? file.error() : EIO;
    file.close();
    Platform::SystemFile back;
    if (!(back.openForWriting(localFile, Platform::SystemFile::Existing) && back.write(old) == old.size()
          && back.resize(old.size()) && back.closeChecked()))
        qCWarning(lcDovra) << "Dovra文件未能恢复原内容：" << localFile << errorText(back.error());
    return notWritten(error);
}

// Replaces the file whole: the bytes go into a temporary beside it, which then takes its name. An existing
// file the user may not write (made read-only) is left as it is and named with the reason, as the open of it
// would fail: a rename would replace it all the same; its folder is looked at first, as the write looks at
// it, so that a folder refusing the user is named as such. Where the rename is refused (a share that grants
// changing a file but not deleting it, or the Dovra program holding the file open), or the folder takes no
// new file but holds the file (a share granting "write data" but not "create files", a disk out of entries)
// while its permissions do not refuse the user, the file is written in place (writeInPlace). Gives the
// failure text that follows the store's name, or "" when the file holds the new bytes: a file that cannot be
// opened for writing is named with the reason, and a folder that refuses the user (no permission) by its
// path, shown as folder.
QString writeReplacing(const QString &localFile, const QByteArray &bytes, const QString &folder)
{
    Platform::delayWrite(localFile);
    QString why;
    auto folderRefusal = [&] {
        return QStringLiteral("dovra路径没有写入权限：") + folder + QStringLiteral("（") + why + QStringLiteral("）");
    };
    const int refusal = Platform::existingFileWriteRefusal(localFile);
    if (refusal != 0) {
        // A new file of the write's own made beside it and taken away again, never put in its place.
        Platform::WriteStep probed = Platform::WriteStep::None;
        Platform::writeIntoPlace(localFile, [](QIODevice &) { return true; }, &why, &probed, [] { return false; });
        const int error = errno;
        if (probed == Platform::WriteStep::Open && (error == EACCES || error == EPERM)) {
            qCDebug(lcDovra) << "dovra路径没有写入权限：" << why;
            return folderRefusal();
        }
        why = errorText(refusal);
        qCDebug(lcDovra) << "文件打开失败，错误原因：" << why;
        return QStringLiteral(" 文件打开失败，错误原因：") + why;
    }
    Platform::WriteStep failed = Platform::WriteStep::None;
    if (Platform::writeIntoPlace(localFile, [&bytes](QIODevice &out) { return out.write(bytes) == bytes.size(); },
                                 &why, &failed))
        return QString();
    const int error = errno;
    // A folder whose own permissions refuse the user is named as such, whatever files it holds.
    const bool inPlace = failed == Platform::WriteStep::Rename
                         || (failed == Platform::WriteStep::Open && Platform::isRegularFile(localFile)
                             && QFileInfo(QFileInfo(localFile).absolutePath()).isWritable());
    const QString openFailure = failed == Platform::WriteStep::Open && (error == EACCES || error == EPERM)
                                    ? folderRefusal()
                                    : QStringLiteral(" 文件打开失败，错误原因：") + why;
    if (failed == Platform::WriteStep::Open && !inPlace) {
        qCDebug(lcDovra) << "文件打开失败，错误原因：" << why;
        return openFailure;
    }
    if (!inPlace) {
        qCDebug(lcDovra) << "文件写入失败，错误原因：" << why;
        return QStringLiteral(" 文件写入失败，错误原因：") + why;
    }
    qCDebug(lcDovra) << "文件替换失败，改为直接写入：" << localFile << why;
    // the folder's refusal says more than the file's
    return writeInPlace(localFile, bytes, failed == Platform::WriteStep::Open ? openFailure : QString());
}

// The name under which a finished photo is looked up: as the file system compares names.
QString finishedKey(const QString &name)
{
    return Platform::pathCase() == Qt::CaseInsensitive ? name.toCaseFolded() : name;
}

// The runs started by startUnowned that have not ended (GUI thread).
QSet<Dovrathread *> &unownedRuns()
{
    static QSet<Dovrathread *> runs;
    return runs;
}

} // namespace

Dovrathread::Dovrathread(QObject *receiver, QObject *parent)
    : QThread(parent), receiver(receiver), m_reports(WindowGuard::create(receiver))
{
}

Dovrathread::~Dovrathread()
{
    unownedRuns().remove(this);
}

void Dovrathread::stop()
{
    stopRequested = true;
}

void Dovrathread::stopAndWait()
{
    stop();
    quit();
    wait();
}

void Dovrathread::startExport(const QString &root, const QList<OrderRowInfo> &rows, const QString &shopDownloadAll,
                              const QString &shopBigImg)
{
    wait(); // the previous run queues its report as its last act; let it return first
    stopRequested = false;
    mode = QStringLiteral("exportDovraresult");
    exportRoot = root;
    orders = rows;
    downloadAll = shopDownloadAll;
    bigImg = shopBigImg;
    start(QThread::InheritPriority);
}

void Dovrathread::goUnowned()
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
    unownedRuns().insert(this);
    static bool waitAtEnd = false;
    if (!waitAtEnd && QCoreApplication::instance()) {
        waitAtEnd = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
            if (!waitForUnowned(kEndWaitMs))
                qCWarning(lcDovra) << "Dovra run still going at the program's end";
        });
    }
}

void Dovrathread::startUnowned()
{
    Q_ASSERT(!parent());
    goUnowned();
    start(QThread::InheritPriority);
}

void Dovrathread::abandon()
{
    stop();
    setParent(nullptr);
    goUnowned();
    if (!isRunning())
        deleteLater(); // never started, or ended before its end could be heard
}

bool Dovrathread::waitForUnowned(int ms)
{
    QDeadlineTimer deadline(ms);
    bool allEnded = true;
    for (Dovrathread *run : unownedRuns().values())
        allEnded = run->wait(deadline) && allEnded;
    return allEnded;
}

void Dovrathread::run()
{
    if (mode == QLatin1String("xml")) {
        if (dataType == 0)
            buildStaffXml();
        else if (dataType == 1)
            buildProductXml();
    } else if (mode == QLatin1String("stores")) {
        checkStorePaths();
    } else if (mode == QLatin1String("exportDovraresult")) {
        exportSelectionResults();
    }
}

// ---- store check ----

void Dovrathread::checkStorePaths()
{
    QJsonArray reachable;
    QString names;
    for (int i = 0; i < stores.size(); ++i) {
        const QJsonObject store = stores.at(i).toObject();
        const QString path = jsonString(store, QStringLiteral("dovrapath"));
        if (Platform::isAbsolutePath(path) && QDir(Platform::localPath(path)).exists()) {
            reachable.append(store);
            continue;
        }
        if (!names.isEmpty())
            names += QLatin1Char(',');
        names += jsonString(store, QStringLiteral("name"));
    }
    m_reports->report("slt_dovrastores", reachable, names);
}

// ---- staff and product files ----

void Dovrathread::sendThreadReport(QJsonObject obj)
{
    obj.insert(QStringLiteral("run"), runTag);
    m_reports->report("slt_threademit", obj);
}

void Dovrathread::buildStaffXml()
{
    buildXml(0);
}

void Dovrathread::buildProductXml()
{
    buildXml(1);
}

void Dovrathread::buildXml(int type)
{
    const QString xml = DovraXml::document(datas, type, [this] { return stopRequested.load(); });
    if (xml.isNull() || stopRequested)
        return;
    sendThreadReport(QJsonObject{{"type", QStringLiteral("数据配置完成")}, {"xmlstr", xml}});
    xmlStr = xml;
    if (stopRequested)
        return;
    writeToFile();
}

void Dovrathread::writeToFile()
{
    const QString baseName = dataType == 0 ? QStringLiteral("VgStaff") : QStringLiteral("productList");
    const QString prefix = dataType == 0 ? QStringLiteral("员工数据: ") : QStringLiteral("产品数据: ");
    const QByteArray bytes = DovraXml::fileBytes(xmlStr);
    QString errors;
    for (int i = 0; i < stores.size() && !stopRequested; ++i) {
        const QJsonObject store = stores.at(i).toObject();
        const QString name = jsonString(store, QStringLiteral("name"));
        const QString dovraPath = jsonString(store, QStringLiteral("dovrapath"));
        const QString folder = dovraPath + QStringLiteral("\\产品");
        const QString file = folder + QLatin1Char('\\') + baseName + QStringLiteral(".xml");
        const QString localFolder = Platform::localPath(folder);
        // Only an absolute Dovra path names a store's folder: nothing is made for any other.
        const bool usable = Platform::isAbsolutePath(dovraPath);
        int folderError = 0; // why the folder could not be made
        if (usable && !FileOperation::mkDir(folder))
            folderError = errno;

        const bool last = i == stores.size() - 1;
        // The store's message, once its outcome is known; a failed store carries every failure so far,
        // and so does the last store's message.
        auto send = [&](bool written) {
            QJsonObject message{{"store", name}, {"written", written}};
            if (last) {
                message.insert("type", QStringLiteral("全部导入成功"));
                message.insert("msg", errors.isEmpty() ? QStringLiteral("数据全部导入完成")
                                                       : QStringLiteral("数据导入结束，有门店未能写入"));
            } else {
                message.insert("type", QStringLiteral("门店数据导入成功"));
                message.insert("msg", prefix + name
                                          + (written ? QStringLiteral("数据导入完成") : QStringLiteral("数据导入失败"))
                                          + QStringLiteral("，开始给导入")
                                          + jsonString(stores.at(i + 1).toObject(), QStringLiteral("name"))
                                          + QStringLiteral("数据..."));
            }
            message.insert("errormsg", !written || last ? errors : QString());
            sendThreadReport(message);
        };
        auto fail = [&](const QString &line) {
            errors += QLatin1Char('\n') + line;
            send(false);
        };

        const QFileInfo folderInfo(localFolder);
        if (!usable || !folderInfo.isDir()) {
            fail(name + QStringLiteral("dovra路径错误，写入失败：") + folder
                 + (folderError == 0 ? QString() : QStringLiteral("（") + errorText(folderError) + QStringLiteral("）")));
            continue;
        }
        // Whether the folder takes the file is the write's to say, with the system's reason: a look at the
        // folder's permissions would call a read-only disk a refused permission.
        const QString failure = writeReplacing(Platform::localPath(file), bytes, folder);
        if (!failure.isEmpty()) {
            fail(name + failure);
            continue;
        }
        if (stopRequested)
            return;
        send(true);
    }
}

// ---- selection-result export ----

bool Dovrathread::emitExportResult(const QJsonObject &obj)
{
    return m_reports->report("slt_exportDovraResult", obj);
}

void Dovrathread::sendUpdateMsg(const QString &text)
{
    emitExportResult(QJsonObject{{"type", QStringLiteral("update_msg")}, {"alert", text}});
}

void Dovrathread::exportSelectionResults()
{
    // What one copy of an order left in the export.
    enum class Copy { NothingThere, Partly, Whole };
    const QString date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const bool withDesign = downloadAll == QLatin1String("1");
    QString report = QStringLiteral("所选订单Dovra选版导出结果");
    for (int i = 0; i < orders.size(); ++i) {
        const OrderRowInfo row = orders.at(i);
        if (!row.checked)
            continue;
        currentOrderDir = row.orderpath;
        const QString label = row.orderpayforkey + QStringLiteral(" 服务次") + row.servicetimes;
        const QString htmlLabel = label.toHtmlEscaped();
        auto red = [&](const QString &text) {
            report += QStringLiteral("<br><font color=\"#ff0000\">") + htmlLabel + text;
        };
        auto plain = [&](const QString &text) { report += QStringLiteral("<br>") + htmlLabel + text; };
        auto green = [&](const QString &text) {
            report += QStringLiteral("<br><font color=\"#669900\">") + htmlLabel + text;
        };
        // One copy of the export: refused when its target lies in its source. Every file kept because
        // another was there, and the first files that failed with the reason, are named by their paths in
        // the order's export folder.
        const QString orderDir = exportRoot + QLatin1Char('/') + date + QLatin1Char('/') + orderFolderName(row);
        auto inExport = [&](const QString &target) {
            return QDir(QFileInfo(Platform::localPath(orderDir)).absoluteFilePath())
                .relativeFilePath(target)
                .toHtmlEscaped();
        };
        auto exportCopy = [&](const QString &source, const QString &target, const QString &what) {
            if (isInside(Platform::localPath(target), Platform::localPath(source))) {
                plain(QStringLiteral("</font> 导出路径在Dovra选版目录内，未拷贝"));
                return Copy::NothingThere;
            }
            sendUpdateMsg(QStringLiteral("开始导出") + label + what + QStringLiteral(", 可能比较耗时，请稍后..."));
            const CopyCount count = copyDirectory(source, target);
            if (!count.keptOther.isEmpty()) {
                QStringList names;
                for (const QString &kept : count.keptOther)
                    names << inExport(kept);
                plain(QStringLiteral("</font> 以下文件已存在且内容不同，未覆盖：") + names.join(QStringLiteral("、")));
            }
            const int failedCopies = count.failed - count.keptOther.size();
            if (failedCopies > 0) {
                QStringList named;
                for (const auto &failure : count.firstFailures)
                    named << inExport(failure.first) + failure.second.toHtmlEscaped();
                plain(QStringLiteral("</font> 有%1个文件拷贝失败：").arg(failedCopies) + named.join(QStringLiteral("、"))
                      + (failedCopies > named.size() ? QStringLiteral("等") : QString()));
            }
            if (count.failed == 0)
                return Copy::Whole;
            return count.copied + count.alreadyThere > 0 ? Copy::Partly : Copy::NothingThere;
        };

        // An order without a folder has no finished photos either.
        if (row.orderpath.isEmpty() || !FileOperation::dirExists(row.orderpath + QStringLiteral("成品")))
            red(QStringLiteral("</font> 没有导入成品照片，所以产品文件夹里是Dovra的小图！"));
        sendUpdateMsg(QStringLiteral("开始准备") + label + QStringLiteral("的检查并创建路径，请稍后..."));
        if (row.dovraSelectedPath.isEmpty()) {
            red(QStringLiteral("</font> 没有Dovra选版完成路径"));
            continue;
        }
        if (!FileOperation::dirExists(row.dovraSelectedPath)) {
            red(QStringLiteral("</font> Dovra选版未完成或与本机不在同一局域网"));
            continue;
        }
        const QString resultSource = row.dovraSelectedPath + QStringLiteral("\\选版结果");
        const QDir resultDir(Platform::localPath(resultSource));
        if (!resultDir.exists() || resultDir.entryInfoList({QStringLiteral("*.ok")}).isEmpty()) {
            plain(QStringLiteral("</font> Dovra选版未完成"));
            continue;
        }
        // Every folder name built from the order's text is one name, or nothing is written for the order.
        const QString orderName = orderFolderName(row);
        const QStringList designParts = designFolderPath(row.dovraRelPath).split(QLatin1Char('/'));
        QString nameProblem;
        bool namesSafe = isSafeName(orderName, &nameProblem);
        for (int i = 0; namesSafe && withDesign && i < designParts.size(); ++i)
            namesSafe = isSafeName(designParts.at(i), &nameProblem);
        if (!namesSafe) {
            plain(QStringLiteral("</font> 订单文件夹") + nameProblem + QStringLiteral("，未导出"));
            continue;
        }
        // A folder not made is named with the failed call's reason.
        auto because = [](int error) { return QStringLiteral("（") + errorText(error) + QStringLiteral("）"); };
        const QString dateDir = exportRoot + QLatin1Char('/') + date;
        if (exportRoot.isEmpty() || !FileOperation::mkDir(dateDir)) {
            plain(QStringLiteral("</font> 创建导出日期目录失败") + because(exportRoot.isEmpty() ? ENOENT : errno));
            continue;
        }
        if (!FileOperation::mkDir(orderDir)) {
            plain(QStringLiteral("</font> 创建导出根目录失败") + because(errno));
            continue;
        }

        Copy result = Copy::NothingThere;
        const QString resultTarget = orderDir + QStringLiteral("/选版结果");
        if (!FileOperation::mkDir(resultTarget))
            plain(QStringLiteral("</font> 创建选版结果导出目录失败") + because(errno));
        else
            result = exportCopy(resultSource, resultTarget, QStringLiteral("的Dovra选版结果"));

        Copy design = Copy::NothingThere;
        if (withDesign) {
            const QString designSource = row.dovraSelectedPath + QLatin1Char('/') + row.dovraRelPath + kDesignSuffix;
            const QString designTarget = orderDir + QLatin1Char('/') + designParts.join(QLatin1Char('/'));
            if (!FileOperation::dirExists(designSource))
                plain(QStringLiteral("</font> Dovra路径下没有 待Dovra设计同步用数据 文件夹"));
            else if (!FileOperation::mkPath(designTarget))
                plain(QStringLiteral("</font> 创建 待Dovra设计同步用数据 导出目录失败") + because(errno));
            else
                design = exportCopy(designSource, designTarget, QStringLiteral("的 待Dovra设计同步用数据"));
        }

        // "部分" only when something of the order is in the export; an order of which nothing is there failed.
        // Only a whole export is drawn in green: a partial one is drawn as the other ends not done.
        if (result == Copy::Whole && (design == Copy::Whole || !withDesign))
            green(QStringLiteral("</font>  Dovra导出完成"));
        else if (result != Copy::NothingThere || design != Copy::NothingThere)
            red(QStringLiteral("</font>  Dovra部分导出完成"));
        else
            red(QStringLiteral("</font> Dovra导出失败，没有导出任何文件"));
    }
    emitExportResult(QJsonObject{{"type", QStringLiteral("all_finish")}, {"message", report}});
}

Dovrathread::CopyCount Dovrathread::copyDirectory(const QString &source, const QString &target)
{
    CopyCount count;
    const QString localTarget = Platform::localPath(target);
    FileOperation::mkPath(localTarget);
    // The target itself is never entered, so a target inside the source does not copy itself.
    QStringList walk;
    const QString targetCanonical = QFileInfo(localTarget).canonicalFilePath();
    if (!targetCanonical.isEmpty())
        walk.append(targetCanonical);
    // The order's finished photos are listed once for the whole tree, not looked up file by file.
    m_finished.clear();
    if (bigImg == QLatin1String("1") && !currentOrderDir.isEmpty()) {
        const QDir finished(Platform::localPath(currentOrderDir + QStringLiteral("成品")));
        for (const QFileInfo &photo : finished.entryInfoList(QDir::Files | QDir::Hidden))
            m_finished.insert(finishedKey(photo.fileName()), photo.filePath());
    }
    copyTree(Platform::localPath(source), localTarget, walk, count);
    m_finished.clear();
    return count;
}

void Dovrathread::copyTree(const QString &source, const QString &target, QStringList &walk, CopyCount &count)
{
    // A folder already on the walk's path (a link back to an ancestor, or the target) is not entered.
    const QString canonical = QFileInfo(source).canonicalFilePath();
    if (!canonical.isEmpty() && walk.contains(canonical))
        return;
    // A folder not made shows in the files that then cannot be copied, with its own reason.
    const int folderError = FileOperation::mkPath(target) ? 0 : errno;
    if (canonical.isEmpty())
        return; // nothing to list
    walk.append(canonical);

    const bool restricted = downloadAll == QLatin1String("0");
    const QDir sourceDir(source);
    const QString sourceBase = sourceDir.absolutePath() + QLatin1Char('/');
    const QString targetBase = QDir(target).absolutePath() + QLatin1Char('/');
    const QFileInfoList entries = sourceDir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        QString from = sourceBase + name;
        const QString to = targetBase + name;
        qCDebug(lcDovra) << "准备拷贝的文件夹:" << from;
        qCDebug(lcDovra) << "拷贝到：" << to;
        if (entry.isDir()) {
            if (restricted && (name == kNotInAlbumPages || name == kNotInAlbumPhotos))
                continue;
            qCDebug(lcDovra) << "导版面000:" << name;
            copyTree(from, to, walk, count);
            continue;
        }
        if (restricted && !restrictedSuffixes().contains(entry.suffix().toLower()))
            continue;
        from = m_finished.value(finishedKey(name), from);
        sendUpdateMsg(QStringLiteral("正在拷贝") + name + QStringLiteral(", 请稍后..."));
        QString why;
        switch (FileOperation::copyNoReplace(from, to, &why, FileOperation::EarlierCopy::SameSizeAndTime)) {
        case FileOperation::Copied:
            ++count.copied;
            break;
        case FileOperation::AlreadyThere:
            ++count.alreadyThere;
            break;
        case FileOperation::KeptOther:
            ++count.failed;
            count.keptOther.append(to);
            qCDebug(lcDovra) << "Failed to copy file from" << from << "to" << to << why;
            break;
        case FileOperation::CopyFailed:
            ++count.failed;
            if (count.firstFailures.size() < kFailuresNamed) {
                // The copy's words after the target: the reason (the folder's, when it could not be made).
                const QString reason = folderError != 0
                                           ? QStringLiteral("（") + errorText(folderError) + QStringLiteral("）")
                                           : why.section(to, 1);
                count.firstFailures.append(
                    qMakePair(to, reason.isEmpty() ? QStringLiteral("（") + why + QStringLiteral("）") : reason));
            }
            qCDebug(lcDovra) << "Failed to copy file from" << from << "to" << to << why;
            break;
        }
    }
    walk.removeLast();
}
