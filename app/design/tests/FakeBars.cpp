// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/tests/FakeBars.h"

#include "app/shell/widgets/XibManager.h"

#include <QPainter>

namespace designtest {

QStringList& BarLog()
{
    static QStringList log;
    return log;
}

namespace {
void Log(const QString& line) { BarLog() << line; }

// Flat colour so that screenshots show where each bar sits.
void Tint(QWidget& widget, QColor colour)
{
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
}
} // namespace

FakeToolBar::FakeToolBar()
    : right(new NSButtonEx(this)), left(new NSButtonEx(this)), rotate(new NSButtonEx(this))
{
    Tint(*this, QColor(236, 240, 244));
    rotate->setGeometry(520, 16, 32, 32);
    right->resize(32, 32);
    left->resize(32, 32);
}

void FakeToolBar::showMenuBar()
{
    left->hide();
    Log("above showMenuBar");
}
void FakeToolBar::createAuxPane() { Log("above createAuxPane"); }
void FakeToolBar::removeAuxPane() { Log("above removeAuxPane"); }
void FakeToolBar::reset() { Log("above reset"); }
void FakeToolBar::setAttachBtnEnable(bool attach, bool bracket)
{
    Log(QStringLiteral("above setAttachBtnEnable %1 %2").arg(attach).arg(bracket));
}
void FakeToolBar::setIsApproveSchemeStep(bool approve)
{
    Log(QStringLiteral("above setIsApproveSchemeStep %1").arg(approve));
}

FakeStepBar::FakeStepBar() { Tint(*this, QColor(40, 44, 52)); }
void FakeStepBar::setUpStep(const QString& text) { Log("below up " + text); }
void FakeStepBar::setDownStep(const QString& text) { Log("below down " + text); }
void FakeStepBar::setUpExceedStep(const QString& text) { Log("below upExceed " + text); }
void FakeStepBar::setDownExceedStep(const QString& text) { Log("below downExceed " + text); }
void FakeStepBar::createAuxPane() { Log("below createAuxPane"); }
void FakeStepBar::SetTargetStep(bool on) { Log(QStringLiteral("below SetTargetStep %1").arg(on)); }
bool FakeStepBar::didSelectStep(int step, bool play)
{
    Log(QStringLiteral("below didSelectStep %1 %2").arg(step).arg(play));
    return true;
}

FakeSubToolBar::FakeSubToolBar() { Tint(*this, QColor(200, 210, 220)); }
void FakeSubToolBar::quitTwoCompView() { Log("sub quitTwoCompView"); }
void FakeSubToolBar::setEnableTwoCompView(bool enable) { Log(QStringLiteral("sub setEnableTwoCompView %1").arg(enable)); }

void RegisterFakeBars()
{
    RVDesignBarMakers makers;
    makers.aboveBar = [] { return new FakeToolBar; };
    makers.belowBar = [] { return new FakeStepBar; };
    makers.subToolBar = [] { return new FakeSubToolBar; };
    RegisterDesignBars(std::move(makers));
}

void UnregisterFakeBars() { RegisterDesignBars({}); }

RecordingSidePane::RecordingSidePane(int id)
{
    m_id = id;
    Tint(*this, QColor(250, 250, 250));
}

RecordingSidePane::~RecordingSidePane() = default;

void RecordingSidePane::Clear() { Log(QStringLiteral("pane%1 Clear").arg(m_id)); }
void RecordingSidePane::setCaseNo(const QString& caseNo, const QString& casePhaseId)
{
    Log(QStringLiteral("pane%1 setCaseNo %2 %3").arg(m_id).arg(caseNo, casePhaseId));
}
void RecordingSidePane::UpdateSize(bool fullScreen) { Log(QStringLiteral("pane%1 UpdateSize %2").arg(m_id).arg(fullScreen)); }
void RecordingSidePane::initStateWithFrame(const QRect&) { Log(QStringLiteral("pane%1 initStateWithFrame").arg(m_id)); }

RecordingSectionPane::RecordingSectionPane() { m_id = 4; }
void RecordingSectionPane::initStateWithFrame(const QRect&) { Log("pane4 initStateWithFrame"); }

void RegisterRecordingPanes()
{
    for (int id : {3, 6, 7, 8, 9, 10, 11})
        QvPane::RegisterPaneClass(id, [id] { return new RecordingSidePane(id); });
    XibManager::RegisterXib(QStringLiteral("SectionPane"), [] { return QList<QObject*>{new RecordingSectionPane}; });
}

void UnregisterRecordingPanes()
{
    QvPane::UnregisterAllPaneClasses();
    XibManager::shared().Reset();
}

} // namespace designtest
