// SPDX-License-Identifier: GPL-3.0-or-later
// The second gum builder of one jaw: teeth placed through optional matrices, a base
// plane fitted plainly or tilted by the front teeth, strips between neighbours (a
// sampled patch over teeth standing out of the arch), a wall from the grown margin down
// to a smooth base outline and a flat base (face tag 6). Optional lids over the tooth
// rings and a border stitched onto the crown rims. Construct, set the flags, Execute
// once, copy m_pGumMesh, destroy.
#pragma once

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"

class QvMatrix;
class QvMesh;
class QvToothBase;

// One tooth of the second builder: its crown rim as a ring, corners, sides and the lists
// the surface stages fill. Sides: 0 from the next corner forward to mid A, 1 from the
// previous corner backward to mid A, 2 from the previous corner forward to mid B, 3 from
// the next corner backward to mid B. Corner kinds: 0 previous, 1 next, 2 mid B, 3 mid A.
// Gap kinds: 1 unset, 2 touching, 3 narrow, 4 wide.
struct QvGumToothRecord
{
    struct QvGumToothSide
    {
        std::vector<QvPoint> m_points;
        int m_start = -1;
        int m_end = -1;
        std::vector<int> m_firstRow; // row across the gap bottom, shared by both faces
        bool m_grouped = false;
        std::vector<int> m_vertices;
    };

    // The ring is empty when the tooth has no crown rim; every later step then fails.
    QvGumToothRecord(QvToothBase* tooth, const QvMatrix* placement);

    [[nodiscard]] bool FindFacingCorners();
    int MiddleIndex(int from, int to, const QvPlane& base) const;
    [[nodiscard]] bool FindMiddleCorners(const QvPlane& base);
    [[nodiscard]] bool BuildSides(const QvPlane& base);
    bool FindSideStarts();
    [[nodiscard]] bool UpdateDirection(const QvVector& up, const QvPlane& base);
    QvVector GetCornerDirection(const QvPlane& base, int kind) const;
    double GetCornerRadius(const QvPlane& base, int kind) const;
    QvPoint GetCornerPoint(int kind) const;
    int GetGapKind(bool previous) const { return previous ? m_gapPrev : m_gapNext; }

    QvToothBase* m_pTooth;
    std::vector<QvPoint> m_ring;
    std::vector<QvPoint> m_workRing;
    QvPoint m_centre;
    QvVector m_dir;
    int m_cornerNext = -1;
    int m_cornerMidA = -1;
    int m_cornerPrev = -1;
    int m_cornerMidB = -1;
    QvGumToothSide m_sides[4];
    int m_anchor[4] = {-1, -1, -1, -1};
    int m_anchor2[4] = {-1, -1, -1, -1};
    int m_gapPrev = 1;
    int m_gapNext = 1;
    int m_archPos = 1;
    bool m_continueFace0 = false;
    bool m_continueFace1 = false;
    std::vector<std::pair<int, int>> m_bridgePairs;
    int m_gapBottom = -1;
};

void AppendSideVertex(QvGumToothRecord::QvGumToothSide& side, int vertex);

class QvCreateGumCommand : public QvCommand
{
public:
    // A tooth listed twice is used once; matrices and teeth stay the caller's.
    QvCreateGumCommand(void* context, const QvFrame& jawFrame, const std::vector<QvToothBase*>& teeth);
    QvCreateGumCommand(void* context, const QvFrame& jawFrame, const std::map<QvToothBase*, QvMatrix*>& teeth);
    ~QvCreateGumCommand() override;
    QvCreateGumCommand(const QvCreateGumCommand&) = delete;
    QvCreateGumCommand& operator=(const QvCreateGumCommand&) = delete;

    void SetCapToothRings(bool on) { m_bCapToothRings = on; }
    void SetStitchBorder(bool on) { m_bStitchBorder = on; }
    void SetToothFrameBase(bool on) { m_bToothFrameBase = on; }
    // False with fewer than two teeth, a tooth without crown rim, a failed stage, and
    // on a second run (the first result stays).
    [[nodiscard]] bool Execute() override;

    // ---- base plane (QvGumBasePlane.cpp)
    void FitBasePlane();
    void FitBasePlaneByToothFrames();

    // ---- records and chains (QvGumRecordChains.cpp)
    [[nodiscard]] bool BuildToothRecords();
    [[nodiscard]] bool JoinNeighbourRings(QvGumToothRecord& a, QvGumToothRecord& b);
    static void ClassifyGap(QvGumToothRecord& prev, QvGumToothRecord& next);
    void AddChainVertices(const std::vector<QvPoint>& points, std::vector<int>& chain);
    void AddChainListVertices(const std::vector<std::vector<QvPoint>>& lists, std::vector<std::vector<int>>& chains);
    static void StitchChainRanges(QvMesh* mesh, const int* beginA, const int* endA, const int* beginB,
                                  const int* endB, bool byIndex);
    void StitchChains(const std::vector<int>& a, const std::vector<int>& b, bool byIndex);
    void StitchChainList(const std::vector<std::vector<int>>& chains, bool byIndex);
    int SampleCount(const std::vector<QvPoint>& points, double factor) const;
    [[nodiscard]] bool FindFacingPair(const std::vector<QvPoint>& a, const std::vector<QvPoint>& b, int startA,
                                      int startB, int& outA, int& outB) const;

    // ---- surface (QvGumSheet.cpp)
    [[nodiscard]] bool BuildInterdentalStrips(std::vector<std::vector<int>>& face0Edges,
                                              std::vector<std::vector<int>>& face1Edges);
    [[nodiscard]] bool BuildGapStrip(QvGumToothRecord& a, QvGumToothRecord& b, int face, std::vector<int>& edge);
    [[nodiscard]] bool BuildGumWall(const std::vector<std::vector<int>>& face0Edges,
                                    const std::vector<std::vector<int>>& face1Edges, std::vector<int>& baseLoop);
    [[nodiscard]] bool BuildBaseOutline(int c1, int c2, int c3, int c4, std::vector<int>& baseLoop);
    [[nodiscard]] bool CloseGumBase(const std::vector<int>& baseLoop);

    // ---- bridges and margin (QvGumBridges.cpp)
    void MarkBridgedTooth(QvGumToothRecord& prev, QvGumToothRecord& cur, QvGumToothRecord& next);
    static bool FindCloseStretch(double threshold, const std::vector<QvPoint>& a, const std::vector<QvPoint>& b,
                                 int first[2], int last[2]);
    [[nodiscard]] bool BuildGroupBridge(int firstRecord, int lastRecord, int face, std::vector<int>& border);
    void BuildToothMarginChains(QvGumToothRecord& record, int position, std::vector<int>& face0,
                                std::vector<int>& face1, double spacing);
    static bool CollectVertexRings(QvMesh* mesh, const std::vector<int>& seeds, int a, int b, std::set<int>& ringA,
                                   std::set<int>& middle, std::set<int>& ringB);
    [[nodiscard]] bool ShapeGumMargin(std::vector<int>& loop);
    void FinishGumMargin(const std::vector<int>& loop);

    // ---- finishing (QvGumBorder.cpp)
    void CapToothRing(QvGumToothRecord& record);
    void CollectBorderPieces(const QvGumToothRecord& record, const std::vector<std::vector<int>>& loops,
                             std::vector<std::vector<int>>& gumRuns, std::vector<std::vector<int>>& ringRuns);
    bool PrepareBorderPieces(const QvGumToothRecord& record, const std::vector<std::vector<int>>& loops,
                             std::vector<std::vector<int>>& gumRuns, std::vector<std::vector<int>>& ringRuns);
    void StitchBorderPiece(const std::vector<int>& gumRun, const std::vector<QvPoint>& ringPoints, bool touching);

    void* m_pContext;
    std::map<QvToothBase*, QvMatrix*> m_teeth;
    std::vector<QvToothBase*> m_archOrder;
    std::vector<QvGumToothRecord*> m_records;
    double m_dMeanEdgeLength = 0.0;
    QvVector m_up;
    bool m_bUpper = false;
    bool m_bCapToothRings = false;
    bool m_bStitchBorder = false;
    QvMesh* m_pGumMesh = nullptr;
    QvPlane m_basePlane;
    bool m_bToothFrameBase = false;
    bool m_bKeepCrownDepth = false;

private:
    const QvPoint& Pos(int vertex) const;
    const QvMatrix* Placement(const QvToothBase* tooth) const;
    // Normal of the plane fitted to every crown rim, turned towards m_up; m_up without a fit.
    QvVector RimNormal() const;
    bool m_bExecuted = false;
};
