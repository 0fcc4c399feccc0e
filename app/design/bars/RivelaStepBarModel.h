// SPDX-License-Identifier: GPL-3.0-or-later
// The treatment step bar without its window: the current step and the step counts,
// the icon states of the six step controls, auto-play on a 0.5 s timer (its first
// tick runs inside the start), dragging of the marker, and the animation export.
// Every step change goes to the 3-D views through the operation hub (switchViews)
// and to the step chart (updateStepPane). States: idle, playing, exporting (playing
// with m_bStepSave), disabled (m_bStepClose: a design pane owns the steps).
// GUI thread only.
#pragma once

#include "app/shell/widgets/IconItem.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class NSSavePanelEx;

// Captures frames of the window during an export and writes them as a GIF.
class RivelaStepExporter {
public:
    virtual ~RivelaStepExporter() = default;
    virtual void startExport() = 0;
    // True when a GIF with at least one frame was written.
    virtual bool stopExportAtPath(const QString& path) = 0;
};

// What the icon bar is told, kept in the icon bar's own terms.
struct RivelaStepIcons {
    QList<IconItem> items;
    QList<IconItem> replaceItems; // the disabled ones, by name
    bool considerSelected = true; // true: nothing disabled

    void configureIconItems(const QList<IconItem>& list) { items = list; }
    void updateIconItems(const QList<IconItem>& list)
    {
        replaceItems = list;
        considerSelected = false;
    }
    bool isDisabled(const QString& name) const;
};

class RivelaStepBarModel {
public:
    // Geometry in pane points (origin top left; the rows are measured from the bottom
    // as the bar was designed).
    static constexpr double kIconBarX = 10;
    static constexpr double kIconBarWidth = 204;
    static constexpr double kIconBarHeight = 24;
    static constexpr double kTextX = kIconBarX + kIconBarWidth + 10;
    static constexpr double kScaleX = kTextX + 14 + 15;
    static constexpr double kMaxStepWidth = 100;
    static constexpr double kMarkerSize = 18;

    RivelaStepBarModel();
    ~RivelaStepBarModel();
    RivelaStepBarModel(const RivelaStepBarModel&) = delete;
    RivelaStepBarModel& operator=(const RivelaStepBarModel&) = delete;

    // Last step and over-correction steps of each jaw as decimal text; null counts as "0".
    QString m_nUpStep, m_nDownStep, m_nUpExceedStep, m_nDownExceedStep;

    qint64 m_nTotalStep = 0;
    qint64 m_nCurrentStep = 0;
    qint64 m_nMaxStep = 0;
    bool m_bStepClose = false;
    bool m_bStepSave = false;
    bool m_bStepModel = true;
    bool m_bStepTarget = false;
    double m_timeInterval = 0.5;
    IconItem m_itemBegin{QStringLiteral("step_begin"), {}};
    IconItem m_itemBack{QStringLiteral("step_back"), {}};
    IconItem m_itemPlay{QStringLiteral("step_play"), {}};
    IconItem m_itemForward{QStringLiteral("step_forward"), {}};
    IconItem m_itemEnd{QStringLiteral("step_end"), {}};
    IconItem m_itemSave{QStringLiteral("step_save"), QStringLiteral("导出动画")};

    // Reload for a newly opened case: idle at step 0.
    void initBelowData();
    // The six items in bar order.
    QList<IconItem> arrStepBar();
    void stepConfigureArrItems();
    void updatePlayButtons();
    void setNeedsPause(bool pause);

    // Selects the step from outside (the step chart with play true, the design
    // panes with false). True when the step is current already; false on a
    // disabled bar; otherwise stops auto-play, takes the step and answers true.
    bool didSelectStep(int step, bool play);
    // A design pane owns the steps: auto-play (and an export) stops, icons disabled.
    void disableStepBar();
    // Back from disableStepBar to the first (true) or last step.
    void switchStepBegin(bool first);
    // For cases of file type 2: the target display, closing the bar at its step when on.
    void SetTargetStep(bool on);
    // A click on icon 0..5 of the icon bar.
    void menuBarDidSelectIconAtIndex(qint64 index);
    // A drag on the marker, at a point in the marker's own coordinates.
    void stepMoveLocation(const QPointF& point, const QSizeF& marker = {kMarkerSize, kMarkerSize});
    bool stepRangeWithHit(const QPointF& point, const QSizeF& marker = {kMarkerSize, kMarkerSize}) const;

    void beginStepPlay(bool first);
    void backStepPlay(bool back);
    void startStepPlay();
    void startStepTimer();
    void stopStepTimer();
    void onStepAutoPlay();
    void updateMenuItems();
    void saveStepPlay();
    void switchStepPlay();
    void UpdateStepPane();
    void updateDraws();
    void closeStepbar();
    bool isPlaying() const { return m_stepTimer.isActive(); }

    bool isStartStep() const { return m_nCurrentStep == 0; }
    // True (and both step texts "0") when neither jaw has a step.
    bool isNullStep();
    int getCurrentStep() const { return int(m_nCurrentStep); }
    int IsSchemeType() const { return fileType ? fileType() : 0; }
    // The one-step display of a file-type-2 case, by the model/target flags.
    void applySchemeDisplay();
    void getSchemeType();
    void updateSchemeType();
    void isExceedStep();

    // The pane width sets the step width SW.
    void setPaneWidth(double width);
    double stepWidth() const { return m_stepWidth; }
    static QRectF getStepFrame(double paneHeight);
    // x of the marker's left edge.
    double getMoveButtonOriginX(double markerWidth = kMarkerSize) const;

    const RivelaStepIcons& icons() const { return m_icons; }
    RivelaStepExporter* exporter() const { return m_pExporter.get(); }

    // The views show the step (the operation hub by default).
    std::function<void(int)> switchViews;
    // The step chart, when it is the active pane, shows the step (set by the host).
    std::function<void(int)> updateStepPane;
    // The current case's file type and case number (the case manager's by default).
    std::function<int()> fileType;
    std::function<QString()> caseNo;
    // A new exporter per export (QvExporter by default).
    std::function<std::unique_ptr<RivelaStepExporter>()> makeExporter;
    // Asks where to write the GIF, proposing the name; confirmed runs with the path
    // when the doctor agrees (the non-modal save panel by default).
    std::function<void(const QString& name, std::function<void(const QString&)> confirmed)> askSavePath;
    // "导出成功！" (QvUtilityObj by default).
    std::function<void(const QString&)> showMessage;
    // The window: the icon states changed; the marker must show the current step
    // (making it first when asked) and the bar redraw.
    std::function<void()> iconsChanged;
    std::function<void(bool createMarker)> showStep;

private:
    void configure();
    void disable(const QList<IconItem>& items);

    RivelaStepIcons m_icons;
    QTimer m_stepTimer;
    QObject m_context; // the delayed start of an export dies with the bar
    std::unique_ptr<RivelaStepExporter> m_pExporter;
    std::unique_ptr<NSSavePanelEx> m_stepPanel;
    QString m_exportPath;
    double m_stepWidth = kMaxStepWidth;
    double m_paneWidth = 0;
};
