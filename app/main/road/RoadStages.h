// SPDX-License-Identifier: GPL-3.0-or-later
// The stages of the doctor's road, each a function answering one Stage, and the
// road itself (AddRoad) in the order the doctor walks it:
//   login window -> credentials typed -> signed in: the main window with the case
//   list -> the case opened from the page -> its files downloaded -> the design
//   window showing it -> the step bar playing -> sign-out asked -> signed out.
#pragma once

#include "app/main/road/Road.h"
#include "app/main/road/Service.h"

#include <memory>

class RVCaseListWebController;
class RVDesignViewController;

namespace road {

struct RoadContext {
    Service* service = nullptr;
    QString user = QStringLiteral("doctor");
    QString password;
};

Stage LoginWindowShown(RoadContext& context);
Stage CredentialsTyped(RoadContext& context);
Stage CaseListShown(RoadContext& context);
Stage DemoCaseOpened(RoadContext& context);
Stage CaseDownloaded(RoadContext& context);
Stage DesignWindowShowsCase(RoadContext& context);
Stage StepBarPlays(RoadContext& context);
// The menu's "切换账号", its question answered "确定", the login window again.
Stage AccountMenuOpen(RoadContext& context);
Stage SignOutAsked(RoadContext& context);
Stage SignedOut(RoadContext& context);

void AddRoad(Road& road, RoadContext& context);

// The demo case with a treatment plan: its row on the stand-in's page and the case
// document the service sends for it.
inline constexpr int kDemoCaseRow = 3;
inline const QString kDemoCaseFile = QStringLiteral("demo.OS");
// The demo case of a dental model alone (its own file, "demo-model.zip").
inline constexpr int kDigitalModelRow = 0;

// The main window's controllers as the shell holds them; null while there are none.
RVCaseListWebController* CaseList();
RVDesignViewController* DesignWindow();
// Asks the case list's page, one question at a time, whether its table of cases is
// built; ready half a second after the first yes, once Chromium has drawn it.
class PageProbe {
public:
    bool ready();

private:
    struct State {
        bool asking = false;
        qint64 since = 0;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
// Clicks the page's open button of the case at the index (a script run in the page).
void OpenCaseFromPage(int index);
// The tool bar's case-list tab, as a click on it selects it.
void ShowCaseListTab();
// The design window's 3-D view once it shows the open case (no loading view over it).
QWidget* CaseInDesignWindow();

} // namespace road
