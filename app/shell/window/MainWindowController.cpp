// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/window/MainWindowController.h"

#include "app/platform/Alerts.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/Dispatch.h"
#include "app/platform/UserDefaults.h"
#include "app/service/QVHttpManager.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/IniFile.h"
#include "app/shell/QvUtilityObj.h"

#include <QCloseEvent>
#include <QDebug>
#include <QMenuBar>
#include <QNetworkCookie>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// host[:port] of an address with a scheme: hosts of service entries carry their port.
QString HostWithPort(const QString& address)
{
    const QUrl url(address);
    if (url.host().isEmpty())
        return {};
    return url.port() >= 0 ? url.host() + QLatin1Char(':') + QString::number(url.port()) : url.host();
}

// The fallback entry of the test and development environments, from the
// configuration's "Domain" section; none when it names no case-list host.
std::optional<RVDomainEntry> FallbackEntry(int apiType)
{
    const char* prefix = apiType == 3 ? "Test" : apiType == 4 ? "Dev" : nullptr;
    if (!prefix)
        return std::nullopt;
    IniFile& ini = IniFile::Instance();
    RVDomainEntry item;
    item.url = QString::fromStdString(ini.GetValue("Domain", std::string(prefix) + "CaseListHost"));
    item.ssoUrl = QString::fromStdString(ini.GetValue("Domain", std::string(prefix) + "SsoHost"));
    if (item.url.isEmpty())
        return std::nullopt;
    return item;
}

} // namespace

RVMainWindow::RVMainWindow(MainWindowController& controller) : m_controller(controller)
{
    setWindowTitle(QStringLiteral("Rivela"));
    resize(1280, 800);
}

void RVMainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    m_controller.windowShouldClose();
}

MainWindowController::MainWindowController() : m_window(std::make_unique<RVMainWindow>(*this))
{
    RVCaseManager::shared().setDelegate(this);
    setupToolBar();
    setupSubviews();
    // The statistics report waits for the business domain (checkWebUrl): sent now it
    // would go to an address without host on a first login.
    QPointer<MainWindowController> self(this);
    platform::AsyncOnGui([self] {
        if (self)
            self->getUserAuth();
    });
}

MainWindowController::~MainWindowController()
{
    if (RVCaseManager::shared().delegate() == this)
        RVCaseManager::shared().setDelegate(nullptr);
    // Controllers delete their views, which leave the stack as they go.
    m_caseViewController.reset();
    m_dmViewController.reset();
    m_imageViewController.reset();
    m_window.reset();
}

void MainWindowController::setupToolBar()
{
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_toolBar = new RVToolBar;
    m_toolBar->setDelegate(this);
    layout->addWidget(m_toolBar);
}

void MainWindowController::setMainMenu(QMenu* menu)
{
    auto* bar = new QMenuBar(m_window.get());
    bar->addMenu(menu);
    m_window->layout()->setMenuBar(bar);
}

void MainWindowController::setupSubviews()
{
    m_contentView = new QWidget;
    m_stackView = new QVBoxLayout(m_contentView);
    m_stackView->setContentsMargins(0, 0, 0, 0);
    m_stackView->setSpacing(0);
    static_cast<QVBoxLayout*>(m_window->layout())->addWidget(m_contentView, 1);
}

void MainWindowController::Arrange(QWidget* view)
{
    if (view && m_stackView->indexOf(view) < 0)
        m_stackView->addWidget(view, 1);
}

void MainWindowController::TakeOut(QWidget* view)
{
    if (view && m_stackView->indexOf(view) >= 0) {
        m_stackView->removeWidget(view);
        view->hide();
        view->setParent(nullptr);
    }
}

QList<QWidget*> MainWindowController::arrangedViews() const
{
    QList<QWidget*> views;
    for (int i = 0; i < m_stackView->count(); ++i)
        if (QWidget* view = m_stackView->itemAt(i)->widget())
            views << view;
    return views;
}

RVCaseListViewController& MainWindowController::caseViewController()
{
    if (!m_caseViewController) {
        m_caseViewController = ShellSubsystems::CaseList().create();
        m_caseViewController->setDelegate(this);
        Arrange(m_caseViewController->view());
    }
    return *m_caseViewController;
}

RVDMViewController& MainWindowController::dmViewController()
{
    if (!m_dmViewController) {
        m_dmViewController = ShellSubsystems::Design().create();
        m_dmViewController->initialize();
        m_dmViewController->setToolBar(m_toolBar);
        Arrange(m_dmViewController->view());
    }
    return *m_dmViewController;
}

RVScreenageDataViewController& MainWindowController::imageViewController()
{
    if (!m_imageViewController) {
        m_imageViewController = ShellSubsystems::Image().create();
        Arrange(m_imageViewController->view());
    }
    return *m_imageViewController;
}

void MainWindowController::login()
{
    m_window->showMaximized();
    m_window->activateWindow();
    m_window->raise();
    dmViewController().view()->hide();
    imageViewController().view()->hide();
    caseViewController().view()->hide();
}

void MainWindowController::getUserAuth()
{
    const RVLoginSubsystem& account = ShellSubsystems::Login();
    const QString stored = platform::UserDefaults::Standard().Value(platform::defaults::kAllApplicationURL).toString();
    const std::optional<QList<RVDomainEntry>> list = account.domainModelFromJson(stored);
    if (!list) {
        qWarning() << "The stored application list is not valid JSON; no case list is loaded";
        return;
    }
    for (const RVDomainEntry& item : *list) {
        if (item.serviceName == QStringLiteral("RVM")) {
            m_model = item;
            checkWebUrl();
            return;
        }
    }
    if (std::optional<RVDomainEntry> fallback = FallbackEntry(account.APIType())) {
        m_model = std::move(fallback);
        checkWebUrl();
    }
}

QString MainWindowController::urlPath() const
{
    for (const QString& role : ShellSubsystems::Login().roles())
        if (role.contains(QStringLiteral("RVM2C")))
            return QStringLiteral("rvmds");
    return QStringLiteral("rvmmc");
}

void MainWindowController::checkWebUrl()
{
    if (!m_model)
        return;
    const RVLoginSubsystem& account = ShellSubsystems::Login();
    const QString h = HostWithPort(account.udcHost());
    const QString p = account.urlPrefix();
    const RVDomainEntry model = *m_model;
    if (model.ssoUrl == h) {
        OpenCaseList(p + model.url + QLatin1Char('/') + urlPath());
        return;
    }
    // A login host of its own: first a ticket-granting ticket from it.
    QVariantMap form;
    form.insert(QStringLiteral("username"), account.username().value_or(QString()));
    form.insert(QStringLiteral("password"), account.password());
    QPointer<MainWindowController> self(this);
    QVHttpManager::requestObjectWithURLString(
        p + model.ssoUrl + QStringLiteral("/v1/tickets"), 1, form, false,
        [self, model, p](const QVTaskPtr& task, const QByteArray&) {
            if (!self)
                return;
            const QString location = QString::fromUtf8(task->response().header("Location"));
            const QString ticket = location.section(QLatin1Char('/'), -1);
            platform::CookieStorage& cookies = platform::CookieStorage::Shared();
            for (const QNetworkCookie& cookie : cookies.Cookies()) {
                if (cookie.name() == "CASTGC" && cookie.domain() == model.ssoUrl) {
                    (void)cookies.DeleteCookie(cookie);
                    break;
                }
            }
            if (ticket.isEmpty())
                return;
            QNetworkCookie cookie("CASTGC", ticket.toUtf8());
            cookie.setDomain(model.ssoUrl);
            cookie.setPath(QStringLiteral("/"));
            (void)cookies.SetCookie(cookie);
            self->OpenCaseList(p + model.url + QLatin1Char('/') + self->urlPath());
        },
        [](const QVTaskPtr&, const QVErrorOpt& error) {
            qWarning().noquote() << "The ticket request failed:" << (error ? error->localizedDescription() : QString());
        });
}

void MainWindowController::OpenCaseList(const QString& domain)
{
    QvUtilityObj::resetDomain(domain);
    if (!m_statisticsSent) {
        if (const std::optional<QString> name = ShellSubsystems::Login().username()) {
            RVRequestManager::activeStatisticalWithUsername(*name);
            m_statisticsSent = true;
        }
    }
    loadWebUrl(domain);
    m_toolBar->clickItem(1);
}

void MainWindowController::loadWebUrl(const QString& address)
{
    const QString sso = m_model ? m_model->ssoUrl : QString();
    QPointer<MainWindowController> self(this);
    ShellSubsystems::Login().loginToUrl(address, sso, [self, address] {
        if (!self)
            return;
        QStringList names; // cookie values are never logged
        for (const QNetworkCookie& cookie : platform::CookieStorage::Shared().Cookies())
            names << QString::fromUtf8(cookie.name()) + QLatin1Char('@') + cookie.domain();
        qDebug().noquote() << "Cookies after web sign-on:" << names.join(QStringLiteral(", "));
        self->caseViewController().setWebUrl(QUrl(address));
    });
}

void MainWindowController::ShowOnly(QWidget* shown)
{
    // Views of controllers not made yet stay unmade: hiding them changes nothing.
    QWidget* views[] = {m_caseViewController ? m_caseViewController->view() : nullptr,
                        m_dmViewController ? m_dmViewController->view() : nullptr,
                        m_imageViewController ? m_imageViewController->view() : nullptr};
    for (QWidget* view : views)
        if (view && view != shown)
            view->hide();
    shown->show();
}

bool MainWindowController::toolBar(RVToolBar&, quint64 type)
{
    if (type == 1)
        ShowOnly(caseViewController().view());
    else if (type == 2)
        ShowOnly(dmViewController().view());
    else if (type == 3)
        ShowOnly(imageViewController().view());
    return true;
}

bool MainWindowController::toolBarClose(RVToolBar&, quint64 type)
{
    if (type == 3) {
        if (!QvUtilityObj::showAlertQuestionWithInfo(QStringLiteral("确认关闭影像资料?")))
            return false;
        closeImageViewController();
        m_toolBar->clickItem(1);
    } else if (type == 2) {
        closeDMViewController();
        m_toolBar->clickItem(1);
    }
    return true;
}

void MainWindowController::closeDMViewController()
{
    if (m_dmViewController) {
        m_dmViewController->closeOpenAll();
        TakeOut(m_dmViewController->view());
    }
    ShellSubsystems::Design().clearDocument();
    RVCaseManager::shared().clear();
    m_dmViewController.reset();
}

void MainWindowController::closeImageViewController()
{
    if (!m_imageViewController)
        return;
    m_imageViewController->clear();
    TakeOut(m_imageViewController->view());
    m_imageViewController.reset();
}

void MainWindowController::viewType(int type, std::shared_ptr<RVCaseInfo> caseInfo)
{
    if (type == 1) {
        m_toolBar->clickItem(3);
        imageViewController().setCaseInfo(std::move(caseInfo));
    } else if (type == 2 && caseInfo) {
        m_toolBar->setTitle(caseInfo->patientName + QStringLiteral("/%1(%2)").arg(caseInfo->caseNo, caseInfo->phaseNo), 2);
        m_toolBar->clickItem(2);
        dmViewController().setCaseInfo(std::move(caseInfo));
    }
}

void MainWindowController::willSwitchNewCase()
{
    dmViewController().willSwitchNewCase();
}

void MainWindowController::watchCaseImages()
{
    m_toolBar->clickItem(3);
    imageViewController().setCaseInfo(RVCaseManager::shared().caseInfo());
}

bool MainWindowController::windowShouldClose()
{
    closeWindow();
    return false;
}

void MainWindowController::closeWindow()
{
    if (platform::RunAlert(QStringLiteral("系统将退出，是否继续？"), {QStringLiteral("确定"), QStringLiteral("取消")}) == 0)
        emit terminateRequested();
}

void MainWindowController::logout()
{
    m_window->hide();
    m_toolBar->clear();
    // The 3-D view's notations point into the document's teeth: they go first.
    if (m_dmViewController)
        m_dmViewController->closeOpenAll();
    ShellSubsystems::Design().clearDocument();
    RVCaseManager::shared().clear();
    ShellSubsystems::Login().clearData();
    for (QWidget* view : arrangedViews())
        TakeOut(view);
    m_caseViewController.reset();
    m_dmViewController.reset();
}

void MainWindowController::createPane(int id)
{
    dmViewController().createPane(id);
}
void MainWindowController::removePane(int id)
{
    dmViewController().removePane(id);
}
void MainWindowController::setActivePane(int id)
{
    dmViewController().setActivePane(id);
}
QvPane* MainWindowController::getActivePane()
{
    return dmViewController().getActivePane();
}
QWidget* MainWindowController::getActiveView()
{
    return dmViewController().getActiveView();
}
QWidget* MainWindowController::getAbovePane()
{
    return dmViewController().getAbovePane();
}
QWidget* MainWindowController::getBelowPane()
{
    return dmViewController().getBelowPane();
}
bool MainWindowController::getSplitPane()
{
    return dmViewController().getSplitPane();
}
bool MainWindowController::GetFullScreen()
{
    return dmViewController().GetFullScreen();
}
void MainWindowController::exportOS()
{
    dmViewController().exportOS();
}
void MainWindowController::UpdateTabBarPane(const QRect& rect)
{
    dmViewController().UpdateTabBarPane(rect);
}
void MainWindowController::updateRenderView()
{
    dmViewController().updateRenderView();
}

void MainWindowController::managerWillCloseDocumentByID(const QString& id)
{
    dmViewController().managerWillCloseDocumentByID(id);
}
void MainWindowController::managerWillDownloadFileByID(const QString& id, quint64 modelType)
{
    dmViewController().managerWillDownloadFileByID(id, modelType);
}
void MainWindowController::managerOpenDocumentFailerByID(const QString& id, quint64 modelType, int failerType)
{
    dmViewController().managerOpenDocumentFailerByID(id, modelType, failerType);
}
void MainWindowController::managerWillOpenDocumentByID(const QString&, quint64 modelType)
{
    if (modelType != 1041 && modelType != 1049)
        return;
    closeDMViewController();
    m_toolBar->clickItem(1);
}
void MainWindowController::watchThreeModel()
{
    m_toolBar->clickItem(2);
    dmViewController().watchThreeModel();
}
void MainWindowController::reloadModelView()
{
    dmViewController().reloadModelView();
}
void MainWindowController::reloadScheme()
{
    dmViewController().reloadScheme();
}
