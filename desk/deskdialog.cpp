#include "deskdialog.h"

#include "calendarpicker.h"
#include "logging.h"
#include "msgbox.h"
#include "webapi.h"

#include <QAbstractItemView>
#include <QDebug>
#include <QKeyEvent>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>

DeskDialog::DeskDialog(QWidget *parent, const ShopSettings &shop)
    : QDialog(parent), manager(new QNetworkAccessManager(this)), m_shop(shop)
{
}

DeskDialog::~DeskDialog()
{
    // Replies still under way end with the manager; none of them may reach a window being destroyed.
    for (QNetworkReply *reply : manager->findChildren<QNetworkReply *>())
        reply->disconnect(this);
    if (m_picker)
        m_picker->close();
}

void DeskDialog::setDeskWidgets(const Widgets &widgets)
{
    m_widgets = widgets;
    // A desk opens ready for the scanner, whatever order its form creates its fields in.
    m_widgets.scan->setFocus();
}

void DeskDialog::warn(const QString &text)
{
    MsgBox::information(nullptr, QStringLiteral("警告"), text, QMessageBox::Ok);
}

void DeskDialog::notice(const QString &text)
{
    MsgBox::information(nullptr, QStringLiteral("提示"), text, QMessageBox::Ok);
}

void DeskDialog::setUpTable(QAbstractItemView *view)
{
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void DeskDialog::fillModel(QStandardItemModel *model, const QList<QStringList> &rows)
{
    model->removeRows(0, model->rowCount());
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c) {
            auto *item = new QStandardItem(rows.at(r).at(c));
            item->setTextAlignment(Qt::AlignCenter);
            model->setItem(r, c, item);
        }
}

void DeskDialog::logPost(const QString &url, const QByteArray &body)
{
    qCDebug(lcDesk) << "url==" << url;
    qCDebug(lcDesk) << "postData==" << maskSecrets(body);
}

bool DeskDialog::readSearchReply(QNetworkReply *reply, QJsonObject *obj)
{
    if (!readJsonReply(reply, obj)) {
        restoreSearchButtons();
        return false;
    }
    if (!replyOk(*obj)) {
        warn(QStringLiteral("错误代码：") + jsonString(*obj, QStringLiteral("code")));
        restoreSearchButtons();
        return false;
    }
    return true;
}

bool DeskDialog::readScanReply(QNetworkReply *reply, QJsonObject *obj)
{
    if (readJsonReply(reply, obj))
        return true;
    if (reply->error() == QNetworkReply::NoError)
        restoreTypeSearchButton();
    return false;
}

void DeskDialog::setSearching(QPushButton *button)
{
    button->setText(QStringLiteral("检索中..."));
    button->setEnabled(false);
}

void DeskDialog::restoreTypeSearchButton()
{
    m_widgets.typeButton->setText(QStringLiteral("检索"));
    m_widgets.typeButton->setEnabled(true);
}

void DeskDialog::restoreSearchButtons()
{
    restoreTypeSearchButton();
    m_widgets.numberButton->setText(QStringLiteral("检索"));
    m_widgets.numberButton->setEnabled(true);
}

void DeskDialog::setKeywordIsDate(bool isDate)
{
    m_widgets.keyword->clear();
    m_widgets.keyword->setReadOnly(isDate);
    if (isDate)
        showCalendar();
}

void DeskDialog::showCalendar()
{
    if (m_picker)
        m_picker->close();
    // A window of the desk's own, so that it stays above the desk, opened under the field it fills (kept
    // on the field's screen).
    m_picker = new CalendarPicker(this);
    m_picker->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_picker.data(), &CalendarPicker::urgentDate, this, &DeskDialog::on_newDate);
    QPoint at = m_widgets.keyword->mapToGlobal(QPoint(0, m_widgets.keyword->height()));
    if (const QScreen *screen = m_widgets.keyword->screen()) {
        const QRect room = screen->availableGeometry();
        if (at.y() + m_picker->height() > room.bottom()) // no room below: above the field
            at.setY(m_widgets.keyword->mapToGlobal(QPoint()).y() - m_picker->height());
        at.setX(qBound(room.left(), at.x(), qMax(room.left(), room.right() - m_picker->width())));
        at.setY(qBound(room.top(), at.y(), qMax(room.top(), room.bottom() - m_picker->height())));
    }
    m_picker->move(at);
    m_picker->show();
    m_picker->raise();
}

void DeskDialog::on_newDate(const QString &date)
{
    m_widgets.keyword->setText(date);
}

void DeskDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return)
        return;
    if (m_widgets.scan->hasFocus()) {
        const QString code = m_widgets.scan->text();
        if (code.isEmpty()) {
            warn(QStringLiteral("请输入订单号"));
            return;
        }
        m_widgets.scan->selectAll();
        scanned(code);
    } else if (m_widgets.number->hasFocus()) {
        searchByNumber();
    } else if (m_widgets.keyword->hasFocus()) {
        searchByType();
    }
}
