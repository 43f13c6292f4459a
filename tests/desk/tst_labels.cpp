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
    if (!process.waitForFinished(testsupport::kWaitMs))
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
    // The desk showing an order with products of these ids (by default all digits, letters and digits, one more).
    void showProducts(const QStringList &ids = {"500101", "500102", "B-7a"})
    {
        QJsonArray goods;
        for (const QString &id : ids)
            goods.append(QJsonObject{{"id", id}, {"goodname", "相册"}, {"goodsizename", "10寸"}});
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
        m_desk = new FaJianDialog(nullptr, ShopSettings::current());
        m_desk->show();
    }
    void cleanup()
    {
        delete m_desk.data();
        LabelPrinter::setPdfFolder(QString());
    }

    // Ticked products only (the second is not), one job each, on the printer's page 2.5 mm higher; each barcode
    // scans as its own product, or the label has none and the product is named in the warning.
    void tickedProductsPrintScannableLabels_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("decoded"); // per label
        QTest::addColumn<QString>("box");
        QTest::newRow("ticked") << QStringList{"500101", "500102", "B-7a"} << QStringList{"500101", "B-7a"} << "";
        QTest::newRow("ids of one file name") << QStringList{"A1", "-", "A/1"} << QStringList{"A1", "A/1"} << "";
        QTest::newRow("too long") << QStringList{"ABCDEFGHIJKLMN", "-", QString(34, '7'), "ABCDEFGHIJKLM"}
                                  << QStringList{"", "", "ABCDEFGHIJKLM"}
                                  << "警告|以下产品的条码无法生成，标签上没有条码：\nABCDEFGHIJKLMN\n" + QString(34, '7');
        // scanners read Code 128's Latin-1 letters as others ("é1" as "i1")
        QTest::newRow("Latin-1 letters") << QStringList{"é1", "-", "Ä-7", "A1"} << QStringList{"", "", "A1"}
                                         << "警告|以下产品的条码无法生成，标签上没有条码：\né1\nÄ-7";
        const QString surrogate = QString(QChar(0xd800)) + "A1"; // sent as the JSON escape "\ud800A1"
        QTest::newRow("not UTF-16") << QStringList{surrogate, "-", "A1"} << QStringList{"", "A1"}
                                    << "警告|以下产品的条码无法生成，标签上没有条码：\n" + surrogate;
    }
    void tickedProductsPrintScannableLabels()
    {
        QFETCH(QStringList, ids);
        QFETCH(QStringList, decoded);
        showProducts(ids);
        table()->item(2, FaJianDialog::ColPrint)->setCheckState(Qt::Unchecked);
        print();
        QTEST(testsupport::lastBox(), "box");

        const QStringList pdfs = QDir(pdfFolder()).entryList({"*.pdf"}, QDir::Files, QDir::Name);
        QCOMPARE(pdfs.size(), decoded.size());
        for (int i = 0; i < pdfs.size(); ++i) {
            const QString pdf = pdfFolder() + "/" + pdfs.at(i);
            const QString info = run("pdfinfo", {pdf});
            QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
            const QRegularExpressionMatch size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(info);
            QVERIFY2(size.hasMatch(), qPrintable(info));
            QVERIFY(qAbs(size.captured(1).toDouble() - 60 * 72 / 25.4) < 0.5);
            QVERIFY(qAbs(size.captured(2).toDouble() - 42.5 * 72 / 25.4) < 0.5);
            // the label as printed decodes to the product's id
            const QString png = m_dir.path() + "/page" + QString::number(i);
            run("pdftoppm", {"-r", "600", "-png", "-singlefile", pdf, png});
            QCOMPARE(run("zbarimg", {"--raw", "-q", png + ".png"}).trimmed(), decoded.at(i));
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
