// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvTooth.h"

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

#include "core/base/QvParallel.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvCrownRim.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelDetail.h"
#include "core/model/QvRoot.h"
#include "core/model/QvToothRef.h"

namespace {

constexpr int kOldestFamily = 0x100;
constexpr int kDentalModelFamily = 0x800;

// Faces that are not grown virtual root: the crown as it was scanned.
std::vector<int> CrownFaces(const QvMesh& mesh)
{
    std::vector<int> faces;
    for (const QvFace& face : mesh.m_faces)
        if (face.m_tag != kQvFaceTagVirtualRoot)
            faces.push_back(face.m_index);
    return faces;
}

// Arch-order key of an FDI number: side and quadrant rank first, then the place in
// the quadrant (quadrants 1 and 4 run from the molars towards the midline).
std::tuple<int, int, int> ArchKey(int fdi)
{
    const int folded = FdiFolded(fdi);
    const int quadrant = folded / 10;
    const int unit = folded % 10;
    int rank = 2;
    if (quadrant == 1)
        rank = 0;
    else if (quadrant == 2)
        rank = 1;
    else if (quadrant == 3)
        rank = 3;
    // Numbers outside the four quadrants gather with quadrant 4, ordered by their tens
    // digit so that the order stays strict and weak.
    const int group = rank == 2 ? quadrant : 0;
    const int place = quadrant % 3 == 1 ? -unit : unit;
    return {rank, group, place};
}

} // namespace

int ToothRecordForm(int version)
{
    if (version & kDentalModelFamily)
    {
        if (version <= 2049)
            return 1;
        if (version <= 2051)
            return 2;
        if (version <= 2053)
            return 3;
        return 4;
    }
    if (version <= 1029)
        return 1;
    if (version == 1030)
        return 2;
    if (version <= 1040)
        return 3;
    return 4;
}

int FdiUnit(int fdi) { return fdi % 10; }

int FdiFolded(int fdi) { return fdi > 50 ? fdi - 40 : fdi; }

bool FdiArchLess(int a, int b) { return ArchKey(a) < ArchKey(b); }

// ---- Construction and copying ------------------------------------------------------

QvTooth::QvTooth(const QvTooth& other)
    : QvToothBase(other), m_nFdi(other.m_nFdi), m_nState(other.m_nState), m_bRootShown(other.m_bRootShown),
      m_color(other.m_color)
{
    if (other.m_pCutLine)
        m_pCutLine = new QvCutLine(*other.m_pCutLine);
    if (other.m_pRoot)
    {
        m_pRoot = new QvRoot(*other.m_pRoot);
        m_pRoot->SetOwner(this);
    }
    if (other.m_pToothRef)
    {
        m_pToothRef = new QvToothRef(*other.m_pToothRef);
        m_pToothRef->SetTooth(this);
    }
}

QvTooth& QvTooth::operator=(const QvTooth& other)
{
    if (this == &other)
        return *this;
    QvTooth copy(other);
    SwapContent(copy);
    SetJaw(other.GetJaw());
    return *this;
}

QvTooth::~QvTooth()
{
    delete m_pCutLine;
    delete m_pRoot;
    delete m_pToothRef;
}

void QvTooth::SwapContent(QvTooth& other)
{
    qvmodel::SwapMeshData(*this, other, true);
    m_colors.swap(other.m_colors);
    std::swap(m_bFirstFlag, other.m_bFirstFlag);
    std::swap(m_bModified, other.m_bModified);
    std::swap(m_bThirdFlag, other.m_bThirdFlag);
    std::swap(m_frame, other.m_frame);
    m_boundaryLoop.swap(other.m_boundaryLoop);
    std::swap(m_nFdi, other.m_nFdi);
    std::swap(m_bMarked, other.m_bMarked);
    std::swap(m_pCutLine, other.m_pCutLine);
    std::swap(m_nState, other.m_nState);
    std::swap(m_pRoot, other.m_pRoot);
    std::swap(m_bRootShown, other.m_bRootShown);
    std::swap(m_color, other.m_color);
    std::swap(m_pToothRef, other.m_pToothRef);
    for (QvTooth* tooth : {this, &other})
    {
        if (tooth->m_pRoot)
            tooth->m_pRoot->SetOwner(tooth);
        if (tooth->m_pToothRef)
            tooth->m_pToothRef->SetTooth(tooth);
    }
}

// ---- Kind and FDI rules ------------------------------------------------------------

QvTypeCode QvTooth::GetType() const { return kQvTypeTooth; }

bool QvTooth::IsKindOf(QvTypeCode code) const { return code == kQvTypeTooth || QvToothBase::IsKindOf(code); }

bool QvTooth::IsValidFdi() const
{
    const int folded = FdiFolded(m_nFdi);
    const int unit = folded % 10;
    return folded >= 10 && folded <= 49 && unit >= 1 && unit <= 9;
}

int QvTooth::GetToothKind() const
{
    static constexpr int kKinds[8] = {1, 1, 2, 3, 3, 4, 4, 4};
    const int unit = FdiUnit(m_nFdi);
    return unit >= 1 && unit <= 8 ? kKinds[unit - 1] : 0;
}

int QvTooth::GetArchPositionKey() const
{
    const int quadrant = FdiQuadrant(m_nFdi);
    const int unit = FdiUnit(m_nFdi);
    return 10 * quadrant + (quadrant % 2 != 0 ? 10 - unit : unit);
}

// ---- Owned parts ---------------------------------------------------------------------

void QvTooth::SetToothRef(QvToothRef* ref)
{
    if (ref == m_pToothRef)
    {
        if (ref)
            ref->SetTooth(this);
        return;
    }
    delete m_pToothRef;
    m_pToothRef = ref;
    if (m_pToothRef)
        m_pToothRef->SetTooth(this);
}

void QvTooth::SetCutLine(const QvCutLine& cutLine)
{
    if (&cutLine == m_pCutLine)
        return;
    QvCutLine* copy = new QvCutLine(cutLine);
    delete m_pCutLine;
    m_pCutLine = copy;
}

void QvTooth::SetRoot(QvRoot* root)
{
    if (root != m_pRoot)
        delete m_pRoot;
    m_pRoot = root;
    if (m_pRoot)
        m_pRoot->SetOwner(this);
    else
        m_bRootShown = false;
}

void QvTooth::DeleteRoot()
{
    delete m_pRoot;
    m_pRoot = nullptr;
    m_bRootShown = false;
}

bool QvTooth::ShowRealRoot(bool request)
{
    if (m_bRootShown == request)
        return false;
    m_bRootShown = request && m_pRoot != nullptr;
    m_bModified = true;
    return true;
}

// ---- Transform -------------------------------------------------------------------------

void QvTooth::Transform(const QvMatrix& matrix)
{
    QvMesh::Transform(matrix);
    if (m_frame.IsValid())
        m_frame.Transform(matrix);
    if (m_pCutLine)
        m_pCutLine->Transform(matrix);
    if (m_pRoot)
        m_pRoot->Transform(matrix);
}

// ---- Records of the case document and the dental model ---------------------------

std::ostream& QvTooth::WriteRecord(std::ostream& os, int version) const
{
    const int form = ToothRecordForm(version);
    if (form <= 2)
    {
        // The oldest forms keep the scanned crown only; the grown root is grown again.
        std::map<int, int> newToOld;
        const std::unique_ptr<QvMesh> crown = ExtractFaces(CrownFaces(*this), newToOld);
        crown->WriteCompact(os, version);
    }
    else
    {
        WriteCompact(os, version);
    }
    m_frame.Write(os);
    qvio::WriteI32(os, m_nFdi);
    qvio::WriteI32(os, m_nState);
    if (form >= 2)
    {
        qvio::WriteI32(os, m_pRoot ? 1 : 0);
        if (m_pRoot)
            m_pRoot->WriteCompact(os, version);
    }
    if (form == 4)
    {
        qvio::WriteI32(os, m_pToothRef ? 1 : 0);
        if (m_pToothRef)
            m_pToothRef->Write(os, version);
    }
    return os;
}

bool QvTooth::ReadRecord(std::istream& is, int version, QvModel* model, std::vector<QvToothPendingFaces>* pending)
{
    const int form = ToothRecordForm(version);
    qvmodel::Scratch<QvTooth> scratch;
    QvTooth& tooth = *scratch;
    // Nothing below looks past the vertices before the crown rim, so the faces can wait.
    QvToothPendingFaces later;
    const auto readMesh = [&](QvMesh& mesh, std::vector<QvReadFace>& faces) {
        return pending ? mesh.ReadCompact(is, version, model, faces) : mesh.ReadCompact(is, version, model);
    };
    if (!readMesh(tooth, later.faces) || !tooth.m_frame.Read(is) || !qvio::ReadI32(is, tooth.m_nFdi) ||
        !qvio::ReadI32(is, tooth.m_nState))
        return false;
    if (form >= 2)
    {
        std::int32_t rootFlag = 0;
        if (!qvio::ReadI32(is, rootFlag))
            return false;
        if (rootFlag == 1)
        {
            tooth.m_pRoot = new QvRoot(&tooth);
            if (!readMesh(*tooth.m_pRoot, later.rootFaces))
                return false;
        }
    }
    if (form == 4)
    {
        std::int32_t refFlag = 0;
        if (!qvio::ReadI32(is, refFlag))
            return false;
        if (refFlag == 1)
        {
            // The reference reads its landmark positions from the tooth's vertices.
            tooth.SetToothRef(new QvToothRef(&tooth));
            if (!tooth.m_pToothRef->Read(is, version, model))
                return false;
        }
    }
    if (form >= 3 && !pending)
        tooth.UpdateCrownLoop();

    SwapContent(tooth);
    SetJaw(model ? model->GetJaw(FdiIsUpper(m_nFdi)) : nullptr);
    if (pending)
    {
        later.tooth = this;
        later.crownLoop = form >= 3;
        pending->push_back(std::move(later));
    }
    return true;
}

void QvTooth::InsertPendingFaces(std::vector<QvToothPendingFaces>& pending, std::vector<QvPendingFaces>& meshes,
                                 unsigned threads)
{
    // Largest first, so that a jaw bone is not the one job left running at the end.
    const std::size_t count = meshes.size() + pending.size();
    std::vector<std::pair<std::size_t, std::size_t>> order; // (faces, job)
    order.reserve(count);
    for (std::size_t i = 0; i < meshes.size(); ++i)
        order.emplace_back(meshes[i].faces.size(), i);
    for (std::size_t i = 0; i < pending.size(); ++i)
        order.emplace_back(pending[i].faces.size() + pending[i].rootFaces.size(), meshes.size() + i);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });

    QvParallelFor(count, threads, [&](std::size_t k) {
        const std::size_t i = order[k].second;
        if (i < meshes.size())
        {
            meshes[i].mesh->InsertReadFaces(meshes[i].faces);
            return;
        }
        QvToothPendingFaces& job = pending[i - meshes.size()];
        job.tooth->InsertReadFaces(job.faces);
        if (QvRoot* root = job.tooth->GetRoot())
            root->InsertReadFaces(job.rootFaces);
        if (job.crownLoop)
            job.tooth->UpdateCrownLoop();
    });
    pending.clear();
    meshes.clear();
}

void QvTooth::UpdateCrownLoop()
{
    // The mesh may already carry a grown root, which closes it: the crown rim is the
    // boundary of the scanned faces alone, found on the tooth's own edges.
    if (std::none_of(m_faces.begin(), m_faces.end(),
                     [](const QvFace& f) { return f.m_tag != kQvFaceTagVirtualRoot; }))
        return;
    const std::vector<int> loop = CrownRim(*this);
    m_boundaryLoop = qvmodel::IndicesInRange(loop, m_vertices.size()) ? loop : std::vector<int>();
}

// ---- Oldest family ---------------------------------------------------------------------

std::ostream& QvTooth::Write(std::ostream& os, int) const { return os; }

bool QvTooth::Read(std::istream& is, int version, QvModel* model)
{
    if ((version & kOldestFamily) == 0)
        return false;
    qvmodel::Scratch<QvTooth> scratch;
    QvTooth& tooth = *scratch;
    if (!tooth.QvMesh::Read(is, version, model))
        return false;
    tooth.m_pCutLine = new QvCutLine();
    // An old line without entries answers false although the record goes on; only a
    // failed stream ends the record.
    (void)tooth.m_pCutLine->Read(is, version, model);
    if (!is)
        return false;

    std::int32_t jawId = -1;
    bool hasLoop = false;
    if (!tooth.m_frame.Read(is) || !qvio::ReadI32(is, jawId) || !qvio::ReadI32(is, tooth.m_nFdi) ||
        !qvmodel::ReadIntList(is, tooth.m_boundaryLoop, hasLoop))
        return false;
    if (version <= 257)
        tooth.m_nState = kQvToothOrdinary;
    else if (!qvio::ReadI32(is, tooth.m_nState))
        return false;
    if (version >= 259)
    {
        std::int32_t rootFlag = 0;
        if (!qvio::ReadI32(is, rootFlag))
            return false;
        if (rootFlag == 1)
        {
            tooth.m_pRoot = new QvRoot(&tooth);
            if (!tooth.m_pRoot->Read(is, version, model))
                return false;
        }
    }

    // A loop is kept whole or not at all.
    if (!qvmodel::IndicesInRange(tooth.m_boundaryLoop, tooth.m_vertices.size()))
        tooth.m_boundaryLoop.clear();
    QvJaw* jaw = qvmodel::FindJawById(model, jawId);
    if (version <= 263)
        tooth.m_pCutLine->SetMesh(jaw);
    if (version == 257)
        tooth.m_pCutLine->RestoreAnchor();

    SwapContent(tooth);
    SetJaw(jaw);
    return true;
}
