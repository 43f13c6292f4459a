#include "singleorderopeners.h"

#include "cr2downloadwindow.h"
#include "importordermodel.h"
#include "importphototoserver.h"
#include "msgbox.h"
#include "orderfolders.h"
#include "searchorderwindow.h"
#include "shottime.h"

#include <QDate>
#include <QDir>
#include <QEvent>
#include <QPointer>

#include <functional>

namespace SingleOrder {

namespace {

// The date part of a shot date the web service may send with a time ("2024-05-06 10:00:00").
QString shotDay(const QString &text)
{
    const QString day = text.trimmed().left(10);
    return QDate::fromString(day, QStringLiteral("yyyy-MM-dd")).isValid() ? day : text.trimmed();
}

// Shows the picker again as soon as the window it opened hides (a window closing while no other is shown
// ends the program), or goes while still shown. A window the clerk closed earlier brings nothing back when
// it goes: an import window closed during its run goes only after the run, when the clerk may be working
// in another window the picker opened meanwhile.
class ShowOnHide : public QObject
{
public:
    ShowOnHide(QWidget *opened, SearchOrderWindow *picker)
        : QObject(opened), m_picker(picker), m_shown(opened->isVisible())
    {
        opened->installEventFilter(this);
    }
    ~ShowOnHide() override
    {
        if (m_shown)
            showPicker();
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->spontaneous())
            return false;
        if (event->type() == QEvent::Show) {
            m_shown = true;
        } else if (event->type() == QEvent::Hide && m_shown) {
            m_shown = false;
            showPicker();
        }
        return false;
    }

private:
    void showPicker()
    {
        if (m_picker)
            m_picker->show();
    }

    QPointer<SearchOrderWindow> m_picker;
    bool m_shown;
};

// A picker whose handed-over order goes to open(); the records handed over are the receiver's.
SearchOrderWindow *picker(const ShopSettings &shop,
                          const std::function<QWidget *(const ImportOrderModel &, SearchOrderWindow *)> &open)
{
    auto *window = new SearchOrderWindow(nullptr, shop);
    QObject::connect(window, &SearchOrderWindow::addSelectOrderSigl, window, [window, open](QList<ImportOrderModel *> list) {
        const QList<ImportOrderModel *> records = list;
        auto release = [records] { qDeleteAll(records); };
        if (records.size() != 1) {
            release();
            MsgBox::information(window, QStringLiteral("提示"), QStringLiteral("请只选择一个订单"), QMessageBox::Ok);
            return;
        }
        QWidget *opened = open(*records.first(), window);
        release();
        if (!opened)
            return;
        new ShowOnHide(opened, window);
        window->hide();
    });
    return window;
}

} // namespace

SingleImportOrder importOrderOf(const ImportOrderModel &order)
{
    SingleImportOrder values;
    values.orderPhotoId = order.orderPhotoId();
    values.orderPayForKey = order.orderPayForKey();
    values.serviceTimes = order.serviceTimes();
    values.shotDate = shotDay(order.shotDate());
    values.customerName = order.customerNames();
    values.role1 = order.role1();
    values.role2 = order.role2();
    return values;
}

ImportPhotoToServer *openImportWindow(const ImportOrderModel &order, const ShopSettings &shop, SearchOrderWindow *picker)
{
    auto *window = new ImportPhotoToServer(importOrderOf(order), nullptr, shop);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (picker) {
        const QPointer<SearchOrderWindow> guard(picker);
        QObject::connect(window, &ImportPhotoToServer::showSearch, picker, [guard] {
            if (guard)
                guard->show();
        });
        QObject::connect(window, &ImportPhotoToServer::refreshSearchTable, picker, [guard] {
            if (guard)
                guard->clickSearch();
        });
    }
    window->show();
    return window;
}

CR2DownLoadWindow *openRawDownload(const ImportOrderModel &order, const ShopSettings &shop, QWidget *dialogParent)
{
    const QString folder = order.orderPath().trimmed();
    if (folder.isEmpty()) {
        MsgBox::information(dialogParent, QStringLiteral("警告"),
                            QStringLiteral("订单%1还没有订单目录，无法下载原图").arg(order.orderKey()), QMessageBox::Yes);
        return nullptr;
    }
    // The raws are moved out of "照片/" below it: never below a relative path, a root or a storage root.
    const QString problem = OrderFolders::folderProblem(folder, QStringLiteral("订单路径"), shop.storageRoots());
    if (!problem.isEmpty()) {
        MsgBox::information(dialogParent, QStringLiteral("警告"), problem, QMessageBox::Yes);
        return nullptr;
    }
    const QString target = FileDialogs::getExistingDirectory(dialogParent, QStringLiteral("选择本地目录"));
    if (target.isEmpty())
        return nullptr;
    const QString orderFolder = OrderFolders::withSeparator(folder);
    auto *window = new CR2DownLoadWindow(nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->startDownload(orderFolder + ShotTimeList::fileName(), orderFolder + QStringLiteral("照片/"), target);
    return window;
}

SearchOrderWindow *openImportPicker(const ShopSettings &shop)
{
    return picker(shop, [](const ImportOrderModel &order, SearchOrderWindow *window) -> QWidget * {
        return openImportWindow(order, window->shop(), window);
    });
}

SearchOrderWindow *openRawDownloadPicker(const ShopSettings &shop)
{
    return picker(shop, [](const ImportOrderModel &order, SearchOrderWindow *window) -> QWidget * {
        return openRawDownload(order, window->shop(), window);
    });
}

} // namespace SingleOrder
