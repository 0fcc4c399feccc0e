// SPDX-License-Identifier: GPL-3.0-or-later
// Base of the drawings the 3-D window shows over the case model without being part
// of it: a colour, depth behaviour, a hit test in window pixels and a binding to
// views. The shared depth passes live here: a visible pass, an optional dimmed
// pass for what lies behind the model, or one front-most pass without depth test.
#pragma once

#include <cstdint>
#include <set>

#include "core/base/QvColor.h"
#include "core/base/QvObject.h"
#include "core/geometry/QvBBox.h"

class QvEntity;
class QvOpenGLRender;
class QvView;

// Pass codes.
inline constexpr std::int32_t kQvPassFrontMost = 0x200;
inline constexpr std::int32_t kQvPassVisible = 0x203;
inline constexpr std::int32_t kQvPassHidden = 0x204;
// Hit tests accept window points closer than this, as |dx| + |dy|.
inline constexpr int kQvAuxHitPixels = 10;

class QvAuxObject : public QvObject
{
public:
    // withOwner: an anonymous entity of its own in m_pRelEntites, so that hiding it in
    // a view hides the object there.
    explicit QvAuxObject(bool withOwner = false);
    QvAuxObject(const QvAuxObject&) = delete;
    QvAuxObject& operator=(const QvAuxObject&) = delete;
    // Deletes the anonymous owner; other related entities are not owned.
    ~QvAuxObject() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    virtual void Draw(QvView* view) {}
    // The same picture from client-side vertex arrays.
    virtual void DrawArrays(QvView* view) {}
    virtual void DrawHover(QvView* view) {}
    // Window point in drawable pixels, projected through the active view.
    virtual bool HitTest(int x, int y) { return false; }
    // True: a hit ends the auxiliary render's search.
    virtual bool IsExclusiveHit() { return true; }
    virtual void UpdateBBox() {}

    bool IsShown() const { return (m_state & kQvStateShown) != 0; }
    bool IsSelectedState() const { return (m_state & kQvStateSelected) != 0; }
    // The anonymous owner, or null.
    QvEntity* GetOwner() const;

    QvOpenGLRender* m_pRender;
    bool m_bFrontMost = false;
    QvColor m_clr;
    QvColor m_highlightClr;
    bool m_bDrawHidden = false;
    bool m_bHitable = true;
    // Lower values are hit-tested first and drawn last (on top). Set before registering.
    std::int32_t m_hitPriority = 2;
    std::set<QvEntity*> m_pRelEntites;
    QvBBox m_bbox;
    // The one view the object is drawn in; null for every view.
    QvView* m_pAssView = nullptr;
    // Set by the aux render when it registers the object: ties of priority go by it.
    std::uint64_t m_registerOrder = 0;

protected:
    // The depth-pass decision: nothing when not shown, the front-most pass alone, or
    // the visible pass and, with m_bDrawHidden, the hidden pass. Each calls DrawPass.
    void DrawPasses(QvView* view);
    virtual void DrawPass(QvView* view, std::int32_t pass) {}
    // Depth test, depth function, blending and depth writes of a pass; the caller has
    // saved the depth-buffer, enable and colour-buffer groups.
    static void BeginPass(std::int32_t pass);
    // m_clr; the selected colour when honoured and the object is selected; 0.3 x m_clr
    // in the hidden pass.
    QvColor PassColor(std::int32_t pass, bool honourSelection) const;
};

// glColor of the low 8 bits of each component, so an unset colour draws white.
void QvAuxColor3(const QvColor& clr);
void QvAuxColor4(const QvColor& clr, std::uint8_t alpha);
// A copy scaled component-wise and truncated.
QvColor QvAuxScaled(const QvColor& clr, double factor);
