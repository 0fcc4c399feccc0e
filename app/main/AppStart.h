// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up of the rivela executable in three steps, shared with the road driver
// so that both run exactly the same sequence: the process (resources, configuration),
// the application object's look, and the subsystems registered with the shell. Both
// set up the heap first of all (qvbase::ConfigureProcessHeap).
#pragma once

#include <QString>

namespace rivela {

// Before the application object exists: the resource folder
// (empty: "resources" beside the executable) and the configuration file read from it.
void PrepareProcess(const QString& resourceFolder = {});

// The configuration's choice of the login service's environment: "Login" "APIType"
// (1 production when missing), then the discovery addresses of section "Login".
void ApplyLoginConfiguration();

// Names, style and palette of the application object.
void ConfigureApplication();

// Every subsystem the shell calls (the login; the case list, design window and
// image view register here as they are built).
void RegisterSubsystems();

} // namespace rivela
