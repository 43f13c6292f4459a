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
    // The desk showing an order with three products: all digits, letters and digits, and one more.
    void showThreeProducts()
    {
        const QJsonArray goods{QJsonObject{{"id", "500101"}, {"goodname", "相册"}, {"goodsizename", "10寸"}},
                               QJsonObject{{"id", "500102"}, {"goodname", "摆台"}},
                               QJsonObject{{"id", "B-7a"}, {"goodname", "挂画"}}};
        m_server.setReply("ordergoods", standin::Reply::ok({{"order", QJsonObject{{"ordergoods0", goods}}}}));
        m_desk->findChild<QLineEdit *>("lineEdit_orderid")->setText("A1203");
        m_desk->findChild<QPushButton *>("pushButton")->click();
        QVERIFY(testsupport::waitFor([this] {
            return m_server.requestCount("ordergoods") == 1 && m_desk->findChildren<QNetworkReply *>().isEmpty();
        }));
        QTableView *left = m_desk->findChild<QTableView *>("tableView_left");
        QMetaObject::invokeMethod(m_desk, "on_tableView_left_clicked", Q_ARG(QModelIndex, left->model()->index(0, 0)));
        QCOMPARE(table()->rowCount(), 4);
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

    // Ticked products only, one job each, on the printer's page 2.5 mm higher, and the barcodes scan.
    void tickedProductsPrintScannableLabels()
    {
        showThreeProducts();
        table()->item(2, FaJianDialog::ColPrint)->setCheckState(Qt::Unchecked);
        print();
        QVERIFY2(MsgBox::shown().isEmpty(), qPrintable(MsgBox::lastShown().text));

        const QStringList pdfs = QDir(pdfFolder()).entryList({"*.pdf"}, QDir::Files, QDir::Name);
        QCOMPARE(pdfs, (QStringList{"label-1.pdf", "label-2.pdf"}));
        const QStringList expected{"500101", "B-7a"};
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
            QCOMPARE(run("zbarimg", {"--raw", "-q", png + ".png"}).trimmed(), expected.at(i));
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
            showThreeProducts();
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

    void pictureStaysInTheTemporaryFolder_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("digits") << "101" << "101.png";
        QTest::newRow("slashes") << "a/b\\c" << "abc.png";
        QTest::newRow("parent") << "../../etc/x" << "....etcx.png";
        QTest::newRow("dots only") << ".." << ".png";
    }
    void pictureStaysInTheTemporaryFolder()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QCOMPARE(FaJianDialog::codeImagePath(id), QDir::tempPath() + "/" + name);
    }
};

TESSALY_TEST_MAIN(TestLabels)
#include "tst_labels.moc"
