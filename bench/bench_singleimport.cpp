// Single-order import benchmark.
//
//   bench_singleimport [N] [M] [R]    makes N camera-sized photos (default 200; 6000 x 4000, every second one
//                                     to be turned), imports them as photos as shot through the single-order
//                                     import window and through the batch import, each in a process of its
//                                     own, then again into the order that holds them (beside 200 and 2000
//                                     photos more, best of R runs, default 1), then lists an order of M
//                                     photos (default 2000) in the window; prints the figures and whether
//                                     they meet their targets
//   bench_singleimport --single DIR [R]  only the window's imports of the photos in DIR
//   bench_singleimport --listing M    only the listing of M photos
//   bench_singleimport --make DIR N   only makes N such photos in DIR (for --single)
//   bench_singleimport --same-size [N] [R]  makes N photos (default 16) of one size and imports them as photos
//                                     as shot into an order holding 0, 1000 and 4000 files of exactly that
//                                     size, through the window and the batch import (best of R runs); prints
//                                     the time per photo and whether it meets its targets
//   bench_singleimport --held-files [N] [R] [H...]  as --same-size, into orders holding 0 and H files (default
//                                     5000 and 50000) of another size, as an order of other photos: the time
//                                     per photo against the empty order (target 1.1 x) and the folder
//                                     listings each run made
//   bench_singleimport --held-single DIR H [R]  only the window's import of DIR into an order holding H
//
// The window runs against the stand-in web service and a sample studio in a temporary folder; its message
// boxes and file dialog are answered by the test seam. The batch figure comes from bench_import (next to
// this program). Wants a release build.

#include "benchsupport.h"
#include "globals.h"
#include "importordermodel.h"
#include "importphototoserver.h"
#include "msgbox.h"
#include "platform.h"
#include "singleorderopeners.h"
#include "studiofixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// The longest time the GUI thread's event loop went without turning, measured with a 5 ms timer; and the
// longest since mark() (a gap the mark fell into counts).
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_clock.start();
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = qMax(m_longest, now - m_last);
            if (m_marked)
                m_longestSinceMark = qMax(m_longestSinceMark, now - m_last);
            m_last = now;
        });
        m_timer.start();
    }
    void mark() { m_marked = true; }
    qint64 longestMs() const { return m_longest; }
    qint64 longestSinceMarkMs() const { return m_longestSinceMark; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    bool m_marked = false;
    qint64 m_longestSinceMark = 0;
};

// A sample studio written to a temporary folder and served by the stand-in, the endpoints pointing at it.
struct Studio : testsupport::StudioFixture
{
    using StudioFixture::m_roots;
    using StudioFixture::m_server;
    using StudioFixture::m_studio;
    bool start()
    {
        QString error;
        if (startServer() && newStudio(true, &error)) {
            serveStudio();
            return true;
        }
        std::fprintf(stderr, "no studio: %s\n", qPrintable(error));
        return false;
    }
};

bool buttonsBack(ImportPhotoToServer *w)
{
    return !w->isLoading() && w->findChild<QPushButton *>(QStringLiteral("importPic1"))->isEnabled()
           && w->findChild<QPushButton *>(QStringLiteral("importPic2"))->isEnabled();
}

// Chooses files in the window and imports them: the seconds from the click on "import" to the end box;
// *ended is false when the import did not end.
double importChosen(ImportPhotoToServer &window, const QStringList &files, bool *ended)
{
    MsgBox::clearShown();
    FileDialogs::queueAnswer(files);
    window.findChild<QPushButton *>(QStringLiteral("selectButton"))->click();
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>(QStringLiteral("importButton"))->click();
    *ended = testsupport::waitFor([&] { return !window.isImporting() && !MsgBox::shown().isEmpty(); }, 3600 * 1000);
    return double(timer.nsecsElapsed()) / 1e9;
}

int runSingle(const QString &photoDir, int rounds)
{
    const QStringList files = bench::jpegsIn(photoDir);
    Studio s;
    if (files.isEmpty() || !s.start())
        return 1;
    // an order with no folder yet
    const ImportOrderModel order(s.m_studio->orderJson(s.m_studio->orders.at(4)));
    ImportPhotoToServer window(SingleOrder::importOrderOf(order), nullptr, ShopSettings::current());
    window.show();
    if (!testsupport::waitFor([&] { return buttonsBack(&window); }, 30000))
        return 1;
    window.findChild<QPushButton *>(QStringLiteral("importPic1"))->click();
    if (!testsupport::waitFor([&] { return buttonsBack(&window); }, 30000))
        return 1;
    FileDialogs::queueAnswer(files);
    window.findChild<QPushButton *>(QStringLiteral("selectButton"))->click();

    StallMeter stall;
    // The run's end (its counts and its end report) begins once the bar shows the last photo in.
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QObject::connect(bar, &QProgressBar::valueChanged, &stall, [bar, &stall](int value) {
        if (bar->maximum() > 0 && value == bar->maximum())
            stall.mark();
    });
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>(QStringLiteral("importButton"))->click();
    const bool ended = testsupport::waitFor(
        [&] { return !window.isImporting() && !MsgBox::shown().isEmpty(); }, 3600 * 1000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const MsgBox::Shown box = MsgBox::lastShown();
    const int written = QDir(window.currentOrderPath() + QStringLiteral("照片")).entryList({"*.jpg"}, QDir::Files).size();
    std::printf("RESULT single_seconds=%.3f single_stall_ms=%lld single_end_stall_ms=%lld single_rss_mib=%.0f\n",
                seconds, static_cast<long long>(stall.longestMs()), static_cast<long long>(stall.longestSinceMarkMs()),
                bench::peakRssMiB());
    std::printf("single-order import: %d photos in %.2f s (%.2f photos/s), box \"%s\", %d main files\n", files.size(),
                seconds, files.size() / seconds, qPrintable(box.title), written);
    bool ok = ended && box.title == QStringLiteral("导片成功!") && written == files.size();

    // The same card chosen again into the order that holds it, beside 200 and then 2000 photos more (best of
    // `rounds`): every photo is found there by its bytes, nothing is written.
    const QString folder = window.currentOrderPath();
    const QString backup = s.m_studio->bakRoot + folder.mid(s.m_studio->picRoot.size());
    int had = 0;
    for (int fillers : {200, 2000}) {
        ok = ok && bench::addOrderFillers({folder + QStringLiteral("照片/"), backup + QStringLiteral("照片/")}, had, fillers - had);
        had = fillers;
        double best = -1;
        for (int round = 0; round < rounds && ok; ++round) {
            if (!testsupport::waitFor([&] { return buttonsBack(&window); }, 600 * 1000))
                return 1;
            const double took = importChosen(window, files, &ok);
            best = best < 0 ? took : qMin(best, took);
            ok = ok && MsgBox::lastShown().text.contains(QStringLiteral("已在订单中的照片：%1张").arg(files.size()))
                 && QDir(folder + QStringLiteral("照片")).entryList({"IMG*", "*-*"}, QDir::Files).size() == files.size();
        }
        std::printf("RESULT single_again_%d_seconds=%.3f\n", fillers, best);
        std::printf("single-order import again, order of %d more: %d photos in %.2f s (%.3f s per photo)%s\n", fillers,
                    files.size(), best, best / files.size(), ok ? "" : " [the card was not found whole in the order]");
        std::fflush(stdout);
    }
    return ok ? 0 : 1;
}

QString runChild(const QString &program, const QStringList &args, int *status);
double figure(const QString &out, const QString &pattern);

// The photos of photoDir (of one size) through the window into an order that holds `held` files of exactly
// their size in its "照片/" and its backup, best of `rounds` (each round in a studio of its own).
int runHeldSingle(const QString &photoDir, int held, int rounds)
{
    const QStringList files = bench::jpegsIn(photoDir);
    if (files.isEmpty())
        return 1;
    const qint64 size = QFileInfo(files.first()).size();
    double best = -1;
    bool ok = true;
    int listings = 0;
    for (int round = 0; round < rounds && ok; ++round) {
        Studio s;
        if (!s.start())
            return 1;
        const standin::SampleOrder &a = s.m_studio->orders.at(0); // an order with its folders
        const int before = QDir(a.orderPath + QStringLiteral("照片")).entryList(QDir::Files).size();
        ok = bench::addSameSizeFillers({a.orderPath + QStringLiteral("照片/"), a.orderBakPath + QStringLiteral("照片/")},
                                       size + bench::fillerSizeStep(), held);
        const ImportOrderModel order(s.m_studio->orderJson(a));
        ImportPhotoToServer window(SingleOrder::importOrderOf(order), nullptr, ShopSettings::current());
        window.show();
        ok = ok && testsupport::waitFor([&] { return buttonsBack(&window); }, 600 * 1000);
        window.findChild<QPushButton *>(QStringLiteral("importPic1"))->click();
        ok = ok && testsupport::waitFor([&] { return buttonsBack(&window); }, 600 * 1000);
        if (!ok)
            return 1;
        const int listedBefore = Platform::folderListings();
        const double took = importChosen(window, files, &ok);
        listings = Platform::folderListings() - listedBefore;
        best = best < 0 ? took : qMin(best, took);
        const int now = QDir(a.orderPath + QStringLiteral("照片")).entryList(QDir::Files).size();
        ok = ok && MsgBox::lastShown().title == QStringLiteral("导片成功!") && now == before + held + files.size();
    }
    std::printf("RESULT single_held_%d_seconds=%.3f\n", held, best);
    std::printf("RESULT single_held_%d_listings=%d\n", held, listings);
    std::printf("single-order import, %d photos of one size, order holding %d of it: %.2f s (%.3f s per photo)%s\n",
                files.size(), held, best, best / files.size(), ok ? "" : " [NOT ALL PLACED]");
    std::fflush(stdout);
    return ok ? 0 : 1;
}

// Photos of one size into orders holding more and more files of exactly that size, in both windows.
int runSameSize(int photos, int rounds, const QList<int> &helds = {0, 1000, 4000})
{
    const QString batchProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_import");
    QTemporaryDir work;
    const QString src = work.path() + QStringLiteral("/src");
    if (!bench::generate(src, photos))
        return 1;
    const QStringList files = bench::jpegsIn(src);
    const qint64 size = bench::padToOneSize(files);
    if (size < 0)
        return 1;
    std::printf("%d photos of %lld bytes each, %d threads\n", photos, static_cast<long long>(size), QThread::idealThreadCount());
    int status = 0;
    double batchAt0 = -1;
    double singleAt0 = -1;
    auto verdict = [](bool ok) { return ok ? "ok" : "MISSED"; };
    QStringList lines;
    for (int held : helds) {
        int s1 = 0, s2 = 0;
        const QString batch = runChild(batchProgram, {QStringLiteral("--held"), src, QString::number(held), QString::number(rounds)}, &s1);
        const QString single = runChild(QCoreApplication::applicationFilePath(),
                                        {QStringLiteral("--held-single"), src, QString::number(held), QString::number(rounds)}, &s2);
        status = status || s1 || s2;
        const double b = figure(batch, QStringLiteral("batch_held_%1_seconds=([0-9.]+)").arg(held)) / photos;
        const double s = figure(single, QStringLiteral("single_held_%1_seconds=([0-9.]+)").arg(held)) / photos;
        if (held == 0) {
            batchAt0 = b;
            singleAt0 = s;
        }
        lines << QString::asprintf("held %4d: batch %.3f s per photo (%.2f x at 0), single-order %.3f s per photo (%.2f x at 0), "
                                   "single/batch %.2f x; folder listings of a run: batch %d, single-order %d",
                                   held, b, b / batchAt0, s, s / singleAt0, s / b,
                                   int(figure(batch, QStringLiteral("batch_held_%1_listings=([0-9]+)").arg(held))),
                                   int(figure(single, QStringLiteral("single_held_%1_listings=([0-9]+)").arg(held))));
        if (held > 0 && bench::fillerSizeStep() != 0)
            lines << QString::asprintf("target: <= 1.10 x at 0: batch %s, single-order %s", verdict(b <= 1.1 * batchAt0),
                                       verdict(s <= 1.1 * singleAt0));
        if (held == 4000)
            lines << QString::asprintf("targets: at 4000 <= 1.30 x at 0: batch %s, single-order %s; single/batch <= 1.10: %s",
                                       verdict(b <= 1.3 * batchAt0), verdict(s <= 1.3 * singleAt0), verdict(s <= 1.1 * b));
    }
    std::printf("\n== %d photos of one size\n%s\n", photos, qPrintable(lines.join(QLatin1Char('\n'))));
    return status;
}

int runListing(int count)
{
    Studio s;
    if (!s.start())
        return 1;
    // An order folder of `count` finished photos, each with its 1000-pixel thumbnail.
    const QString order = s.m_roots->path(QStringLiteral("many/"));
    QDir().mkpath(order + QStringLiteral("成品"));
    QDir().mkpath(order + QStringLiteral("成品缩略图"));
    const QByteArray thumb = testsupport::jpegWithOrientation(QSize(1000, 667), 0);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("P%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        QFile photo(order + QStringLiteral("成品/") + name);
        QFile icon(order + QStringLiteral("成品缩略图/") + name);
        if (!photo.open(QIODevice::WriteOnly) || !icon.open(QIODevice::WriteOnly) || icon.write(thumb) != thumb.size())
            return 1;
    }
    s.m_server.setReply(QStringLiteral("get_order_path"),
                      standin::Reply::ok({{"data", QJsonObject{{"orderpath", order}, {"orderbakpicpath", order}}}}));
    const ImportOrderModel record(s.m_studio->orderJson(s.m_studio->orders.at(4)));
    const SingleImportOrder order4 = SingleOrder::importOrderOf(record);

    StallMeter stall;
    QElapsedTimer timer;
    timer.start();
    ImportPhotoToServer window(order4, nullptr, ShopSettings::current()); // opens with the finished photos
    window.show();
    const bool done = testsupport::waitFor([&] { return buttonsBack(&window); }, 600 * 1000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    int icons = 0;
    for (int i = 0; i < window.thumbListWidget()->count(); ++i)
        icons += window.thumbListWidget()->item(i)->icon().isNull() ? 0 : 1;
    std::printf("RESULT listing_seconds=%.3f listing_stall_ms=%lld\n", seconds, static_cast<long long>(stall.longestMs()));
    std::printf("listing: %d photos, last icon after %.2f s, %d icons\n", count, seconds, icons);
    return done && icons == count ? 0 : 1;
}

// Runs a program and returns its output; the output is also passed on.
QString runChild(const QString &program, const QStringList &args, int *status)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    p.waitForFinished(-1);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    std::printf("%s", qPrintable(out));
    std::fflush(stdout);
    *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 1;
    return out;
}

double figure(const QString &out, const QString &pattern)
{
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(out);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

int runAll(int photos, int listing, int rounds)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString self = QCoreApplication::applicationFilePath();
    const QString batchProgram = dir + QStringLiteral("/bench_import");
    QTemporaryDir work;
    const QString src = work.path() + QStringLiteral("/src");
    int status = 0;
    std::printf("making %d photos of 6000 x 4000...\n", photos);
    std::fflush(stdout);
    if (!bench::generate(src, photos))
        return 1;

    const QString single = runChild(self, {QStringLiteral("--single"), src, QString::number(rounds)}, &status);
    int batchStatus = 0;
    const QString batch = runChild(batchProgram, {QStringLiteral("--import"), src, QString::number(rounds)}, &batchStatus);
    int listingStatus = 0;
    const QString list = runChild(self, {QStringLiteral("--listing"), QString::number(listing)}, &listingStatus);

    const double singleSeconds = figure(single, QStringLiteral("single_seconds=([0-9.]+)"));
    const double singleStall = figure(single, QStringLiteral("single_stall_ms=([0-9.]+)"));
    const double singleEndStall = figure(single, QStringLiteral("single_end_stall_ms=([0-9.]+)"));
    const double singleRss = figure(single, QStringLiteral("single_rss_mib=([0-9.]+)"));
    const double batchSeconds = figure(batch, QStringLiteral("type 0: \\d+ photos in ([0-9.]+) s"));
    const double listingSeconds = figure(list, QStringLiteral("listing_seconds=([0-9.]+)"));
    const double listingStall = figure(list, QStringLiteral("listing_stall_ms=([0-9.]+)"));
    const double ratio = singleSeconds / batchSeconds;
    auto verdict = [](bool ok) { return ok ? "ok" : "MISSED"; };
    std::printf("\n== %d photos, %d threads\n", photos, QThread::idealThreadCount());
    std::printf("single-order %.2f s, batch %.2f s: %.2f x the batch (target <= 1.10) %s\n", singleSeconds, batchSeconds,
                ratio, verdict(ratio > 0 && ratio <= 1.10));
    // Imported again into the order that holds the card: no slower per photo than the first import, the same
    // beside 200 or 2000 photos more, and the single-order window no slower than the batch.
    for (int fillers : {200, 2000}) {
        const double singleAgain = figure(single, QStringLiteral("single_again_%1_seconds=([0-9.]+)").arg(fillers));
        const double batchAgain =
            figure(batch, QStringLiteral("type 0 again, order of %1 more: \\d+ photos in ([0-9.]+) s").arg(fillers));
        const double againRatio = singleAgain / batchAgain;
        std::printf("again, order of %d more: single-order %.2f s, batch %.2f s: %.2f x the batch (target <= 1.10) %s; "
                    "per photo %.1f %% / %.1f %% of the first import (target <= 100 %%) %s\n",
                    fillers, singleAgain, batchAgain, againRatio, verdict(againRatio > 0 && againRatio <= 1.10),
                    100 * singleAgain / singleSeconds, 100 * batchAgain / batchSeconds,
                    verdict(singleAgain > 0 && batchAgain > 0 && singleAgain <= singleSeconds && batchAgain <= batchSeconds));
    }
    std::printf("single-order peak RSS %.0f MiB (target <= 600) %s\n", singleRss, verdict(singleRss > 0 && singleRss <= 600));
    std::printf("single-order longest event-loop stall %.0f ms (target <= 100) %s\n", singleStall,
                verdict(singleStall >= 0 && singleStall <= 100));
    std::printf("single-order longest stall from the last photo in to the end box %.0f ms (target <= 100) %s\n",
                singleEndStall, verdict(singleEndStall >= 0 && singleEndStall <= 100));
    std::printf("listing of %d photos: last icon after %.2f s, longest stall %.0f ms (target <= 100) %s\n", listing,
                listingSeconds, listingStall, verdict(listingStall >= 0 && listingStall <= 100));
    return status || batchStatus || listingStatus ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(bench::quietDebug);
    MsgBox::setTestMode(true);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--single") && args.size() >= 2)
        return runSingle(args.at(1), qMax(1, args.value(2, QStringLiteral("1")).toInt()));
    if (args.value(0) == QLatin1String("--held-single") && args.size() >= 3)
        return runHeldSingle(args.at(1), args.at(2).toInt(), qMax(1, args.value(3, QStringLiteral("1")).toInt()));
    if (args.value(0) == QLatin1String("--same-size"))
        return runSameSize(args.value(1, QStringLiteral("16")).toInt(), qMax(1, args.value(2, QStringLiteral("1")).toInt()));
    if (args.value(0) == QLatin1String("--held-files")) {
        // Fillers of another size than the photos: an order of other photos.
        qputenv("TESSALY_BENCH_FILLER_STEP", "4096");
        QList<int> helds{0};
        for (const QString &held : args.mid(3))
            helds << held.toInt();
        if (helds.size() == 1)
            helds << 5000 << 50000;
        return runSameSize(args.value(1, QStringLiteral("16")).toInt(), qMax(1, args.value(2, QStringLiteral("1")).toInt()), helds);
    }
    if (args.value(0) == QLatin1String("--make") && args.size() >= 3)
        return bench::generate(args.at(1), args.at(2).toInt()) ? 0 : 1;
    if (args.value(0) == QLatin1String("--listing"))
        return runListing(args.value(1, QStringLiteral("2000")).toInt());
    return runAll(args.value(0, QStringLiteral("200")).toInt(), args.value(1, QStringLiteral("2000")).toInt(),
                  qMax(1, args.value(2, QStringLiteral("1")).toInt()));
}
