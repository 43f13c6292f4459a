// Whole-photo check benchmark: the check every finished photo gets before it is copied, on a legal JPEG
// whose scan is preceded by a long run of fill bytes (0xFF, allowed before any marker).
//
//   bench_jpegcheck [MiB] [DIR]   MiB of fill bytes (default 16), the file in a folder in DIR (default the
//                                 temporary folder)
//
// Times ImageOperation::isReadablePicture on the file (warm cache) and ImageOperation::jpegIsWhole on the
// same bytes in memory (the segment walk alone), best of three each, and the image reader's header read
// that the check on the file includes, and checks that both call the photo whole and the photo cut
// short in its fill bytes not. (A walk that went back for every fill byte took 8.6 to 11 s for 16 MiB on the
// file; the target is about the walk in memory, some 10 ms.)

#include "imageoperation.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

// Seconds of the fastest of three runs of check; false in *answers when a run gave another answer than want.
double bestOfThree(const std::function<bool()> &check, bool want, bool *answers)
{
    double best = -1;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const bool whole = check();
        const double seconds = timer.nsecsElapsed() / 1e9;
        *answers = *answers && whole == want;
        best = best < 0 ? seconds : qMin(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QLatin1String("Invalid JPEG file structure")))
            std::fprintf(stderr, "%s\n", qPrintable(text)); // the cut photo's own complaint is expected
    });
    const int mib = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 16;
    QTemporaryDir dir(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/jpegcheck-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/jpegcheck-XXXXXX"));
    if (mib <= 0 || !dir.isValid())
        return std::printf("usage: bench_jpegcheck [MiB] [DIR]\n"), 2;

    // A small camera-like JPEG, the fill bytes put before its scan's marker.
    QByteArray jpeg = testsupport::jpegWithOrientation(QSize(640, 480), 6);
    int scan = 2;
    while (uchar(jpeg.at(scan + 1)) != 0xDA)
        scan += 2 + ((uchar(jpeg.at(scan + 2)) << 8) | uchar(jpeg.at(scan + 3)));
    jpeg.insert(scan, QByteArray(mib * 1024 * 1024, char(0xFF)));
    const QByteArray cut = jpeg.left(scan + mib * 512 * 1024);

    const QString whole = dir.filePath(QStringLiteral("fill.jpg"));
    const QString cutPath = dir.filePath(QStringLiteral("fill-cut.jpg"));
    for (const auto &file : {qMakePair(whole, jpeg), qMakePair(cutPath, cut)}) {
        QFile f(file.first);
        if (!f.open(QIODevice::WriteOnly) || f.write(file.second) != file.second.size())
            return std::printf("cannot write %s\n", qPrintable(file.first)), 1;
    }

    bool answers = true;
    const double onFile = bestOfThree([&] { return ImageOperation::isReadablePicture(whole); }, true, &answers);
    const double cutOnFile = bestOfThree([&] { return ImageOperation::isReadablePicture(cutPath); }, false, &answers);
    const double header = bestOfThree([&] { return QImageReader(whole).size().isValid(); }, true, &answers);
    const double inMemory = bestOfThree([&] { return ImageOperation::jpegIsWhole(jpeg); }, true, &answers);
    std::printf("%d MiB of fill bytes before the scan (%lld bytes)\n", mib, qint64(jpeg.size()));
    std::printf("whole photo, on the file:        %8.1f ms\n", onFile * 1000);
    std::printf("  the image reader's header:     %8.1f ms\n", header * 1000);
    std::printf("  the segment walk (the rest):   %8.1f ms\n", (onFile - header) * 1000);
    std::printf("cut in its fill bytes, the file: %8.1f ms\n", cutOnFile * 1000);
    std::printf("the segment walk in memory:      %8.1f ms\n", inMemory * 1000);
    std::printf("walk on the file / in memory: %.2f (target about 1; a step back per fill byte took 8.6-11 s for "
                "16 MiB)\n", inMemory > 0 ? (onFile - header) / inMemory : 0.0);
    if (!answers)
        return std::printf("WRONG ANSWER: the whole photo must be whole, the cut one not\n"), 1;
    return 0;
}
