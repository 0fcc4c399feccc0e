// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/RVCaseListWebController.h"

#include "app/caselist/ExecuteJSCommandHandle.h"
#include "app/caselist/PageText.h"
#include "app/caselist/PictureReplies.h"
#include "app/caselist/WebImageCache.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/FilePanels.h"
#include "app/platform/NotificationHub.h"
#include "app/service/QVHttpManager.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"
#include "app/shell/widgets/RVProgressIndicator.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

const QString kInDevelopment = QStringLiteral("正在开发中...");

// Messages posted before the channel is up wait in the queue.
const char kShim[] = R"JS(
(function () {
  var names = ['ExecuteRivelaCommand', 'ExecuteMainCommand', 'CloseForm'];
  var queue = [], bridge = null;
  function send(name, body) {
    var text;
    try { text = JSON.stringify({body: body === undefined ? null : body}); } catch (e) { text = '{"body":null}'; }
    if (bridge) bridge.postMessage(name, text); else queue.push([name, text]);
  }
  var handlers = {};
  names.forEach(function (n) { handlers[n] = {postMessage: function (b) { send(n, b); }}; });
  window.webkit = window.webkit || {};
  window.webkit.messageHandlers = handlers;
  function connect() {
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects.rivelaBridge;
      queue.splice(0).forEach(function (m) { bridge.postMessage(m[0], m[1]); });
    });
  }
  if (typeof qt !== 'undefined' && qt.webChannelTransport) connect();
  else document.addEventListener('DOMContentLoaded', connect);
})();
)JS";

QString ShimSource()
{
    QFile channel(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    QString source;
    if (channel.open(QIODevice::ReadOnly))
        source = QString::fromUtf8(channel.readAll());
    return source + QString::fromUtf8(kShim);
}

QString CookieKey(const QNetworkCookie& c)
{
    return QString::fromUtf8(c.name()) + u'\n' + c.domain() + u'\n' + c.path();
}

} // namespace

class RVCaseListPage : public QWebEnginePage {
public:
    RVCaseListPage(QWebEngineProfile* profile, RVCaseListWebController* owner)
        : QWebEnginePage(profile, nullptr), m_owner(owner)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        return m_owner ? m_owner->beforeNavigation(url) : true;
    }
    bool javaScriptPrompt(const QUrl&, const QString& msg, const QString&, QString* result) override
    {
        if (!m_owner)
            return false;
        *result = m_owner->prompt(msg);
        return true;
    }
    void javaScriptAlert(const QUrl&, const QString& msg) override { QvUtilityObj::showAlertWithMessage(msg); }
    QStringList chooseFiles(FileSelectionMode mode, const QStringList&, const QStringList& acceptedMimeTypes) override
    {
        platform::FilePanelRequest request;
        request.kind = platform::FilePanelRequest::Kind::OpenFiles;
        request.allowMultiple = mode == FileSelectOpenMultiple;
        (void)acceptedMimeTypes;
        return platform::RunOpenPanel(nullptr, request).value_or(QStringList());
    }

private:
    QPointer<RVCaseListWebController> m_owner;
};

RVJSCallBackModel RVJSCallBackModel::fromJson(const QJsonObject& object)
{
    RVJSCallBackModel model;
    model.cmd = object.value("cmd").toInteger();
    model.status = object.value("status").toInteger();
    model.request = object.value("request").toInteger();
    model.oneFormJson = object.value("oneFormJson").toObject();
    model.function = object.value("function").toString();
    return model;
}

QVWeakScriptMessageDelegate::QVWeakScriptMessageDelegate(QObject* delegate) : m_delegate(delegate) {}

void QVWeakScriptMessageDelegate::postMessage(const QString& name, const QString& body)
{
    auto* controller = qobject_cast<RVCaseListWebController*>(m_delegate.data());
    if (!controller)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8());
    controller->didReceiveScriptMessage(name, document.object().value("body"));
}

RVCaseListWebController::RVCaseListWebController()
{
    // viewDidLoad: a plain view holding the web view edge to edge.
    m_view = new QWidget;
    m_view->setObjectName(QStringLiteral("caseListView"));
    auto* layout = new QVBoxLayout(m_view);
    layout->setContentsMargins(0, 0, 0, 0);

    m_profile = new QWebEngineProfile(this); // off the record: this list's own cookies
    m_page = new RVCaseListPage(m_profile, this);
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);

    QWebEngineScript shim;
    shim.setName(QStringLiteral("rivelaMessageHandlers"));
    shim.setInjectionPoint(QWebEngineScript::DocumentCreation);
    shim.setWorldId(QWebEngineScript::MainWorld);
    shim.setRunsOnSubFrames(false);
    shim.setSourceCode(ShimSource());
    m_page->scripts().insert(shim);

    m_delegater = new QVWeakScriptMessageDelegate(this);
    m_delegater->setParent(this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("rivelaBridge"), m_delegater);
    m_page->setWebChannel(m_channel);

    m_webView = new QWebEngineView(m_view);
    m_webView->setPage(m_page);
    m_webView->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_webView);

    QWebEngineCookieStore* store = m_profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& cookie) {
        const QString key = CookieKey(cookie);
        m_pageCookies.erase(std::remove_if(m_pageCookies.begin(), m_pageCookies.end(),
                                           [&](const QNetworkCookie& c) { return CookieKey(c) == key; }),
                            m_pageCookies.end());
        m_pageCookies.append(cookie);
    });
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& cookie) {
        const QString key = CookieKey(cookie);
        m_pageCookies.erase(std::remove_if(m_pageCookies.begin(), m_pageCookies.end(),
                                           [&](const QNetworkCookie& c) { return CookieKey(c) == key; }),
                            m_pageCookies.end());
    });
    connect(m_page, &QWebEnginePage::loadFinished, this, &RVCaseListWebController::navigationFinished);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, &RVCaseListWebController::downloadRequested);

    ExecuteJSCommandHandle::shared().setWebView(scriptEvaluator(), m_view);
    platform::NotificationHub::Shared().AddObserver(this, QStringLiteral("WebRefreshCaseDetailNotificationName"),
                                                    [this](const QVariantMap&) { refreashCaseDetail(); });
}

RVCaseListWebController::~RVCaseListWebController()
{
    platform::NotificationHub::Shared().RemoveObserver(this);
    ExecuteJSCommandHandle::shared().releaseWebView(m_view);
    // A running upload may still wait for the GUI thread: its queue ends elsewhere.
    if (m_uploadCBCTCommandQueue)
        platform::AsyncGlobal([queue = std::move(m_uploadCBCTCommandQueue)]() mutable { queue.reset(); });
    if (m_webView)
        m_webView->setPage(nullptr);
    delete m_page; // before its profile
    m_page = nullptr;
    delete m_view.data();
}

QWidget* RVCaseListWebController::view()
{
    return m_view;
}

QWebEnginePage* RVCaseListWebController::page() const
{
    return m_page;
}

RVProgressIndicator* RVCaseListWebController::indicator()
{
    if (!m_indicator) {
        m_indicator = new RVProgressIndicator;
        m_indicator->setContentView(m_view);
    }
    return m_indicator;
}

void RVCaseListWebController::setWebUrl(const QUrl& url)
{
    m_webUrl = url;
    loadRequest();
}

void RVCaseListWebController::loadRequest()
{
    if (m_page)
        m_page->load(m_webUrl);
}

RVScriptEvaluator RVCaseListWebController::scriptEvaluator()
{
    return [page = QPointer<QWebEnginePage>(m_page)](const QString& script) {
        if (!page)
            return;
        page->runJavaScript(script, [](const QVariant& result) {
            qDebug("page script answered %s", qPrintable(result.toString()));
        });
    };
}

void RVCaseListWebController::evaluate(const QString& script)
{
    scriptEvaluator()(script);
}

void RVCaseListWebController::refreashCaseDetail()
{
    evaluate(QStringLiteral("globalRefresh()"));
}

QList<QNetworkCookie> RVCaseListWebController::getHttpCookieArray(const QUrl& url)
{
    const QString host = url.host();
    const QString hostKey = platform::CookieStorage::HostKey(url);
    QList<QNetworkCookie> out;
    if (host.isEmpty())
        return out;
    for (const QNetworkCookie& cookie : platform::CookieStorage::Shared().Cookies())
        if (cookie.domain() == host || cookie.domain() == hostKey)
            out.append(cookie);
    return out;
}

bool RVCaseListWebController::beforeNavigation(const QUrl& url)
{
    qInfo("加载地址: %s \n", url.toEncoded().constData());
    const QString host = url.host();
    if (host.isEmpty() || !m_profile)
        return true;
    QWebEngineCookieStore* store = m_profile->cookieStore();
    const QUrl origin = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    for (QNetworkCookie cookie : getHttpCookieArray(url)) {
        if (cookie.domain() != host)
            cookie.setDomain(QString()); // "host:port": host-only in the page
        store->setCookie(cookie, origin);
    }
    QNetworkCookie upload("enabledUploadCBCT", "true");
    upload.setDomain(host);
    upload.setPath(QStringLiteral("/"));
    store->setCookie(upload, origin);
    return true;
}

void RVCaseListWebController::navigationFinished(bool)
{
    const QUrl url = m_page ? m_page->url() : QUrl();
    for (const QNetworkCookie& cookie : m_pageCookies)
        platform::CookieStorage::Shared().SetCookie(cookie, url);
    if (m_firstLoad) {
        m_firstLoad = false;
        updateEquipmentInfo();
    }
}

QString RVCaseListWebController::prompt(const QString& text)
{
    struct Answer {
        bool done = false;
        QString text;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    ExecuteJSCommandHandle::shared().executeCommand(text, [answer, waiting](bool, const QString& result) {
        answer->done = true;
        answer->text = result;
        if (waiting)
            waiting->quit();
    });
    // Late answers (uploads, synchronisation) keep the page's prompt waiting.
    if (!answer->done)
        loop.exec();
    return answer->text;
}

void RVCaseListWebController::downloadRequested(QWebEngineDownloadRequest* download)
{
    const QString url = download->url().toString(QUrl::FullyEncoded);
    download->cancel();
    QPointer<RVProgressIndicator> busy = indicator();
    busy->show();
    QPointer<RVCaseListWebController> self(this);
    RVRequestManager::downloadFileWithURL(url, [self, busy](const QString& path) {
        if (busy)
            busy->hide();
        if (path.isEmpty()) {
            QvUtilityObj::showAlertWithError(QStringLiteral("下载失败"));
            return;
        }
        if (self)
            self->saveFile(path);
    });
}

void RVCaseListWebController::saveFile(const QString& path)
{
    const QString name = QUrl::fromPercentEncoding(QUrl::fromPercentEncoding(QFileInfo(path).fileName().toUtf8()).toUtf8());
    platform::FilePanelRequest request;
    request.kind = platform::FilePanelRequest::Kind::Save;
    request.title = QStringLiteral("保存文件");
    request.proposedName = name;
    const auto chosen = platform::RunSavePanel(m_view, request);
    if (!chosen)
        return;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || !pictures::WriteAtomically(*chosen, in.readAll()))
        QvUtilityObj::showAlertWithError(QStringLiteral("保存失败"));
}

QString RVCaseListWebController::queryGPUInfo()
{
    QOpenGLContext context;
    if (!context.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface))
        return {};
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString name = renderer ? QString::fromUtf8(renderer) : QString();
    context.doneCurrent();
    return name;
}

QVariantMap RVCaseListWebController::equipmentInfo()
{
    QVariantMap info{{"os", "linux"}, {"osVersion", QvUtilityObj::getSystemVersion()}};
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        info.insert("resolution", QStringLiteral("%1X%2").arg(screen->geometry().width()).arg(screen->geometry().height()));
    if (const QString card = queryGPUInfo(); !card.isEmpty())
        info.insert("graphicsCard", card);
    return info;
}

void RVCaseListWebController::updateEquipmentInfo()
{
    QVHttpManager::requestObjectWithURLString(
        QvUtilityObj::getURLWith(QStringLiteral("RivelaUpdateUserEquipmentInfo")), 1, equipmentInfo(), false,
        [](const QVTaskPtr&, const QByteArray&) { qInfo("更新设备信息"); },
        [](const QVTaskPtr&, const QVErrorOpt&) { qWarning("更新设备信息失败"); });
}

void RVCaseListWebController::didReceiveScriptMessage(const QString& name, const QJsonValue& body)
{
    if (name == QStringLiteral("ExecuteRivelaCommand"))
        ExecuteRivelaCommand(body);
    else if (name == QStringLiteral("ExecuteMainCommand"))
        ExecuteMainCommand(body);
    else if (name == QStringLiteral("CloseForm"))
        qInfo("CloseForm from the case list is ignored"); // it would hide the running main window
}

void RVCaseListWebController::ExecuteRivelaCommand(const QJsonValue& body)
{
    QJsonObject object = body.toObject();
    if (body.isString())
        object = QJsonDocument::fromJson(body.toString().toUtf8()).object();
    const RVJSCallBackModel model = RVJSCallBackModel::fromJson(object);
    std::shared_ptr<RVCaseInfo> caseInfo = RVCaseInfo::fromJson(model.oneFormJson);
    if (!caseInfo)
        caseInfo = std::make_shared<RVCaseInfo>();
    const QString schemeId = QString::number(caseInfo->schemeId);
    for (const RVPlanModel& plan : RVRequestManager::getAllPlanWithCaseId(QString::number(caseInfo->caseId))) {
        if (plan.planId == schemeId) { // the last matching plan wins
            caseInfo->schemeName = plan.planName;
            caseInfo->schemeType = plan.planType;
        }
    }
    caseInfo->parseSchemeInfo();
    caseInfo->approveSchemeStep = model.isApproveScheme();
    int type = 0;
    if (model.function == QStringLiteral("jsView3DFile") || model.function == QStringLiteral("jsApproveScheme"))
        type = 2;
    else if (model.function == QStringLiteral("jsViewImage"))
        type = 1;
    if (type == 0) {
        QvUtilityObj::showAlertWithMessage(kInDevelopment);
        return;
    }
    QPointer<RVCaseListWebController> self(this);
    const qint64 caseId = caseInfo->caseId;
    platform::AsyncGlobal([self, caseInfo, caseId, type] {
        const std::shared_ptr<RVCaseInfo> info = RVRequestManager::queryCaseInfo(caseId);
        platform::AsyncOnGui([self, caseInfo, info, type] {
            if (info) {
                caseInfo->caseNo = info->caseNo;
                caseInfo->phaseNo = info->phaseNo;
                caseInfo->patientName = info->patientName;
            }
            if (self && self->delegate())
                self->delegate()->viewType(type, caseInfo);
        });
    });
}

void RVCaseListWebController::ExecuteMainCommand(const QJsonValue& body)
{
    const auto command = body.isString() ? pagetext::ParseCommand(body.toString()) : std::nullopt;
    if (!command) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("参数解析错误!"));
        return;
    }
    const QJsonObject value = command->value.toObject();
    const QString& name = command->name;
    if (name == QStringLiteral("SelectPic")) {
        SelectPic(value);
    } else if (name == QStringLiteral("EditPic")) {
        EditPic(value);
    } else if (name == QStringLiteral("CBCTUploadUpload")) {
        auto command = RVCBCTUploadCommand::create();
        command->webView = scriptEvaluator();
        m_cbctUploadCommand = command;
        // A new queue per request; the previous one ends off the GUI thread, since its
        // upload may be waiting for a panel here.
        if (m_uploadCBCTCommandQueue)
            platform::AsyncGlobal([queue = std::move(m_uploadCBCTCommandQueue)]() mutable { queue.reset(); });
        m_uploadCBCTCommandQueue = std::make_shared<platform::SerialQueue>("uploadCBCTCommandQueue");
        const QString url = value.value("AcquireAccessUrl").toString();
        const QJsonValue tag = value.value("Tag");
        m_uploadCBCTCommandQueue->Async([command, url, tag] { command->acquireToken(url, tag); });
    } else if (name == QStringLiteral("CBCTUploadCancel")) {
        auto cancel = RVCBCTUploadCancelCommand::create();
        cancel->webView = scriptEvaluator();
        cancel->acquireToken(value.value("AcquireAccessUrl").toString(), value.value("Tag"),
                             value.value("FileName").toString());
    } else if (name == QStringLiteral("UploadSyncFiles")) {
        ExecuteJSCommandHandle::shared().executeCommand(body.toString(), nullptr);
    } else if (name == QStringLiteral("Download")) {
        m_fileTransferManager = FileTransferManager::initWithFileUrl(pagetext::TextForm(value.value("DownloadUrl")),
                                                                     pagetext::TextForm(value.value("FileName")));
        m_fileTransferManager->start();
    }
}

void RVCaseListWebController::SelectPic(const QJsonObject& value)
{
    const QString tag = pagetext::TextForm(value.value("tag"));
    platform::FilePanelRequest request;
    request.kind = platform::FilePanelRequest::Kind::OpenFiles;
    request.allowMultiple = true;
    request.filters = QStringList{QStringLiteral("Images (*.jpg *.jpeg *.png *.bmp)")};
    const auto chosen = platform::RunOpenPanel(m_view, request);
    if (!chosen) {
        evaluate(QStringLiteral("LoadPicture(%1)").arg(pictures::EmptyJsonWithTag(tag)));
        return;
    }
    for (const QString& path : *chosen) {
        const QString copy = pictures::CopyToAppCache(path);
        QString json;
        if (!QImage(copy).isNull()) {
            const auto combined = pictures::CombinedJsonFromImage(copy, tag, false);
            if (!combined)
                continue;
            json = *combined;
        } else {
            json = pictures::EmptyJsonWithTag(tag);
        }
        evaluate(QStringLiteral("LoadPicture(%1)").arg(json));
    }
}

void RVCaseListWebController::EditPic(const QJsonObject& value)
{
    QString path = pagetext::LocalPath(pagetext::TextForm(value.value("picPath")));
    const QString tag = pagetext::TextForm(value.value("tag"));
    if (path.contains(QStringLiteral("http"))) {
        RVHttpRequest request;
        request.url = QUrl(path);
        request.timeout = std::chrono::milliseconds(30000);
        const RVHttpResponse response = RVPerformHttp(request);
        const QString name = pagetext::SafePathComponent(QUrl(path).fileName() + QLatin1Char('.') +
                                                         path.section(QLatin1Char('.'), -1));
        const QString local = QvUtilityObj::getTempFolder() + QLatin1Char('/') + name;
        QFile::remove(local);
        if (response.ok() && !name.isEmpty() && !pictures::WriteAtomically(local, response.body))
            qWarning("the remote picture could not be stored");
        path = local;
    }
    if (!path.isEmpty()) {
        // The picture editor is not built yet: answered as if closed unchanged.
        QvUtilityObj::showAlertWithMessage(kInDevelopment);
    }
    if (const auto json = pictures::CombinedJsonFromImage(path, tag, true))
        evaluate(QStringLiteral("EditPicCallBack(%1)").arg(*json));
}

void RegisterCaseListWithShell()
{
    RVCaseListSubsystem caseList;
    caseList.create = []() -> std::unique_ptr<RVCaseListViewController> {
        return std::make_unique<RVCaseListWebController>();
    };
    caseList.clearWebImageCache = [] { WebImageCache::shared().clearWebImageCache(); };
    caseList.updateFileDirectory = [] { ExecuteJSCommandHandle::shared().updateFileDirectory(); };
    ShellSubsystems::RegisterCaseList(std::move(caseList));
}
