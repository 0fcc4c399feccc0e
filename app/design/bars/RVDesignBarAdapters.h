// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the design window its real bars: the design tool bar, the treatment-step bar
// and the view-direction bar, each behind the port the window calls.
#pragma once

void RegisterRealDesignBars();
