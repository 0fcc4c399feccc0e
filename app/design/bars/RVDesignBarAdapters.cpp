// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RVDesignBarAdapters.h"

#include "app/design/RVDesignBarPorts.h"
#include "app/design/bars/RVDMSubToolBar.h"
#include "app/design/bars/RivelaAbovePane.h"
#include "app/design/bars/RivelaBelowPane.h"

#include <QObject>

namespace {

// Each port is a child object of its bar, so it lives exactly as long as the widget
// the window places (and the window drops the port with it).

class AbovePanePort final : public QObject, public RVDesignToolBarPort {
public:
    explicit AbovePanePort(RivelaAbovePane* bar) : QObject(bar), m_bar(bar) {}
    QWidget* widget() override { return m_bar; }
    void setMenuDelegate(RivelaMenuBarDelegate* delegate) override { m_bar->setMenuDelegate(delegate); }
    void setUpdateSplitViewHandler(std::function<void()> handler) override
    {
        m_bar->setUpdateSplitViewHandler(std::move(handler));
    }
    void showMenuBar() override { m_bar->showMenuBar(); }
    void createAuxPane() override { m_bar->createAuxPane(); }
    void removeAuxPane() override { m_bar->removeAuxPane(); }
    void reset() override { m_bar->reset(); }
    void setAttachBtnEnable(bool attachEnable, bool bracketBtnEnable) override
    {
        m_bar->setAttachBtnEnable(attachEnable, bracketBtnEnable);
    }
    void setIsApproveSchemeStep(bool approve) override { m_bar->setIsApproveSchemeStep(approve); }
    bool isTargetDesignChecked() const override
    {
        return m_bar->model()->isChecked(RivelaAboveModel::TargetDesign);
    }
    NSButtonEx* menuRightBtn() override { return m_bar->menuRightBtn; }
    NSButtonEx* menuLeftBtn() override { return m_bar->menuLeftBtn; }
    NSButtonEx* rotateTypeBtn() override { return m_bar->rotateTypeBtn; }

private:
    RivelaAbovePane* m_bar;
};

class BelowPanePort final : public QObject, public RVStepBarPort {
public:
    explicit BelowPanePort(RivelaBelowPane* bar) : QObject(bar), m_bar(bar) {}
    QWidget* widget() override { return m_bar; }
    void setUpStep(const QString& text) override { m_bar->setUpStep(text); }
    void setDownStep(const QString& text) override { m_bar->setDownStep(text); }
    void setUpExceedStep(const QString& text) override { m_bar->setUpExceedStep(text); }
    void setDownExceedStep(const QString& text) override { m_bar->setDownExceedStep(text); }
    void createAuxPane() override { m_bar->createAuxPane(); }
    void SetTargetStep(bool on) override { m_bar->SetTargetStep(on); }
    bool didSelectStep(int step, bool play) override { return m_bar->didSelectStep(step, play); }

private:
    RivelaBelowPane* m_bar;
};

class SubToolBarPort final : public QObject, public RVSubToolBarPort {
public:
    explicit SubToolBarPort(RVDMSubToolBar* bar) : QObject(bar), m_bar(bar) {}
    QWidget* widget() override { return m_bar; }
    void quitTwoCompView() override { m_bar->quitTwoCompView(); }
    void setEnableTwoCompView(bool enable) override { m_bar->setEnableTwoCompView(enable); }

private:
    RVDMSubToolBar* m_bar;
};

} // namespace

void RegisterRealDesignBars()
{
    RVDesignBarMakers makers;
    makers.aboveBar = []() -> RVDesignToolBarPort* { return new AbovePanePort(new RivelaAbovePane); };
    makers.belowBar = []() -> RVStepBarPort* { return new BelowPanePort(new RivelaBelowPane); };
    makers.subToolBar = []() -> RVSubToolBarPort* { return new SubToolBarPort(new RVDMSubToolBar); };
    RegisterDesignBars(std::move(makers));
}
