#pragma once
// One deletion of order folders, as the batch deletion window and the separation window's delete mode
// start it from their ticked rows.
//
// From the rows it picks the folders to delete: an order path whose form the deletion guard allows
// (FileOperation::isSafeToDelete) and that names an existing folder; two rows naming one folder give one
// folder. Each picked folder is deleted by an ImportOrderThread of its own, at most kMaxThreads at a
// time, behind the whole guard (which refuses, say, a month level holding other orders); every deleted
// folder is logged to the web service ("order_photo_del"). The batch ends once, when every thread has
// ended and every log post has its answer, with one box: "订单照片删除成功" when every ticked row's
// folder went and was logged, otherwise the rows skipped (no folder), the rows whose folders were
// refused or not deleted, and the folders deleted whose log the web service did not take (apart from those
// whose log went out with no answer: it may have taken them). A log entry is never posted again.
//
// The batch works for the shop of the window that started it: the storage roots every check compares
// with and the ids of every log entry come from that window's copy of the shop's settings, so neither a
// shop switch during the batch nor one before it reaches it.
//
// The batch belongs to no window and deletes itself once it has ended and its log replies are in, so a
// window closed meanwhile takes nothing with it and the folders deleted afterwards are still logged.
// The picking runs on a thread of its own: it looks at each folder, which may lie on a slow share.

#include "importorderthread.h"
#include "orderrecords.h"
#include "shopsettings.h"

#include <QList>
#include <QPair>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

class OrderDeleteBatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxThreads = 4;

    // rows: the ticked rows, in table order; shop: the settings of the shop the window deletes for.
    OrderDeleteBatch(const QList<OrderRowInfo> &rows, const ShopSettings &shop);
    ~OrderDeleteBatch() override;

    // Picks the folders and starts deleting them; only the first call does anything. GUI thread only.
    void start();

    // The most deletion threads that ran at the same time.
    int peakRunning() const { return m_peakRunning; }

signals:
    // The folders are picked: total threads will run. Not sent when there is nothing to delete.
    void counted(int total);
    // done of the total threads have ended.
    void progressed(int done);
    // The batch is over and its closing box has been shown.
    void ended();

private:
    struct Pick {
        OrderRowInfo row;
        bool deleted = false;
        QString refused;    // why the guard refused the folder, in the box's words ("" while not refused)
        QString logProblem; // why the deletion log did not reach the web service ("" when it did)
        bool logMaybeTaken = false; // it went out whole and no answer came: the service may have it
    };
    struct Selection {
        QList<Pick> picks;
        QList<Pick> refused;                         // the guard refused the path
        QList<QPair<OrderRowInfo, QString>> skipped; // rows with no folder to delete, and why
    };
    static Selection select(const QList<OrderRowInfo> &rows, const QStringList &roots);

    void picked(const Selection &selection);
    void startNext();
    void threadEnded();
    void finish();
    // The closing box, once every thread has ended and every log post has its answer.
    void finishWhenLogged();
    // One deleted folder (the index-th pick): the log entry goes out.
    void updatedata(int index, const QString &mOrderid, const QString &deleteDir);
    void submitDeleteMessage(int index, const QString &orderId, const QString &dir);
    void submitDeleteMessageCallBack(QNetworkReply *reply);
    void inform(const QString &title, const QString &text);
    // Deletes the batch once it has ended, no log reply is out and no box of it is open.
    void releaseWhenDone();

    QList<OrderRowInfo> m_rows;
    ShopSettings m_shop;
    ImportOrderThread::RunSettings m_settings; // the shop's roots, handed to every deletion thread
    QList<Pick> m_picks;
    QList<Pick> m_refused;
    QList<QPair<OrderRowInfo, QString>> m_skipped;
    QNetworkAccessManager *m_manager = nullptr;
    bool m_started = false;
    bool m_threadsDone = false;
    bool m_ended = false;
    int m_next = 0;    // the next pick to hand to a thread
    int m_running = 0;
    int m_peakRunning = 0;
    int m_done = 0;    // threads ended
    int m_logsOut = 0; // log posts without a reply yet
    int m_boxesOpen = 0;
};
