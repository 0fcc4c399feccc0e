// SPDX-License-Identifier: GPL-3.0-or-later
// The 3-D view in a real GL context (Xvfb, Mesa): the demo case drawn, the view
// emptied, the mouse routed to the pane or the hub.
#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMMouseActionManager.h"
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVDMViewHandle.h"
#include "app/design/RivelaView.h"
#include "app/design/tests/DesignTestSupport.h"
#include "app/shell/panes/QvPane.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "testing/QtScreens.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace designtest;

class RecordingPane : public QvPane {
public:
    RecordingPane() { m_id = 6; }
    QStringList calls;
    void LButtonDownCallback(const QvGDIPoint& p) override { Add("down", p); }
    void OnLButtonDblClkCallback(const QvGDIPoint& p) override { Add("dblclk", p); }
    void LButtonUpCallback(const QvGDIPoint& p) override { Add("up", p); }
    void DragingCallback(const QvGDIPoint& p) override { Add("drag", p); }
    void MouseMoveCallback(const QvGDIPoint& p) override { Add("move", p); }
    void rightMouseDownCallback(const QvGDIPoint& p) override { Add("rdown", p); }
    void rightMouseUpCallback(const QvGDIPoint& p) override { Add("rup", p); }

private:
    void Add(const char* what, const QvGDIPoint& p) { calls << QStringLiteral("%1 %2,%3").arg(what).arg(p.x).arg(p.y); }
};

bool WaitExposed(QWidget& window)
{
    return WaitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 5000);
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

class RivelaViewGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVModelManager::shared().ResetForTests();
        const auto info = Case(kRVModelStepAnimation, 7004, "demo.OS");
        ASSERT_EQ(OpenOnWorker(info->openURL, nullptr, info), 0u);
        view = std::make_unique<RivelaView>();
        view->resize(640, 480);
        view->setActivePaneSource([this] { return paneOn ? &pane : nullptr; });
        view->show();
        ASSERT_TRUE(WaitExposed(*view));
        view->reloadData();
    }
    void TearDown() override
    {
        if (view)
            view->Clear();
        view.reset();
        RVDMOprationManager::shared().ResetForTests();
        RVDMMouseActionManager::shared().ResetForTests();
        RVDMDrawStatus::shared().ResetForTests();
        RVModelManager::shared().ResetForTests();
    }
    void Send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, at, view->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &e);
    }
    QvView* Active() const { return QvViewManager::Instance()->GetActiveView(); }

    std::unique_ptr<RivelaView> view;
    RecordingPane pane;
    bool paneOn = false;
};

TEST_F(RivelaViewGL, DrawsTheDemoArchAndNothingAfterClear)
{
    const QImage frame = view->grabFramebuffer();
    screens::Save(*view, QStringLiteral("rivela-view-demo"));
    ASSERT_FALSE(frame.isNull());
    const QRgb corner = frame.pixel(2, 2);
    EXPECT_TRUE(Near(corner, frame.pixel(frame.width() - 3, 2), 40));
    // The arch lies around the centre: many pixels there differ from the background.
    int tooth = 0;
    for (int y = frame.height() / 3; y < 2 * frame.height() / 3; y += 4)
        for (int x = frame.width() / 3; x < 2 * frame.width() / 3; x += 4)
            tooth += Near(frame.pixel(x, y), corner, 40) ? 0 : 1;
    EXPECT_GT(tooth, 50);

    view->Clear();
    EXPECT_EQ(QvViewManager::Instance()->GetViewCount(), 0u);
    const QImage empty = view->grabFramebuffer();
    EXPECT_EQ(screens::InkPixels(empty), 0);
    EXPECT_EQ(empty.pixel(empty.width() / 2, empty.height() / 2), qRgb(0, 0, 0));
}

TEST_F(RivelaViewGL, ReloadingAfterClearShowsTheTeethAgain)
{
    view->Clear();
    view->reloadData();
    const QImage frame = view->grabFramebuffer();
    EXPECT_GT(screens::InkPixels(frame, QRect(frame.width() / 3, frame.height() / 3, frame.width() / 3,
                                              frame.height() / 3)),
              100);
    EXPECT_EQ(view->currentStep(), 0);
    EXPECT_EQ(view->GetCurSplite(), 1);
}

TEST_F(RivelaViewGL, PointsInDevicePixelsWithYUp)
{
    const double expected = qEnvironmentVariableIsSet("RIVELA_EXPECT_SCALE")
                                ? qEnvironmentVariable("RIVELA_EXPECT_SCALE").toDouble()
                                : 1.0;
    EXPECT_DOUBLE_EQ(view->devicePixelRatioF(), expected);
    const QvGDIPoint p = view->convertToTruePos(QPointF(10.6, 20.0));
    EXPECT_EQ(p.x, static_cast<int>(std::trunc(10.6 * expected)));
    EXPECT_EQ(p.y, static_cast<int>(std::trunc((view->height() - 20.0) * expected)));
}

TEST_F(RivelaViewGL, MouseTableRoutesToPaneAndHub)
{
    paneOn = true;
    QvRenderStatus* status = QvRenderStatus::Instance();
    const QvGDIPoint before{7, 9};

    // Right press and release never store the last point.
    status->m_lastMousePoint = before;
    Send(QEvent::MouseButtonPress, {100, 100}, Qt::RightButton, Qt::RightButton);
    Send(QEvent::MouseButtonRelease, {100, 100}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(status->m_lastMousePoint.x, before.x);
    EXPECT_EQ(status->m_lastMousePoint.y, before.y);

    // A double click reaches the pane as one, not as a press.
    pane.calls.clear();
    Send(QEvent::MouseButtonDblClick, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(pane.calls, QStringList{QStringLiteral("dblclk 100,%1").arg(view->height() - 100)});

    // A move stores the point; a drag from there rotates the model (the pane sees no drag).
    pane.calls.clear();
    const QvMatrix rotation = Active()->GetTransform().m_rotation;
    Send(QEvent::MouseMove, {300, 240}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(status->m_lastMousePoint.x, 300);
    Send(QEvent::MouseButtonPress, {300, 240}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, {340, 250}, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, {340, 250}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(status->m_lastMousePoint.x, 340);
    EXPECT_FALSE(pane.calls.join(' ').contains("drag"));
    EXPECT_TRUE(pane.calls.join(' ').contains("down") && pane.calls.join(' ').contains("up"));
    bool turned = false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            turned = turned || std::abs(Active()->GetTransform().m_rotation[r][c] - rotation[r][c]) > 1e-6;
    EXPECT_TRUE(turned);

    // Wheel up is a negative delta: the model gets smaller by 5 %.
    const double zoom = Active()->GetTransform().m_scale;
    QWheelEvent wheel({320, 240}, view->mapToGlobal(QPointF(320, 240)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &wheel);
    EXPECT_NEAR(Active()->GetTransform().m_scale, zoom * 0.95, zoom * 1e-9);
}

TEST_F(RivelaViewGL, WithoutAPaneTheMouseStillNavigates)
{
    const double zoom = Active()->GetTransform().m_scale;
    QWheelEvent wheel({320, 240}, view->mapToGlobal(QPointF(320, 240)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &wheel);
    EXPECT_NEAR(Active()->GetTransform().m_scale, zoom * 1.05, zoom * 1e-9);
    Send(QEvent::MouseButtonDblClick, {10, 10}, Qt::LeftButton, Qt::LeftButton);
}

} // namespace
