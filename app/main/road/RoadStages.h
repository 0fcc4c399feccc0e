// SPDX-License-Identifier: GPL-3.0-or-later
// The stages of the doctor's road, each a function answering one Stage, and the
// road itself (AddRoad) in the order the doctor walks it:
//   login window -> credentials typed -> signed in: the main window with the case
//   list -> [the case opened from the page -> its files downloaded -> the design
//   window showing it -> the step bar playing] -> sign-out asked -> signed out.
// The bracketed stages are written but not yet on the road: they need the web case
// list and the design window's controller and bars registered with the shell.
#pragma once

#include "app/main/road/Road.h"
#include "app/main/road/Service.h"

namespace road {

struct RoadContext {
    Service* service = nullptr;
    QString user = QStringLiteral("doctor");
    QString password;
};

Stage LoginWindowShown(RoadContext& context);
Stage CredentialsTyped(RoadContext& context);
Stage CaseListShown(RoadContext& context);
// Not yet on the road (see above).
Stage DemoCaseOpened(RoadContext& context);
Stage CaseDownloaded(RoadContext& context);
Stage DesignWindowShowsCase(RoadContext& context);
Stage StepBarPlays(RoadContext& context);
// The menu's "切换账号", its question answered "确定", the login window again.
Stage AccountMenuOpen(RoadContext& context);
Stage SignOutAsked(RoadContext& context);
Stage SignedOut(RoadContext& context);

void AddRoad(Road& road, RoadContext& context);

} // namespace road
