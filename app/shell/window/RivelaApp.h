// SPDX-License-Identifier: GPL-3.0-or-later
// The application delegate: the start-up sequence (cookies, main menu, modal login,
// main window), the switch of account, the menu's four commands and what happens at
// exit. One instance lives for the whole process. GUI thread only.
#pragma once

#include "app/shell/window/MainWindowController.h"

#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

// Reads the configuration before the application object exists: the resource
// "Rivela.ini" (its "Url" keys derived), and "General" "CEFGPU" "0" on systems whose
// version text orders before "10.11".
void LoadIniSettings();
// Plain character order, as the configuration has always compared it.
bool VersionOrdersBefore1011(const QString& version);

// The main menu: save model, switch account, change password, synchronisation folder.
// Built in code and kept by the interface loader under its class name.
class RivelaMenu : public QMenu {
    Q_OBJECT
public:
    explicit RivelaMenu(QWidget* parent = nullptr);

    QAction* saveModelAction() const { return m_saveModel; }
    QAction* switchAccountAction() const { return m_switchAccount; }
    QAction* updatePasswordAction() const { return m_updatePassword; }
    QAction* updateFilePathAction() const { return m_updateFilePath; }

    void saveModel();
    void switchAccount();
    void updatePassword();
    void updateFilePath();

private:
    QAction* m_saveModel;
    QAction* m_switchAccount;
    QAction* m_updatePassword;
    QAction* m_updateFilePath;
    std::unique_ptr<QWidget> m_updatePasswordWC; // kept after its window closed
};

class RivelaApp : public QObject {
    Q_OBJECT
public:
    RivelaApp();
    ~RivelaApp() override;
    // The one delegate, or null before it exists.
    static RivelaApp* shared();

    // The start-up sequence; false when the login did not complete (then there is no
    // main window and the program ends).
    [[nodiscard]] bool applicationDidFinishLaunching();
    // Only the web-image cache is cleared.
    void applicationWillTerminate();

    void initMenu();
    // Runs the modal login; false when it ended other than complete.
    [[nodiscard]] bool initLoginWindow();
    void initMainWindow();
    MainWindowController* getMainWindow() const { return m_pMainWindow.get(); }
    RivelaMenu* menu() const { return m_menu; }
    // Whether the modal login runs now.
    bool loginRunning() const { return m_loginRunning; }

    void saveModel();
    // Asks "确认注销？" as a sheet; "确定" logs out and runs the login and a new main window.
    void reLogin();

    // What ends the program (default: the event loop quits). Tests record it.
    void setTerminateHandler(std::function<void()> handler) { m_terminate = std::move(handler); }
    void terminate();

private:
    std::unique_ptr<MainWindowController> m_pMainWindow;
    QPointer<RivelaMenu> m_menu;
    bool m_loginRunning = false;
    std::function<void()> m_terminate;
};
