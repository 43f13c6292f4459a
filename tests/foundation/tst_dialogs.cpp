#include "calendarpicker.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "globals.h"
#include "messageboxdialog.h"
#include "messagedialog.h"
#include "msgbox.h"
#include "multiselectcombobox.h"
#include "studiofixture.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>

using testsupport::waitFor;

namespace {
QString readUtf8(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<unreadable>");
    return QString::fromUtf8(file.readAll());
}

// deleteLater() is carried out by a return to the event loop, which processEvents() is not
bool deletedLater(const QPointer<QObject> &object)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return object.isNull();
}

void clickRow(MultiSelectComboBox &box, int row)
{
    QAbstractItemView *list = box.view();
    const QRect rect = list->visualRect(box.model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}
} // namespace

class TestDialogs : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init()
    {
        clearServer();
        FileDialogs::clearAsked();
    }

    void multiSelectTicksAndUnticks()
    {
        MultiSelectComboBox box;
        box.appendItems({"一店", "二店", "三店"});
        QVERIFY(box.checkedItems().isEmpty()); // new rows start unticked
        QCOMPARE(box.activateAllItems(), 3);
        QCOMPARE(box.checkedItems(), QList<int>({0, 1, 2}));
        QCOMPARE(box.checkedTexts(), QStringList({"一店", "二店", "三店"}));

        // a second pass toggles every row back
        QCOMPARE(box.activateAllItems(), 3);
        QVERIFY(box.checkedItems().isEmpty());
        QVERIFY(box.checkedTexts().isEmpty());

        // rows appended later start unticked and keep the others' ticks
        box.activateAllItems();
        box.appendItems({"四店"});
        QCOMPARE(box.checkedItems(), QList<int>({0, 1, 2}));

        // an empty box has nothing to toggle
        MultiSelectComboBox empty;
        QCOMPARE(empty.activateAllItems(), 0);
        QVERIFY(empty.checkedItems().isEmpty());
    }

    void multiSelectClicksKeepTheListOpen()
    {
        MultiSelectComboBox box;
        box.resize(200, 30);
        box.appendItems({"一店", "二店", "三店"});
        box.setButtonText("点击选择店铺");
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box, testsupport::kWaitMs));

        QPushButton *button = box.overlayButton();
        QCOMPARE(button->text(), QString("点击选择店铺"));
        QCOMPARE(button->geometry(), box.rect()); // covers the whole field
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(waitFor([&] { return box.view()->isVisible(); }));

        clickRow(box, 1);
        QCOMPARE(box.checkedItems(), QList<int>({1}));
        QVERIFY(box.view()->isVisible()); // the list stays open for the next pick
        clickRow(box, 2);
        QCOMPARE(box.checkedItems(), QList<int>({1, 2}));
        clickRow(box, 1); // a second click on the same row unticks it
        QCOMPARE(box.checkedItems(), QList<int>({2}));
        QCOMPARE(box.checkedTexts(), QStringList({"三店"}));
        box.hidePopup();
    }

    void calendarSendsDateOrEmptyOnlyOnItsButtons_data()
    {
        QTest::addColumn<QString>("button"); // none: a plain close
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("确认") << "pushButton_ok" << QStringList{"2024-03-05"};
        QTest::newRow("清除") << "pushButton_clear" << QStringList{""};
        QTest::newRow("closed") << "" << QStringList{};
    }
    void calendarSendsDateOrEmptyOnlyOnItsButtons()
    {
        QFETCH(QString, button);
        CalendarPicker picker;
        QStringList sent;
        connect(&picker, &CalendarPicker::urgentDate, this, [&](const QString &d) { sent << d; });
        picker.show();
        picker.calendar()->setSelectedDate(QDate(2024, 3, 5));
        if (button.isEmpty())
            picker.close();
        else
            QTest::mouseClick(picker.findChild<QPushButton *>(button), Qt::LeftButton);
        QTEST(sent, "sent");
        QVERIFY(!picker.isVisible());
    }

    void calendarReturnConfirmsAndPickerMayDeleteItself()
    {
        QPointer<CalendarPicker> picker = new CalendarPicker;
        picker->setAttribute(Qt::WA_DeleteOnClose);
        QStringList dates;
        connect(picker, &CalendarPicker::urgentDate, this, [&](const QString &d) { dates << d; });
        picker->show();
        QVERIFY(QTest::qWaitForWindowExposed(picker, testsupport::kWaitMs));
        picker->calendar()->setSelectedDate(QDate(2023, 12, 31));
        // Return pressed inside the calendar's day grid, where the calendar would keep it for itself
        QAbstractItemView *grid = picker->calendar()->findChild<QAbstractItemView *>();
        QVERIFY(grid);
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(dates, QStringList({"2023-12-31"}));
        QVERIFY(waitFor([&] { return deletedLater(picker.data()); }));
        QCOMPARE(dates.size(), 1);
    }

    // A box is never taller than the screen's free height: a long text scrolls and the buttons stay in view
    // (the batch import's end box of a full disk had 56 lines, the renumbering box of a single-order import
    // ran off a 768-pixel screen). The real box is shown, with the seam's test mode off, and answered by a click.
    void boxesFitTheScreen_data()
    {
        QTest::addColumn<QString>("kind"); // "information" (answered OK), "question" (Yes), "choose" ("放弃")
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("scrolls");
        QStringList lines;
        for (int i = 1; i <= 200; ++i)
            lines << QString("IMG_%1.jpg：复制失败（磁盘空间不足）").arg(i, 4, 10, QChar('0'));
        QStringList paths; // lines long enough to wrap
        for (int i = 1; i <= 56; ++i)
            paths << QString("订单A%1：").arg(i) + QString("/studio/pic/2024-05-01/一个很长的订单文件夹名称/").repeated(4)
                         + "IMG_0001.jpg：缩略图保存失败（磁盘空间不足）";
        QTest::newRow("200 lines") << "information" << lines.join('\n') << true;
        QTest::newRow("56 long lines") << "information" << paths.join('\n') << true;
        const QString path = "D:/studio/pic/" + QString("A1203_zhangsan_").repeated(12) + "/IMG_0001.jpg"; // no break
        QTest::newRow("200 paths wider than the screen")
            << "information" << QString(path + '\n').repeated(200).chopped(1) << true;
        QTest::newRow("a question of 200 lines") << "question" << lines.join('\n') << true;
        QTest::newRow("a choice of 200 lines") << "choose" << lines.join('\n') << true;
        QTest::newRow("one line") << "information" << lines.first() << false;
        QTest::newRow("a question of 5 lines") << "question" << lines.mid(0, 5).join('\n') << false;
    }
    void boxesFitTheScreen()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(bool, scrolls);
        QRect frame, available;
        QStringList buttonsOut; // buttons not inside the box
        QRect textArea;         // where the text shows, in the box
        QRect inside;           // the box
        int buttons = 0;
        bool scrolled = false;
        QString shownText;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            QMessageBox *box = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                box = w->isVisible() && qobject_cast<QMessageBox *>(w) ? static_cast<QMessageBox *>(w) : box;
            if (!box)
                return;
            poll.stop();
            frame = box->frameGeometry();
            available = box->screen()->availableGeometry();
            for (QAbstractButton *b : box->buttons()) {
                ++buttons;
                if (!b->isVisible() || !box->rect().contains(QRect(b->mapTo(box, QPoint()), b->size())))
                    buttonsOut << b->text();
            }
            inside = box->rect();
            auto *label = box->findChild<QLabel *>("qt_msgbox_label");
            if (label)
                shownText = label->text();
            QWidget *shows = label;
            if (auto *area = box->findChild<QScrollArea *>()) {
                scrolled = area->isVisible() && area->verticalScrollBar()->maximum() > 0;
                shows = area;
            }
            if (shows && shows->isVisible())
                textArea = QRect(shows->mapTo(box, QPoint()), shows->size());
            QAbstractButton *answer = kind == "information" ? box->button(QMessageBox::Ok)
                                      : kind == "question"  ? box->button(QMessageBox::Yes)
                                                            : nullptr;
            for (QAbstractButton *b : box->buttons())
                answer = b->text() == "放弃" ? b : answer;
            QTimer::singleShot(5000, box, [box] { box->done(-1); }); // never left open
            if (answer)
                QTest::mouseClick(answer, Qt::LeftButton);
        });
        poll.start();
        MsgBox::setTestMode(false);
        const auto backToTestMode = qScopeGuard([] { MsgBox::setTestMode(true); });
        if (kind == "information") {
            QCOMPARE(MsgBox::information(nullptr, "导入结束", text, QMessageBox::Ok), QMessageBox::Ok);
        } else if (kind == "question") {
            QCOMPARE(MsgBox::question(nullptr, "提示", text), QMessageBox::Yes);
        } else {
            QCOMPARE(MsgBox::choose(nullptr, "警告", text,
                                    {{"重试", QMessageBox::AcceptRole}, {"放弃", QMessageBox::RejectRole}}),
                     QString("放弃"));
        }
        QVERIFY2(available.contains(frame), qPrintable(QString("box %1,%2 %3x%4 on a screen of %5x%6")
                                                           .arg(frame.x()).arg(frame.y()).arg(frame.width())
                                                           .arg(frame.height()).arg(available.width())
                                                           .arg(available.height())));
        QCOMPARE(buttons, kind == "information" ? 1 : 2);
        QCOMPARE(buttonsOut, QStringList());
        // the text shows in the box, a long one over most of the screen's height
        QVERIFY(inside.contains(textArea));
        QVERIFY(textArea.height() >= (scrolls ? available.height() / 2 : QFontMetrics(QApplication::font()).height()));
        QCOMPARE(scrolled, scrolls);
        QCOMPARE(shownText, text); // the whole text, not a part of it
    }

    void reportBoxEmptyTextShowsSuccessForm()
    {
        MessageBoxDialog box;
        QCOMPARE(box.windowTitle(), QString("提示:   分件成功!"));
        box.setMessage(QString(), "/tmp/unused.txt");
        auto *text = box.findChild<QTextEdit *>("textEdit");
        QCOMPARE(text->toPlainText(), QString("分件成功!"));
        QVERIFY(text->isReadOnly());
        QVERIFY(box.findChild<QPushButton *>("pushButton_save")->isHidden());
    }

    void reportBoxSavesUtf8AndReportsFailedSave()
    {
        testsupport::TempRoots roots;
        QVERIFY(roots.isValid());
        const QString report = "订单 A001 缺少照片：\n  1.jpg\n订单 B002 空产品：相册";
        const QString suggested = roots.path("分件报告.txt");

        MessageBoxDialog box;
        box.setMessage(report, suggested);
        box.show();
        QCOMPARE(box.windowTitle(), QString("提示")); // a report is no success
        auto *save = box.findChild<QPushButton *>("pushButton_save");
        QVERIFY(!save->isHidden());
        QCOMPARE(box.findChild<QTextEdit *>("textEdit")->toPlainText(), report);

        // a target that cannot be written: told to the user, nothing claimed, the box stays
        const QString bad = roots.path("no-such-folder/报告.txt");
        FileDialogs::queueAnswer(bad);
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QCOMPARE(MsgBox::lastShown().text, "报告保存失败：" + bad + "\n文件或文件夹不存在");
        QVERIFY(!QFile::exists(bad));
        QVERIFY(box.isVisible());

        // a full disk: the earlier file stays whole, the user is told, the box stays
        const QString earlier = roots.path("旧报告.txt");
        QVERIFY(testsupport::put(earlier, "earlier report"));
        FileDialogs::queueAnswer(earlier);
        {
            testsupport::FileSizeLimit full(20);
            QTest::mouseClick(save, Qt::LeftButton);
        }
        QCOMPARE(MsgBox::shown().size(), 2);
        QCOMPARE(MsgBox::lastShown().text, "报告保存失败：" + earlier + "\n磁盘空间不足或文件过大");
        QCOMPARE(testsupport::bytesOf(earlier), QByteArray("earlier report"));
        QVERIFY(box.isVisible());

        // the next try succeeds: the file holds the report as UTF-8 and the box closes
        const QString good = roots.path("保存的报告.txt");
        FileDialogs::queueAnswer(good);
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(readUtf8(good).replace("\r\n", "\n"), report);
        QVERIFY(!box.isVisible());
        QCOMPARE(MsgBox::shown().size(), 2);

        const QList<FileDialogs::Asked> asked = FileDialogs::asked();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked.last().kind, QString("save"));
        QCOMPARE(asked.last().caption, QString("另存为"));
        QCOMPARE(asked.last().dir, suggested);
        QCOMPARE(asked.last().filter, QString("文本 (*.txt)"));

        // cancelling the file dialog writes nothing and closes the box
        MessageBoxDialog other;
        other.setMessage(report, suggested);
        other.show();
        QTest::mouseClick(other.findChild<QPushButton *>("pushButton_save"), Qt::LeftButton);
        QVERIFY(!other.isVisible());
        QVERIFY(!QFile::exists(suggested));
    }

    void smsCodeIsRequestedAndShown()
    {
        g_UID = "u&42";

        MessageDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("手机号验证"));
        dialog.show();
        auto *getCode = dialog.findChild<QPushButton *>("pushButton_getCode");
        auto *label = dialog.findChild<QLabel *>("label_phone");

        QJsonObject sent;
        sent["message"] = "验证码已发送";
        sent["phone"] = "138****0000";
        m_server.queueReply("sendsmscode", standin::Reply::ok(sent));
        QTest::mouseClick(getCode, Qt::LeftButton);
        QVERIFY(waitFor([&] { return label->text().contains("138****0000"); }));
        QVERIFY(getCode->isEnabled());
        const standin::Request req = m_server.lastRequest("sendsmscode");
        QCOMPARE(req.fieldNames(), QStringList({"token", "uid"}));
        QCOMPARE(req.field("token"), g_apiToken);
        QCOMPARE(req.field("uid"), QString("u&42"));
        QVERIFY(MsgBox::shown().isEmpty());

        // refused: the service's message in a warning
        m_server.queueReply("sendsmscode", standin::Reply::refused("发送过于频繁"));
        QTest::mouseClick(getCode, Qt::LeftButton);
        QVERIFY(testsupport::waitForBoxes(1));
        QCOMPARE(testsupport::lastBox(), QString("警告|发送过于频繁"));

        // network failure: the status in the usual network-error text
        m_server.queueReply("sendsmscode", standin::Reply::httpError(502));
        QTest::mouseClick(getCode, Qt::LeftButton);
        QVERIFY(testsupport::waitForBoxes(2));
        QCOMPARE(MsgBox::lastShown().text, QString("网络请求错误\n服务器出错（HTTP 502）"));
        QVERIFY(getCode->isEnabled());
        QCOMPARE(m_server.requestCount("sendsmscode"), 3);
    }

    void smsCodeCheckEmitsOnlyWhenAccepted()
    {
        g_UID = "42";

        MessageDialog dialog;
        QSignalSpy spy(&dialog, &MessageDialog::deleteorderfile);
        dialog.show();
        auto *code = dialog.findChild<QLineEdit *>("lineEdit_code");
        auto *ok = dialog.findChild<QPushButton *>("pushButton_ok");

        // no code typed: a clear message and no request
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(MsgBox::shown().size(), 1);
        QVERIFY(MsgBox::lastShown().text.contains("验证码"));
        QCOMPARE(m_server.requestCount("checksmscode"), 0);

        // wrong code: the message is shown, nothing emitted, the dialog stays
        m_server.queueReply("checksmscode", standin::Reply::refused("验证码错误"));
        code->setText("1111");
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(testsupport::waitForBoxes(2));
        QCOMPARE(testsupport::lastBox(), QString("警告|验证码错误"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(dialog.isVisible());

        // a reply that is not JSON is not taken as acceptance
        m_server.queueReply("checksmscode", standin::Reply::notJson());
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(testsupport::waitForBoxes(3));
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QCOMPARE(spy.count(), 0);

        // right code: emitted once, then the dialog closes
        m_server.queueReply("checksmscode", standin::Reply::ok());
        code->setText("  2468 ");
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(waitFor([&] { return spy.count() == 1; }));
        QVERIFY(!dialog.isVisible());
        const standin::Request req = m_server.lastRequest("checksmscode");
        QCOMPARE(req.fieldNames(), QStringList({"token", "uid", "code"}));
        QCOMPARE(req.field("token"), g_apiToken);
        QCOMPARE(req.field("uid"), QString("42"));
        QCOMPARE(req.field("code"), QString("2468"));
        QCOMPARE(m_server.requestCount("checksmscode"), 3);
        QTest::qWait(50);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(MsgBox::shown().size(), 3);
    }

    void smsCodeReplyAfterCloseOrDeleteDoesNothing()
    {
        standin::Gate isClosed; // the answers come after the close
        m_server.setReply("checksmscode", standin::Reply::ok().heldBy(isClosed));

        // closed while the check is under way: the late acceptance is dropped
        MessageDialog closed;
        QSignalSpy spy(&closed, &MessageDialog::deleteorderfile);
        closed.show();
        closed.findChild<QLineEdit *>("lineEdit_code")->setText("2468");
        QTest::mouseClick(closed.findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        QVERIFY(waitFor([&] { return m_server.requestCount("checksmscode") == 1; }));
        closed.close();
        isClosed.open();
        QTest::qWait(500);
        QCOMPARE(spy.count(), 0);
        QVERIFY(MsgBox::shown().isEmpty());

        // deleted while both requests are under way: no crash when the replies come
        standin::Gate isDeleted;
        m_server.setReply("checksmscode", standin::Reply::ok().heldBy(isDeleted));
        m_server.setReply("sendsmscode", standin::Reply::ok().heldBy(isDeleted));
        QPointer<MessageDialog> gone = new MessageDialog;
        gone->setAttribute(Qt::WA_DeleteOnClose);
        gone->show();
        gone->findChild<QLineEdit *>("lineEdit_code")->setText("2468");
        QTest::mouseClick(gone->findChild<QPushButton *>("pushButton_getCode"), Qt::LeftButton);
        QTest::mouseClick(gone->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        gone->close();
        QVERIFY(waitFor([&] { return deletedLater(gone.data()); }));
        isDeleted.open();
        QTest::qWait(500);
        QVERIFY(MsgBox::shown().isEmpty());
    }
};

TESSALY_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
