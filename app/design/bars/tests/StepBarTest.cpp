// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaBelowPane.h"

#include "BarsTestSupport.h"
#include "app/shell/QvUtilityObj.h"
#include "testing/QtScreens.h"
#include "testing/QtWait.h"

#include <QImage>

#include <cmath>
#include <vector>

namespace {

// Frames are the step the views show when one is captured.
class RecordingExporter : public RivelaStepExporter {
public:
    explicit RecordingExporter(barstest::RecordingHub& hub, std::vector<int>& frames, QStringList& paths)
        : m_hub(hub), m_frames(frames), m_paths(paths)
    {
    }
    void startExport() override
    {
        for (qsizetype i = m_hub.log.size() - 1; i >= 0; --i)
            if (m_hub.log[i].startsWith(QStringLiteral("step "))) {
                m_frames.push_back(m_hub.log[i].mid(5).toInt());
                return;
            }
    }
    bool stopExportAtPath(const QString& path) override
    {
        m_paths.append(path);
        return !m_frames.empty();
    }

private:
    barstest::RecordingHub& m_hub;
    std::vector<int>& m_frames;
    QStringList& m_paths;
};

class StepBarTest : public barstest::BarsTest {
protected:
    void SetUp() override
    {
        BarsTest::SetUp();
        pane = std::make_unique<RivelaBelowPane>();
        RivelaStepBarModel& m = pane->model();
        m.fileType = [this] { return fileType; };
        m.caseNo = [] { return QStringLiteral("C9"); };
        m.makeExporter = [this] { return std::make_unique<RecordingExporter>(*hub, frames, paths); };
        m.askSavePath = [this](const QString& name, std::function<void(const QString&)> confirmed) {
            proposed.append(name);
            confirm = std::move(confirmed);
        };
        m.showMessage = [this](const QString& text) { messages.append(text); };
        m.updateStepPane = [this](int step) { chart.push_back(step); };
        pane->resize(1000, 50);
    }
    void TearDown() override
    {
        pane.reset();
        BarsTest::TearDown();
    }
    void load(const QString& up, const QString& down, const QString& upExceed = {}, const QString& downExceed = {})
    {
        pane->setUpStep(up);
        pane->setDownStep(down);
        pane->setUpExceedStep(upExceed);
        pane->setDownExceedStep(downExceed);
        pane->createAuxPane();
        pane->grab();
    }
    RivelaStepBarModel& model() { return pane->model(); }
    QStringList disabledNames() const
    {
        QStringList names;
        for (const IconItem& item : pane->model().icons().items)
            if (pane->model().icons().isDisabled(item.iconName()))
                names.append(item.iconName());
        return names;
    }
    QString playIcon() const { return pane->model().icons().items.value(2).iconName(); }
    void tickUntilStopped()
    {
        for (int guard = 0; model().isPlaying() && guard < 100; ++guard)
            model().onStepAutoPlay();
    }

    int fileType = 1;
    std::unique_ptr<RivelaBelowPane> pane;
    std::vector<int> frames;
    std::vector<int> chart;
    QStringList paths, proposed, messages;
    std::function<void(const QString&)> confirm;
};

TEST_F(StepBarTest, TwoRowsOfSegmentsColouredByStepJawAndOverCorrection)
{
    load("20", "15", "3", "0");
    EXPECT_EQ(model().m_nMaxStep, 20);
    EXPECT_EQ(model().m_nTotalStep, 17);
    EXPECT_TRUE(pane->didSelectStep(5, true));
    EXPECT_EQ(hub->log, QStringList{"step 5"});
    const QImage shot = screens::Save(*pane, QStringLiteral("bars-step-bar"));
    ASSERT_FALSE(shot.isNull());

    const double sw = (1000.0 - RivelaStepBarModel::kScaleX - 15) / 20;
    EXPECT_DOUBLE_EQ(model().stepWidth(), sw);
    const QColor blue(73, 183, 244), light(180, 230, 253), grey(177, 178, 179), black(0, 0, 0);
    auto colourAt = [&](int segment, double rowY) {
        return QColor(shot.pixel(int(RivelaStepBarModel::kScaleX + (segment + 0.5) * sw), int(rowY)));
    };
    for (int i = 0; i < 20; ++i) {
        const QColor upper = i < 5 ? blue : i < 17 ? light : black;
        const QColor lower = i < 5 ? blue : i < 15 ? light : i < 17 ? grey : black;
        EXPECT_EQ(colourAt(i, pane->upperRowY()).name(), upper.name()) << "upper segment " << i;
        EXPECT_EQ(colourAt(i, pane->lowerRowY()).name(), lower.name()) << "lower segment " << i;
    }
    // The gaps between segments are white.
    EXPECT_EQ(QColor(shot.pixel(int(RivelaStepBarModel::kScaleX + sw) + 1, int(pane->upperRowY()))).name(),
              QColor(Qt::white).name());
    // The marker's centre sits on the step's boundary.
    ASSERT_NE(pane->marker(), nullptr);
    EXPECT_EQ(pane->marker()->currentIndex(), 5);
    EXPECT_NEAR(pane->marker()->x() + 9, RivelaStepBarModel::kScaleX + 5 * sw, 1);
    EXPECT_GT(screens::InkPixels(shot, QRect(10, 0, 204, 50)), 100) << "the step icons";
}

TEST_F(StepBarTest, StepCountsAndStepWidth)
{
    const struct {
        const char *up, *down, *upExceed, *downExceed;
        qint64 total;
    } cases[] = {{"20", "15", "0", "0", 20}, {"20", "15", "3", "0", 17}, {"20", "15", "0", "2", 18},
                 {"20", "15", "3", "2", 17}, {"12", "15", "1", "4", 11}};
    for (const auto& c : cases) {
        load(c.up, c.down, c.upExceed, c.downExceed);
        EXPECT_EQ(model().m_nTotalStep, c.total) << c.up << " " << c.upExceed << " " << c.downExceed;
    }
    pane->resize(3000, 50);
    pane->grab();
    EXPECT_DOUBLE_EQ(model().stepWidth(), 100);
}

TEST_F(StepBarTest, PlayFromTheLastStepRestartsAtOnceAndStopsAtTheLast)
{
    load("20", "15");
    pane->didSelectStep(20, true);
    hub->log.clear();
    // Through the icon bar itself: the play icon is the third, 34 points apart.
    barstest::Press(*pane->stepBar(), QPointF(2 * 34 + 12, 12));
    EXPECT_TRUE(model().isPlaying());
    EXPECT_EQ(model().m_nCurrentStep, 0);
    EXPECT_EQ(hub->log, QStringList{"step 0"});
    EXPECT_EQ(playIcon(), QStringLiteral("step_pause"));
    EXPECT_EQ(disabledNames(), QStringList{"step_save"});

    // The play icon again pauses.
    model().menuBarDidSelectIconAtIndex(2);
    EXPECT_FALSE(model().isPlaying());
    EXPECT_EQ(playIcon(), QStringLiteral("step_play"));

    model().menuBarDidSelectIconAtIndex(2);
    tickUntilStopped();
    EXPECT_EQ(model().m_nCurrentStep, 20);
    EXPECT_EQ(hub->log.size(), 21);
    EXPECT_EQ(hub->log.last(), QStringLiteral("step 20"));
    EXPECT_EQ(playIcon(), QStringLiteral("step_play"));
    EXPECT_EQ(disabledNames(), (QStringList{"step_forward", "step_end"}));
    EXPECT_EQ(chart.back(), 20);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(StepBarTest, AStepChosenDuringPlayStopsItAndTheViewsFollow)
{
    load("20", "15");
    model().menuBarDidSelectIconAtIndex(2);
    ASSERT_EQ(model().m_nCurrentStep, 1);
    hub->log.clear();
    model().menuBarDidSelectIconAtIndex(3);
    EXPECT_FALSE(model().isPlaying());
    EXPECT_EQ(model().m_nCurrentStep, 2);
    EXPECT_EQ(hub->log, QStringList{"step 2"});
    EXPECT_EQ(playIcon(), QStringLiteral("step_play"));
    EXPECT_TRUE(disabledNames().isEmpty());
    EXPECT_EQ(chart.back(), 2);
}

TEST_F(StepBarTest, AnExportFromTheLastStepHoldsThatFrameThenPlaysEveryStep)
{
    load("20", "15");
    pane->didSelectStep(20, true);

    // Declined: nothing starts.
    model().menuBarDidSelectIconAtIndex(5);
    ASSERT_EQ(proposed.size(), 1);
    EXPECT_EQ(proposed[0], QStringLiteral("C9_") + QvUtilityObj::getCurrentDate());
    qtwait::Settle(600);
    EXPECT_FALSE(model().isPlaying());

    model().menuBarDidSelectIconAtIndex(5);
    ASSERT_TRUE(confirm);
    confirm(QStringLiteral("/tmp/animation.gif"));
    EXPECT_FALSE(model().isPlaying()) << "the start waits half a second";
    ASSERT_TRUE(qtwait::WaitFor([&] { return model().isPlaying(); }, 3000));
    tickUntilStopped();

    std::vector<int> expected{20};
    for (int step = 0; step <= 20; ++step)
        expected.push_back(step);
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(paths, QStringList{"/tmp/animation.gif"});
    EXPECT_EQ(messages, QStringList{"导出成功！"});
}

TEST_F(StepBarTest, ADisabledBarRefusesStepsUntilADesignPaneGivesThemBack)
{
    load("20", "15");
    pane->didSelectStep(7, true);
    pane->disableStepBar();
    EXPECT_EQ(disabledNames().size(), 6);
    EXPECT_TRUE(pane->didSelectStep(7, true)) << "the current step answers yes";
    EXPECT_FALSE(pane->didSelectStep(3, true));
    pane->stepMoveLocation(QPointF(200, 9));
    EXPECT_EQ(model().m_nCurrentStep, 7);

    hub->log.clear();
    pane->switchStepBegin(true);
    EXPECT_EQ(model().m_nCurrentStep, 0);
    EXPECT_EQ(disabledNames(), (QStringList{"step_begin", "step_back"}));
    EXPECT_TRUE(hub->log.isEmpty()) << "the pane that gave the steps back switches the views";
}

TEST_F(StepBarTest, DragsMoveTheStepWithinTheScale)
{
    load("20", "15");
    const double sw = model().stepWidth();
    const struct {
        qint64 from;
        QPointF point;
        qint64 to;
    } cases[] = {
        {0, {-4, 9}, 0},                  // left of the scale at step 0
        {20, {2 * 18 + 1, 9}, 20},        // right of the end at the last step
        {5, {10, 25}, 5},                 // above the marker
        {0, {3.5 * sw, 9}, 3},
        {5, {2000, 9}, 20},               // one event far past the end: clamped
        {5, {-8 * sw, 9}, 0},             // far before the start
    };
    for (const auto& c : cases) {
        model().m_nCurrentStep = c.from;
        pane->stepMoveLocation(c.point);
        EXPECT_EQ(model().m_nCurrentStep, c.to) << "from " << c.from << " at " << c.point.x();
    }
}

TEST_F(StepBarTest, AOneStepCaseSwitchesToItsTargetDisplay)
{
    fileType = 2;
    load("5", "5");
    EXPECT_EQ(model().m_nUpStep, QStringLiteral("0"));
    EXPECT_EQ(model().m_nMaxStep, 1);
    EXPECT_EQ(model().m_nTotalStep, 1);
    hub->log.clear();
    pane->SetTargetStep(true);
    pane->grab();
    EXPECT_EQ(model().m_nUpStep, QStringLiteral("1"));
    EXPECT_EQ(model().m_nDownStep, QStringLiteral("1"));
    EXPECT_EQ(model().m_nCurrentStep, 1);
    EXPECT_TRUE(model().m_bStepClose);
    EXPECT_EQ(hub->log, QStringList{"step 1"});
    ASSERT_NE(pane->marker(), nullptr);
    EXPECT_EQ(pane->marker()->currentIndex(), 1);
    screens::Save(*pane, QStringLiteral("bars-step-bar-one-step"));
}

TEST_F(StepBarTest, WithoutStepsNoMarkerAndOnlyTheExport)
{
    load({}, QStringLiteral("0"));
    EXPECT_EQ(pane->marker(), nullptr);
    EXPECT_EQ(disabledNames(),
              (QStringList{"step_begin", "step_back", "step_play", "step_forward", "step_end"}));
    EXPECT_EQ(pane->stepBar()->geometry(), QRect(10, 13, 204, 24));
    EXPECT_EQ(pane->stepBar()->iconItems().size(), 6);
    EXPECT_EQ(pane->stepBar()->iconItems()[5].tooltipName(), QStringLiteral("导出动画"));
}

} // namespace
