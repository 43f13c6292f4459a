#include "globals.h"
#include "importdialogfixture.h"
#include "msgbox.h"
#include "pathlabel.h"
#include "searchorderwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QWindow>

using Orders = QList<ImportOrderModel *>;

#ifdef Q_OS_WIN
static const char *kMissingRoot = "Q:/";
#else
static const char *kMissingRoot = "/tessaly-no-such-root-7f3a/";
#endif

class TestImportOrdersPhotoDlg : public ImportDialogFixture
{
    Q_OBJECT

    ImportOrderModel *keyedRecord(const QString &key, const QString &orderPath)
    {
        return record(0, [&](QJsonObject &json) {
            json["orderpayforkey"] = key;
            json["orderpath"] = orderPath;
        });
    }
    QString label(const char *name) { return m_dlg->findChild<QLabel *>(name)->text(); }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(newStudio(true, &error), qPrintable(error));
    }

    void init()
    {
        MsgBox::clearShown();
        openDialog();
    }

    void cleanup() { closeDialog(); }

    void pickedOrdersFillTheTable()
    {
        QCOMPARE(m_dlg->importType(), ImportFinishedPhotos);
        QCOMPARE(label("rightTitle"), QString("导片模式：成品"));
        QVERIFY(!m_dlg->findChild<QLineEdit *>("photoSuffixEdit")->isEnabled());
        QVERIFY(!button("reImportBtn")->isEnabled());

        // through a real picker, as the add button opens it
        button("addOrderBtn")->click();
        SearchOrderWindow *picker = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *p = qobject_cast<SearchOrderWindow *>(w))
                picker = p;
        QVERIFY(picker);
        emit picker->addSelectOrderSigl({record(0), record(4)});
        picker->close();

        QCOMPARE(m_dlg->orders().size(), 2);
        QCOMPARE(table()->rowCount(), 2);
        QCOMPARE(cell(0, 0), QString("A1203-1"));
        QCOMPARE(cell(0, 1), QString("星光店"));
        QCOMPARE(cell(0, 2), QString("张小宝-李梅-张伟"));
        QCOMPARE(cell(0, 3), QString("已导入(4)")); // 成品 holds four photos, one of them "*.JPG"
        QCOMPARE(cell(1, 3), QString("未导入"));     // no order folder yet
        QCOMPARE(chooseButton(1)->text(), QString("选择照片"));
        QCOMPARE(selectionText(1), QString("未选"));
        QCOMPARE(progressText(1), QString("0/0"));
        QVERIFY(MsgBox::shown().isEmpty());
    }

    // One picker per window: above it, brought back by "添加订单" and after a refusal, closed with it.
    void onePickerPerWindow()
    {
        button("addOrderBtn")->click();
        QPointer<SearchOrderWindow> picker = m_dlg->findChild<SearchOrderWindow *>();
        QVERIFY(picker && picker->isWindow() && picker->isVisible());
        QCOMPARE(picker->windowHandle()->transientParent(), m_dlg->windowHandle());
        // X11 window managers keep only dialog-type windows above their parent
        QCOMPARE(picker->windowType(), Qt::Dialog);

        picker->showMinimized();
        m_dlg->activateWindow();
        button("addOrderBtn")->click();
        QCOMPARE(m_dlg->findChildren<SearchOrderWindow *>().size(), 1);
        QVERIFY(!picker->isMinimized());
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), picker.data(), testsupport::kWaitMs);

        emit picker->addSelectOrderSigl({record(0)});
        m_dlg->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), m_dlg.data(), testsupport::kWaitMs);
        emit picker->addSelectOrderSigl({record(0)});
        QCOMPARE(MsgBox::lastShown().title, QString("订单已存在"));
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), picker.data(), testsupport::kWaitMs);

        m_dlg->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m_dlg && !picker);
    }

    void repeatsAndMissingRootsRefused()
    {
        QVERIFY(handOver({record(0)}));
        table()->item(0, 0)->setCheckState(Qt::Checked);
        ImportOrderModel *again = record(0);
        ImportOrderModel *b = record(1);
        ImportOrderModel *bTwice = record(1);
        ImportOrderModel *lost = keyedRecord("Z9", QString(kMissingRoot) + "2023-05/12/Z9-1/");
        ImportOrderModel *backslash = keyedRecord("W1", "D:\\pic\\W1-1\\");
        QVERIFY(handOver({again, b, bTwice, lost, backslash}));

        const QList<MsgBox::Shown> boxes = MsgBox::shown();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].title, QString("订单已存在"));
        QCOMPARE(boxes[0].text, QString("已经添加过订单：\nA1203-1,B2207-2"));
        QCOMPARE(boxes[1].title, QString("订单导片路径不存在"));
        QCOMPARE(boxes[1].text, QString("以下订单导片根目录不存在：\nZ9-1:") + kMissingRoot);
        QCOMPARE(m_dlg->orders(), (Orders{m_records[0].data(), b, backslash}));
        QCOMPARE(table()->rowCount(), 3);
        QCOMPARE(table()->item(0, 0)->checkState(), Qt::Unchecked); // rows rebuilt

        MsgBox::clearShown();
        QVERIFY(handOver({}));
        QVERIFY(MsgBox::shown().isEmpty());
        QCOMPARE(table()->rowCount(), 3);
    }

    // An unmaximized window of 1100 pixels at the desktop's usual font shows every column of the
    // order table, and neither a selected order nor another type moves anything.
    void everyColumnInViewAndNothingMoves()
    {
        closeDialog();
        const QFont appFont = QApplication::font();
        QApplication::setFont(QFont("Sans Serif", 9));
        openDialog();
        QApplication::setFont(appFont);
        QVERIFY(handOver({record(0), record(1), record(2), record(3), record(4)}));
        m_dlg->resize(1100, 600);
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg, testsupport::kWaitMs));
        auto *splitter = m_dlg->findChild<QSplitter *>("mainSpliter");
        const QList<int> sizes = splitter->sizes();
        for (int type : {1, 5, 3}) {
            chooseType(type);
            emit table()->cellClicked(type % 5, 0);
            QCoreApplication::processEvents();
            QCOMPARE(table()->horizontalScrollBar()->maximum(), 0);
            QCOMPARE(splitter->sizes(), sizes);
        }
    }

    void typeSwitchRebuildsRows()
    {
        ImportOrderModel *a = record(0);
        QVERIFY(handOver({a, record(4)}));
        // the panel follows the type: the chosen files and the imported photos of the new type
        a->setOriginFiles({"/src/IMG_1.jpg"});
        emit table()->cellClicked(0, 0);
        auto *imported = m_dlg->findChild<QListWidget *>("importedList");
        auto *selected = m_dlg->findChild<QTableWidget *>("selectedTable");
        QCOMPARE(imported->count(), m_studio->orders.at(0).finished.size());
        QCOMPARE(selected->rowCount(), 0);
        chooseType(0);
        QCOMPARE(imported->count(), m_studio->orders.at(0).originals.size());
        QCOMPARE(selected->rowCount(), 1);
        QCOMPARE(table()->currentRow(), 0);
        chooseType(1);

        button("selectAllBtn")->click();
        auto *videoBtn = button("updateVideoBtn");
        auto *photoSuffix = m_dlg->findChild<QLineEdit *>("photoSuffixEdit");
        QVERIFY(!videoBtn->isVisible());

        chooseType(3);
        QCOMPARE(m_dlg->importType(), ImportTrialVideos);
        QCOMPARE(label("rightTitle"), QString("导片模式：试拍视频"));
        QVERIFY(videoBtn->isVisible());
        QCOMPARE(videoBtn->text(), QString("更新试拍视频到选片系统"));
        QVERIFY(!photoSuffix->isEnabled());
        QCOMPARE(chooseButton(0)->text(), QString("选择视频"));
        QCOMPARE(table()->item(0, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(cell(0, 3), QString("已导入(1)")); // one video in 试拍视频

        chooseType(4);
        QCOMPARE(videoBtn->text(), QString("更新精修视频到选片系统"));
        chooseType(0);
        QVERIFY(photoSuffix->isEnabled());
        QVERIFY(!videoBtn->isVisible());
        QCOMPARE(cell(0, 3), QString("已导入(3)"));

        a->setDovraImported(true);
        chooseType(5);
        QCOMPARE(chooseButton(0)->text(), QString("选择Dovra路径"));
        QCOMPARE(cell(0, 3), QString("未导入"));
        QCOMPARE(progressText(0), QString());
        QCOMPARE(selectionText(0), QString("已选(0)"));
        QCOMPARE(selectionText(1), QString("未选"));

        a->setFinishedImported(true); // imported, but nothing counted: a full bar, not Qt's busy one
        chooseType(1);
        QVERIFY(!photoSuffix->isEnabled());
        auto *bar = progressBar(0);
        QVERIFY(bar->maximum() > bar->minimum());
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(progressText(0), QString("0/0"));
        QCOMPARE(selectionText(0), QString("已选(0)"));
    }

    void clickedRowFillsPanelAndNameEditsWriteRecord()
    {
        ImportOrderModel *a = record(0);
        ImportOrderModel *e = record(4, [](QJsonObject &json) { json["bname"] = ""; });
        QVERIFY(handOver({a, e}));
        auto *folder = m_dlg->findChild<QLineEdit *>("folderSuffixEdit");
        auto *photo = m_dlg->findChild<QLineEdit *>("photoSuffixEdit");

        // no current order: the edit cleans its text, no record changes
        folder->setText("a/b:c.");
        QCOMPARE(folder->text(), QString("abc"));
        QCOMPARE(a->finishedFolderSuffix(), QString("张小宝-李梅-张伟-周杰-吴彤"));

        // the already imported finished thumbnails are listed with pictures
        const QString thumbs = m_studio->orders.at(0).orderPath + "成品缩略图100/";
        QVERIFY(testsupport::writeJpeg(thumbs + "b.jpg", QSize(60, 40)));
        QVERIFY(testsupport::writeJpeg(thumbs + "A.jpg", QSize(40, 60)));
        QVERIFY(QDir().mkpath(thumbs + "B.jpg")); // a folder, however it is named, is no imported photo
        a->setFinishedPhotoSuffix("精修");
        a->setFinishedFiles({"/src/IMG_7.jpg", "/src/x.y.png"});
        emit table()->cellClicked(0, 2);
        QCOMPARE(m_dlg->currentOrder(), a);
        QCOMPARE(label("orderNoLabel"), QString("A1203"));
        QCOMPARE(label("womanNameLabel"), QString("李梅"));
        QCOMPARE(label("guideLabel"), QString("小何"));
        QCOMPARE(label("orderPathLabel"), a->orderPath());
        auto *babyTitle = m_dlg->findChild<QLabel *>("babyNameTitle");
        QVERIFY(babyTitle->isVisible()); // a "儿童照" with a baby name shows it
        QCOMPARE(label("babyNameLabel"), QString("张小宝"));
        auto *selected = m_dlg->findChild<QTableWidget *>("selectedTable");
        QCOMPARE(selected->rowCount(), 2);
        QCOMPARE(selected->item(0, 0)->text(), QString("IMG_7-精修.jpg"));
        QCOMPARE(selected->item(1, 0)->text(), QString("x.y-精修.png"));
        auto *imported = m_dlg->findChild<QListWidget *>("importedList");
        // listed by name without regard to case, beside the sample's own finished photos
        QCOMPARE(imported->count(), 2 + m_studio->orders.at(0).finished.size());
        QCOMPARE(imported->item(0)->text(), QString("A.jpg"));
        QVERIFY(!imported->item(1)->icon().isNull());
        QVERIFY(!folder->isEnabled()); // the order folder exists already
        QVERIFY(button("reImportBtn")->isEnabled());

        folder->setText(" x/y ");
        QCOMPARE(folder->text(), QString("xy"));
        QCOMPARE(a->originFolderSuffix(), QString("xy"));
        QCOMPARE(a->designFolderSuffix(), QString("xy"));

        chooseType(0);
        emit table()->cellClicked(1, 0);
        QCOMPARE(e->originOrderPrefix(), QString("E5520-1"));
        emit table()->cellClicked(0, 0);
        QCOMPARE(a->originOrderPrefix(), QString("A1203-1"));
        photo->setText("p*q");
        QCOMPARE(a->originPhotoSuffix(), QString("pq"));
        QCOMPARE(a->finishedPhotoSuffix(), QString("精修"));

        chooseType(3); // no name group in the video types
        folder->setText("v?");
        QCOMPARE(folder->text(), QString("v"));
        QCOMPARE(a->finishedFolderSuffix(), QString("xy"));

        chooseType(1);
        emit table()->cellClicked(1, 0); // no order folder: suffix editable, no re-import without a backup path
        QCOMPARE(m_dlg->currentOrder(), e);
        QVERIFY(!babyTitle->isVisible());
        QVERIFY(folder->isEnabled());
        QVERIFY(!button("reImportBtn")->isEnabled());
        QCOMPARE(imported->count(), 0);

        // A path longer than its label is shortened in the middle, never cut at its end to a parent or a
        // sibling's path; the tooltip holds it whole.
        const QString longPath = m_studio->picRoot + "2023-05/12/" + QString(40, QChar(0x5f20)) + "E5520-1/";
        e->setOrderPath(longPath);
        emit table()->cellClicked(1, 0);
        auto *path = dynamic_cast<PathLabel *>(m_dlg->findChild<QLabel *>("orderPathLabel"));
        QVERIFY(path);
        QCOMPARE(path->text(), longPath);
        QCOMPARE(path->toolTip(), longPath);
        const QString shown = path->shownText();
        QVERIFY2(shown.count(QChar(0x2026)) == 1 && longPath.startsWith(shown.section(QChar(0x2026), 0, 0))
                     && shown.section(QChar(0x2026), 1).endsWith("-1/"),
                 qPrintable(shown));
    }

    void selectAllAndNone()
    {
        button("selectAllBtn")->click(); // empty table: nothing to do
        QVERIFY(handOver({record(0), record(1), record(2)}));
        button("selectAllBtn")->click();
        for (int r = 0; r < 3; ++r)
            QCOMPARE(table()->item(r, 0)->checkState(), Qt::Checked);
        button("cancelAllBtn")->click();
        for (int r = 0; r < 3; ++r)
            QCOMPARE(table()->item(r, 0)->checkState(), Qt::Unchecked);
    }

    void removingOrdersKeepsCurrentInRange()
    {
        button("delOrdersBtn")->click();
        QCOMPARE(MsgBox::lastShown().text, QString("您还没有选择订单"));

        ImportOrderModel *a = record(0), *b = record(1), *c = record(2), *d = record(3);
        QVERIFY(handOver({a, b, c, d}));
        table()->setCurrentCell(3, 0);
        emit table()->cellClicked(3, 0);
        QCOMPARE(m_dlg->currentOrder(), d);
        table()->item(0, 0)->setCheckState(Qt::Checked);
        table()->item(3, 0)->setCheckState(Qt::Checked);
        button("delOrdersBtn")->click();

        QCOMPARE(m_dlg->orders(), (Orders{b, c}));
        QCOMPARE(table()->rowCount(), 2);
        QCOMPARE(cell(1, 0), QString("C3105-1"));
        QCOMPARE(chooseButton(1)->property("row").toInt(), 1);
        QVERIFY(m_dlg->orders().contains(m_dlg->currentOrder()));
        QCOMPARE(m_dlg->orders().at(m_dlg->currentRow()), m_dlg->currentOrder());
        QCOMPARE(label("orderNoLabel"), m_dlg->currentOrder()->orderPayForKey());

        // stale clicks and reads beyond the list are ignored
        emit table()->cellClicked(3, 0);
        QVERIFY(m_dlg->orders().contains(m_dlg->currentOrder()));

        button("selectAllBtn")->click();
        button("delOrdersBtn")->click();
        QVERIFY(m_dlg->orders().isEmpty());
        QCOMPARE(m_dlg->currentOrder(), nullptr);
        QCOMPARE(m_dlg->currentRow(), -1);
        QVERIFY(label("orderNoLabel").isEmpty());
        QVERIFY(m_dlg->findChild<QLineEdit *>("folderSuffixEdit")->isEnabled());
        QVERIFY(m_dlg->findChild<QLineEdit *>("folderSuffixEdit")->text().isEmpty());
        QCOMPARE(c->finishedFolderSuffix(), QString("陈果果-周杰-林化妆")); // clearing the panel edits no record
        QCOMPARE(table()->rowCount(), 0);
    }

    void contextMenus()
    {
        auto *menu = m_dlg->findChild<QMenu *>("ordersMenu");
        emit table()->customContextMenuRequested(QPoint(5, 5)); // empty table
        QVERIFY(!menu->isVisible());

        QVERIFY(handOver({record(0), record(4)}));
        table()->setCurrentIndex(QModelIndex()); // rows, but none current
        emit table()->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!menu->isVisible());

        table()->setCurrentCell(0, 0);
        emit table()->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(menu->isVisible());
        QVERIFY(menu->isEnabled());
        menu->hide();
        table()->setCurrentCell(1, 0); // no order path: nothing to look at
        emit table()->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!menu->isEnabled());
        menu->hide();

        auto *list = m_dlg->findChild<QListWidget *>("importedList");
        auto *listMenu = m_dlg->findChild<QMenu *>("importedMenu");
        emit list->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!listMenu->isVisible());
        new QListWidgetItem("x.jpg", list);
        list->item(0)->setSelected(true);
        emit list->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(listMenu->isVisible());
        listMenu->hide();
    }

    void countingOperations()
    {
        const QString dir = m_roots->path("count/");
        QVERIFY(QDir().mkpath(dir + "f.jpg"));
        for (const char *name : {"a.jpg", "b.JPG", "c.jpeg", "d.png", "e.txt", "v1.mp4", "v2.AVI", "v3.m4v",
                                 "v4.wmv", "v5.mov"}) {
            QFile f(dir + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(m_dlg->getImgCount(dir), 4); // every kind the chooser takes, no folders
        QCOMPARE(m_dlg->getVideoCount(dir), 4);
        QCOMPARE(m_dlg->getImgCount(dir + "missing/"), 0);

        ImportOrderModel *noThumbs = keyedRecord("N1", dir);
        noThumbs->setFinishedFoundCount(7);
        m_dlg->updateImgCount(noThumbs); // no thumbnail folder: the count stays
        QCOMPARE(noThumbs->finishedFoundCount(), quint16(7));
        ImportOrderModel *noPath = keyedRecord("N2", "");
        noPath->setFinishedFoundCount(5);
        m_dlg->updateImgCount(noPath);
        QCOMPARE(noPath->finishedFoundCount(), quint16(5));

        ImportOrderModel *r = record(0);
        r->setOriginFiles({"x"});
        r->setDesignImportedCount(3);
        r->setFinishedImported(true);
        r->setTrialVideoFiles({"v"});
        r->setDovraImported(true);
        m_dlg->resetOrderImportState(r);
        QVERIFY(r->orderPath().isEmpty() && r->orderBakPath().isEmpty());
        QVERIFY(r->originFiles().isEmpty() && !r->isFinishedImported());
        QCOMPARE(r->designImportedCount(), quint16(0));
        QCOMPARE(r->trialVideoFiles(), QStringList{"v"});
        QVERIFY(r->isDovraImported());
    }

    void openedFromToolWindow()
    {
        g_picPath = QString(kMissingRoot);
        g_bakPicPath = m_studio->bakRoot;
        QCOMPARE(importOrdersPhotoDlg::openFromToolWindow(nullptr, ShopSettings::current()), nullptr);
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QVERIFY(MsgBox::lastShown().text.contains(kMissingRoot));
        g_picPath.clear();
        QCOMPARE(importOrdersPhotoDlg::openFromToolWindow(nullptr, ShopSettings::current()), nullptr);

        g_picPath = m_studio->picRoot;
        QPointer<importOrdersPhotoDlg> dlg = importOrdersPhotoDlg::openFromToolWindow(nullptr, ShopSettings::current());
        QVERIFY(dlg);
        const Qt::WindowFlags hints =
            Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
        QCOMPARE(dlg->windowFlags() & hints, hints);
        QCOMPARE(dlg->windowType(), Qt::Window); // a plain window, no dialog frame
        QVERIFY(dlg->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(dlg->windowState() & Qt::WindowMaximized);
        QPointer<ImportOrderModel> a = record(0);
        QPointer<ImportOrderModel> repeat = record(0);
        QVERIFY(QMetaObject::invokeMethod(dlg, "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, (Orders{a, repeat}))));
        QVERIFY(testsupport::waitFor([&] { return repeat.isNull(); })); // a refused record is freed
        QVERIFY(a);
        dlg->close();
        QVERIFY(testsupport::waitFor([&] { return dlg.isNull(); }));
        QVERIFY(a.isNull()); // the listed records go with the window
    }
};

TESSALY_TEST_MAIN(TestImportOrdersPhotoDlg)
#include "tst_importordersphotodlg.moc"
