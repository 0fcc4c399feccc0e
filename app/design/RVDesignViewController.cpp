// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDesignViewController.h"

#include "app/design/RVDMOprationManager.h"
#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "app/platform/Dispatch.h"
#include "app/platform/Folders.h"
#include "app/service/RVCaseManager.h"
#include "app/shell/QvUtilityObj.h"
#include "app/shell/panes/QvMenuBar.h"
#include "app/shell/widgets/LoadingView.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"

#include <QApplication>
#include <QDebug>
#include <QPainter>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace {

QImage& Background()
{
    static QImage image(platform::PathForResource(QStringLiteral("Rivela_bkg"), QStringLiteral("png")));
    return image;
}

void PaintBackground(QWidget& widget)
{
    QPainter painter(&widget);
    if (Background().isNull())
        painter.fillRect(widget.rect(), QColor(49, 95, 132));
    else
        painter.drawImage(widget.rect(), Background());
}

// A box: transparent, no title, no margins; its content fills it.
QWidget* MakeBox(QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return box;
}

void SetBoxContent(QWidget* box, QWidget* content)
{
    if (!box || !content)
        return;
    box->layout()->addWidget(content);
    content->show();
}

// The loading animation over the window's background.
class CoveringLoadingView : public LoadingView {
public:
    using LoadingView::LoadingView;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        PaintBackground(*this);
        LoadingView::paintEvent(event);
    }
};

} // namespace

// The root view: the window's background, and the layout pass on every resize.
class RVDesignViewController::Root : public QWidget {
public:
    explicit Root(RVDesignViewController& owner) : m_owner(owner) {}

protected:
    void paintEvent(QPaintEvent*) override { PaintBackground(*this); }
    void resizeEvent(QResizeEvent*) override { m_owner.applyLayout(); }

private:
    RVDesignViewController& m_owner;
};

// The document manager holds its delegate weakly, and the open in progress holds
// this; either may outlive the controller, which then hears nothing more.
class RVDesignViewController::Listener : public RVModelManagerDelegate {
public:
    explicit Listener(RVDesignViewController* owner) : owner(owner) {}
    void willCloseDocumentByID(RVModelManager&, const QString& id) override
    {
        if (owner)
            owner->managerWillCloseDocumentByID(id);
    }
    void OpenDocumentFailerByID(RVModelManager&, const QString& id, quint64 kind, unsigned failure) override
    {
        if (owner)
            owner->managerOpenDocumentFailerByID(id, kind, static_cast<int>(failure));
    }
    void watchThreeModel() override
    {
        if (owner)
            owner->watchThreeModel();
    }
    void reloadModelView() override
    {
        if (owner)
            owner->reloadModelView();
    }
    void reloadScheme() override
    {
        if (owner)
            owner->reloadScheme();
    }
    RVDesignViewController* owner;
};

RVDesignViewController::RVDesignViewController()
    : m_listener(std::make_shared<Listener>(this)), m_layout(*this)
{
}

RVDesignViewController::~RVDesignViewController()
{
    qDebug() << "dealloc RVDMViewController";
    m_listener->owner = nullptr;
    if (m_renderView)
        m_renderView->setHost(nullptr);
    // Panes first (their host goes), then the view tree with the bars in it.
    m_infoDlgRight.reset();
    m_infoDlgLeft.reset();
    delete m_root.data();
}

// ---- Creation

void RVDesignViewController::initialize()
{
    initInfoDlg();
    initSubViews();
}

QWidget* RVDesignViewController::view()
{
    BuildTree();
    if (!m_hasViewDidLoad && m_infoDlgRight)
        viewDidLoad();
    return m_root;
}

void RVDesignViewController::BuildTree()
{
    if (!m_root) {
        auto* root = new Root(*this);
        if (QWidget* key = QApplication::activeWindow())
            root->resize(key->size());
        m_root = root;
        // The tree exists before the hosts are given their boxes.
        m_topBox = MakeBox(root);
        m_centerContainerView = new QWidget(root);
        m_leftBox = MakeBox(m_centerContainerView);
        m_rightContainerView = new QWidget(m_centerContainerView);
        m_rightContainerView->setAutoFillBackground(true);
        QPalette palette = m_rightContainerView->palette();
        palette.setColor(QPalette::Window, Qt::white);
        m_rightContainerView->setPalette(palette);
        m_rightTabBox = MakeBox(m_rightContainerView);
        m_rightPaneBox = MakeBox(m_rightContainerView);
        m_bottomBox = MakeBox(root);
        m_bottomBox->hide();
    }
}

void RVDesignViewController::initInfoDlg()
{
    BuildTree();
    m_infoDlgLeft = std::make_unique<InfoDlg>(m_leftBox);
    m_infoDlgLeft->setDelegate(this);
    m_infoDlgRight = std::make_unique<InfoDlg>(m_rightPaneBox);
    m_infoDlgRight->SetMenuBar(paneMenuBar());
    m_infoDlgRight->setDelegate(this);
}

void RVDesignViewController::initSubViews()
{
    view();
    setupCustomConstraints();
    if (RVDesignToolBarPort* bar = auxToolBar())
        SetBoxContent(m_topBox, bar->widget());
    if (RVStepBarPort* bar = treatStepToolBar())
        SetBoxContent(m_bottomBox, bar->widget());
}

void RVDesignViewController::viewDidLoad()
{
    RVModelManager::shared().setDelegate(m_listener);
    m_layout.resetState(RVDMLayout::kTop, true, false);
    m_hasViewDidLoad = true;
    if (auto pending = std::exchange(m_caseInfo, nullptr))
        setCaseInfo(std::move(pending));
}

void RVDesignViewController::setupCustomConstraints()
{
    applyLayout();
}

void RVDesignViewController::applyLayout()
{
    if (!m_root || !m_topBox)
        return;
    const RVDMLayoutGeometry g = m_layout.geometry(m_root->size());
    m_topBox->setGeometry(g.top);
    m_topBox->setVisible(g.topShown);
    m_centerContainerView->setGeometry(g.centre);
    m_bottomBox->setGeometry(g.bottom);
    m_bottomBox->setVisible(g.bottomShown);
    m_leftBox->setGeometry(g.left);
    m_leftBox->setVisible(g.leftShown);
    m_rightContainerView->setGeometry(g.right);
    m_rightContainerView->setVisible(g.rightShown);
    m_rightTabBox->setGeometry(g.rightTab);
    m_rightPaneBox->setGeometry(g.rightPane);
    if (m_loadingView)
        m_loadingView->setGeometry(m_root->rect());
}

QvMenuBar* RVDesignViewController::paneMenuBar()
{
    if (!m_paneMenuBar) {
        BuildTree();
        auto* bar = new QvMenuBar;
        bar->resize(RVDMLayout::kColumnWidth, RVDMLayout::kTabHeight);
        bar->setConsiderSelected(true);
        SetBoxContent(m_rightTabBox, bar);
        m_paneMenuBar = bar;
    }
    return m_paneMenuBar;
}

namespace {

// A bar from its registered maker (none without one); the port lives as long as the
// widget, so both are kept together.
template <class Port>
Port* MakeBar(const std::function<Port*()>& make, Port*& port, QPointer<QWidget>& widget)
{
    port = make ? make() : nullptr;
    widget = port ? port->widget() : nullptr;
    return port;
}

} // namespace

RVDesignToolBarPort* RVDesignViewController::auxToolBar()
{
    if (!m_auxToolBarWidget) {
        RVDesignToolBarPort* bar = MakeBar(DesignBars().aboveBar, m_auxToolBar, m_auxToolBarWidget);
        if (!bar)
            return nullptr;
        BuildTree();
        m_auxToolBarWidget->setParent(m_topBox);
        bar->setMenuDelegate(this);
        QPointer<QWidget> weakBar = m_auxToolBarWidget;
        bar->setUpdateSplitViewHandler([this, weakBar, bar] {
            if (weakBar && bar->isTargetDesignChecked())
                showSpace(RVDMLayout::kTop | RVDMLayout::kLeft | RVDMLayout::kRight | RVDMLayout::kBottom);
        });
        bar->showMenuBar();
    }
    return m_auxToolBar;
}

RVStepBarPort* RVDesignViewController::treatStepToolBar()
{
    if (!m_treatStepToolBarWidget) {
        if (!MakeBar(DesignBars().belowBar, m_treatStepToolBar, m_treatStepToolBarWidget))
            return nullptr;
        BuildTree();
        m_treatStepToolBarWidget->setParent(m_bottomBox);
    }
    return m_treatStepToolBar;
}

QWidget* RVDesignViewController::getAbovePane()
{
    RVDesignToolBarPort* bar = auxToolBar();
    return bar ? bar->widget() : nullptr;
}

QWidget* RVDesignViewController::getBelowPane()
{
    RVStepBarPort* bar = treatStepToolBar();
    return bar ? bar->widget() : nullptr;
}

RivelaView* RVDesignViewController::renderView()
{
    if (!m_renderView) {
        BuildTree();
        // Parked hidden in the left box until the left host shows it.
        auto* render = new RivelaView(m_leftBox);
        render->hide();
        render->setHost(this);
        m_renderView = render;
    }
    return m_renderView;
}

void RVDesignViewController::ShowInLeft(RivelaView* view)
{
    QWidget* old = m_infoDlgLeft->contentView();
    m_infoDlgLeft->setContentView(view);
    // The host lets go of a replaced view; an old 3-D view is of no further use.
    if (old && old != view && qobject_cast<RivelaView*>(old))
        delete old;
}

// ---- Opening

void RVDesignViewController::setCaseInfo(std::shared_ptr<RVCaseInfo> info)
{
    if (!info)
        return;
    if (m_loadingView) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("正在加载其他模型，请等待！"));
        return;
    }
    std::shared_ptr<RVCaseInfo> old = m_caseInfo;
    if (!m_hasViewDidLoad) {
        m_caseInfo = std::move(info);
        return;
    }
    m_infoDlgRight->setCaseinfo(info);
    RVCaseManager::shared().setCaseInfo(info);
    closeOpenAll();
    m_caseInfo = info;
    showLoadingView();
    std::shared_ptr<Listener> listener = m_listener;
    platform::AsyncGlobal([listener, info, old] {
        const unsigned result = RVModelManager::shared().openDocumentWithFileURL(info->openURL, old, info);
        platform::AsyncOnGui([listener, result] {
            if (!listener->owner)
                return;
            if (result == 0)
                listener->owner->watchThreeModel();
            listener->owner->hideLoadingView();
        });
    });
}

void RVDesignViewController::showLoadingView()
{
    hideLoadingView();
    auto* loading = new CoveringLoadingView(view());
    loading->setGeometry(m_root->rect());
    loading->show();
    loading->raise();
    m_loadingView = loading;
}

void RVDesignViewController::hideLoadingView()
{
    if (!m_loadingView)
        return;
    m_loadingView->stopLoading();
    m_loadingView->hide();
    delete m_loadingView.data();
    m_loadingView = nullptr;
}

void RVDesignViewController::reloadModelView()
{
    RivelaView* render = renderView();
    render->SetCurSplite(1);
    setAllowedEnabled(true);
    render->reloadData();
    reloadInfoDlgMenu();
    reloadAuxPane();
    const quint64 kind = m_caseInfo ? m_caseInfo->modelType : 0;
    if (RVDesignToolBarPort* bar = auxToolBar())
        bar->setAttachBtnEnable(kind != 1050, kind == 1050);
    RVDMOprationManager::shared().showFront();
}

void RVDesignViewController::reloadScheme()
{
    setAllowedEnabled(true);
    m_infoDlgRight->RemoveAllPane();
    reloadInfoDlgMenu();
    renderView()->reloadScheme();
}

void RVDesignViewController::watchThreeModel()
{
    RivelaView* render = renderView();
    render->GetTreatStep();
    if (RVStepBarPort* bar = treatStepToolBar())
        bar->createAuxPane();
    showSpace(RVDMLayout::kTop | RVDMLayout::kLeft | RVDMLayout::kRight | RVDMLayout::kBottom);
    ShowInLeft(render);
}

void RVDesignViewController::managerOpenDocumentFailerByID(const QString&, quint64 modelType, int failerType)
{
    if (failerType >= 1 && failerType <= 5)
        QvUtilityObj::showAlertWithError(RVModelManager::failureMessage(static_cast<unsigned>(failerType)));
    if (modelType != 1047 && modelType != 1048 && modelType != 1050)
        closeOpenAll();
}

// ---- Closing

void RVDesignViewController::closeDocument()
{
    m_infoDlgRight->RemoveAllPane();
    if (m_renderView)
        m_renderView->Clear();
    setAllowedEnabled(false);
    clearAuxPane();
    m_pActivePaneRight = nullptr;
    m_renderView = nullptr;
}

void RVDesignViewController::closeOpenAll()
{
    m_infoDlgRight->RemoveAllPane();
    clearAuxPane();
    m_pActivePaneRight = nullptr;
    if (m_renderView)
        m_renderView->Clear();
    m_renderView = nullptr;
}

// ---- Side panes

void RVDesignViewController::setActivePane(int id)
{
    if (m_pActivePaneRight)
        m_infoDlgRight->RemoveAllPaneIsKeep(true);
    m_pActivePaneRight = nullptr;
    if (id == 0)
        return;
    QvPane* pane = m_infoDlgRight->AddPane(id);
    m_pActivePaneRight = pane;
    if (pane)
        m_infoDlgRight->SelectPane(id);
}

void RVDesignViewController::setSelectPane(int id)
{
    if (id == 0)
        return;
    QvPane* pane = m_infoDlgRight->AddPane(id);
    m_pActivePaneRight = pane;
    if (pane)
        m_infoDlgRight->SelectPane(id);
}

void RVDesignViewController::paneDidSelect(int id)
{
    switch (id) {
    case 6:
    case 7:
    case 9:
    case 10:
    case 11:
        m_layout.setSplitState(true);
        m_layout.setFullScreen(false);
        setSelectPane(id);
        OnBtnClickedScheme();
        break;
    case 8:
        showSpace(RVDMLayout::kTop | RVDMLayout::kLeft | RVDMLayout::kRight | RVDMLayout::kBottom);
        setSelectPane(8);
        m_layout.updateFullScreen(false);
        OnBtnClickedScheme();
        break;
    default:
        break;
    }
}

void RVDesignViewController::createPane(int id) { (void)m_infoDlgRight->AddPane(id); }

void RVDesignViewController::removePane(int id) { m_infoDlgRight->RemovePane(id); }

void RVDesignViewController::updatePane(int id)
{
    if (m_infoDlgRight->AddPane(id))
        removePane(id);
}

void RVDesignViewController::reloadInfoDlgMenu()
{
    m_infoDlgRight->SetMenuBar(paneMenuBar());
    m_infoDlgRight->setDelegate(this);
    setActivePane(6);
    const std::shared_ptr<RivelaDoc> document = RVModelManager::shared().currentDocument();
    const std::shared_ptr<RVCaseInfo> c = document ? document->caseInfo : nullptr;
    if (!c)
        return;
    if (c->modelType != 1041 && c->serviceType != QStringLiteral("3"))
        createPane(7);
    if (RVModelManager::shared().totalTreatStep() > 2)
        createPane(8);
    if (c->isApproveSchemeStep()) {
        if (QvPane* pane = m_infoDlgRight->AddPane(11))
            QMetaObject::invokeMethod(pane, "setCaseNo", Q_ARG(QString, c->caseNo), Q_ARG(QString, c->casePhaseId));
        setSelectPane(11);
    }
    if (RVDesignToolBarPort* bar = auxToolBar())
        bar->setIsApproveSchemeStep(c->isApproveSchemeStep());
}

void RVDesignViewController::reloadAuxPane()
{
    // The step-movement window belongs to the step panes: none to hide without them.
    if (RVDesignToolBarPort* bar = auxToolBar())
        bar->createAuxPane();
    renderView()->GetTreatStep();
    if (RVStepBarPort* bar = treatStepToolBar())
        bar->createAuxPane();
}

void RVDesignViewController::clearAuxPane()
{
    if (RVDesignToolBarPort* bar = auxToolBar()) {
        bar->removeAuxPane();
        bar->reset();
    }
}

void RVDesignViewController::setAllowedEnabled(bool enabled)
{
    RVDesignToolBarPort* bar = auxToolBar();
    if (!bar)
        return;
    if (NSButtonEx* right = bar->menuRightBtn())
        right->setEnable(enabled);
    if (NSButtonEx* left = bar->menuLeftBtn())
        left->setEnable(enabled);
}

void RVDesignViewController::OnBtnClickedScheme()
{
    showSpace(RVDMLayout::kTop | RVDMLayout::kLeft | RVDMLayout::kRight | RVDMLayout::kBottom);
    ShowInLeft(renderView());
}

void RVDesignViewController::updateRenderView()
{
    if (RivelaView* render = renderView())
        render->repaint();
}

void RVDesignViewController::exportOS() { RVModelManager::shared().exportOS(); }

void RVDesignViewController::showBelowPane(bool shown)
{
    if (m_bottomBox)
        m_bottomBox->setVisible(shown);
}

QString RVDesignViewController::getWindowTitle()
{
    const std::shared_ptr<RivelaDoc> document = RVModelManager::shared().currentDocument();
    QvModel* model = document ? document->getModel() : nullptr;
    if (!model)
        return QString("");
    const QvPatientInfo* info = model->GetPatientInfo();
    const QString title = info ? QString::fromStdString(info->GetTitle()) : QString();
    const std::shared_ptr<RVCaseInfo> c = document->caseInfo;
    if (!c)
        return QString("");
    QString result;
    if (c->patientName.isEmpty())
        result = c->caseNo.isEmpty() ? QString("") : c->caseNo;
    else if (!c->caseNo.isEmpty())
        result = c->patientName + QStringLiteral(" / %1 (%2)").arg(c->caseNo, c->phaseNo);
    else
        result = c->patientName;
    if (title != c->caseNo)
        QvUtilityObj::showAlertWithMessage(QStringLiteral("前后台病例信息不匹配"));
    return result;
}

// ---- Layout host

int RVDesignViewController::layoutActivePaneId() { return m_pActivePaneRight ? m_pActivePaneRight->GetID() : 0; }

double RVDesignViewController::layoutRootWidth() { return m_root ? m_root->width() : 0.0; }

void RVDesignViewController::layoutSetRenderSplit(bool split)
{
    renderView()->SetCurSplite(split ? 1 : 0);
}

void RVDesignViewController::layoutUpdatePaneFullScreen(bool fullScreen)
{
    if (QvPane* pane = m_infoDlgRight->GetPaneByID(8))
        QMetaObject::invokeMethod(pane, "UpdateSize", Q_ARG(bool, fullScreen));
}
