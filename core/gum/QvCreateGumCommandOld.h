// SPDX-License-Identifier: GPL-3.0-or-later
// The gum of one jaw at one step, built around the teeth as they stand there:
// interdental gum between neighbours, a patch around each tooth, a skirt down to an
// outline in the base plane and a flat base (face tag 6), the crown holes left open.
// Every length is measured in the teeth's mean edge length. Construct, set the two
// finishing flags, Execute once, copy m_pGumMesh, destroy. Shares nothing between
// commands, so builds may run on any thread.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/gum/QvGumToothInfo.h"

class QvBSplineCurve;
class QvBSplineSurface;
class QvMatrix;
class QvMesh;
class QvToothBase;

// Mean edge lengths of ordered lists of teeth, for builds that share the teeth (every
// step of one jaw): valid while no listed mesh changes. Any thread may use it.
class QvGumEdgeLengthCache
{
public:
    // The value MeanEdgeLength gives for the list, computed once per list.
    double Get(const std::vector<QvToothBase*>& ordered);

private:
    std::mutex m_mutex;
    std::map<std::vector<QvToothBase*>, double> m_lengths;
};

class QvCreateGumCommandOld : public QvCommand
{
public:
    // The matrices stay the caller's; a null one places the tooth where the model holds it.
    // With a cache, the mean edge length comes from it.
    QvCreateGumCommandOld(const QvFrame& jawFrame, const std::map<QvToothBase*, QvMatrix*>& teeth,
                          QvGumEdgeLengthCache* lengths = nullptr);
    QvCreateGumCommandOld(const QvFrame& jawFrame, const std::vector<QvToothBase*>& teeth);
    ~QvCreateGumCommandOld() override;
    QvCreateGumCommandOld(const QvCreateGumCommandOld&) = delete;
    QvCreateGumCommandOld& operator=(const QvCreateGumCommandOld&) = delete;

    void SetBaseParameters(double baseOffset, double outlineScale);
    void SetCapToothRings(bool on) { m_bCapToothRings = on; }
    void SetStitchBorder(bool on) { m_bStitchBorder = on; }
    // False with fewer than two teeth, a tooth without crown rim, or when no surface
    // could be built; m_pGumMesh is then not a gum.
    [[nodiscard]] bool Execute() override;
    // Execute's first stage, which alone writes to the teeth: computes the crown rim of
    // each tooth lacking one, in order, up to the first whose rim stays under three
    // vertices. False then, or with fewer than two teeth.
    bool EnsureCrownLoops();

    static double MeanEdgeLength(const std::vector<QvToothBase*>& teeth);

    // ---- records (QvGumToothRecords.cpp)
    [[nodiscard]] bool BuildToothInfos();
    [[nodiscard]] bool MatchContactArcs(QvGumToothInfo& a, QvGumToothInfo& b);
    [[nodiscard]] bool PlaceLinkControlPoints(QvGumToothInfo* a, QvGumToothInfo* b, int sideA, int sideB);
    int ClassifyLink(QvGumToothInfo& a, QvGumToothInfo& b);

    // ---- strips (QvGumStrips.cpp)
    void AddVertices(const std::vector<QvPoint>& points, std::vector<int>& indices);
    void AddPointRows(const std::vector<std::vector<QvPoint>>& rows, std::vector<std::vector<int>>& out);
    static void StitchChains(QvMesh* mesh, const int* a0, const int* a1, const int* b0, const int* b1, bool byIndex);
    void StripLists(const std::vector<int>& a, const std::vector<int>& b, bool byIndex);
    void StitchChainSequence(const std::vector<std::vector<int>>& chains, bool byIndex);
    void StitchBaseChains(const std::vector<int>& a, const std::vector<int>& b);

    // ---- surface (QvGumSurface.cpp)
    [[nodiscard]] bool BuildGumSurface();
    void SampleSkirtSurfaces(const std::vector<double>& lengths, const std::vector<QvBSplineSurface*>& surfaces,
                             std::vector<std::vector<int>>& columns, int& split);
    void RelaxFromToothRings(const std::vector<std::vector<int>>& loops, int R);
    static void SmoothListedVertices(QvMesh* mesh, const std::vector<int>& list, int passes);
    static void SmoothFreeVertices(QvMesh* mesh, const std::set<int>& fixed, int passes, double weight);
    int CountSamples(const std::vector<QvPoint>& points, double factor) const;

    // ---- base outline (QvGumOutline.cpp)
    QvBSplineCurve* BuildBaseOutline(double& t1, double& t2);
    void BuildOutlinePoints(bool flank2, std::vector<QvPoint>& points);
    void BuildOutlinePointsByMode(int mode, std::vector<QvPoint>& points);
    static void RelaxPolyline(std::vector<QvPoint>& points, int first, int last, int passes, double w);
    static int FindPlaneCrossing(const QvPlane& plane, const std::vector<QvPoint>& points, QvPoint& out);

    // ---- interdental gum and patches (QvGumPatches.cpp)
    void BuildInterdentalGum(QvGumToothInfo& a, QvGumToothInfo& b);
    [[nodiscard]] bool BuildToothPatch(int tooth, std::vector<std::vector<int>>& sideChains,
                                       std::vector<int>& flank1Border, std::vector<int>& flank2Border);
    [[nodiscard]] bool BuildNeighbourSideRows(int tooth, int side, std::vector<std::vector<QvPoint>>& rows);
    [[nodiscard]] bool BuildArchEndSideRows(int tooth, int side, std::vector<std::vector<QvPoint>>& rows);
    void BuildProfileRow(const QvPoint& seed, int code, const QvVector& reach, const QvVector& axis,
                         std::vector<QvPoint>& row, double t);
    static void ChooseProfileCode(bool neighbourRule, int index, bool linked, int flank, int split, double stepA,
                                  double stepB, int& code, double& t);

    // ---- finishing steps (QvGumFinishing.cpp)
    void CapToothRing(QvGumToothInfo* record);
    void FindBorderRuns(QvGumToothInfo* record, const std::vector<std::vector<int>>& loops,
                        std::vector<std::vector<int>>& gumRuns, std::vector<std::vector<int>>& ringRuns);
    bool AlignBorderRuns(QvGumToothInfo* record, const std::vector<std::vector<int>>& loops,
                         std::vector<std::vector<int>>& gumRuns, std::vector<std::vector<int>>& ringRuns);
    void StitchBorderRun(const std::vector<int>& gumRun, const std::vector<QvPoint>& ringPoints, bool pinnedEnds);
    void StitchBorder();

    double m_dBaseOffset = 3.0;
    double m_dOutlineScale = 1.2;
    double m_dThirdParameter = 3.0;
    double m_dPatchReach[2] = {8.0, 4.0};
    double m_dPatchDrop[2] = {1.0, 0.5};
    double m_dEighthParameter = 0.8;
    double m_dNinthParameter = 0.4;
    std::map<QvToothBase*, QvMatrix*> m_teeth;
    std::vector<QvToothBase*> m_orderedTeeth;
    std::vector<QvGumToothInfo*> m_toothInfos;
    double m_dMeanEdgeLength = 0.0;
    QvVector m_up;
    bool m_bUpper = false;
    bool m_bCapToothRings = true;
    bool m_bStitchBorder = true;
    QvMesh* m_pGumMesh = nullptr;
    QvPlane m_basePlane;

    // The plane normal to m_up, max(3, m_dBaseOffset) beyond the farthest tooth vertex.
    void BuildBasePlane();

private:
    void OrderTeeth(const QvFrame& jawFrame);
    const QvPoint& Pos(int vertex) const;
};
