#pragma once
// What the batch import dialog keeps about its import run: the orders still to import, the running
// order's thread, the dialog's own pool for the copy jobs of the Dovra system, and what went wrong.
//
// The pool is the dialog's own on purpose: other tools clear the application-wide pool, which would
// drop copy jobs and leave an order waiting forever for their reports.
//
// Destroying the state stops the run: the stop state is set, jobs not yet started are dropped, and the
// running thread and jobs are waited for. The dialog declares it as its last member, so this happens
// before the dialog's records and widgets go, and no thread or job ever touches a destroyed window.

#include "importstate.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

class ImportOrderModel;
class ImportOrderThread;

class ImportRunState
{
public:
    ImportRunState();
    ~ImportRunState();
    ImportRunState(const ImportRunState &) = delete;
    ImportRunState &operator=(const ImportRunState &) = delete;

    // Sets the stop state and drops the copy jobs not yet started; the thread and the running jobs end on
    // their own (the thread before its next file).
    void requestStop();
    // requestStop(), then waits for the thread and running jobs.
    void stopAndWait();
    // True while the order's thread runs or copy jobs are queued or running.
    bool workersBusy() const;

    QThreadPool pool;                          // copy jobs of the Dovra system
    QPointer<ImportOrderThread> thread;        // the running order's thread (deletes itself)
    bool active = false;                       // a run is going on
    QList<QPointer<ImportOrderModel>> queue;   // the orders of the run, in list order
    int next = 0;                              // index in queue of the next order to start
    int failedOrders = 0;                      // orders of the run that stay pending after a failure
    QStringList problems;                      // what went wrong, for the end of the run
    int number = 0;                            // counts the runs of the window; the reports carry it
    QStringList unreadable;                    // photos of the run that could not be read, per order
    QStringList importedBefore;                // photos of the run the orders held already, per order
    QStringList claimNotes;                    // orders imported without their claim, and why, per order
    int reportsOut = 0;                        // reports of the run to the web service not answered yet
    QMap<QString, QString> unreported;         // order key -> why its report did not reach the web service
    // Order key -> why: a report of its counts (or, for the second, of its Dovra path) went out whole and no
    // answer came (sentWithoutAnswer), so the web service may have taken it.
    QMap<QString, QString> countsMaybeTaken;
    QMap<QString, QString> pathMaybeTaken;
    QSet<QString> countedMaybeTaken;           // orders of countsMaybeTaken whose report counted files
    // Order key -> why: its start report went out whole and no answer came, so the web service may take it
    // after the end report.
    QMap<QString, QString> startUnanswered;
    QMap<QString, QString> unrecorded;         // order key -> why its counts could not be kept in its folder
    QMap<QString, QStringList> untaken;        // order key -> records of reports the service took that stay
    QMap<QString, QStringList> damaged;        // order key -> records in its folder with counts no import makes
    QMap<QString, QStringList> held;           // order key -> records whose claim was refused: they wait
    QMap<QString, int> heldError;              // order key -> why the file system refused it (errno)
    QMap<QString, QString> waiting;            // order key -> counts another program's report carries now
    bool ending = false;                       // the last order has ended: the end box waits for the reports
    ImportStopHandle stop;                     // the run's go/stop state, shared with its order threads
    QString yptbcp;                            // the shop's switch as it stood when the run started

    // The Dovra copy of the running order.
    int dovraRow = -1;
    QString dovraToDir;
    QStringList dovraFailures;
    QStringList dovraKept;                     // targets that held a different file, kept (whole run)
};
