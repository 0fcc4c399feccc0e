// SPDX-License-Identifier: GPL-3.0-or-later
// The view-direction tool bar floating over the top of a 3-D view: eight jaw and side
// views, three display toggles (gums, roots, jaw bone) and the one/two view switch.
// Each click writes the jaw mode into RVDMDrawStatus where it applies, then goes out
// through RVDMOprationManager. The rules live in RVDMSubToolBarModel, which is also
// what the hub holds (weakly) as its sub-tool bar. GUI thread only.
#pragma once

#include "app/design/RVDMOprationManager.h"

#include <QString>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>

class NSButtonEx;

class RVDMSubToolBarModel : public RVDMSubToolBarState {
public:
    RVDMSubToolBarModel();

    bool showGum = true;
    bool showRoot = false;
    bool showJawBone = false;
    bool m_enableTwoCompView = true;
    // The view-type button shows where its next click leads.
    QString viewTypeImage = QStringLiteral("multi_view");
    QString viewTypeToolTip = QStringLiteral("多视图");

    // Views of the core's view manager; tests script it.
    std::function<std::size_t()> viewCount;
    // The bar whose name goes out with the messages (the model itself by default).
    RVDMSubToolBarState* sender = this;

    void OnBnClickedUpperJaw();
    void OnBnClickedLowerJaw();
    void OnBnClickedFaceUpperJaw();
    void OnBnClickedFaceLowerJaw();
    void OnBnClickedRight();
    void OnBnClickedFront();
    void OnBnClickedLeft();
    void OnBnClickedBack();
    void OnBnClickedViewGum();
    void OnBnClickedShowRoot();
    void OnBnClickedShowJawBone();
    void OnBtnClickedViewType();
    void quitTwoCompView();

    bool gumState() const override { return showGum; }
    void setGumState(bool on) override { showGum = on; }
    bool enableTwoCompView() const override { return m_enableTwoCompView; }
    void setEnableTwoCompView(bool on) override { m_enableTwoCompView = on; }
};

class RVDMSubToolBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtonWidth = 40;
    static constexpr int kHeight = 32;

    // Becomes the hub's sub-tool bar (the newest bar wins).
    explicit RVDMSubToolBar(QWidget* parent = nullptr);

    // Creates the twelve buttons; totalWidth becomes 520.
    void setupSubViews();
    NSButtonEx* addButtonWithFrame(const QRect& frame, const QString& toolTip, const QString& imageName,
                                   void (RVDMSubToolBar::*action)());
    QSize sizeHint() const override { return intrinsicContentSize(); }
    QSize minimumSizeHint() const override { return intrinsicContentSize(); }
    QSize intrinsicContentSize() const { return {int(totalWidth), kHeight}; }

    void OnBnClickedUpperJaw();
    void OnBnClickedLowerJaw();
    void OnBnClickedFaceUpperJaw();
    void OnBnClickedFaceLowerJaw();
    void OnBnClickedRight();
    void OnBnClickedFront();
    void OnBnClickedLeft();
    void OnBnClickedBack();
    void OnBnClickedViewGum();
    void OnBnClickedShowRoot();
    void OnBnClickedShowJawBone();
    void OnBtnClickedViewType();
    // Back to one view; nothing while fewer than two views are shown.
    void quitTwoCompView();

    bool showGum() const { return m_model->showGum; }
    void setShowGum(bool on) { m_model->showGum = on; }
    bool showRoot() const { return m_model->showRoot; }
    void setShowRoot(bool on) { m_model->showRoot = on; }
    bool showJawBone() const { return m_model->showJawBone; }
    void setShowJawBone(bool on) { m_model->showJawBone = on; }
    bool enableTwoCompView() const { return m_model->m_enableTwoCompView; }
    void setEnableTwoCompView(bool on) { m_model->m_enableTwoCompView = on; }
    const std::shared_ptr<RVDMSubToolBarModel>& model() const { return m_model; }

    double totalWidth = 0;
    NSButtonEx* upJawBtn = nullptr;
    NSButtonEx* faceUpperJawBtn = nullptr;
    NSButtonEx* rightSideBtn = nullptr;
    NSButtonEx* frontSideBtn = nullptr;
    NSButtonEx* backSideBtn = nullptr;
    NSButtonEx* leftSideBtn = nullptr;
    NSButtonEx* faceLowerJawBtn = nullptr;
    NSButtonEx* lowerJawBtn = nullptr;
    NSButtonEx* viewGumBtn = nullptr;
    NSButtonEx* showRootBtn = nullptr;
    NSButtonEx* showJawBoneBtn = nullptr;
    NSButtonEx* viewTypeBtn = nullptr;

private:
    void syncViewTypeButton();

    std::shared_ptr<RVDMSubToolBarModel> m_model;
    QString m_shownViewTypeImage;
};
