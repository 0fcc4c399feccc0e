// SPDX-License-Identifier: GPL-3.0-or-later
// The first tab of the main window: the case portal page in a web view, and the
// bridge through which the page drives the application. One injected script defines
// window.webkit.messageHandlers.{ExecuteRivelaCommand,ExecuteMainCommand,CloseForm}
// over a web channel (queueing until the channel is up); the page's prompt carries
// the executor's commands. Cookies go to the page before every navigation and come
// back after every load. GUI thread only.
#pragma once

#include "app/caselist/FileTransferManager.h"
#include "app/platform/Dispatch.h"
#include "app/service/RVCaseInfo.h"
#include "app/service/upload/RVCBCTUploadCommand.h"
#include "app/shell/window/ShellSubsystems.h"

#include <QJsonObject>
#include <QList>
#include <QNetworkCookie>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
#include <QWebEngineView>
class QWebChannel;
class RVProgressIndicator;
class RVCaseListPage;

// One "ExecuteRivelaCommand" message.
struct RVJSCallBackModel {
    qint64 cmd = 0;
    qint64 status = 0;
    qint64 request = 0;
    QJsonObject oneFormJson;
    QString function;
    bool isApproveScheme() const { return function == QStringLiteral("jsApproveScheme"); }
    static RVJSCallBackModel fromJson(const QJsonObject& object);
};

// What the page's messages arrive through; it only forwards to its controller while
// that exists.
class QVWeakScriptMessageDelegate : public QObject {
    Q_OBJECT
public:
    explicit QVWeakScriptMessageDelegate(QObject* delegate);
public slots:
    // body: the JSON text {"body": <the posted value>}.
    void postMessage(const QString& name, const QString& body);

private:
    QPointer<QObject> m_delegate;
};

class RVCaseListWebController final : public QObject, public RVCaseListViewController {
    Q_OBJECT
public:
    RVCaseListWebController();
    ~RVCaseListWebController() override;

    QWidget* view() override;
    void setWebUrl(const QUrl& url) override;
    const QUrl& webUrl() const { return m_webUrl; }

    QWebEngineView* webView() const { return m_webView; }
    QWebEnginePage* page() const;
    RVProgressIndicator* indicator();
    // Evaluates a script in the page (its result is only logged).
    void evaluate(const QString& script);
    RVScriptEvaluator scriptEvaluator();

    // The script bridge: the message by name with its posted value.
    void didReceiveScriptMessage(const QString& name, const QJsonValue& body);
    void refreashCaseDetail();

    // The shared store's cookies whose domain is exactly the host (or the host with
    // the URL's port, the store's form of a host-only cookie).
    static QList<QNetworkCookie> getHttpCookieArray(const QUrl& url);
    // The cookies the page's store holds now.
    QList<QNetworkCookie> pageCookies() const { return m_pageCookies; }
    bool firstLoad() const { return m_firstLoad; }
    const std::shared_ptr<FileTransferManager>& fileTransferManager() const { return m_fileTransferManager; }

    // The equipment report: "os", "osVersion", "resolution", "graphicsCard" (GL_RENDERER,
    // left out when none can be had).
    static QVariantMap equipmentInfo();
    static QString queryGPUInfo();

    // Called by the page.
    bool beforeNavigation(const QUrl& url);
    void navigationFinished(bool ok);
    QString prompt(const QString& text);
    void downloadRequested(QWebEngineDownloadRequest* download);
    void saveFile(const QString& path);

private:
    void loadRequest();
    void ExecuteRivelaCommand(const QJsonValue& body);
    void ExecuteMainCommand(const QJsonValue& body);
    void SelectPic(const QJsonObject& value);
    void EditPic(const QJsonObject& value);
    void updateEquipmentInfo();

    QUrl m_webUrl;
    QPointer<QWidget> m_view;
    QPointer<QWebEngineView> m_webView;
    QWebEngineProfile* m_profile = nullptr;
    RVCaseListPage* m_page = nullptr;
    QWebChannel* m_channel = nullptr;
    QVWeakScriptMessageDelegate* m_delegater = nullptr;
    QPointer<RVProgressIndicator> m_indicator;
    bool m_firstLoad = true;
    QList<QNetworkCookie> m_pageCookies;
    std::shared_ptr<platform::SerialQueue> m_uploadCBCTCommandQueue;
    std::shared_ptr<RVCBCTUploadCommand> m_cbctUploadCommand;
    std::shared_ptr<FileTransferManager> m_fileTransferManager;
};

// Hands the shell the case list, the image cache's clearing and the menu's choice
// of the synchronisation folder.
void RegisterCaseListWithShell();
