// SPDX-License-Identifier: GPL-3.0-or-later
// The design tool bar's state and rules, without a window: the checked and enabled
// state of its boxes (the shared display state others read through
// RVDMToolBarState), the mutual exclusion of section, distance measurement, target
// design and bracket design, and the question before bracket design is left. Only
// a click (press) broadcasts; setting a state from outside never does. A box the
// doctor declined to change is put back through post, after the click has finished.
// GUI thread only.
#pragma once

#include "app/design/RVDMOprationManager.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

class RivelaAboveModel : public RVDMToolBarState, public std::enable_shared_from_this<RivelaAboveModel> {
public:
    // The check boxes in row order (the rotate-mode button is not a box).
    enum Box {
        FDI,
        Section,
        Collision,
        Gap,
        IPR,
        Att,
        Compare,
        TargetDesign,
        BracketDesign,
        Grid,
        DistMeasure,
        MoveData,
        SaveScheme,
        kBoxCount
    };

    // IPR checked, every other box unchecked; all enabled.
    RivelaAboveModel();

    bool isChecked(Box box) const { return m_checked[box]; }
    void setChecked(Box box, bool checked);
    bool isEnabled(Box box) const { return m_enabled[box]; }
    void setEnabled(Box box, bool enabled);

    // What a press on the box does: nothing when it is disabled; otherwise it flips
    // and its action runs.
    void press(Box box);
    // The box has flipped to checked already (the check box's own press); runs its action.
    void pressed(Box box, bool checked);

    void OnBnClickedShowFDI();
    void OnBnClickedShowSection();
    void OnBnClickedShowCollision();
    void OnBnClickedShowGap();
    void OnBnClickedShowIPR();
    void OnBnClickedShowAtt();
    void OnBnClickedShowCompare();
    void OnBnClickedTargetDesign();
    void OnBnClickedBracketDesign();
    void OnBnClickedShowGrid();
    void OnBnClickedDistanceMeasure();
    void OnBnClickedMoveData();
    void OnBtnClickedRotateType();
    void OnBnClickedSaveScheme();

    // Boxes back to their creation states (movement table and export kept); no broadcast.
    void reset();
    void resetCollisionAndGapStatus();
    // Attachments enabled and checked by a, bracket design enabled by b; no broadcast.
    void setAttachBtnEnable(bool a, bool bracketBtnEnable);
    bool isApproveSchemeStep() const { return m_isApproveSchemeStep; }
    // Hides the target-design box while set.
    void setIsApproveSchemeStep(bool approve);

    bool showAttachment() const { return isChecked(Att); }
    bool showCompare() const { return isChecked(Compare); }

    // Title of the current case by its scheme type, and its case number.
    static QString GetSchemeTitle();
    static QString GetCaseNo();

    // RVDMToolBarState
    bool isAttachmentChecked() const override { return isChecked(Att); }
    bool isCompareChecked() const override { return isChecked(Compare); }
    bool isCollisionChecked() const override { return isChecked(Collision); }
    bool isGapChecked() const override { return isChecked(Gap); }
    bool isIPRChecked() const override { return isChecked(IPR); }
    void setCompareChecked(bool checked) override { setChecked(Compare, checked); }
    void uncheckCollisionAndGap() override { resetCollisionAndGapStatus(); }

    // The modal question, true for "确定" (QvUtilityObj by default).
    std::function<bool(const QString&)> ask;
    // Runs the work after the current event (the next turn of the event loop by default).
    std::function<void(std::function<void()>)> post;
    // Set by the host; called at the moments of the mode rules.
    std::function<void()> updateSplitViewHandler;
    // The scheme export (the document manager's by default).
    std::function<void()> exportScheme;
    // Told after every change of a box's state, so a window can show it.
    std::function<void()> changed;
    // The bar named in the messages (the model itself by default).
    RVDMToolBarState* sender = this;

private:
    void send(Box box, bool on);
    // Unchecks the box and sends its message with false.
    void turnOff(Box box);
    void leaveTargetDesign();
    void splitHandler();
    void postSetChecked(Box box, bool checked);
    void notify();

    std::array<bool, kBoxCount> m_checked{};
    std::array<bool, kBoxCount> m_enabled{};
    bool m_isApproveSchemeStep = false;
};
