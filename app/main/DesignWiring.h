// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the shell the design window of the open case and its document manager.
#pragma once

void RegisterDesignWithShell();
