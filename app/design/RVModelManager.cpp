// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVModelManager.h"

#include "app/design/RivelaDoc.h"
#include "app/platform/Dispatch.h"
#include "app/platform/FilePanels.h"
#include "app/service/RVCaseInfo.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"

#include <QFileInfo>

#include <chrono>
#include <new>
#include <stdexcept>

RVModelManager& RVModelManager::shared()
{
    static RVModelManager manager;
    return manager;
}

RVModelManager::RVModelManager() : m_extItems{QStringLiteral("*.RVS"), QStringLiteral("*.OS")} {}

void RVModelManager::setDelegate(std::weak_ptr<RVModelManagerDelegate> delegate)
{
    std::lock_guard lock(m_mutex);
    m_delegate = std::move(delegate);
}

std::shared_ptr<RVModelManagerDelegate> RVModelManager::delegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate.lock();
}

std::shared_ptr<RivelaDoc> RVModelManager::currentDocument() const
{
    std::lock_guard lock(m_mutex);
    return m_document;
}

template <typename Send>
void RVModelManager::Tell(Send send)
{
    std::shared_ptr<RVModelManagerDelegate> receiver = delegate();
    if (!receiver)
        return;
    platform::SyncOnGui([&] { send(*receiver); });
}

unsigned RVModelManager::transformResultTypeWithCType(int code)
{
    return code >= 0 && code <= 3 ? static_cast<unsigned>(code) : 1u;
}

QString RVModelManager::failureMessage(unsigned failure)
{
    switch (failure) {
    case 1:
        return QStringLiteral("文件打开失败");
    case 2:
        return QStringLiteral("不兼容的文件版本");
    case 3:
        return QStringLiteral("暂未支持的文件版本");
    case 4:
        return QStringLiteral("文件下载失败");
    case 5:
        return QStringLiteral("文件打开异常");
    default:
        return {};
    }
}

bool RVModelManager::shoudOpenNewDocumentWithOldInfo(const RVCaseInfo* oldInfo, const RVCaseInfo& newInfo)
{
    if (!oldInfo)
        return true;
    // A null URL never equals anything.
    const auto same = [](const QString& a, const QString& b) { return !a.isNull() && !b.isNull() && a == b; };
    if (RVIsSchemeKind(newInfo.modelType)) {
        if (oldInfo->modelType == kRVModelDigital)
            return true;
        if (same(oldInfo->dmURL, newInfo.dmURL))
            return !same(oldInfo->openURL, newInfo.openURL);
        return true;
    }
    if (newInfo.modelType == kRVModelStepAnimation)
        return true;
    return !same(oldInfo->openURL, newInfo.openURL);
}

QString RVModelManager::Download(const QString& url)
{
    struct Wait {
        platform::Semaphore done;
        std::mutex mutex;
        QString path;
    };
    auto wait = std::make_shared<Wait>();
    RVRequestManager::downloadFileWithURL(url, [wait](const QString& path) {
        {
            std::lock_guard lock(wait->mutex);
            wait->path = path;
        }
        wait->done.Signal();
    });
    // The transfer gives up at its own time-out; a little more covers the hop back.
    const auto limit = std::chrono::milliseconds(RVTimeouts().transferMs.load() + 2000);
    if (!wait->done.Wait(limit))
        return {};
    std::lock_guard lock(wait->mutex);
    return wait->path;
}

unsigned RVModelManager::openDocumentWithFileURL(const QString& url, const std::shared_ptr<RVCaseInfo>& oldInfo,
                                                 const std::shared_ptr<RVCaseInfo>& newInfo)
{
    if (!newInfo)
        return 5;
    std::lock_guard open(m_openMutex);
    const quint64 kind = newInfo->modelType;
    const QString identifier = newInfo->identifier();
    Tell([&](RVModelManagerDelegate& d) { d.willDownloadFileByID(*this, identifier, kind); });

    QString modelUrl = url;
    quint64 readKind = kind;
    if (RVIsSchemeKind(kind)) {
        modelUrl = RVRequestManager::fetchDMURLWithCaseId(newInfo->caseId);
        newInfo->dmURL = modelUrl;
        readKind = kRVModelDigital;
    } else if (kind == kRVModelDigital) {
        newInfo->dmURL = url;
    }

    // Reuse needs a document to reuse: after a failed open the same case is read again.
    const bool replace = shoudOpenNewDocumentWithOldInfo(oldInfo.get(), *newInfo) || !currentDocument();
    if (replace) {
        const QString path = Download(modelUrl);
        if (path.isEmpty()) {
            Tell([&](RVModelManagerDelegate& d) { d.OpenDocumentFailerByID(*this, QString(""), readKind, 4); });
            return 4;
        }
        const unsigned code = openDocumentByFilePath(path, QString(""), readKind, newInfo);
        if (code != 0) {
            Tell([&](RVModelManagerDelegate& d) { d.OpenDocumentFailerByID(*this, QString(""), readKind, code); });
            return code;
        }
    }
    // Also when the open document is kept, so that the window shows it again.
    reloadModelView();

    if (!RVIsSchemeKind(kind))
        return 0;
    const QString path = Download(url);
    if (path.isEmpty()) {
        Tell([&](RVModelManagerDelegate& d) { d.OpenDocumentFailerByID(*this, QString(""), kind, 4); });
        return 4;
    }
    unsigned code = 0;
    try {
        code = openDocumentByFilePath(path, QString(""), kind, newInfo);
    } catch (const std::bad_alloc&) {
        code = 5;
    } catch (const std::length_error&) {
        code = 5;
    }
    if (code != 0)
        Tell([&](RVModelManagerDelegate& d) { d.OpenDocumentFailerByID(*this, QString(""), kind, code); });
    Tell([](RVModelManagerDelegate& d) { d.reloadScheme(); });
    return 0;
}

unsigned RVModelManager::openDocumentByFilePath(const QString& path, const QString& id, quint64 modelType,
                                                const std::shared_ptr<RVCaseInfo>& caseInfo)
{
    Tell([&](RVModelManagerDelegate& d) { d.willOpenDocumentByID(*this, id, modelType); });
    if (!RVIsSchemeKind(modelType)) {
        closeDocument();
        auto document = std::make_shared<RivelaDoc>();
        document->caseInfo = caseInfo;
        const int code = document->openDocument(path, modelType);
        if (code == kRivelaDocOutOfMemory)
            return 5;
        if (code != 0)
            return transformResultTypeWithCType(code);
        std::lock_guard lock(m_mutex);
        m_document = std::move(document);
    } else if (std::shared_ptr<RivelaDoc> document = currentDocument()) {
        const int code = document->openNewSchemeWithPath(path);
        if (code == kRivelaDocOutOfMemory)
            return 5;
        if (code != 0)
            return transformResultTypeWithCType(code);
    }
    Tell([&](RVModelManagerDelegate& d) { d.openedDocumentByID(*this, id, modelType); });
    return 0;
}

void RVModelManager::closeDocument()
{
    Tell([&](RVModelManagerDelegate& d) { d.willCloseDocumentByID(*this, QString("")); });
    clear();
    Tell([&](RVModelManagerDelegate& d) { d.closedDocumentByID(*this, QString("")); });
}

void RVModelManager::clear()
{
    std::shared_ptr<RivelaDoc> document;
    {
        std::lock_guard lock(m_mutex);
        document.swap(m_document);
    }
    if (document)
        document->clear();
}

void RVModelManager::reloadModelView()
{
    Tell([](RVModelManagerDelegate& d) { d.reloadModelView(); });
}

void RVModelManager::watchThreeModel()
{
    Tell([](RVModelManagerDelegate& d) { d.watchThreeModel(); });
}

void RVModelManager::fileExtAction(int index)
{
    if (index < 0 || index >= m_extItems.size())
        return;
    m_allowedType = m_extItems.at(index);
    m_allowedType.remove(QStringLiteral("*."));
}

void RVModelManager::setupSavePanel() { fileExtAction(0); }

void RVModelManager::exportOS()
{
    const std::shared_ptr<RivelaDoc> document = currentDocument();
    if (!document)
        return;
    setupSavePanel();
    platform::FilePanelRequest request;
    request.kind = platform::FilePanelRequest::Kind::Save;
    for (const QString& item : m_extItems)
        request.filters << QStringLiteral("Rivela (%1)").arg(item);
    const std::optional<QString> chosen = platform::RunSavePanel(nullptr, request);
    if (!chosen || chosen->isEmpty())
        return;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += u'.' + m_allowedType;
    QvUtilityObj::showAlertWithMessage(document->exportDocument(path) ? QStringLiteral("保存成功！")
                                                                      : QStringLiteral("保存失败！"));
}

int RVModelManager::totalTreatStep() const
{
    const std::shared_ptr<RivelaDoc> document = currentDocument();
    return document ? document->totalTreatStep() : 0;
}

void RVModelManager::ResetForTests()
{
    clear();
    setDelegate({});
    m_allowedType.clear();
}
