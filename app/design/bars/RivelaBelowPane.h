// SPDX-License-Identifier: GPL-3.0-or-later
// The treatment step bar below the 3-D view: the six step controls (an icon bar),
// the last steps of the upper and lower jaw as a fraction, and a scale of two rows
// of step segments with a round orange marker that can be dragged. The bar owns the
// design window's current step; its rules live in RivelaStepBarModel (model()).
// GUI thread only.
#pragma once

#include "app/design/bars/MenuBar.h"
#include "app/design/bars/RivelaAuxPane.h"
#include "app/design/bars/RivelaStepBarModel.h"

#include <functional>
#include <memory>

// The round marker with the current step; drags are reported in its own
// coordinates (origin bottom left).
class NSStepButton : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kColour{243, 152, 0};

    explicit NSStepButton(QWidget* parent = nullptr) : QWidget(parent) {}

    qint64 currentIndex() const { return m_currentIndex; }
    void setCurrentIndex(qint64 index);
    qint64 totalStep() const { return m_totalStep; }
    void setTotalStep(qint64 total);
    std::function<void(const QPointF&)> stepMoveLocation;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    qint64 m_currentIndex = 0;
    qint64 m_totalStep = 0;
};

// Stored for the 3-D view; the bar sends it nothing.
class RivelaStepPlayDelegate {
public:
    virtual ~RivelaStepPlayDelegate() = default;
};

class RivelaBelowPane : public RivelaAuxPane, public MenuBarDelegate {
    Q_OBJECT
public:
    static inline const QColor kTextColour{153, 153, 153};
    static inline const QColor kPastColour{73, 183, 244};
    static inline const QColor kComingColour{180, 230, 253};
    static inline const QColor kEndedColour{177, 178, 179};

    explicit RivelaBelowPane(QWidget* parent = nullptr);
    ~RivelaBelowPane() override;

    // The four step texts of the current scheme, set before createAuxPane.
    void setUpStep(const QString& text) { m_model.m_nUpStep = text; }
    void setDownStep(const QString& text) { m_model.m_nDownStep = text; }
    void setUpExceedStep(const QString& text) { m_model.m_nUpExceedStep = text; }
    void setDownExceedStep(const QString& text) { m_model.m_nDownExceedStep = text; }

    // Reload for the current case: idle at step 0.
    void createAuxPane() override;
    void removeAuxPane() override {}
    MenuBar* CreateStepBar();
    void RemoveAuxView();

    bool didSelectStep(int step, bool play) { return m_model.didSelectStep(step, play); }
    void disableStepBar() { m_model.disableStepBar(); }
    void switchStepBegin(bool first) { m_model.switchStepBegin(first); }
    void SetTargetStep(bool on) { m_model.SetTargetStep(on); }
    int getCurrentStep() const { return m_model.getCurrentStep(); }

    // The host shows the step in the step chart when that is the active pane.
    void setStepPaneUpdater(std::function<void(int)> updater) { m_model.updateStepPane = std::move(updater); }
    void setStepDelegate(RivelaStepPlayDelegate* delegate) { stepDelegate = delegate; }
    RivelaStepPlayDelegate* stepDelegate = nullptr; // not owned

    void menuBarDidSelectIconAtIndex(MenuBar& bar, qint64 index) override;
    void stepMoveLocation(const QPointF& point) { m_model.stepMoveLocation(point, markerSize()); }

    RivelaStepBarModel& model() { return m_model; }
    MenuBar* stepBar() const { return m_pStepBar; }
    NSStepButton* marker() const { return m_btnCurStep; }

    // The marker's x from the current step.
    void updateMoveButtonSize();
    // y of the upper and lower rows (from the top).
    double upperRowY() const { return height() - ((height() - 28.8) / 2 + 14.4); }
    double lowerRowY() const { return height() - (height() - 28.8) / 2; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QSizeF markerSize() const;
    void applyIcons();
    void showStep(bool createMarker);
    NSStepButton* drawCrtStepButton();
    void drawStepText(QPainter& painter);
    void drawLines(QPainter& painter);
    void setDrawLineRef(QPainter& painter, double y, qint64 lastStep);

    RivelaStepBarModel m_model;
    MenuBar* m_pStepBar = nullptr;
    NSStepButton* m_btnCurStep = nullptr;
};
