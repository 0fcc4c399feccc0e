// SPDX-License-Identifier: GPL-3.0-or-later
// The mouse-action hub: the 3-D view's drags and wheel, forwarded to every registered
// view (the 3-D view itself, the revision view). It never redraws: the 3-D view
// redraws after each mouse event. GUI thread only.
#pragma once

#include "app/design/RVDMWeakList.h"
#include "core/geometry/QvGDI.h"

#include <memory>

class RVDMMouseActionDelegate {
public:
    virtual ~RVDMMouseActionDelegate() = default;
    virtual void digitalModelMoveTo(const QvGDIPoint&) {}
    virtual void digitalModelRotateTo(const QvGDIPoint&) {}
    virtual void digitalModelScaleBy(double) {}
};

class RVDMMouseActionManager {
public:
    static RVDMMouseActionManager& shared();
    static void addDelegate(const std::shared_ptr<RVDMMouseActionDelegate>& receiver);
    static void digitalModelMoveTo(const QvGDIPoint& point);
    static void digitalModelRotateTo(const QvGDIPoint& point);
    static void digitalModelScaleBy(double delta);

    const RVDMWeakList<RVDMMouseActionDelegate>& delegates() const { return m_delegates; }
    void ResetForTests() { m_delegates.clear(); }

private:
    RVDMMouseActionManager() = default;
    RVDMWeakList<RVDMMouseActionDelegate> m_delegates;
};
