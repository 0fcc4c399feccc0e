// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/DesignWiring.h"

#include "app/design/RVDesignViewController.h"
#include "app/design/RVModelManager.h"
#include "app/design/bars/RVDesignBarAdapters.h"
#include "app/shell/window/ShellSubsystems.h"

void RegisterDesignWithShell()
{
    RegisterRealDesignBars();
    RVDesignSubsystem design;
    design.create = []() -> std::unique_ptr<RVDMViewController> { return std::make_unique<RVDesignViewController>(); };
    design.clearDocument = [] { RVModelManager::shared().clear(); };
    ShellSubsystems::RegisterDesign(std::move(design));
}
