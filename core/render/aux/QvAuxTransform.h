// SPDX-License-Identifier: GPL-3.0-or-later
// The move and rotate gizmo of the design panes: six arrows for translation along
// the axes of a frame and three rings for rotation about them, with a read-out of
// the distance or angle of the drag under way.
#pragma once

#include <cstdint>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvGDI.h"
#include "core/geometry/QvMatrix.h"
#include "core/render/aux/QvAuxNotation.h"
#include "core/render/aux/QvAuxObject.h"

class QvAuxArrow;

// An arc of a torus tube about the normal dirU x dirV, from dirU towards dirV.
class QvAuxTorus : public QvAuxObject
{
public:
    QvAuxTorus();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // dirV is the part of b perpendicular to a.
    void SetArc(const QvPoint& centre, const QvVector& a, const QvVector& b, double angle, double radius);
    void SetAxes(const QvVector& a, const QvVector& b);
    QvVector GetNormal() const;

    void Draw(QvView* view) override;
    // Drawn whether shown or not, thin.
    void DrawHover(QvView* view) override;
    // Within 10 pixels of the centre line on the arc; the shown bit is not consulted.
    bool HitTest(int x, int y) override;

    double m_angle = 0.0;
    double m_radius = 0.0;
    QvPoint m_centre;
    QvVector m_dirU;
    QvVector m_dirV;
    bool m_bThick = false;

protected:
    void DrawPass(QvView* view, std::int32_t pass) override;

private:
    void DrawTube(double tube) const;
};

class QvAuxTransform : public QvAuxObject
{
public:
    // Handle indices: arrows +X -X +Y -Y +Z -Z, then the rings about X, Y, Z.
    static constexpr int kHandles = 9;
    static constexpr int kFirstRing = 6;

    // Mode 0: positive arrows and quarter rings; 1: everything, full rings, only the
    // grabbed handle (or the grabbed arrow's axis) while dragging; 2: +X, +Y and the Z ring.
    explicit QvAuxTransform(int mode = 1, bool withOwner = true);
    ~QvAuxTransform() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    void SetFrame(const QvFrame& frame);
    // Grabs the handle under the window point; (-1, -1) releases. Snapshots the start
    // frame and empties the read-out whenever the gizmo is pickable.
    bool PickHandle(int x, int y);
    // The rigid motion of one drag step (identity with no handle grabbed); the gizmo follows.
    QvMatrix GetDragMatrix(const QvGDIPoint& from, const QvGDIPoint& to, bool damped);
    void ShowReadout(bool show);
    void SetThick(bool thick);

    void Draw(QvView* view) override;
    void DrawHover(QvView* view) override;
    bool HitTest(int x, int y) override;

    QvAuxArrow* GetArrow(int i) const;
    QvAuxTorus* GetRing(int i) const;

    QvFrame m_curFrame;
    QvFrame m_startFrame;
    double m_handleScale = 5.0;
    QvAuxObject* m_pHandles[kHandles] = {};
    QvAuxNotation m_readout;
    std::int32_t m_hoverHandle = -1;
    std::int32_t m_dragHandle = -1;
    std::int32_t m_mode = 1;
    bool m_bTranslate = true;

private:
    bool Pickable() const;
    // The first handle under the point in picking order, -1 for none.
    int FindHandle(int x, int y) const;
    void UpdateReadout();
    double RingArc() const;
};
