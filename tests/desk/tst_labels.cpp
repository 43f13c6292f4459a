#include "fajiandialog.h"
#include "globals.h"
#include "labelprinter.h"
#include "msgbox.h"
#include "studiofixture.h"

#include <QDir>
#include <QJsonArray>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPointer>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}
} // namespace

class TestLabels : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT
private:
    QPointer<FaJianDialog> m_desk;
    QTemporaryDir m_dir;

    QString pdfFolder() const { return m_dir.path() + "/labels"; }
    QTableWidget *table() { return m_desk->findChild<QTableWidget *>("tableWidget"); }
    // The desk showing an order with products of these ids (by default: all digits, letters and digits, one more).
    void showProducts(const QStringList &ids = {"500101", "500102", "B-7a"})
    {
        const QStringList names{"相册", "摆台", "挂画"};
        QJsonArray goods;
        for (int i = 0; i < ids.size(); ++i)
            goods.append(QJsonObject{{"id", ids.at(i)}, {"goodname", names.value(i % 3)}, {"goodsizename", "10寸"}});
        m_server.setReply("ordergoods", standin::Reply::ok({{"order", QJsonObject{{"ordergoods0", goods}}}}));
        m_desk->findChild<QLineEdit *>("lineEdit_orderid")->setText("A1203");
        m_desk->findChild<QPushButton *>("pushButton")->click();
        QVERIFY(testsupport::waitFor([this] {
            return m_server.requestCount("ordergoods") == 1 && m_desk->findChildren<QNetworkReply *>().isEmpty();
        }));
        QTableView *left = m_desk->findChild<QTableView *>("tableView_left");
        QMetaObject::invokeMethod(m_desk, "on_tableView_left_clicked", Q_ARG(QModelIndex, left->model()->index(0, 0)));
        QCOMPARE(table()->rowCount(), ids.size() + 1);
    }
    void print() { m_desk->findChild<QPushButton *>("pushButton_print")->click(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(startStudioServer());
        g_SHOPNAME = "星光店";
    }
    void init()
    {
        MsgBox::clearShown();
        m_server.clearRequests();
        QDir(pdfFolder()).removeRecursively();
        LabelPrinter::setPdfFolder(pdfFolder(), QSizeF(60, 40));
        m_desk = new FaJianDialog;
        m_desk->show();
    }
    void cleanup()
    {
        delete m_desk.data();
        LabelPrinter::setPdfFolder(QString());
    }

    // Ticked products only, one job each, on the printer's page 2.5 mm higher; each label's barcode scans as
    // its own product, or the label has no bars and the product is named in the warning.
    void tickedProductsPrintScannableLabels_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("unticked"); // product row left out, or 0
        QTest::addColumn<QStringList>("decoded");
        QTest::newRow("ticked only") << QStringList{"500101", "500102", "B-7a"} << 2 << QStringList{"500101", "B-7a"};
        QTest::newRow("ids of one file name") << QStringList{"A1", "A/1"} << 0 << QStringList{"A1", "A/1"};
        QTest::newRow("too long for the label")
            << QStringList{"ABCDEFGHIJKLMN", "1234567890123456789012345678901234", "ABCDEFGHIJKLM"} << 0
            << QStringList{"", "", "ABCDEFGHIJKLM"};
    }
    void tickedProductsPrintScannableLabels()
    {
        QFETCH(QStringList, ids);
        QFETCH(int, unticked);
        QFETCH(QStringList, decoded);
        showProducts(ids);
        if (unticked)
            table()->item(unticked, FaJianDialog::ColPrint)->setCheckState(Qt::Unchecked);
        print();
        QStringList withoutBars;
        for (int i = 0; i < decoded.size(); ++i)
            if (decoded.at(i).isEmpty())
                withoutBars << ids.at(i);
        QCOMPARE(MsgBox::shown().size(), withoutBars.isEmpty() ? 0 : 1);
        for (const QString &id : withoutBars)
            QVERIFY2(testsupport::lastBox().startsWith("警告|") && MsgBox::lastShown().text.contains(id),
                     qPrintable(testsupport::lastBox()));

        const QStringList pdfs = QDir(pdfFolder()).entryList({"*.pdf"}, QDir::Files, QDir::Name);
        QCOMPARE(pdfs.size(), decoded.size());
        for (int i = 0; i < pdfs.size(); ++i) {
            const QString pdf = pdfFolder() + QString("/label-%1.pdf").arg(i + 1);
            const QString info = run("pdfinfo", {pdf});
            QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
            const QRegularExpressionMatch size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(info);
            QVERIFY2(size.hasMatch(), qPrintable(info));
            QVERIFY(qAbs(size.captured(1).toDouble() - 60 * 72 / 25.4) < 0.5);
            QVERIFY(qAbs(size.captured(2).toDouble() - 42.5 * 72 / 25.4) < 0.5);
            // the label as printed decodes to the product's id; one without bars is white between its lines
            const QString png = m_dir.path() + "/page" + QString::number(i);
            run("pdftoppm", {"-r", "600", "-png", "-singlefile", pdf, png});
            QCOMPARE(run("zbarimg", {"--raw", "-q", png + ".png"}).trimmed(), decoded.at(i));
            const QImage page = QImage(png + ".png").convertToFormat(QImage::Format_Grayscale8);
            const QRect barArea(page.width() / 20, page.height() * 3 / 10, page.width() * 9 / 10, page.height() * 2 / 5);
            int dark = 0;
            for (int y = barArea.top(); y <= barArea.bottom(); y += 4)
                for (int x = barArea.left(); x <= barArea.right(); ++x)
                    dark += qGray(page.pixel(x, y)) < 128;
            QCOMPARE(dark > 0, !decoded.at(i).isEmpty());
        }
    }

    void noLabelToPrint_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing shown") << "none" << "请先选择订单";
        QTest::newRow("nothing ticked") << "unticked" << "";
        QTest::newRow("no default printer") << "no printer" << "没有默认打印机，无法打印条码";
        QTest::newRow("job cannot start") << "bad folder" << "打印条码失败";
    }
    void noLabelToPrint()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        if (setup != "none")
            showProducts();
        if (setup == "unticked")
            for (int r = 1; r < table()->rowCount(); ++r)
                table()->item(r, FaJianDialog::ColPrint)->setCheckState(Qt::Unchecked);
        if (setup == "no printer") {
            if (!QPrinterInfo::defaultPrinter().isNull())
                QSKIP("this machine has a default printer");
            LabelPrinter::setPdfFolder(QString());
        }
        if (setup == "bad folder") {
            QFile file(m_dir.path() + "/file");
            QVERIFY(file.open(QIODevice::WriteOnly));
            LabelPrinter::setPdfFolder(file.fileName() + "/labels");
        }
        print();
        QCOMPARE(MsgBox::shown().size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(testsupport::lastBox(), "警告|" + message);
        }
        QVERIFY(QDir(pdfFolder()).entryList({"*.pdf"}).isEmpty());
    }
};

TESSALY_TEST_MAIN(TestLabels)
#include "tst_labels.moc"
