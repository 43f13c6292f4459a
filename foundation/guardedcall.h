#pragma once
// How pool jobs report to the object that started them without ever touching a destroyed one.
//
// A pointer checked on the pool thread can go stale before the call lands, so the job only posts the
// call to the application object; the receiver is looked at there, on the GUI thread where it is
// destroyed, and a receiver gone by then is simply not called. Calls posted by one job arrive in the
// order they were posted.

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>
#include <QMetaType>
#include <QPointer>
#include <QThreadPool>

#include <utility>

// A pool of one thread of its own, for file work that must run one job at a time in the order started and
// never wait behind the jobs of the global pool. Made once by its user and never destroyed: a job that hangs
// on a stalled share keeps the program from ending no longer than the share does.
inline QThreadPool *newOneThreadPool()
{
    auto *pool = new QThreadPool;
    pool->setMaxThreadCount(1);
    return pool;
}

// Runs call(receiver) on the GUI thread, later, if the receiver still lives then.
template <typename Call>
void callIfAlive(const QPointer<QObject> &receiver, Call call)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || receiver.isNull())
        return;
    QMetaObject::invokeMethod(
        app,
        [receiver, call = std::move(call)]() {
            if (QObject *r = receiver.data())
                call(r);
        },
        Qt::QueuedConnection);
}

// Calls the receiver's slot by name with the given values (types known to the meta-type system), later,
// on the GUI thread, if the receiver still lives then. A receiver without such a slot is logged.
template <typename... T>
void invokeIfAlive(const QPointer<QObject> &receiver, const char *slot, const T &...values)
{
    callIfAlive(receiver, [slot, values...](QObject *r) {
        if (!QMetaObject::invokeMethod(r, slot, Qt::DirectConnection,
                                       QArgument<T>(QMetaType::typeName(qMetaTypeId<T>()), values)...))
            qDebug() << "no slot" << slot << "on" << r;
    });
}
