#pragma once
// The stand-in web service: answers the studios' web-API actions on 127.0.0.1 from scripted
// replies, records every request, and fails on demand. It runs on a thread of its own, so a
// slow or failing reply never blocks the Qt event loop of the program under test.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace standin {

struct Request {
    QString method;   // "GET" or "POST"
    QString path;     // e.g. "/index.php"
    QString query;    // the raw query string, as sent
    QString group;    // query field g
    QString module;   // query field m
    QString action;   // query field a
    QByteArray body;  // the raw body bytes
    QList<QPair<QString, QString>> fields; // form fields decoded, in the order they were sent
    QList<QPair<QString, QString>> queryFields; // query fields decoded, in order
    int peerPort = 0; // the client's port: requests with the same one came on one connection

    QString field(const QString &name) const;  // first value of a form field ("" when absent)
    QStringList fieldNames() const;            // form field names in order
};

// Lets the replies held by it go (Reply::heldBy) once the test opens it: a reply that must come after
// something the test does comes after it, however busy the machine is.
class Gate {
public:
    void open() { m_open->store(true); }
    bool isOpen() const { return m_open->load(); }

private:
    std::shared_ptr<std::atomic<bool>> m_open = std::make_shared<std::atomic<bool>>(false);
};

struct Reply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json; charset=utf-8";
    int delayMs = 0;              // wait this long before answering
    bool closeConnection = false; // drop the connection, once the request is read, without any reply
    bool chunked = false;         // send the body chunked, without Content-Length
    std::shared_ptr<Gate> gate;   // answer only once it is open (then after the delay)

    static Reply json(const QJsonObject &obj);
    static Reply ok(QJsonObject obj = {});                       // obj with "code":"1" added
    static Reply refused(const QString &message, const QString &code = QStringLiteral("0"));
    static Reply numericCode(int code, const QString &message = QString()); // "code" as a JSON number
    static Reply notJson(const QByteArray &body = "<html>not json</html>");
    static Reply httpError(int status = 500);
    static Reply closed();
    static Reply raw(int status, const QByteArray &body, const QByteArray &contentType);
    Reply &withDelay(int ms);
    Reply &asChunked();
    Reply &heldBy(const Gate &gate);
};

class Server {
public:
    Server();
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Starts listening on 127.0.0.1; port 0 picks a free port. False when it cannot listen.
    bool start(int port = 0);
    // From the next start on, a connection stays open after an answer for the client's next request
    // (for up to a second idle); by default every answer closes its connection.
    void setKeepAlive(bool on);
    void stop();
    int port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>"

    // Replies are keyed by the action name (query field a), e.g. "order_list", "check_update",
    // "getbarcodegen". A queued reply is used once, before the action's standing reply. Every request
    // that arrives is recorded and answered on its own, also one a client sends again by itself.
    // An action with neither gets HTTP 404 with {"code":"0","message":"unknown action"}.
    void setReply(const QString &action, const Reply &reply);
    void queueReply(const QString &action, const Reply &reply);
    void clearReplies();

    // A reply computed from the request (e.g. a login that checks the password). It runs on the
    // server's thread, so it must only read what it captured. Queued replies still come first;
    // setReply and setHandler replace each other for the same action.
    using Handler = std::function<Reply(const Request &)>;
    void setHandler(const QString &action, Handler handler);

    QList<Request> requests() const;
    QList<Request> requests(const QString &action) const;
    int requestCount(const QString &action) const;
    Request lastRequest(const QString &action) const;
    void clearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace standin
