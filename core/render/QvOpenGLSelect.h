// SPDX-License-Identifier: GPL-3.0-or-later
// What lies under a window point of the 3-D window: an entity through the GL
// selection buffer, or the mesh vertex or edge nearest to the surface point under
// the cursor, by the pick mask of the render status (bit 8 vertex, else bit 0x10
// edge, else the selection buffer). Uses the matrices the active view was last
// drawn with, so it answers only after a frame.
#pragma once

#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"

class QvEdge;
class QvEntity;
class QvMesh;
class QvModel;
class QvObject;
class QvVertex;

inline constexpr int kQvSelectBufferWords = 512;
// Half the side of the pick box, in pixels.
inline constexpr int kQvPickBoxHalf = 4;

class QvOpenGLSelect
{
public:
    // One candidate placement of an entity the pick ray meets.
    struct Candidate
    {
        QvEntity* entity;
        QvMatrix placement;
    };

    QvOpenGLSelect() = default;
    QvOpenGLSelect(const QvOpenGLSelect&) = delete;
    QvOpenGLSelect& operator=(const QvOpenGLSelect&) = delete;
    virtual ~QvOpenGLSelect() = default;

    void SetModel(QvModel* model) { m_pModel = model; }
    QvModel* GetModel() const { return m_pModel; }

    // A QvEntity, a QvVertex or a QvEdge of a mesh, or null: without a model, before
    // the active view was drawn, over empty background, beyond 10 pixels in vertex
    // mode, and when the selection buffer overflows. Leaves the projection stack as
    // it found it.
    QvObject* Pick(const QvGDIPoint& pt);

    // An 8 x 8 pixel box around the pick point over the active view's own projection.
    void SetupPickProjection();
    // Shown entities not hidden in the active view, once per non-ghost placement whose
    // box the pick ray meets (an entity without placements: once, unplaced).
    void CollectCandidates(std::vector<QvEntity*>& out);
    void CollectCandidates(std::vector<Candidate>& out);
    void DrawSelect(const std::vector<QvEntity*>& candidates);
    // Nearest vertex (squared distance, first on ties) to the surface point under the
    // cursor over every placement of the candidate meshes; null when it projects more
    // than 10 pixels (|dx| + |dy|) from pt.
    QvVertex* PickNearestVertex(const std::vector<QvEntity*>& candidates, const QvGDIPoint& pt);
    // Of the edges of the faces around the nearest vertex, the nearest to the surface
    // point; the highest index among equals.
    QvEdge* PickNearestEdge(const std::vector<QvEntity*>& candidates, const QvGDIPoint& pt);
    // Distance to the segment: to the nearer end where the foot is not strictly inside.
    static double DistanceToEdge(const QvMesh& mesh, const QvEdge& edge, const QvPoint& p);

    // The last pick.
    const QvGDIPoint& GetPickPoint() const { return m_ptPick; }
    const QvLine& GetPickRay() const { return m_pickRay; }

    QvModel* m_pModel = nullptr;
    QvGDIPoint m_ptPick;
    QvLine m_pickRay;
    double m_projMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

private:
    QvObject* PickFromBuffer(const std::vector<QvEntity*>& candidates);
};
