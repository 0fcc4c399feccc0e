// SPDX-License-Identifier: GPL-3.0-or-later
// The case-list tests' world: the stand-in in-process over a folder of case files,
// scripted panels and alerts, and a recorder of the scripts sent to the page.
#pragma once

#include "testing/QtWait.h"

#include "app/caselist/ExecuteJSCommandHandle.h"
#include "app/caselist/SyncFolder.h"
#include "app/platform/Alerts.h"
#include "app/platform/FilePanels.h"
#include "app/service/RVHttpTransfer.h"
#include "app/shell/QvUtilityObj.h"
#include "tools/rivela-standin/Standin.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace caselisttest {

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QImage TestPicture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 90));
    return image;
}

// The stand-in with its case files, panels answered from a queue, alerts recorded.
class World {
public:
    World()
    {
        caseDir = root.filePath("case");
        QDir().mkpath(caseDir);
        WriteBytes(caseDir + "/demo-model.zip", "PK-model-bytes");
        WriteBytes(caseDir + "/demo-1.RVS", "scheme-one");
        WriteBytes(caseDir + "/demo.OS", "animation");
        WriteBytes(caseDir + "/demo-3.RVS", "scheme-three");
        TestPicture(300, 200).save(caseDir + "/pic.png");
        server = std::make_unique<standin::Server>(caseDir.toStdString());
        port = server->Start();
        QvUtilityObj::resetDomain(QString::fromStdString(server->Domain()));
        syncfolder::SetStoreFolder(root.filePath("store"));
        platform::SetAlertResponder([this](QMessageBox& box) {
            alerts << box.text();
            return 0;
        });
        platform::SetFilePanelResponder([this](const platform::FilePanelRequest& request) -> std::optional<QStringList> {
            requests << request;
            if (panelAnswers.isEmpty())
                return std::nullopt;
            return panelAnswers.takeFirst();
        });
    }
    ~World()
    {
        platform::SetAlertResponder({});
        platform::SetFilePanelResponder({});
        syncfolder::SetStoreFolder({});
        RVWaitForNetworkThreads();
        server->Stop();
    }
    QString Domain() const { return QString::fromStdString(server->Domain()); }
    bool Logged(const std::string& prefix) const
    {
        for (const auto& line : server->Log())
            if (line.rfind(prefix, 0) == 0)
                return true;
        return false;
    }

    QTemporaryDir root;
    QString caseDir;
    std::unique_ptr<standin::Server> server;
    int port = -1;
    QStringList alerts;
    QList<std::optional<QStringList>> panelAnswers;
    QList<platform::FilePanelRequest> requests;
};

} // namespace caselisttest
