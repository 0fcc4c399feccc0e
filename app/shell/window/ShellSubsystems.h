// SPDX-License-Identifier: GPL-3.0-or-later
// The seams through which the shell calls the subsystems built beside it: the login
// and account, the web case list, the design window and its document, the image
// view. Each registers what the shell calls; until one has registered, the shell
// uses harmless stand-ins (no login window, empty content areas). Pane classes
// register by id with QvPane::RegisterPaneClass. GUI thread only.
#pragma once

#include "app/service/RVCaseInfo.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class QvPane;
class RVToolBar;

// One service entry of the application list stored by the login.
struct RVDomainEntry {
    QString serviceName;
    QString url;    // host[:port] of the service's web client
    QString ssoUrl; // host[:port] of the login service the entry uses
};

// What the shell calls of the login and account. Members left empty fall back to
// the defaults that Login() documents.
struct RVLoginSubsystem {
    // The login window with its content: its modal run ends with -1002 when the
    // login is complete, with -1000 when the window was closed. Default: none, so
    // no login completes.
    std::function<std::unique_ptr<QWidget>()> createLoginWindow;
    // The account window; run modal from the menu. Default: none.
    std::function<std::unique_ptr<QWidget>()> createUpdatePasswordWindow;

    // The signed-in user. clearHTTPCookie defaults to deleting every shared cookie;
    // clearData (local sign-out) to clearHTTPCookie.
    std::function<void()> clearHTTPCookie;
    std::function<void()> clearData;
    // The name typed at login; none when the user has no name text. Default: none.
    std::function<std::optional<QString>()> username;
    std::function<QString()> password;
    // The central login service with its scheme, e.g. "http://127.0.0.1:8443".
    std::function<QString()> udcHost;
    // Role codes of the user's profile.
    std::function<QStringList()> roles;

    // The environment: 1 production, 2 staging, 3 test, 4 development (default 1),
    // and its scheme prefix (default "http://" for 4, else "https://").
    std::function<int()> APIType;
    std::function<QString()> urlPrefix;

    // The entries ("currList") of the stored application list; none when the text
    // does not map. Default: a JSON object whose "currList" (or "list") is an array of
    // objects with "serviceName", "url" and "ssoUrl"; an empty text is an empty list.
    std::function<std::optional<QList<RVDomainEntry>>(const QString& json)> domainModelFromJson;

    // Signs the embedded web pages in to the address for the login host; complete
    // runs on the GUI thread afterwards, whether it succeeded or not. Default:
    // completes at once (queued).
    std::function<void(const QString& url, const QString& udcDomain, std::function<void()> complete)> loginToUrl;
};

// The web case list. The controller owns its view; the main window places the view
// in its stack and takes it out again before it drops the controller.
class RVCaseListViewControllerDelegate {
public:
    virtual ~RVCaseListViewControllerDelegate() = default;
    // The page asks to open a case: 1 its image data, 2 its 3-D model.
    virtual void viewType(int type, std::shared_ptr<RVCaseInfo> caseInfo) = 0;
};

class RVCaseListViewController {
public:
    virtual ~RVCaseListViewController() = default;
    virtual QWidget* view() = 0;
    // Stores the address of the case page and loads it.
    virtual void setWebUrl(const QUrl& url) = 0;
    void setDelegate(RVCaseListViewControllerDelegate* delegate) { m_delegate = delegate; }
    RVCaseListViewControllerDelegate* delegate() const { return m_delegate; }

private:
    RVCaseListViewControllerDelegate* m_delegate = nullptr;
};

// The 3-D design window of the open case (same view ownership as the case list).
// Made, then initialize() once.
class RVDMViewController {
public:
    virtual ~RVDMViewController() = default;
    virtual void initialize() {}
    virtual QWidget* view() = 0;
    virtual void setToolBar(RVToolBar*) {}
    // Starts opening the case's 3-D model.
    virtual void setCaseInfo(std::shared_ptr<RVCaseInfo>) {}
    // Closes every pane and the 3-D view; the document itself stays.
    virtual void closeOpenAll() {}
    virtual void willSwitchNewCase() {}
    virtual void createPane(int) {}
    virtual void removePane(int) {}
    virtual void setActivePane(int) {}
    virtual QvPane* getActivePane() { return nullptr; }
    virtual QWidget* getActiveView() { return nullptr; }
    virtual QWidget* getAbovePane() { return nullptr; }
    virtual QWidget* getBelowPane() { return nullptr; }
    virtual bool getSplitPane() { return false; }
    virtual bool GetFullScreen() { return false; }
    virtual void exportOS() {}
    virtual void UpdateTabBarPane(const QRect&) {}
    virtual void updateRenderView() {}
    // The document manager's reports.
    virtual void managerWillCloseDocumentByID(const QString&) {}
    virtual void managerWillDownloadFileByID(const QString&, quint64) {}
    virtual void managerOpenDocumentFailerByID(const QString&, quint64, int) {}
    virtual void watchThreeModel() {}
    virtual void reloadModelView() {}
    virtual void reloadScheme() {}
};

// The image data of a case (same view ownership as the case list).
class RVScreenageDataViewController {
public:
    virtual ~RVScreenageDataViewController() = default;
    virtual QWidget* view() = 0;
    // A different case empties the list and fetches the case's images.
    virtual void setCaseInfo(std::shared_ptr<RVCaseInfo>) {}
    virtual void clear() {}
};

struct RVCaseListSubsystem {
    std::function<std::unique_ptr<RVCaseListViewController>()> create;
    // Deletes the cached web images (at exit). Default: nothing.
    std::function<void()> clearWebImageCache;
    // Lets the user choose the local synchronisation folder. Default: nothing.
    std::function<void()> updateFileDirectory;
};

struct RVDesignSubsystem {
    std::function<std::unique_ptr<RVDMViewController>()> create;
    // The document manager's clear: the open document and its model are released.
    std::function<void()> clearDocument;
};

struct RVImageSubsystem {
    std::function<std::unique_ptr<RVScreenageDataViewController>()> create;
};

class ShellSubsystems {
public:
    static void RegisterLogin(RVLoginSubsystem login);
    static void RegisterCaseList(RVCaseListSubsystem caseList);
    static void RegisterDesign(RVDesignSubsystem design);
    static void RegisterImage(RVImageSubsystem image);
    // Forgets every registration (tests).
    static void Reset();

    // The registrations with every empty member filled by its default.
    static const RVLoginSubsystem& Login();
    static const RVCaseListSubsystem& CaseList();
    static const RVDesignSubsystem& Design();
    static const RVImageSubsystem& Image();

    // The default reading of the stored application list.
    static std::optional<QList<RVDomainEntry>> DomainListFromJson(const QString& json);
};
