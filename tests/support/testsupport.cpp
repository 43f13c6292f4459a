#include "testsupport.h"

#include "globals.h"
#include "msgbox.h"
#include "platform.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace testsupport {

namespace {
LogCapture *s_capture = nullptr;
QMutex s_captureMutex; // lines come from every thread
} // namespace

LogCapture::LogCapture(const char *category) : m_category(category)
{
    QMutexLocker lock(&s_captureMutex);
    s_capture = this;
    m_next = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_next);
    QMutexLocker lock(&s_captureMutex);
    s_capture = nullptr;
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&s_captureMutex);
    return m_lines;
}

QStringList LogCapture::warnings() const
{
    QMutexLocker lock(&s_captureMutex);
    return m_warnings;
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler next = nullptr;
    {
        QMutexLocker lock(&s_captureMutex);
        LogCapture *capture = s_capture;
        if (!capture)
            return;
        if (!capture->m_category || (context.category && qstrcmp(context.category, capture->m_category) == 0)) {
            capture->m_lines.append(message);
            if (type != QtDebugMsg)
                capture->m_warnings.append(message);
        }
        next = capture->m_next;
    }
    if (next)
        next(type, context, message);
}

OwnTemporaryFolder::OwnTemporaryFolder(const char *program)
{
    const QString name = QFileInfo(QFile::decodeName(program)).completeBaseName();
    m_dir.reset(new QTemporaryDir(QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral("-XXXXXX")));
    if (!m_dir->isValid()) {
        m_dir.reset();
        return;
    }
#ifdef Q_OS_WIN
    const QByteArray folder = QDir::toNativeSeparators(m_dir->path()).toLocal8Bit();
    qputenv("TMP", folder);
    qputenv("TEMP", folder);
#else
    qputenv("TMPDIR", QFile::encodeName(m_dir->path()));
#endif
}

QString lastBox()
{
    if (MsgBox::shown().isEmpty())
        return QString();
    const MsgBox::Shown box = MsgBox::lastShown();
    return box.title + QLatin1Char('|') + box.text;
}

bool waitForBoxes(int count, int timeoutMs)
{
    return waitFor([count] { return MsgBox::shown().size() >= count; }, timeoutMs);
}

int execUntilProgramEnds(int timeoutMs)
{
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    giveUp.start(timeoutMs);
    return QCoreApplication::exec();
}

void prepare()
{
    MsgBox::setTestMode(true);
    MsgBox::clearShown();
    FileDialogs::clearAsked();
    Platform::clearFaults();
    Platform::clearHiddenPaths();
    Platform::clearOpenedPaths();
    Platform::setFreeDiskBytesOverride(-1);
    setUpJobPool(); // as the program's start sets it
}

#ifdef Q_OS_WIN
QString missingDriveRoot()
{
    for (char letter = 'Z'; letter > 'D'; --letter) {
        const QString root = QString(QLatin1Char(letter)) + QStringLiteral(":/");
        if (!QFileInfo::exists(root))
            return root;
    }
    return QString();
}
#endif

namespace {
void put16(QByteArray &b, quint16 v, bool be)
{
    if (be) {
        b.append(char(v >> 8));
        b.append(char(v & 0xff));
    } else {
        b.append(char(v & 0xff));
        b.append(char(v >> 8));
    }
}
void put32(QByteArray &b, quint32 v, bool be)
{
    if (be) {
        put16(b, quint16(v >> 16), true);
        put16(b, quint16(v & 0xffff), true);
    } else {
        put16(b, quint16(v & 0xffff), false);
        put16(b, quint16(v >> 16), false);
    }
}
} // namespace

QByteArray jpegWithOrientation(const QSize &size, int orientation, bool motorola, const QColor &base,
                               const QString &shotTime)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(base);
    QPainter p(&img);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, base.lighter(150));
    g.setColorAt(1, base.darker(150));
    p.fillRect(img.rect(), g);
    p.fillRect(QRect(0, 0, qMax(1, size.width() / 4), qMax(1, size.height() / 4)), Qt::red);
    p.end();

    QByteArray jpeg;
    QBuffer buf(&jpeg);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 90);
    const QByteArray date = shotTime.toLatin1().left(19) + '\0';
    const bool withDate = !shotTime.isEmpty();
    if (orientation <= 0 && !withDate)
        return jpeg;

    // TIFF block: header, IFD0 with the Orientation and DateTime entries (in tag order), no next IFD,
    // then the date text the DateTime entry points at.
    const quint16 entries = quint16((orientation > 0 ? 1 : 0) + (withDate ? 1 : 0));
    QByteArray tiff;
    tiff.append(motorola ? "MM" : "II");
    put16(tiff, 42, motorola);
    put32(tiff, 8, motorola);
    put16(tiff, entries, motorola);
    if (orientation > 0) {
        put16(tiff, 0x0112, motorola);  // Orientation
        put16(tiff, 3, motorola);       // SHORT
        put32(tiff, 1, motorola);       // count
        put16(tiff, quint16(orientation), motorola);
        put16(tiff, 0, motorola);       // padding of the 4-byte value field
    }
    if (withDate) {
        put16(tiff, 0x0132, motorola);  // DateTime
        put16(tiff, 2, motorola);       // ASCII
        put32(tiff, quint32(date.size()), motorola);
        put32(tiff, quint32(8 + 2 + 12 * entries + 4), motorola); // right after the IFD
    }
    put32(tiff, 0, motorola);       // next IFD
    if (withDate)
        tiff += date;

    QByteArray app1("\xFF\xE1", 2);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    put16(app1, quint16(payload.size() + 2), true);
    app1 += payload;
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

bool writeJpeg(const QString &path, const QSize &size, int orientation, bool motorola, const QColor &base,
               const QString &shotTime)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = jpegWithOrientation(size, orientation, motorola, base, shotTime);
    return f.write(bytes) == bytes.size();
}

TempRoots::TempRoots()
{
    QDir d(m_dir.path());
    d.mkpath(QStringLiteral("pic"));
    d.mkpath(QStringLiteral("bak"));
}

QString TempRoots::base() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TempRoots::picRoot() const
{
    return base() + QStringLiteral("pic/");
}

QString TempRoots::bakRoot() const
{
    return base() + QStringLiteral("bak/");
}

#ifdef Q_OS_UNIX
QString reachableByOthers()
{
    for (const QString &candidate : {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp"),
                                     QStringLiteral("/dev/shm")}) {
        const QString folder = QFileInfo(candidate).canonicalFilePath();
        if (folder.isEmpty())
            continue;
        bool passes = true;
        for (QString on = folder; passes && !on.isEmpty(); on = on.section('/', 0, -2)) {
            struct stat st;
            passes = ::stat(QFile::encodeName(on).constData(), &st) == 0 && S_ISDIR(st.st_mode)
                     && (st.st_mode & S_IXOTH);
        }
        if (passes)
            return folder;
    }
    return QString();
}
#endif

} // namespace testsupport
