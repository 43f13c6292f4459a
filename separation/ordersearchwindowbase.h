#pragma once
// What the order search windows share (separation, batch deletion, after-sample separation, Dovra export):
// the order table's column sets and widths, the search types and the order-list body, and the window base
// that searches orders, lists them in a checkable table, ticks rows and opens an order's folder.
//
// A window derives from OrderSearchWindowBase, builds its designer form on itself and then calls
// setUpOrderWindow(). The base takes the form's widgets by their object names, which every order search
// form shares:
//   always      tableView, searchButton, cancelButton, pushButton_separate, pushButton_selectAll,
//               pushButton_selectOpposite, groupBox, progressBar, label, label_finishOrdersNum
//   when there  comboBox (search type), orderNumber (keyword), calendar (date), cb_shops (stores,
//               a MultiSelectComboBox), selectPathButton and pathLineEdit (save folder)
// A form without comboBox gives its own search by overriding searchRequest().

#include "orderrecords.h"
#include "shopsettings.h"
#include "webapi.h"
#include "windowguard.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class MultiSelectComboBox;
class OrderDeleteBatch;
class QAction;
class QCalendarWidget;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QRunnable;
class QStandardItem;
class QStandardItemModel;
class QTableView;

// ---- order table columns ----

struct OrderColumn {
    QString header;
    QString OrderRowInfo::*field = nullptr; // nullptr: the tick column (the record's `checked`)
    bool centred = true;                    // text alignment AlignCenter; otherwise the view's default
};

// The 15 columns of the separation, after-sample and export windows: the tick, "预约单号" ... "上件日期"
// (the go-to-digital date), then "订单路径", the one column not centred.
const QList<OrderColumn> &separationColumns();
// The batch deletion's 14 columns: the same without "上件日期".
const QList<OrderColumn> &batchDeleteColumns();

// The column widths for a table tableWidth pixels wide, for the 15- or the 14-column set (the 14 leave
// out the width of "上件日期"). From 1000 px on, the wide layout; below, the narrow one. The widths add up
// to more than the table's width, so the table scrolls sideways.
QList<int> orderColumnWidths(int tableWidth, int columnCount);

// ---- search types ----

struct OrderSearchType {
    QString label;       // the text of the search-type box
    int searchType = 0;  // sent as "searchtype"
    QString emptyPrompt; // keyword types: the prompt when the keyword is empty; "" for date types
    QStringList fields;  // the body's fields after "token", in order; "storesids" always follows

    bool byKeyword() const { return !emptyPrompt.isEmpty(); }
};

// All thirteen types, searchtype 1 to 13; 11 and 12 are offered by no list.
const QList<OrderSearchType> &orderSearchTypes();
// The type with this label (exact, case-sensitive), or nullptr.
const OrderSearchType *findOrderSearchType(const QString &label);
// The ten labels of a separation window, "转数码日期" first.
QStringList normalSearchLabels();
// The eight labels of the separation window's delete mode, "预约单号" first.
QStringList deleteSearchLabels();

// The "order_list" body of a search for the shop: "token", then the type's fields in its order (keyword:
// the value given; eid and personid: the shop's employee id; shopid, superid, uid: the shop's ids), then
// "storesids". Values are percent-encoded.
QByteArray orderSearchBody(const OrderSearchType &type, const QString &keyword, const QString &storesIds,
                           const ShopSettings &shop);

// The table's style sheet while the selected row is ticked, and while it is not.
extern const QString kTickedRowStyle;
extern const QString kUntickedRowStyle;

// ---- the window base ----

struct OrderWindowSetup {
    OrderRowSource rowSource = OrderRowSource::OrderSearch; // how the reply's orders are read
    QList<OrderColumn> columns = separationColumns();
    QStringList searchTypes = normalSearchLabels();         // put into comboBox when the form has one
};

class OrderSearchWindowBase : public QDialog
{
    Q_OBJECT
public:
    ~OrderSearchWindowBase() override;

    // The rows of the last search that listed orders; row i of the table shows element i.
    QList<OrderRowInfo> orderList() const { return m_orderList; }
    // True when at least one row is ticked.
    bool hasCheckedOrder() const;
    // True from the end of construction until the window closes. Any thread.
    bool isWindowShow() const { return m_guard->isWindowShow(); }
    // What the window's pool jobs hold instead of the window: the open flag, the way to report back,
    // the window's queued jobs and the failures of its run. It outlives the window.
    std::shared_ptr<WindowGuard> guard() const { return m_guard; }
    // True while a run of this window is under way (see beginRun).
    bool runActive() const { return m_runActive; }
    // The labels in the search-type box.
    QStringList searchTypes() const { return m_searchTypes; }
    // The shop the window was opened for. Every request, folder, switch and store of the window and of
    // its runs comes from this copy; a later shop switch does not change it.
    const ShopSettings &shop() const { return m_shop; }

protected slots:
    void clickCancel();
    void clickSearch();
    void queryCallBack(QNetworkReply *reply);
    void on_tableView_doubleClicked(const QModelIndex &index);
    void openOrderDir();
    void showMouseRightButton(const QPoint &pos);
    void showWidget();
    void on_tableView_clicked(const QModelIndex &index);
    void on_pushButton_separate_clicked();
    void on_pushButton_selectAll_clicked();
    void on_pushButton_selectOpposite_clicked();

protected:
    // A window works for the shop its opener gives, whatever a later switch of the program-wide values says.
    explicit OrderSearchWindowBase(QWidget *parent, const ShopSettings &shop);

    // The common construction, right after the subclass's setupUi(this): window flags and focus, the search
    // types, the table's model, headers and settings, the buttons, the context menu, the progress widgets
    // hidden, every store of the chosen shop in the store box and ticked, the last save folder.
    void setUpOrderWindow(const OrderWindowSetup &setup);

    struct SearchRequest {
        QString url;
        QByteArray body;
    };
    // The search a click on "检索" posts. The default: the type chosen in comboBox, with the keyword of
    // orderNumber (as typed) or the date of calendar, and the ticked stores, to "order_list". False when
    // nothing is to be posted; the user has been told why.
    virtual bool searchRequest(SearchRequest *request);
    // The action button pushButton_separate. The default does nothing.
    virtual void startClicked() {}

    // The title names the tool the window was opened for ("检索订单 - 样后分件管理"): several tools open
    // the same search window.
    void showToolName(const QString &name);
    // The information box of these windows: no parent, the one button Yes.
    static void inform(const QString &title, const QString &text);
    // Keeps the save folder for the next window (the hidden list file the windows read it from).
    static void storeSavePath(const QString &path);
    // Replaces the labels of the search-type box; the first becomes current.
    void setSearchTypes(const QStringList &labels);
    // The folder chooser of "选择路径"; a chosen folder replaces the text of pathLineEdit.
    void chooseSavePath();
    // The ids of the ticked stores joined by ",". Row i of the store box is the i-th store of shop().
    QString checkedStoreIds() const;
    // ---- runs and pool jobs ----
    // Starts a run: takes the program's separation run token and disables the search, so the rows stay
    // as they are. When this or another window runs already, says "正在分件，请稍后" and returns false;
    // while a search of this window is out, says so and returns false.
    bool beginRun();
    // Ends the run (also an early end): gives the token back and enables the search; a box still asking
    // about the run (closing the window during it) is closed unanswered. Idempotent.
    void endRun();
    // Queues a job (SeparateThread, ThumbnailThread, ...) on the global pool as one of this window's.
    void startJob(QRunnable *job, int priority = 0);
    // Drops this window's queued jobs (no other window's); the pool itself is as the program set it up.
    void resetJobPool();

    // Rebuilds the table from orderList.
    void fillOrderTable();
    // Ticks or unticks row r: the record's flag and a new tick item in column 0.
    void setRowChecked(int row, bool checked);

    // Posts a form body through the window's one network manager and writes "<what> Url:" with the URL
    // and "<what> Paras:" with the body (secrets masked) to the debug log. handler gets the finished reply
    // on the GUI thread; the reply is released after it. A reply still out when the window goes is dropped.
    template <typename Window>
    QNetworkReply *postRequest(const char *what, const QString &url, const QByteArray &body,
                               void (Window::*handler)(QNetworkReply *))
    {
        QNetworkReply *reply = postForm(m_manager, url, body, static_cast<Window *>(this), handler);
        logRequest(what, url, body);
        return reply;
    }

    // Deletes the folders of the ticked rows (OrderDeleteBatch) with the progress widgets showing and
    // the action button disabled until the batch ends. nullptr when a deletion is under way already.
    OrderDeleteBatch *startDeleteBatch();
    bool isDeleting() const { return !m_deleteBatch.isNull(); }

    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Escape closes the window as its close button does.
    void reject() override;
    // Return in a calendar's year field confirms the year and goes no further (not to "检索").
    bool eventFilter(QObject *watched, QEvent *event) override;

    QList<OrderRowInfo> m_orderList;
    QStandardItemModel *m_orderModel = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    const ShopSettings m_shop;

    // The form's widgets, by object name (nullptr when the form has none of that name).
    QTableView *m_tableView = nullptr;
    QPushButton *m_searchButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_startButton = nullptr;
    QComboBox *m_searchTypeBox = nullptr;
    QLineEdit *m_keywordEdit = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    MultiSelectComboBox *m_storeBox = nullptr;
    QPushButton *m_pathButton = nullptr;
    QLineEdit *m_pathEdit = nullptr;
    QGroupBox *m_progressGroup = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_finishedLabel = nullptr;

private:
    // Disabling the focused search button hands the focus on to "取消", where Return or a blank would
    // close the window: the focus comes back when the button is enabled again.
    void setSearchEnabled(bool enabled);
    static void logRequest(const char *what, const QString &url, const QByteArray &body);
    static QStandardItem *tickItem(bool checked);
    void loadSeparatePath();

    OrderRowSource m_rowSource = OrderRowSource::OrderSearch;
    QList<OrderColumn> m_columns;
    QStringList m_searchTypes;
    QAction *m_openDirAction = nullptr;
    QMenu *m_tableMenu = nullptr;
    std::shared_ptr<WindowGuard> m_guard;
    QPointer<OrderDeleteBatch> m_deleteBatch; // until the batch has ended
    bool m_runActive = false;
    bool m_searching = false;
    bool m_searchHadFocus = false; // the search button had the keyboard focus when it was disabled
};
