// SPDX-License-Identifier: GPL-3.0-or-later
// What the design-window tests share: the demo case written once into a temporary
// folder and served by the stand-in in this process, the attachment and bracket
// libraries as resources, a delegate that records the manager's messages, opens run
// on a pool worker while the GUI thread keeps its events flowing, and descriptors of
// the stand-in's cases.
#pragma once

#include "testing/QtWait.h"

#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "app/platform/Dispatch.h"
#include "app/service/RVCaseInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace designtest {

// The demo case: crowns of this many faces, this many steps.
inline constexpr int kDemoFaces = 400;
inline constexpr int kDemoSteps = 10;

// Folder of the demo files (demo-model.zip, demo-1.RVS, demo.OS, demo-3.RVS, and the
// damaged variants copied beside them as "corrupt-NAME").
QString CaseDir();
// "http://127.0.0.1:PORT/rvmds".
QString Domain();
QString FileUrl(const QString& name);
// Requests the stand-in saw, one a line ("GET /rvmds/files/demo.OS ..."), and a reset.
std::vector<std::string> Requests();
int CountRequests(const std::string& fragment);
void ResetStandin();
// Makes the stand-in answer the path (under the business domain) with a status.
void FailPath(const std::string& path, int status);
// Makes the stand-in wait that long before it answers the path.
void SetDelay(const std::string& path, int milliseconds);

inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 120000)
{
    return qtwait::WaitFor(done, milliseconds);
}

// The manager's open, on a pool worker as the design window runs it.
inline unsigned OpenOnWorker(const QString& url, const std::shared_ptr<RVCaseInfo>& oldInfo,
                             const std::shared_ptr<RVCaseInfo>& newInfo)
{
    std::atomic<bool> done{false};
    unsigned result = 99;
    QThreadPool::globalInstance()->start([&] {
        result = RVModelManager::shared().openDocumentWithFileURL(url, oldInfo, newInfo);
        done = true;
    });
    WaitFor([&] { return done.load(); });
    return result;
}

// A case as the case list hands it over: kind, the stand-in's case id, the file to open.
inline std::shared_ptr<RVCaseInfo> Case(quint64 kind, qint64 caseId, const QString& file,
                                        const QString& planType = QString())
{
    auto info = std::make_shared<RVCaseInfo>();
    info->caseId = caseId;
    info->caseNo = QStringLiteral("RV2024-%1").arg(caseId);
    info->phaseNo = QStringLiteral("1");
    info->modelType = kind;
    info->openURL = FileUrl(file);
    info->schemeType = planType;
    info->parseSchemeInfo();
    return info;
}

// Every message the manager sends, as text, and whether each came on the GUI thread.
class Recorder : public RVModelManagerDelegate {
public:
    QStringList Events()
    {
        QMutexLocker lock(&m_mutex);
        return m_events;
    }
    bool AllOnGui()
    {
        QMutexLocker lock(&m_mutex);
        return m_allOnGui;
    }
    void willCloseDocumentByID(RVModelManager&, const QString& id) override { Add("willClose " + id); }
    void closedDocumentByID(RVModelManager&, const QString& id) override { Add("closed " + id); }
    void willDownloadFileByID(RVModelManager&, const QString& id, quint64 kind) override
    {
        Add(QStringLiteral("willDownload %1 %2").arg(id).arg(kind));
    }
    void willOpenDocumentByID(RVModelManager&, const QString& id, quint64 kind) override
    {
        Add(QStringLiteral("willOpen %1%2").arg(id).arg(kind));
    }
    void OpenDocumentFailerByID(RVModelManager&, const QString& id, quint64 kind, unsigned failure) override
    {
        Add(QStringLiteral("failed %1%2 %3").arg(id).arg(kind).arg(failure));
    }
    void openedDocumentByID(RVModelManager&, const QString& id, quint64 kind) override
    {
        Add(QStringLiteral("opened %1%2").arg(id).arg(kind));
    }
    void watchThreeModel() override { Add("watchThreeModel"); }
    void reloadModelView() override { Add("reloadModelView"); }
    void reloadScheme() override { Add("reloadScheme"); }

private:
    void Add(const QString& event)
    {
        QMutexLocker lock(&m_mutex);
        m_events << event.trimmed();
        m_allOnGui = m_allOnGui && platform::IsGuiThread();
    }
    QMutex m_mutex;
    QStringList m_events;
    bool m_allOnGui = true;
};

} // namespace designtest
