#include "studiofixture.h"

#include "globals.h"
#include "msgbox.h"

namespace testsupport {

StudioFixture::StudioFixture() = default;

StudioFixture::~StudioFixture() = default;

bool StudioFixture::startServer(const QString &superId)
{
    if (!m_server.start())
        return false;
    initEndpoints(m_server.baseUrl());
    g_SHOPID = QStringLiteral("11");
    g_SUPERID = superId;
    g_UID = QStringLiteral("1001");
    g_EID = QStringLiteral("77");
    return true;
}

bool StudioFixture::newStudio(bool writeTree, QString *error)
{
    m_studio.reset();
    m_roots.reset(new TempRoots);
    if (!m_roots->isValid()) {
        if (error)
            *error = QStringLiteral("no temporary folder");
        return false;
    }
    m_studio.reset(new standin::SampleStudio(m_roots->path(QStringLiteral("studio"))));
    return !writeTree || m_studio->writeTree(error);
}

void StudioFixture::clearServer()
{
    m_server.clearReplies();
    m_server.clearRequests();
    MsgBox::clearShown();
}

void StudioFixture::serveStudio()
{
    m_studio->installReplies(m_server);
}

bool StudioFixture::startStudioServer()
{
    if (!newStudio())
        return false;
    serveStudio();
    return startServer();
}

bool StudioFixture::newServedStudio()
{
    if (!newStudio(true))
        return false;
    clearServer();
    serveStudio();
    return true;
}

} // namespace testsupport
