#pragma once
// The sample studio in a temporary folder of its own and a stand-in web service that the program's
// endpoints point at, with the logged-in shop's ids set: the common ground of the tests that drive
// windows talking to the web service. Test classes inherit it beside QObject.

#include "samplestudio.h"
#include "standin.h"
#include "testsupport.h"

#include <QPushButton>
#include <QString>

#include <memory>

namespace testsupport {

// Clicks an order search window's "检索" and waits until a request of the action went out and its reply
// has been handled.
inline bool searchAndWait(QWidget *w, standin::Server &server, const QString &action = QStringLiteral("order_list"))
{
    auto *button = child<QPushButton>(w, "searchButton");
    const int before = server.requestCount(action);
    button->click();
    return waitFor([&] {
        return server.requestCount(action) > before && button->isEnabled() && button->text() == QStringLiteral("检索");
    });
}

class StudioFixture
{
protected:
    StudioFixture();
    ~StudioFixture();

    // Starts the stand-in, points the endpoints at it and sets the ids the web requests carry:
    // shop "11", the given super id, user "1001", employee "77".
    bool startServer(const QString &superId = QStringLiteral("5"));
    // A new studio in a new temporary folder, the previous folder removed; the studio's storage
    // folders are written on request.
    bool newStudio(bool writeTree = false, QString *error = nullptr);
    // Before a test: no scripted replies, recorded requests or shown boxes left from the test before.
    void clearServer();
    // The studio's replies on the stand-in again, after a test replaced some.
    void serveStudio();
    // All three for a test case: a new studio (folders not written) answering on a started stand-in.
    bool startStudioServer();
    // A new studio with its folders written, answering on the stand-in with no scripted replies or
    // recorded requests left from an earlier test.
    bool newServedStudio();

    standin::Server m_server;
    std::unique_ptr<TempRoots> m_roots;
    std::unique_ptr<standin::SampleStudio> m_studio;
};

} // namespace testsupport
