// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaStepBarModel.h"

#include "app/design/RVDMOprationManager.h"
#include "app/service/RVCaseManager.h"
#include "app/shell/QvExporter.h"
#include "app/shell/QvUtilityObj.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

qint64 stepOf(const QString& text)
{
    return text.isNull() ? 0 : text.toLongLong();
}

class WindowExporter : public RivelaStepExporter {
public:
    void startExport() override { m_exporter.startExport(); }
    bool stopExportAtPath(const QString& path) override { return m_exporter.stopExportAtPath(path); }

private:
    QvExporter m_exporter;
};

} // namespace

bool RivelaStepIcons::isDisabled(const QString& name) const
{
    if (considerSelected)
        return false;
    return std::any_of(replaceItems.begin(), replaceItems.end(),
                       [&](const IconItem& item) { return item.iconName() == name; });
}

RivelaStepBarModel::RivelaStepBarModel()
    : switchViews([](int step) { RVDMOprationManager::shared().switchStep(step, nullptr, nullptr); }),
      fileType([] {
          const std::shared_ptr<RVCaseInfo> info = RVCaseManager::shared().caseInfo();
          return info ? info->fileType.toInt() : 0;
      }),
      caseNo([] {
          const std::shared_ptr<RVCaseInfo> info = RVCaseManager::shared().caseInfo();
          return info ? info->caseNo : QString();
      }),
      makeExporter([] { return std::make_unique<WindowExporter>(); }),
      showMessage([](const QString& message) { QvUtilityObj::showAlertWithMessage(message); })
{
    askSavePath = [this](const QString& name, std::function<void(const QString&)> confirmed) {
        m_stepPanel = std::make_unique<NSSavePanelEx>();
        NSSavePanelEx* panel = m_stepPanel.get();
        panel->SetNameField(name);
        panel->setPanelCompletionHandler([panel, confirmed = std::move(confirmed)] { confirmed(panel->GetPath()); });
    };
    m_stepTimer.callOnTimeout([this] { onStepAutoPlay(); });
}

RivelaStepBarModel::~RivelaStepBarModel() = default;

void RivelaStepBarModel::initBelowData()
{
    m_bStepClose = false;
    m_bStepSave = false;
    m_bStepModel = true;
    m_bStepTarget = false;
    m_nCurrentStep = 0;
    m_timeInterval = 0.5;
    m_nMaxStep = std::max(stepOf(m_nUpStep), stepOf(m_nDownStep));
    getSchemeType();
    isExceedStep();
    updatePlayButtons();
}

void RivelaStepBarModel::isExceedStep()
{
    const qint64 u = stepOf(m_nUpStep), d = stepOf(m_nDownStep);
    const qint64 eu = stepOf(m_nUpExceedStep), ed = stepOf(m_nDownExceedStep);
    const qint64 m = std::max(u, d);
    if (eu == 0 && ed == 0)
        m_nTotalStep = m_nMaxStep;
    else if (ed == 0)
        m_nTotalStep = m - eu;
    else if (eu == 0)
        m_nTotalStep = m - ed;
    else
        m_nTotalStep = std::max(u - eu, d - ed);
}

void RivelaStepBarModel::getSchemeType()
{
    if (IsSchemeType() != 2)
        return;
    m_nUpStep = m_nDownStep = QStringLiteral("0");
    m_nTotalStep = m_nMaxStep = 1;
}

void RivelaStepBarModel::updateSchemeType()
{
    if (IsSchemeType() != 2)
        return;
    m_nUpStep = m_nDownStep = QStringLiteral("1");
    m_nTotalStep = m_nMaxStep = 1;
}

void RivelaStepBarModel::applySchemeDisplay()
{
    if (m_bStepModel && !m_bStepTarget)
        getSchemeType();
    else if (m_bStepTarget && !m_bStepModel)
        updateSchemeType();
}

bool RivelaStepBarModel::isNullStep()
{
    const bool up = !m_nUpStep.isNull() && m_nUpStep != QStringLiteral("0");
    const bool down = !m_nDownStep.isNull() && m_nDownStep != QStringLiteral("0");
    if (up || down)
        return false;
    m_nUpStep = m_nDownStep = QStringLiteral("0");
    return true;
}

QList<IconItem> RivelaStepBarModel::arrStepBar()
{
    return {m_itemBegin, m_itemBack, m_itemPlay, m_itemForward, m_itemEnd, m_itemSave};
}

void RivelaStepBarModel::configure()
{
    m_icons.configureIconItems(arrStepBar());
}

void RivelaStepBarModel::disable(const QList<IconItem>& items)
{
    m_icons.updateIconItems(items);
}

void RivelaStepBarModel::stepConfigureArrItems()
{
    configure();
    if (m_nCurrentStep == 0)
        disable({m_itemBegin, m_itemBack});
    if (isNullStep())
        disable({m_itemBegin, m_itemBack, m_itemPlay, m_itemForward, m_itemEnd});
    if (iconsChanged)
        iconsChanged();
}

void RivelaStepBarModel::updatePlayButtons()
{
    m_itemPlay.setIconName(QStringLiteral("step_play"));
    m_icons.considerSelected = false;
    if (m_nCurrentStep == 0) {
        disable({m_itemBegin, m_itemBack});
    } else if (m_nCurrentStep == m_nMaxStep) {
        configure();
        disable({m_itemForward, m_itemEnd});
    } else {
        m_icons.considerSelected = true;
        if (isPlaying()) {
            m_icons.considerSelected = false;
            m_itemPlay.setIconName(QStringLiteral("step_pause"));
            configure();
            disable({m_itemSave});
        } else {
            configure();
        }
    }
    if (iconsChanged)
        iconsChanged();
}

void RivelaStepBarModel::setNeedsPause(bool pause)
{
    m_itemPlay.setIconName(pause ? QStringLiteral("step_play") : QStringLiteral("step_pause"));
    configure();
    if (!pause)
        disable({m_itemSave});
    if (iconsChanged)
        iconsChanged();
}

bool RivelaStepBarModel::didSelectStep(int step, bool play)
{
    if (step == m_nCurrentStep)
        return true;
    if (m_bStepClose)
        return false;
    if (isPlaying())
        updateMenuItems();
    m_nCurrentStep = step;
    if (play)
        switchStepPlay();
    updateDraws();
    return true;
}

void RivelaStepBarModel::disableStepBar()
{
    m_bStepClose = true;
    m_bStepSave = false;
    stopStepTimer();
    m_itemPlay.setIconName(QStringLiteral("step_play"));
    configure();
    disable(arrStepBar());
    if (iconsChanged)
        iconsChanged();
}

void RivelaStepBarModel::switchStepBegin(bool first)
{
    stepConfigureArrItems();
    beginStepPlay(first);
}

void RivelaStepBarModel::SetTargetStep(bool on)
{
    if (IsSchemeType() != 2)
        return;
    m_bStepModel = false;
    m_bStepTarget = true;
    updateSchemeType();
    if (on)
        closeStepbar();
}

void RivelaStepBarModel::closeStepbar()
{
    disableStepBar();
    m_nCurrentStep = m_nTotalStep;
    if (showStep)
        showStep(true);
    switchStepPlay();
}

void RivelaStepBarModel::menuBarDidSelectIconAtIndex(qint64 index)
{
    m_bStepClose = false;
    m_bStepSave = false;
    m_timeInterval = 0.5;
    switch (index) {
    case 0:
    case 1:
    case 3:
    case 4:
        if (index == 0 || index == 4)
            beginStepPlay(index == 0);
        else
            backStepPlay(index == 1);
        // A step chosen during play stops it, and the views follow the step at once.
        if (isPlaying())
            updateMenuItems();
        switchStepPlay();
        UpdateStepPane();
        break;
    case 2:
        startStepPlay();
        UpdateStepPane();
        break;
    case 5:
        saveStepPlay();
        switchStepPlay();
        UpdateStepPane();
        break;
    default: break;
    }
}

void RivelaStepBarModel::beginStepPlay(bool first)
{
    m_bStepClose = false;
    const qint64 target = first ? 0 : m_nMaxStep;
    if (m_nCurrentStep == target)
        return;
    m_nCurrentStep = target;
    setNeedsPause(true);
    updateDraws();
}

void RivelaStepBarModel::backStepPlay(bool back)
{
    if (back ? m_nCurrentStep <= 0 : m_nCurrentStep >= m_nMaxStep)
        return;
    m_nCurrentStep += back ? -1 : 1;
    updateDraws();
}

void RivelaStepBarModel::startStepPlay()
{
    if (isPlaying()) {
        updateMenuItems();
        return;
    }
    if (m_nCurrentStep == m_nMaxStep)
        m_nCurrentStep = -1;
    startStepTimer();
    // The first tick may have ended the play already (nothing left to play).
    if (isPlaying())
        setNeedsPause(false);
}

void RivelaStepBarModel::startStepTimer()
{
    m_stepTimer.setInterval(int(std::lround(m_timeInterval * 1000)));
    m_stepTimer.start();
    onStepAutoPlay();
}

void RivelaStepBarModel::stopStepTimer()
{
    m_stepTimer.stop();
}

void RivelaStepBarModel::onStepAutoPlay()
{
    if (m_bStepSave && m_pExporter)
        m_pExporter->startExport();
    if (m_nCurrentStep < m_nMaxStep) {
        ++m_nCurrentStep;
        switchStepPlay();
        updateDraws();
        UpdateStepPane();
        return;
    }
    updateMenuItems();
    if (m_bStepSave && m_pExporter && m_pExporter->stopExportAtPath(m_exportPath) && showMessage)
        showMessage(QStringLiteral("导出成功！"));
}

void RivelaStepBarModel::updateMenuItems()
{
    stopStepTimer();
    setNeedsPause(true);
    updatePlayButtons();
}

void RivelaStepBarModel::saveStepPlay()
{
    m_pExporter = makeExporter ? makeExporter() : nullptr;
    const QString name = QStringLiteral("%1_%2").arg(caseNo ? caseNo() : QString(), QvUtilityObj::getCurrentDate());
    QPointer<QObject> alive(&m_context);
    askSavePath(name, [this, alive](const QString& path) {
        if (!alive)
            return;
        m_exportPath = path;
        m_bStepSave = true;
        QTimer::singleShot(500, &m_context, [this] { startStepPlay(); });
    });
}

void RivelaStepBarModel::switchStepPlay()
{
    if (switchViews)
        switchViews(int(m_nCurrentStep));
}

void RivelaStepBarModel::UpdateStepPane()
{
    if (updateStepPane)
        updateStepPane(int(m_nCurrentStep));
}

void RivelaStepBarModel::updateDraws()
{
    if (showStep)
        showStep(false);
    updatePlayButtons();
}

void RivelaStepBarModel::setPaneWidth(double width)
{
    m_paneWidth = width;
    const double room = width - kScaleX - 15;
    m_stepWidth = m_nMaxStep > 0 && room < kMaxStepWidth * double(m_nMaxStep) ? room / double(m_nMaxStep)
                                                                             : kMaxStepWidth;
}

QRectF RivelaStepBarModel::getStepFrame(double paneHeight)
{
    return {kIconBarX, (paneHeight - kIconBarHeight) / 2, kIconBarWidth, kIconBarHeight};
}

double RivelaStepBarModel::getMoveButtonOriginX(double markerWidth) const
{
    qint64 step = m_nCurrentStep;
    double offset = markerWidth / 2;
    if (step == -1)
        step = m_nMaxStep;
    if (step == 0)
        offset = 0;
    else if (step == m_nMaxStep)
        offset = markerWidth;
    return double(step) * m_stepWidth + kScaleX - offset;
}

bool RivelaStepBarModel::stepRangeWithHit(const QPointF& point, const QSizeF& marker) const
{
    if (point.y() < 0 || point.y() > marker.height())
        return false;
    if (m_nCurrentStep == 0 && point.x() < 0)
        return false;
    if (m_nCurrentStep == m_nMaxStep && point.x() > double(m_nCurrentStep) * m_stepWidth + marker.width())
        return false;
    return true;
}

void RivelaStepBarModel::stepMoveLocation(const QPointF& point, const QSizeF& marker)
{
    if (m_bStepClose || m_stepWidth <= 0)
        return;
    const double x = m_nCurrentStep == 0 ? point.x()
                                         : point.x() + double(m_nCurrentStep) * m_stepWidth + marker.width() / 2;
    if (!stepRangeWithHit(QPointF(x, point.y()), marker))
        return;
    // One drag event may jump past either end of the scale.
    m_nCurrentStep = std::clamp<qint64>(qint64(x / m_stepWidth), 0, m_nMaxStep);
    if (showStep)
        showStep(false);
    updatePlayButtons();
    switchStepPlay();
    UpdateStepPane();
}
