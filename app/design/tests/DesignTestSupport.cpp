// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/tests/DesignTestSupport.h"

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMMouseActionManager.h"
#include "app/design/RVDMOprationManager.h"
#include "app/platform/Folders.h"
#include "app/service/RVHttpTransfer.h"
#include "app/shell/QvUtilityObj.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/model/QvModel.h"
#include "testing/DemoCase.h"
#include "tools/rivela-standin/Standin.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace designtest {
namespace {

struct World {
    QTemporaryDir root;
    QString caseDir;
    std::unique_ptr<standin::Server> server;
};
World* g_world = nullptr;

class DesignEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_world = new World;
        ASSERT_TRUE(g_world->root.isValid());
        const QString tmp = g_world->root.filePath("tmp");
        QDir().mkpath(tmp);
        // Extraction and unpack folders of this run only.
        qputenv("TMPDIR", QFile::encodeName(tmp));
        g_world->caseDir = g_world->root.filePath("case");

        {
            qvtest::DemoOptions options;
            options.dentition.facesPerTooth = kDemoFaces;
            options.steps = kDemoSteps;
            qvtest::DemoCase demo;
            std::string error;
            ASSERT_TRUE(qvtest::BuildDemoCase(demo, options));
            ASSERT_TRUE(qvtest::WriteDemoFiles(g_world->caseDir.toStdString(), demo, options, &error)) << error;
        }
        // The documents load the templates from the resources, as the application does.
        QvAttachGeoMgr::Clear(QvAttachGeoMgr::Instance());
        QvOBBTreeMgr::Instance()->Clear();

        QDir corrupt(g_world->caseDir + "/corrupt");
        for (const QString& name : corrupt.entryList(QDir::Files))
            QFile::copy(corrupt.filePath(name), g_world->caseDir + "/corrupt-" + name);

        const QString resources = g_world->root.filePath("resources");
        QDir().mkpath(resources);
        QFile::link(g_world->caseDir + "/Attachment", resources + "/Attachment.bundle");
        QFile::link(g_world->caseDir + "/BKT", resources + "/BKT.bundle");
        platform::SetResourceFolder(resources);

        g_world->server = std::make_unique<standin::Server>(g_world->caseDir.toStdString());
        ASSERT_GT(g_world->server->Start(), 0);
        QvUtilityObj::resetDomain(QString::fromStdString(g_world->server->Domain()));
        RVTimeouts().transferMs = 5000;
    }
    void TearDown() override
    {
        RVModelManager::shared().ResetForTests();
        RVDMOprationManager::shared().ResetForTests();
        RVDMMouseActionManager::shared().ResetForTests();
        RVDMDrawStatus::shared().ResetForTests();
        RVWaitForNetworkThreads();
        QThreadPool::globalInstance()->waitForDone();
        if (g_world && g_world->server)
            g_world->server->Stop();
        platform::SetResourceFolder({});
        delete g_world;
        g_world = nullptr;
    }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new DesignEnvironment);

} // namespace

QString CaseDir() { return g_world->caseDir; }
QString Domain() { return QString::fromStdString(g_world->server->Domain()); }
QString FileUrl(const QString& name) { return Domain() + "/files/" + name; }
std::vector<std::string> Requests() { return g_world->server->Log(); }

int CountRequests(const std::string& fragment)
{
    const std::vector<std::string> log = Requests();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    }));
}

void ResetStandin() { g_world->server->Reset(); }

void FailPath(const std::string& path, int status)
{
    standin::Fault fault;
    fault.status = status;
    fault.body = "not here";
    fault.replaceBody = true;
    fault.contentType = "text/plain";
    g_world->server->SetFault(path, fault);
}

void SetDelay(const std::string& path, int milliseconds)
{
    standin::Fault fault;
    fault.delayMs = milliseconds;
    g_world->server->SetFault(path, fault);
}

} // namespace designtest
