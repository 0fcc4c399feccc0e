// SPDX-License-Identifier: GPL-3.0-or-later
// The draw state of the 3-D views: which scheme each view shows, the jaw mode the
// view-direction tool bar chose, and the draw delegate (the 3-D view) that answers
// the current step, redraws and lends its auxiliary renderer. GUI thread only.
#pragma once

#include <map>
#include <memory>

class QvAuxRender;
class QvScheme;

class RVDMDrawDelegate {
public:
    virtual ~RVDMDrawDelegate() = default;
    virtual int currentStep() = 0;
    virtual void displayModel() = 0;
    virtual QvAuxRender* auxRender() = 0;
};

class RVDMDrawStatus {
public:
    static RVDMDrawStatus& shared();

    // A scheme binds it to the view id (replacing an earlier binding); null unbinds.
    void setScheme(QvScheme* scheme, int viewId);
    // The view's scheme; for an unbound id the scheme of the smallest bound id; null
    // with no bindings.
    QvScheme* schemeWithViewId(int viewId) const;
    void clearScheme() { m_cacheSchemes.clear(); }
    void clear() {}

    // displayModel of the delegate; nothing without one.
    void display();
    // The delegate's step and renderer; 0 and null without a delegate.
    int currentStep() const;
    QvAuxRender* auxRender() const;

    // Jaw modes: 0 both jaws, 1 upper, 2 lower, 3 occlusal upper, 4 occlusal lower.
    void resetJawType() { drawJawType = 0; }
    bool isHideUpperJaw() const { return drawJawType == 1 || drawJawType == 3; }
    bool isHideLowerJaw() const { return drawJawType == 2 || drawJawType == 4; }

    unsigned drawJawType = 0;
    std::weak_ptr<RVDMDrawDelegate> delegate;

    void ResetForTests();

private:
    RVDMDrawStatus() = default;
    std::map<int, QvScheme*> m_cacheSchemes;
};
