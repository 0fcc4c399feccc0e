// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the shell what it calls of the login core.
#pragma once

void RegisterLoginWithShell();
