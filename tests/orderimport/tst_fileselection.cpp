#include "fileoperation.h"
#include "importdialogfixture.h"
#include "msgbox.h"
#include "platform.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

#include <cerrno>

class TestFileSelection : public ImportDialogFixture
{
    Q_OBJECT

    QAction *importedAction(const QString &text)
    {
        for (QAction *a : m_dlg->findChild<QMenu *>("importedMenu")->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }
    void triggerImported(const QString &text) { importedAction(text)->trigger(); }
    // Files with the names users give them (Chinese, blanks, "&", "#"); photos are real JPEGs.
    QStringList makeFiles(const QString &folder, const QStringList &names)
    {
        QStringList paths;
        for (const QString &name : names) {
            const QString path = m_roots->path(folder) + name;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly))
                return {};
            f.write(testsupport::jpegWithOrientation(QSize(30, 20), 0));
            paths << path;
        }
        return paths;
    }

private slots:
    void initTestCase() { QVERIFY(startStudioServer()); }
    void init()
    {
        MsgBox::clearShown();
        FileDialogs::clearAsked();
        m_server.clearRequests();
        openDialog();
    }
    void cleanup()
    {
        closeDialog();
        serveStudio();
        Platform::clearFaults();
    }

    void choosingFilesFillsThePressedRow()
    {
        ImportOrderModel *a = record(0);
        ImportOrderModel *e = record(4);
        QVERIFY(handOver({a, e}));
        chooseType(0);
        e->setOriginImported(true);
        const QStringList photos = makeFiles("src/客户 A&B#1/raw/", {"照片 1&#.jpg", "b.png", "c.jpeg"});

        emit table()->cellClicked(0, 0);
        table()->setCurrentCell(0, 0);
        FileDialogs::queueAnswer(photos);
        chooseButton(1)->click();
        QCOMPARE(table()->currentRow(), 1); // the pressed row is the one highlighted and shown
        const FileDialogs::Asked asked = FileDialogs::asked().value(0);
        QCOMPARE(asked.caption + asked.filter + asked.dir, QString("选择照片Image File(*.jpg *.jpeg *.png)."));
        QCOMPARE(e->originFiles(), photos);
        QVERIFY(!e->isOriginImported()); // pending again
        QVERIFY(a->originFiles().isEmpty());
        QCOMPARE(m_dlg->currentOrder(), e);
        QCOMPARE(selectionText(1), QString("已选(3)"));
        QCOMPARE(selectionText(0), QString("未选"));
        QCOMPARE(progressText(1), QString("0/3"));
        QCOMPARE(progressBar(1)->maximum(), 3);
        QCOMPARE(m_dlg->findChild<QTableWidget *>("selectedTable")->rowCount(), 3);
        QCOMPARE(m_server.requestCount("order_isrole12finish"), 0); // only finished photos are checked

        // cancelled: told, the choice stays; photos start the next dialog two folders up
        FileDialogs::queueAnswer(QStringList());
        chooseButton(1)->click();
        QCOMPARE(MsgBox::lastShown().text, QString("没有选择任何照片"));
        QCOMPARE(e->originFiles(), photos);
        QCOMPARE(FileDialogs::asked().last().dir, QDir(m_roots->path("src/客户 A&B#1")).absolutePath());

        // videos replace the type's list and start the next dialog in their own folder
        chooseType(3);
        const QStringList videos = makeFiles("src/视频 #2/", {"a&b.mp4"});
        FileDialogs::queueAnswer(videos);
        chooseButton(0)->click();
        QCOMPARE(FileDialogs::asked().last().filter, QString("Video File(*.mp4 *.avi)"));
        QCOMPARE(a->trialVideoFiles(), videos);
        FileDialogs::queueAnswer(QStringList());
        chooseButton(0)->click();
        QCOMPARE(FileDialogs::asked().last().dir, QDir(m_roots->path("src/视频 #2")).absolutePath());
    }

    void finishedSelectionIsAskedAbout()
    {
        ImportOrderModel *a = record(0);
        ImportOrderModel *b = record(1); // its selection is finished
        QVERIFY(handOver({a, b}));
        const QStringList photos = makeFiles("src/finished/x/", {"f1.jpg"});

        MsgBox::setNextAnswer(QMessageBox::No);
        chooseButton(1)->click();
        QVERIFY(testsupport::waitForBoxes());
        QCOMPARE(MsgBox::lastShown().text, QString("该订单已选片完成，继续导片会覆盖之前的选片结果，确定要继续导片吗？"));
        QVERIFY(FileDialogs::asked().isEmpty());
        const standin::Request check = m_server.lastRequest("order_isrole12finish");
        QCOMPARE(check.fieldNames(),
                 (QStringList{"token", "shopid", "superid", "order_photo_id", "eid", "personid", "uid"}));
        QCOMPARE(check.field("order_photo_id") + check.field("personid"), QString("500277"));

        MsgBox::setNextAnswer(QMessageBox::Yes);
        FileDialogs::queueAnswer(photos);
        chooseButton(1)->click();
        QVERIFY(testsupport::waitFor([&] { return b->finishedFiles() == photos; }));

        MsgBox::clearShown(); // not finished: no question
        FileDialogs::queueAnswer(photos);
        chooseButton(0)->click();
        QVERIFY(testsupport::waitFor([&] { return a->finishedFiles() == photos; }));
        QVERIFY(MsgBox::shown().isEmpty());
    }

    void twoQuickPressesAnswerTheirOwnRows()
    {
        // The first order's answer comes after the second's has been handled: each must act on its own row.
        standin::Gate secondHandled;
        m_server.setHandler("order_isrole12finish", [secondHandled](const standin::Request &r) {
            const bool first = r.field("order_photo_id") == "5001";
            standin::Reply reply = standin::Reply::ok({{"isrole12finish", first ? 0 : 1}});
            return first ? reply.heldBy(secondHandled) : reply;
        });
        ImportOrderModel *a = record(0);
        ImportOrderModel *b = record(1);
        QVERIFY(handOver({a, b}));
        const QStringList forA = makeFiles("src/quick/a/", {"a1.jpg", "a2.jpg"});
        const QStringList forB = makeFiles("src/quick/b/", {"b1.jpg"});

        MsgBox::setNextAnswer(QMessageBox::Yes); // the question belongs to the second order only
        FileDialogs::queueAnswer(forB);          // which answers first
        FileDialogs::queueAnswer(forA);
        chooseButton(0)->click();
        chooseButton(1)->click();
        QVERIFY(testsupport::waitFor([&] { return !b->finishedFiles().isEmpty(); }));
        secondHandled.open();
        QVERIFY(testsupport::waitFor([&] { return !a->finishedFiles().isEmpty(); }));
        QCOMPARE(a->finishedFiles(), forA);
        QCOMPARE(b->finishedFiles(), forB);
        QCOMPARE(selectionText(0) + selectionText(1), QString("已选(2)已选(1)"));
        QCOMPARE(MsgBox::shown().size(), 1);
    }

    void staleOrFailedAnswersOpenNothing()
    {
        m_server.setReply("order_isrole12finish", standin::Reply::ok({{"isrole12finish", 0}}).withDelay(600));
        QPointer<ImportOrderModel> a = record(0);
        ImportOrderModel *b = record(1);
        QVERIFY(handOver({a, b}));

        // the order is removed (and freed) while its check is out
        chooseButton(0)->click();
        table()->item(0, 0)->setCheckState(Qt::Checked);
        button("delOrdersBtn")->click();
        QVERIFY(testsupport::waitFor([&] { return a.isNull(); }));
        QTest::qWait(900);
        QVERIFY(FileDialogs::asked().isEmpty());

        // a run starts while the check is out: the running order's files must not change
        chooseButton(0)->click();
        m_dlg->setRunning(true);
        QVERIFY(testsupport::waitForBoxes());
        QCOMPARE(MsgBox::lastShown().text, QString("正在导片，请在导片结束后再选择照片"));
        m_dlg->setRunning(false);

        const QList<QPair<standin::Reply, QString>> failures{
            {standin::Reply::refused("no"), "请求失败：0"},
            {standin::Reply::numericCode(1), "请求失败："}, // a number is not the code "1"
            {standin::Reply::httpError(500), "网络请求错误\n服务器出错（HTTP 500）"},
            {standin::Reply::notJson(), "请求失败"},
        };
        for (const auto &f : failures) {
            MsgBox::clearShown();
            m_server.queueReply("order_isrole12finish", f.first);
            chooseButton(0)->click();
            QVERIFY(testsupport::waitForBoxes());
            QCOMPARE(MsgBox::lastShown().title + MsgBox::lastShown().text, "警告" + f.second);
        }
        QVERIFY(FileDialogs::asked().isEmpty());
        QVERIFY(b->finishedFiles().isEmpty());

        // the window closes while a check is out: its answer goes nowhere
        m_server.queueReply("order_isrole12finish", standin::Reply::ok({{"isrole12finish", 1}}).withDelay(300));
        chooseButton(0)->click();
        delete m_dlg;
        QTest::qWait(600);
        QVERIFY(MsgBox::shown().size() == 1 && FileDialogs::asked().isEmpty());
    }

    void dovraFolderChoice()
    {
        ImportOrderModel *a = record(0);
        QVERIFY(handOver({a}));
        chooseType(5);
        a->setDovraImported(true);

        // a drive or file-system root would copy a whole disk
        for (const char *root : {"/", "C:/", "D:", "//server/share/"}) {
            FileDialogs::queueAnswer(QString(root));
            chooseButton(0)->click();
            QVERIFY2(MsgBox::lastShown().text.startsWith("不能选择磁盘根目录"), root);
            QVERIFY(a->dovraSourceDir().isEmpty() && a->isDovraImported());
        }
        FileDialogs::queueAnswer(QString());
        chooseButton(0)->click();
        QCOMPARE(MsgBox::lastShown().text, QString("请重新选择路径"));

        const QString chosen = m_roots->path("dovra src/订单 12&#");
        QVERIFY(QDir().mkpath(chosen));
        FileDialogs::queueAnswer(chosen);
        chooseButton(0)->click();
        QCOMPARE(FileDialogs::asked().last().caption, QString("请选择文件路径..."));
        QCOMPARE(a->dovraSourceDir(), chosen);
        QCOMPARE(a->fatherPath(), QDir(m_roots->path("dovra src")).absolutePath());
        QVERIFY(!a->isDovraImported());
        QCOMPARE(selectionText(0), QString("已选(%1)").arg(chosen));
        QCOMPARE(progressText(0), QString("0/0"));
    }

    void importedFilesDeletedOnlyAfterConfirmation()
    {
        const QString order = m_roots->path("del/order/");
        const QStringList folders{"成品/", "成品缩略图/", "成品缩略图100/", "成品缩略图2250/"};
        for (const QString &folder : folders)
            QCOMPARE(makeFiles("del/order/" + folder, {"a 1&#.jpg", "b.jpg", "c.jpg"}).size(), 3);
        QVERIFY(handOver({recordWithPath(0, order)}));
        emit table()->cellClicked(0, 0);
        auto *list = m_dlg->findChild<QListWidget *>("importedList");
        QCOMPARE(list->count(), 3);
        list->item(0)->setSelected(true);
        list->item(1)->setSelected(true);

        MsgBox::setNextAnswer(QMessageBox::No);
        triggerImported("删除选中照片");
        QVERIFY(MsgBox::lastShown().text.contains("2张"));
        for (const QString &folder : folders)
            QVERIFY(QFile::exists(order + folder + "a 1&#.jpg"));

        // Yes: gone from the photo folder and every thumbnail folder; a removal that fails is reported,
        // a file already missing from one folder is not
        Platform::failRemovals("成品缩略图2250/b.jpg", 1);
        QVERIFY(QFile::remove(order + "成品缩略图/a 1&#.jpg"));
        MsgBox::setNextAnswer(QMessageBox::Yes);
        triggerImported("删除选中照片");
        for (const QString &folder : folders)
            QVERIFY(!QFile::exists(order + folder + "a 1&#.jpg") && QFile::exists(order + folder + "c.jpg"));
        QVERIFY(!QFile::exists(order + "成品/b.jpg"));
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QVERIFY(MsgBox::lastShown().text.contains("成品缩略图2250/b.jpg（" + errorText(EBUSY) + "）")); // and why
        QVERIFY(!MsgBox::lastShown().text.contains("a 1&#.jpg"));
        QCOMPARE(list->count(), 1);

        Platform::clearOpenedPaths();
        triggerImported("打开照片目录");
        QCOMPARE(Platform::openedPaths(), QStringList{order + "成品"});
    }

    void reImportResetAsksFirst()
    {
        const QString path = m_roots->path("re/order/");
        QCOMPARE(makeFiles("re/order/成品/", {"x.jpg"}).size(), 1);
        ImportOrderModel *a = recordWithPath(0, path);
        a->setFinishedFiles({"/src/x.jpg"});
        QVERIFY(handOver({a}));
        emit table()->cellClicked(0, 0);
        auto *reImport = button("reImportBtn");

        MsgBox::setNextAnswer(QMessageBox::No);
        reImport->click();
        QCOMPARE(MsgBox::lastShown().title, QString("温馨提示"));
        QCOMPARE(a->orderPath(), path);
        QCOMPARE(a->finishedFiles().size(), 1);

        MsgBox::setNextAnswer(QMessageBox::Yes);
        reImport->click();
        QVERIFY(a->orderPath().isEmpty() && a->orderBakPath().isEmpty() && a->finishedFiles().isEmpty());
        QVERIFY(m_dlg->findChild<QLabel *>("orderPathLabel")->text().isEmpty());
        QVERIFY(!reImport->isEnabled());
        QVERIFY(m_dlg->findChild<QLineEdit *>("folderSuffixEdit")->isEnabled());
        QCOMPARE(status(0) + progressText(0) + selectionText(0), QString("未导入0/0未选"));
        QVERIFY(QFile::exists(path + "成品/x.jpg")); // nothing on the storage is deleted
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("updatepicpath") == 1; }));
        QCOMPARE(m_server.lastRequest("updatepicpath").field("importype"), QString("0"));
    }

    void runLocksTheSelectionControls()
    {
        ImportOrderModel *a = record(0);
        QVERIFY(handOver({a, record(4)}));
        emit table()->cellClicked(0, 0);
        auto *reImport = button("reImportBtn");
        auto *folder = m_dlg->findChild<QLineEdit *>("folderSuffixEdit");
        QList<QWidget *> locked{chooseButton(0), chooseButton(1), reImport, folder};
        for (const char *name : {"addOrderBtn", "delOrdersBtn", "selectAllBtn", "cancelAllBtn"})
            locked << button(name);
        for (int id = 0; id < 6; ++id)
            locked << radio(id);

        m_dlg->setRunning(true);
        // The running order's thread reads the name parts: looking at it writes none of them back.
        a->setFinishedFolderSuffix("李梅 ");
        a->setFinishedPhotoSuffix("精修 ");
        emit table()->cellClicked(1, 0); // looking at orders during the run unlocks nothing
        emit table()->cellClicked(0, 0);
        QCOMPARE(a->finishedFolderSuffix(), QString("李梅 "));
        QCOMPARE(a->finishedPhotoSuffix(), QString("精修 "));
        for (QWidget *w : locked)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        // the folder of the imported photos opens and the video list can be sent; only deleting waits
        QVERIFY(button("updateVideoBtn")->isEnabled());
        QVERIFY(m_dlg->findChild<QMenu *>("importedMenu")->isEnabled());
        QVERIFY(importedAction("打开照片目录")->isEnabled());
        QVERIFY(!importedAction("删除选中照片")->isEnabled());
        table()->item(0, 0)->setCheckState(Qt::Checked);
        QVERIFY(QMetaObject::invokeMethod(m_dlg, "delAllOrdersSlot"));
        QVERIFY(QMetaObject::invokeMethod(m_dlg, "reImportBtnSlot"));
        QCOMPARE(m_dlg->orders().size(), 2);
        QVERIFY(!a->orderPath().isEmpty());

        m_dlg->setRunning(false);
        for (QWidget *w : locked)
            QCOMPARE(w->isEnabled(), w != folder); // the current order has a folder: its name is fixed
        QVERIFY(importedAction("删除选中照片")->isEnabled());
        QVERIFY(!m_dlg->findChild<QLineEdit *>("photoSuffixEdit")->isEnabled()); // not the originals type
    }
};

TESSALY_TEST_MAIN(TestFileSelection)
#include "tst_fileselection.moc"
