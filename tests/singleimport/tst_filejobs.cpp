// The file move job.

#include "copyfilethread.h"
#include "platform.h"
#include "testsupport.h"

namespace {

bool put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFileJobs : public QObject
{
    Q_OBJECT
private slots:
    void init() { testsupport::prepare(); }
    void move_data();
    void move();
};

void TestFileJobs::move_data()
{
    QTest::addColumn<QString>("target");     // "%1" = the temporary folder
    QTest::addColumn<QString>("failCopy");
    QTest::addColumn<QByteArray>("atSource"); // bytes at the source afterwards
    QTest::addColumn<QByteArray>("atTarget"); // bytes at b/a.jpg afterwards
    QTest::newRow("move replaces the target") << "%1/b/a.jpg" << "" << QByteArray("<missing>") << QByteArray("photo");
    QTest::newRow("backslash target") << "%1\\b\\a.jpg" << "" << QByteArray("<missing>") << QByteArray("photo");
    QTest::newRow("onto itself, other spelling") << "%1/a/../a/./a.jpg" << "" << QByteArray("photo") << QByteArray("old");
    QTest::newRow("failed copy keeps the source") << "%1/b/a.jpg" << "b/a.jpg" << QByteArray("photo") << QByteArray("<missing>");
    QTest::newRow("delete job") << "" << "" << QByteArray("<missing>") << QByteArray("old");
}

void TestFileJobs::move()
{
    QFETCH(QString, target);
    QFETCH(QString, failCopy);
    QFETCH(QByteArray, atSource);
    QFETCH(QByteArray, atTarget);
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/a/a.jpg");
    QVERIFY(put(source, "photo"));
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/b")));
    if (!failCopy.contains(QLatin1String("b/a.jpg")))
        QVERIFY(put(dir.path() + QStringLiteral("/b/a.jpg"), "old"));
    if (!failCopy.isEmpty())
        Platform::failCopies(failCopy);

    CopyFileThread *job = target.isEmpty() ? new CopyFileThread(source) : new CopyFileThread(source, target.arg(dir.path()));
    QThreadPool pool;
    pool.start(job);
    pool.waitForDone();
    QCOMPARE(bytesOf(source), atSource);
    QCOMPARE(bytesOf(dir.path() + QStringLiteral("/b/a.jpg")), atTarget);
}

TESSALY_TEST_MAIN(TestFileJobs)
#include "tst_filejobs.moc"
