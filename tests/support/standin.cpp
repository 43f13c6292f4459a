#include "standin.h"

#include <QHash>
#include <QJsonDocument>
#include <QUrl>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace standin {

namespace {

QList<QPair<QString, QString>> decodeFields(const QByteArray &raw)
{
    QList<QPair<QString, QString>> out;
    const QList<QByteArray> pieces = raw.split('&');
    for (const QByteArray &piece : pieces) {
        if (piece.isEmpty())
            continue;
        const int eq = piece.indexOf('=');
        QByteArray key = eq < 0 ? piece : piece.left(eq);
        QByteArray value = eq < 0 ? QByteArray() : piece.mid(eq + 1);
        key.replace('+', ' ');
        value.replace('+', ' ');
        out.append({QUrl::fromPercentEncoding(key), QUrl::fromPercentEncoding(value)});
    }
    return out;
}

QString firstValue(const QList<QPair<QString, QString>> &fields, const QString &name)
{
    for (const auto &f : fields) {
        if (f.first == name)
            return f.second;
    }
    return QString();
}

#ifdef Q_OS_WIN
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif

bool isServerSideOf(NativeSocket s, int serverPort, int peerPort)
{
    sockaddr_storage local {}, peer {};
    socklen_t len = sizeof(local);
    if (getsockname(s, reinterpret_cast<sockaddr *>(&local), &len) != 0 || local.ss_family != AF_INET)
        return false;
    len = sizeof(peer);
    if (getpeername(s, reinterpret_cast<sockaddr *>(&peer), &len) != 0 || peer.ss_family != AF_INET)
        return false;
    const auto *l = reinterpret_cast<const sockaddr_in *>(&local);
    const auto *p = reinterpret_cast<const sockaddr_in *>(&peer);
    return ntohs(l->sin_port) == serverPort && ntohs(p->sin_port) == peerPort;
}

// Drops the server side of the connection that carries the request from peerPort, so the client
// sees the connection end without any status line. httplib keeps owning (and later closes) the
// socket; only its traffic is shut down here.
bool dropConnection(int serverPort, int peerPort)
{
#ifdef Q_OS_WIN
    for (quintptr h = 4; h < 0x40000; h += 4) {
        const SOCKET s = static_cast<SOCKET>(h);
        if (isServerSideOf(s, serverPort, peerPort)) {
            shutdown(s, SD_BOTH);
            return true;
        }
    }
    return false;
#else
    DIR *dir = opendir("/proc/self/fd");
    if (dir) {
        bool found = false;
        while (dirent *e = readdir(dir)) {
            bool ok = false;
            const int fd = QByteArray(e->d_name).toInt(&ok);
            if (ok && fd != dirfd(dir) && isServerSideOf(fd, serverPort, peerPort)) {
                shutdown(fd, SHUT_RDWR);
                found = true;
                break;
            }
        }
        closedir(dir);
        return found;
    }
    for (int fd = 0; fd < 4096; ++fd) {
        if (isServerSideOf(fd, serverPort, peerPort)) {
            shutdown(fd, SHUT_RDWR);
            return true;
        }
    }
    return false;
#endif
}

} // namespace

QString Request::field(const QString &name) const
{
    return firstValue(fields, name);
}

QStringList Request::fieldNames() const
{
    QStringList names;
    for (const auto &f : fields)
        names.append(f.first);
    return names;
}

Reply Reply::json(const QJsonObject &obj)
{
    Reply r;
    r.body = QJsonDocument(obj).toJson(QJsonDocument::Compact);
    return r;
}

Reply Reply::ok(QJsonObject obj)
{
    obj.insert(QStringLiteral("code"), QStringLiteral("1"));
    return json(obj);
}

Reply Reply::refused(const QString &message, const QString &code)
{
    return json(QJsonObject {{QStringLiteral("code"), code}, {QStringLiteral("message"), message}});
}

Reply Reply::numericCode(int code, const QString &message)
{
    QJsonObject obj {{QStringLiteral("code"), code}};
    if (!message.isEmpty())
        obj.insert(QStringLiteral("message"), message);
    return json(obj);
}

Reply Reply::notJson(const QByteArray &body)
{
    return raw(200, body, "text/html; charset=utf-8");
}

Reply Reply::httpError(int status)
{
    return raw(status, "<html><body>server error</body></html>", "text/html; charset=utf-8");
}

Reply Reply::closed()
{
    Reply r;
    r.closeConnection = true;
    r.body.clear();
    return r;
}

Reply Reply::raw(int status, const QByteArray &body, const QByteArray &contentType)
{
    Reply r;
    r.status = status;
    r.body = body;
    r.contentType = contentType;
    return r;
}

Reply &Reply::withDelay(int ms)
{
    delayMs = ms;
    return *this;
}

Reply &Reply::asChunked()
{
    chunked = true;
    return *this;
}

Reply &Reply::heldBy(const Gate &g)
{
    gate = std::make_shared<Gate>(g);
    return *this;
}

struct Server::Impl {
    std::unique_ptr<httplib::Server> http;
    std::thread thread;
    mutable std::mutex mutex;
    std::condition_variable wake; // ends the delays of pending replies when stopping
    bool stopping = false;
    int port = 0;
    QHash<QString, Reply> standing;
    QHash<QString, Handler> handlers;
    QHash<QString, QList<Reply>> queued;
    QList<Request> log;
    bool keepAlive = false;

    Request record(const httplib::Request &req)
    {
        Request r;
        r.method = QString::fromStdString(req.method);
        r.path = QString::fromStdString(req.path);
        const QByteArray target = QByteArray::fromStdString(req.target);
        const int q = target.indexOf('?');
        const QByteArray rawQuery = q < 0 ? QByteArray() : target.mid(q + 1);
        r.query = QString::fromUtf8(rawQuery);
        r.queryFields = decodeFields(rawQuery);
        r.group = firstValue(r.queryFields, QStringLiteral("g"));
        r.module = firstValue(r.queryFields, QStringLiteral("m"));
        r.action = firstValue(r.queryFields, QStringLiteral("a"));
        r.body = QByteArray::fromStdString(req.body);
        r.fields = decodeFields(r.body);
        r.peerPort = req.remote_port;
        return r;
    }

    Reply choose(const Request &r)
    {
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.append(r);
            auto q = queued.find(r.action);
            if (q != queued.end() && !q->isEmpty())
                return q->takeFirst();
            auto s = standing.constFind(r.action);
            if (s != standing.constEnd())
                return *s;
            handler = handlers.value(r.action);
        }
        if (handler)
            return handler(r); // outside the lock: a handler may take its time
        Reply unknown = Reply::json(QJsonObject {{QStringLiteral("code"), QStringLiteral("0")},
                                                 {QStringLiteral("message"), QStringLiteral("unknown action")}});
        unknown.status = 404;
        return unknown;
    }

    // Waits, but returns at once when the server is stopping; true when the wait ran out.
    bool pause(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return !wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
    }

    // Waits until the gate is open (it is opened on the test's thread, without the server's lock, so it
    // is looked at every few milliseconds); false when the server stops first.
    bool passGate(const Gate &gate)
    {
        while (!gate.isOpen()) {
            if (!pause(5))
                return false;
        }
        return true;
    }

    void serve(const httplib::Request &req, httplib::Response &res)
    {
        const Request r = record(req);
        const Reply reply = choose(r);
        if ((reply.gate && !passGate(*reply.gate)) || (reply.delayMs > 0 && !pause(reply.delayMs))) {
            dropConnection(port, req.remote_port);
            return;
        }
        if (reply.closeConnection) {
            dropConnection(port, req.remote_port);
            res.status = 500;
            return;
        }
        res.status = reply.status;
        const std::string contentType = reply.contentType.toStdString();
        if (reply.chunked) {
            const std::string body = reply.body.toStdString();
            res.set_chunked_content_provider(contentType, [body](size_t offset, httplib::DataSink &sink) {
                // several small chunks, so the client really has to put the body together
                const size_t piece = std::max<size_t>(1, body.size() / 3 + 1);
                if (offset < body.size())
                    sink.write(body.data() + offset, std::min(piece, body.size() - offset));
                if (offset + piece >= body.size())
                    sink.done();
                return true;
            });
        } else {
            res.set_content(reply.body.toStdString(), contentType);
        }
    }
};

Server::Server() : d(new Impl) {}

Server::~Server()
{
    stop();
}

bool Server::start(int port)
{
    if (d->http && d->http->is_running())
        return true;
    stop();
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = false;
    }
    d->http.reset(new httplib::Server);
    httplib::Server &http = *d->http;
    // By default one request per connection: no idle keep-alive connection ties up a worker thread,
    // and a client never sends on a connection the server is about to close.
    if (d->keepAlive) {
        http.set_keep_alive_max_count(100);
        http.set_keep_alive_timeout(1);
    } else {
        http.set_keep_alive_max_count(1);
    }
    http.new_task_queue = [] { return new httplib::ThreadPool(32); };
    auto handler = [this](const httplib::Request &req, httplib::Response &res) { d->serve(req, res); };
    http.Get(".*", handler);
    http.Post(".*", handler);

    int bound = -1;
    if (port == 0)
        bound = http.bind_to_any_port("127.0.0.1");
    else if (http.bind_to_port("127.0.0.1", port))
        bound = port;
    if (bound <= 0) {
        d->http.reset();
        return false;
    }
    d->port = bound;
    d->thread = std::thread([&http] { http.listen_after_bind(); });
    // however long a busy machine takes to start the thread
    for (int i = 0; i < 12000 && !http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!http.is_running()) {
        stop();
        return false;
    }
    return true;
}

void Server::stop()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = true;
    }
    d->wake.notify_all();
    if (d->http)
        d->http->stop();
    if (d->thread.joinable())
        d->thread.join();
    d->http.reset();
}

void Server::setKeepAlive(bool on)
{
    d->keepAlive = on;
}

int Server::port() const
{
    return d->http ? d->port : 0;
}

QString Server::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void Server::setReply(const QString &action, const Reply &reply)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->handlers.remove(action);
    d->standing.insert(action, reply);
}

void Server::setHandler(const QString &action, Handler handler)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->standing.remove(action);
    d->handlers.insert(action, std::move(handler));
}

void Server::queueReply(const QString &action, const Reply &reply)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->queued[action].append(reply);
}

void Server::clearReplies()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->standing.clear();
    d->handlers.clear();
    d->queued.clear();
}

QList<Request> Server::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->log;
}

QList<Request> Server::requests(const QString &action) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    QList<Request> out;
    for (const Request &r : d->log) {
        if (r.action == action)
            out.append(r);
    }
    return out;
}

int Server::requestCount(const QString &action) const
{
    return requests(action).size();
}

Request Server::lastRequest(const QString &action) const
{
    const QList<Request> list = requests(action);
    return list.isEmpty() ? Request() : list.last();
}

void Server::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->log.clear();
}

} // namespace standin
