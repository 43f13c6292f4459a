#pragma once
// What the dispatch and the receiving desk share: the window's one network access manager, their message
// boxes, the Return key of their three input fields (Escape never closes a desk), the search buttons while
// a search runs, the date picker that fills the keyword field for the date search types, and the shop the
// desk was opened for.

#include "shopsettings.h"
#include "webapi.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QStringList>

class CalendarPicker;
class QAbstractItemView;
class QLineEdit;
class QNetworkAccessManager;
class QPushButton;
class QStandardItemModel;

class DeskDialog : public QDialog
{
    Q_OBJECT
public:
    DeskDialog(QWidget *parent, const ShopSettings &shop);
    ~DeskDialog() override;

    // The shop the desk was opened for: every request carries its ids, whatever shop is switched to later.
    const ShopSettings &shop() const { return m_shop; }

protected:
    // The desk's widgets, handed over once its form is set up and its window flags are set (setting them
    // drops the focus); the scan field gets the first focus.
    struct Widgets {
        QLineEdit *scan = nullptr;    // the large scan field
        QLineEdit *number = nullptr;  // order number of the left search
        QLineEdit *keyword = nullptr; // keyword or date of the search by type
        QPushButton *numberButton = nullptr;
        QPushButton *typeButton = nullptr;
    };
    void setDeskWidgets(const Widgets &widgets);

    // Message boxes with no parent and one OK button: "警告" for errors and refusals, "提示" for notices.
    static void warn(const QString &text);
    static void notice(const QString &text);
    // Whole rows, one at a time, no editing.
    static void setUpTable(QAbstractItemView *view);
    // Rebuilds a model from rows of texts, every cell centred.
    static void fillModel(QStandardItemModel *model, const QList<QStringList> &rows);

    // POSTs a form body through the window's manager; once the reply has finished, the desk's handler gets
    // it and the reply is deleted afterwards. The returned reply may carry what the handler needs.
    template <typename Desk>
    QNetworkReply *post(const QString &url, const QByteArray &body, void (Desk::*handler)(QNetworkReply *))
    {
        logPost(url, body);
        return postForm(manager, url, body, static_cast<Desk *>(this), handler);
    }

    // A search reply: false, with the search buttons back, after a network error, a body that is not JSON
    // or a refusal (shown as "错误代码：" and the code).
    bool readSearchReply(QNetworkReply *reply, QJsonObject *obj);
    // The reply of a scan or of a registration: false after a network error (the search-by-type button
    // stays as it is then) or a body that is not JSON (the button comes back).
    bool readScanReply(QNetworkReply *reply, QJsonObject *obj);

    // Adds the record to the list unless a record of the same key is there already, which keeps its place.
    template <typename Record, typename Key>
    static void appendUnlisted(QList<Record> &list, const Record &record, Key Record::*key)
    {
        for (const Record &known : qAsConst(list))
            if (known.*key == record.*key)
                return;
        list.append(record);
    }

    void setSearching(QPushButton *button);
    void restoreTypeSearchButton();
    void restoreSearchButtons();

    // A date search type makes the keyword field read-only and opens the date picker; any change of the
    // search type empties the field.
    void setKeywordIsDate(bool isDate);
    void showCalendar();

    // Return in the scan field (non-empty: its text selected, so that the next scan replaces it), in the
    // order-number field or in the keyword field; every other key is dropped.
    void keyPressEvent(QKeyEvent *event) override;
    virtual void scanned(const QString &code) = 0;
    virtual void searchByNumber() = 0;
    virtual void searchByType() = 0;

    QNetworkAccessManager *manager;

protected slots:
    void on_newDate(const QString &date);

private:
    static void logPost(const QString &url, const QByteArray &body);

    Widgets m_widgets;
    QPointer<CalendarPicker> m_picker;
    const ShopSettings m_shop;
};
