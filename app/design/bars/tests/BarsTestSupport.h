// SPDX-License-Identifier: GPL-3.0-or-later
// What the bar tests share: the resources of the source tree, a receiver that
// records what the operation hub broadcasts, and mouse clicks at a point.
#pragma once

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMOprationManager.h"
#include "app/platform/Folders.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace barstest {

class RecordingHub : public RV3DOprationDelegate {
public:
    QStringList log;

    static QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }
    void add(const char* name, bool on) { log.append(QString::fromLatin1(name) + QLatin1Char(' ') + flag(on)); }

    void toolBarShowFDI(RVDMToolBarState*, bool on) override { add("fdi", on); }
    void toolBarShowSection(RVDMToolBarState*, bool on) override { add("section", on); }
    void toolBarShowCollision(RVDMToolBarState*, bool on) override { add("collision", on); }
    void toolBarShowIPR(RVDMToolBarState*, bool on) override { add("ipr", on); }
    void toolBarShowAtt(RVDMToolBarState*, bool on) override { add("att", on); }
    void toolBarShowGap(RVDMToolBarState*, bool on) override { add("gap", on); }
    void toolBarShowCompare(RVDMToolBarState*, bool on) override { add("compare", on); }
    void toolBarShowGrid(RVDMToolBarState*, bool on) override { add("grid", on); }
    void toolBarShowDistMeasure(RVDMToolBarState*, bool on) override { add("dist", on); }
    void toolBarShowTargetDesign(RVDMToolBarState*, bool on) override { add("target", on); }
    void toolBarShowMoveData(RVDMToolBarState*, bool on) override { add("movedata", on); }
    void toolBarShowBracket(RVDMToolBarState*, bool on) override { add("bracket", on); }
    void subToolBarShowUpperJaw(RVDMSubToolBarState*, bool on) override { add("upper", on); }
    void subToolBarShowLowerJaw(RVDMSubToolBarState*, bool on) override { add("lower", on); }
    void subToolBarShowFaceUpperJaw(RVDMSubToolBarState*, bool on) override { add("faceupper", on); }
    void subToolBarShowFaceLowerJaw(RVDMSubToolBarState*, bool on) override { add("facelower", on); }
    void subToolBarShowRight(RVDMSubToolBarState*, bool on) override { add("right", on); }
    void subToolBarShowFront(RVDMSubToolBarState*, bool on) override { add("front", on); }
    void subToolBarShowLeft(RVDMSubToolBarState*, bool on) override { add("left", on); }
    void subToolBarShowBack(RVDMSubToolBarState*, bool on) override { add("back", on); }
    void subToolBarShowGum(RVDMSubToolBarState*, bool on) override { add("gum", on); }
    void subToolBarShowRoot(RVDMSubToolBarState*, bool on) override { add("root", on); }
    void subToolBarShowJawBone(RVDMSubToolBarState*, bool on) override { add("jawbone", on); }
    void subToolBarShowMultiView(RVDMSubToolBarState*, bool on) override { add("multiview", on); }
    void switchStep(int step, QvScheme*, QvView*) override { log.append(QStringLiteral("step %1").arg(step)); }
    void openRotateView() override { log.append(QStringLiteral("rotate")); }
};

// Resources from the source tree, a clean hub with a recording receiver.
class BarsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetResourceFolder(QStringLiteral(RIVELA_RESOURCES_DIR));
        RVDMOprationManager::shared().ResetForTests();
        RVDMDrawStatus::shared().ResetForTests();
        hub = std::make_shared<RecordingHub>();
        RVDMOprationManager::shared().addDelegate(hub);
    }
    void TearDown() override
    {
        RVDMOprationManager::shared().ResetForTests();
        RVDMDrawStatus::shared().ResetForTests();
        platform::SetResourceFolder({});
    }

    std::shared_ptr<RecordingHub> hub;
};

inline void Press(QWidget& widget, const QPointF& point)
{
    QMouseEvent press(QEvent::MouseButtonPress, point, widget.mapToGlobal(point), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, widget.mapToGlobal(point), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

} // namespace barstest
