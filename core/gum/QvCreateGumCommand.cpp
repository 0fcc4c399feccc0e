// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/gum/QvCreateGumCommand.h"

#include "core/gum/QvGumRingOps.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvToothBase.h"

QvCreateGumCommand::QvCreateGumCommand(void* context, const QvFrame& jawFrame, const std::vector<QvToothBase*>& teeth)
    : m_pContext(context), m_up(jawFrame.m_dirZ)
{
    for (QvToothBase* tooth : teeth)
        if (tooth)
            m_teeth.emplace(tooth, nullptr);
    if (!teeth.empty() && teeth.front())
        m_bUpper = teeth.front()->IsUpper();
    GumArchOrder(m_teeth, jawFrame, m_archOrder);
    m_dMeanEdgeLength = GumMeanEdgeLength(std::vector<QvMesh*>(m_archOrder.begin(), m_archOrder.end()));
}

QvCreateGumCommand::QvCreateGumCommand(void* context, const QvFrame& jawFrame,
                                       const std::map<QvToothBase*, QvMatrix*>& teeth)
    : m_pContext(context), m_up(jawFrame.m_dirZ)
{
    for (const auto& [tooth, matrix] : teeth)
        if (tooth)
            m_teeth.emplace(tooth, matrix);
    if (!m_teeth.empty())
        m_bUpper = m_teeth.begin()->first->IsUpper();
    GumArchOrder(m_teeth, jawFrame, m_archOrder);
    m_dMeanEdgeLength = GumMeanEdgeLength(std::vector<QvMesh*>(m_archOrder.begin(), m_archOrder.end()));
}

QvCreateGumCommand::~QvCreateGumCommand()
{
    for (QvGumToothRecord*& record : m_records)
    {
        delete record;
        record = nullptr;
    }
    delete m_pGumMesh;
}

void AppendSideVertex(QvGumToothRecord::QvGumToothSide& side, int vertex) { side.m_vertices.push_back(vertex); }

const QvPoint& QvCreateGumCommand::Pos(int vertex) const
{
    return m_pGumMesh->m_vertices[static_cast<std::size_t>(vertex)].m_point;
}

const QvMatrix* QvCreateGumCommand::Placement(const QvToothBase* tooth) const
{
    const auto it = m_teeth.find(const_cast<QvToothBase*>(tooth));
    return it != m_teeth.end() ? it->second : nullptr;
}

bool QvCreateGumCommand::Execute()
{
    // Built for one run: a second one would have to drop the records and result it reads.
    if (m_bExecuted)
        return false;
    m_bExecuted = true;
    if (m_teeth.size() < 2)
        return false;
    for (QvToothBase* tooth : m_archOrder)
    {
        GumEnsureCrownLoop(tooth);
        if (tooth->GetBoundaryLoop()->size() < 3)
            return false;
    }
    if (!(m_dMeanEdgeLength > 0.0))
        return false;
    if (m_bToothFrameBase)
        FitBasePlaneByToothFrames();
    else
        FitBasePlane();
    if (!BuildToothRecords())
        return false;
    m_pGumMesh = new QvMesh();
    m_pGumMesh->Reserve(15000, 30000, 45000);
    std::vector<std::vector<int>> face0Edges, face1Edges;
    std::vector<int> baseLoop;
    if (!BuildInterdentalStrips(face0Edges, face1Edges) || !BuildGumWall(face0Edges, face1Edges, baseLoop) ||
        !CloseGumBase(baseLoop))
        return false;
    if (m_bCapToothRings)
        for (QvGumToothRecord* record : m_records)
            CapToothRing(*record);
    if (m_bStitchBorder)
    {
        const int f0 = static_cast<int>(m_pGumMesh->m_faces.size());
        std::vector<std::vector<int>> loops;
        m_pGumMesh->GetBoundaryLoops(loops);
        for (QvGumToothRecord* record : m_records)
        {
            std::vector<std::vector<int>> gumRuns, ringRuns;
            const bool touching = PrepareBorderPieces(*record, loops, gumRuns, ringRuns);
            for (std::size_t k = 0; k < gumRuns.size(); ++k)
            {
                std::vector<QvPoint> points;
                for (const int i : ringRuns[k])
                    points.push_back(record->m_ring[static_cast<std::size_t>(i)]);
                StitchBorderPiece(gumRuns[k], points, touching);
            }
        }
        std::vector<int> added;
        for (int f = f0; f < static_cast<int>(m_pGumMesh->m_faces.size()); ++f)
            added.push_back(f);
        m_pGumMesh->OrientFaces(added);
    }
    m_pGumMesh->UpdateFaceNormals();
    m_pGumMesh->UpdateBBox();
    return true;
}
