// SPDX-License-Identifier: GPL-3.0-or-later
// Recording stand-ins for the design window's bars and side panes: each bar writes
// what it is told into a shared log; the panes register under ids 3, 4 and 6 to 11
// as the pane subsystems will, and record the calls only some panes answer.
#pragma once

#include "app/design/RVDesignBarPorts.h"
#include "app/shell/panes/QvPane.h"
#include "app/shell/widgets/NSButtonEx.h"

#include <QRect>
#include <QStringList>
#include <QWidget>

namespace designtest {

// Every bar's and pane's calls, in order ("above reset", "pane8 UpdateSize 1", ...).
QStringList& BarLog();

class FakeToolBar : public QWidget, public RVDesignToolBarPort {
public:
    FakeToolBar();
    QWidget* widget() override { return this; }
    void setMenuDelegate(RivelaMenuBarDelegate* delegate) override { menuDelegate = delegate; }
    void setUpdateSplitViewHandler(std::function<void()> handler) override { splitHandler = std::move(handler); }
    void showMenuBar() override;
    void createAuxPane() override;
    void removeAuxPane() override;
    void reset() override;
    void setAttachBtnEnable(bool attach, bool bracket) override;
    void setIsApproveSchemeStep(bool approve) override;
    bool isTargetDesignChecked() const override { return targetDesign; }
    NSButtonEx* menuRightBtn() override { return right; }
    NSButtonEx* menuLeftBtn() override { return left; }
    NSButtonEx* rotateTypeBtn() override { return rotate; }
    QSize sizeHint() const override { return {1600, 64}; }

    RivelaMenuBarDelegate* menuDelegate = nullptr;
    std::function<void()> splitHandler;
    bool targetDesign = false;
    NSButtonEx* right;
    NSButtonEx* left;
    NSButtonEx* rotate;
};

class FakeStepBar : public QWidget, public RVStepBarPort {
public:
    FakeStepBar();
    QWidget* widget() override { return this; }
    void setUpStep(const QString& text) override;
    void setDownStep(const QString& text) override;
    void setUpExceedStep(const QString& text) override;
    void setDownExceedStep(const QString& text) override;
    void createAuxPane() override;
    void SetTargetStep(bool on) override;
    bool didSelectStep(int step, bool play) override;
};

class FakeSubToolBar : public QWidget, public RVSubToolBarPort {
public:
    FakeSubToolBar();
    QWidget* widget() override { return this; }
    void quitTwoCompView() override;
    void setEnableTwoCompView(bool enable) override;
    QSize sizeHint() const override { return {520, 32}; }
};

// Makers of the three fakes; Unregister forgets them.
void RegisterFakeBars();
void UnregisterFakeBars();

class RecordingSidePane : public QvPane {
    Q_OBJECT
public:
    explicit RecordingSidePane(int id);
    ~RecordingSidePane() override;
    bool IsDummy() const override { return m_id == 3 || m_id == 4; }
    void Clear() override;
    Q_INVOKABLE void setCaseNo(const QString& caseNo, const QString& casePhaseId);
    Q_INVOKABLE void UpdateSize(bool fullScreen);
    Q_INVOKABLE void initStateWithFrame(const QRect& frame);
};

// The cross-section pane comes from its interface file, made once.
class RecordingSectionPane : public SectionPane {
    Q_OBJECT
public:
    RecordingSectionPane();
    Q_INVOKABLE void initStateWithFrame(const QRect& frame);
};

// Panes under 3, 4, 6 to 11; Unregister forgets every pane class.
void RegisterRecordingPanes();
void UnregisterRecordingPanes();

} // namespace designtest
