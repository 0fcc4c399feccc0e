// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDesignBarPorts.h"

namespace {
RVDesignBarMakers& Makers()
{
    static RVDesignBarMakers makers;
    return makers;
}
} // namespace

void RegisterDesignBars(RVDesignBarMakers makers) { Makers() = std::move(makers); }

const RVDesignBarMakers& DesignBars() { return Makers(); }
