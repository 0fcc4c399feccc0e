// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/FileTransferManager.h"

#include "app/caselist/PageText.h"
#include "app/platform/FilePanels.h"
#include "app/service/RVNetworkClient.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"

#include <QDir>

std::shared_ptr<FileTransferManager> FileTransferManager::initWithFileUrl(const QString& fileUrl,
                                                                          const QString& fileName)
{
    std::shared_ptr<FileTransferManager> manager(new FileTransferManager);
    manager->m_fileUrl = fileUrl;
    manager->m_fileName = fileName;
    return manager;
}

void FileTransferManager::start()
{
    platform::FilePanelRequest request;
    request.kind = platform::FilePanelRequest::Kind::OpenFolder;
    const auto chosen = platform::RunOpenPanel(nullptr, request);
    if (!chosen || chosen->isEmpty())
        return;
    const QString name = pagetext::SafePathComponent(m_fileName);
    if (name.isEmpty()) {
        m_finished = true;
        QvUtilityObj::showAlertWithError(QStringLiteral("下载失败"));
        return;
    }
    m_path = QDir(chosen->first()).filePath(name);
    qInfo("开始下载文件:\n%s\n", qPrintable(name));
    auto self = shared_from_this();
    const QString target = m_path;
    RVNetworkClient::shared().downloadWithURL(
        QString::fromUtf8(RVRequestManager::EscapeForQuery(m_fileUrl)), nullptr,
        [target](const QString&, const QString&) { return target; },
        [self](const QString&) {
            qInfo("文件下载完成\n");
            self->m_finished = true;
            self->m_succeeded = true;
        },
        [self](const QString& error) {
            qWarning("download failed: %s", qPrintable(error));
            self->m_finished = true;
            QvUtilityObj::showAlertWithError(QStringLiteral("下载失败"));
        });
}
