// SPDX-License-Identifier: GPL-3.0-or-later
// The main window of a signed-in user: the tab bar above three content areas, one
// shown at a time (1 the web case list, 2 the design window of the open case, 3 the
// image data of a case). After login it chooses the user's case-list service, signs
// the case list in and loads it; it answers the tab bar, the current-case holder and
// the case list; it asks before the application quits and empties itself at logout;
// panes reach the design window through it. GUI thread only.
#pragma once

#include "app/service/RVCaseManager.h"
#include "app/shell/widgets/RVToolBar.h"
#include "app/shell/window/ShellSubsystems.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QMenu;
class QVBoxLayout;
class QvPane;

// The window: its close box asks the controller, which never lets it close.
class RVMainWindow : public QWidget {
    Q_OBJECT
public:
    explicit RVMainWindow(class MainWindowController& controller);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindowController& m_controller;
};

class MainWindowController : public QObject,
                             public RVCaseManagerDelegate,
                             public RVToolBarDelegate,
                             public RVCaseListViewControllerDelegate {
    Q_OBJECT
public:
    // Makes the window (not shown) and runs its loaded step: tab bar, stack, the
    // current-case holder's delegate, and the service choice queued for later.
    MainWindowController();
    ~MainWindowController() override;

    RVMainWindow* window() const { return m_window.get(); }
    RVToolBar* toolBar() const { return m_toolBar; }
    // The content area (sized by the application to the screen's available area).
    QWidget* contentView() const { return m_contentView; }
    // Shows the application's menu above the tabs (the menu is not taken over).
    void setMainMenu(QMenu* menu);

    // Shows the window maximised and in front, every content area made and hidden.
    void login();
    // Hides the window and clears tabs, document, case, signed-in user and content.
    void logout();
    void getUserAuth();
    void checkWebUrl();
    void loadWebUrl(const QString& address);
    // "rvmds" for a user with a role containing "RVM2C", else "rvmmc".
    QString urlPath() const;
    const std::optional<RVDomainEntry>& model() const { return m_model; }

    // The close box: never closes; asks whether to quit.
    bool windowShouldClose();
    void closeWindow();

    bool toolBar(RVToolBar& bar, quint64 selectItemType) override;
    bool toolBarClose(RVToolBar& bar, quint64 closeItemType) override;
    void closeDMViewController();
    void closeImageViewController();

    void willSwitchNewCase() override;
    void watchCaseImages() override;
    void viewType(int type, std::shared_ptr<RVCaseInfo> caseInfo) override;

    // The content controllers, made on first use.
    RVCaseListViewController& caseViewController();
    RVDMViewController& dmViewController();
    RVScreenageDataViewController& imageViewController();
    bool hasCaseViewController() const { return bool(m_caseViewController); }
    bool hasDMViewController() const { return bool(m_dmViewController); }
    bool hasImageViewController() const { return bool(m_imageViewController); }
    // The content views in stack order.
    QList<QWidget*> arrangedViews() const;

    // Services for panes and views, forwarded to the design window.
    void createPane(int id);
    void removePane(int id);
    void setActivePane(int id);
    QvPane* getActivePane();
    QWidget* getActiveView();
    QWidget* getAbovePane();
    QWidget* getBelowPane();
    bool getSplitPane();
    bool GetFullScreen();
    void exportOS();
    void UpdateTabBarPane(const QRect& rect);
    void updateRenderView();
    void refreshWeb() {}

    // The document manager's reports (its delegate is the design window).
    void managerWillCloseDocumentByID(const QString& id);
    void managerWillDownloadFileByID(const QString& id, quint64 modelType);
    void managerOpenDocumentFailerByID(const QString& id, quint64 modelType, int failerType);
    void managerWillOpenDocumentByID(const QString& id, quint64 modelType);
    void watchThreeModel();
    void reloadModelView();
    void reloadScheme();

signals:
    // "确定" in the quit question.
    void terminateRequested();

private:
    void setupToolBar();
    void setupSubviews();
    void Arrange(QWidget* view);
    void TakeOut(QWidget* view);
    void OpenCaseList(const QString& domain);
    void ShowOnly(QWidget* shown);

    std::unique_ptr<RVMainWindow> m_window;
    RVToolBar* m_toolBar = nullptr;
    QWidget* m_contentView = nullptr;
    QVBoxLayout* m_stackView = nullptr;
    std::unique_ptr<RVCaseListViewController> m_caseViewController;
    std::unique_ptr<RVDMViewController> m_dmViewController;
    std::unique_ptr<RVScreenageDataViewController> m_imageViewController;
    std::optional<RVDomainEntry> m_model;
    bool m_statisticsSent = false;
};
