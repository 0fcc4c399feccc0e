// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvSchemeGums.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "core/base/QvParallel.h"
#include "core/base/QvTypeCodes.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/model/QvGum.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

void DeleteMatrices(std::map<QvToothBase*, QvMatrix*>& teeth)
{
    for (auto& entry : teeth)
        delete entry.second;
    teeth.clear();
}

// One jaw at one step: its teeth as placed there and the command that builds its gum.
struct GumJob
{
    GumJob() = default;
    GumJob(const GumJob&) = delete;
    GumJob& operator=(const GumJob&) = delete;
    ~GumJob() { DeleteMatrices(teeth); }

    std::map<QvToothBase*, QvMatrix*> teeth;
    QvFrame frame;
    std::unique_ptr<QvCreateGumCommandOld> command; // null: too few teeth, nothing to build
    std::unique_ptr<QvGum> gum;
    bool drewMesh = false; // the command drew an entity id for its mesh
    const GumJob* same = nullptr; // an earlier job of identical input: its gum is copied
};

bool SameBits(const double* a, const double* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(double)) == 0; }

bool SameMatrix(const QvMatrix* a, const QvMatrix* b)
{
    if (!a || !b)
        return a == b;
    if (a->Rows() != b->Rows() || a->Cols() != b->Cols())
        return false;
    for (int r = 0; r < a->Rows(); ++r)
        if (!SameBits((*a)[r], (*b)[r], static_cast<std::size_t>(a->Cols())))
            return false;
    return true;
}

// The builder is a function of the frame, the teeth and their placements alone: equal
// bits in, equal gum out (a jaw whose teeth have stopped moving).
bool SameInput(const GumJob& a, const GumJob& b)
{
    if (!a.command || !b.command || a.teeth.size() != b.teeth.size())
        return false;
    const QvFrame& f = a.frame;
    const QvFrame& g = b.frame;
    if (!SameBits(f.m_centre.m_coord, g.m_centre.m_coord, 3) || !SameBits(f.m_dirX.m_coord, g.m_dirX.m_coord, 3) ||
        !SameBits(f.m_dirY.m_coord, g.m_dirY.m_coord, 3) || !SameBits(f.m_dirZ.m_coord, g.m_dirZ.m_coord, 3))
        return false;
    for (auto i = a.teeth.begin(), j = b.teeth.begin(); i != a.teeth.end(); ++i, ++j)
        if (i->first != j->first || !SameMatrix(i->second, j->second))
            return false;
    return true;
}

void PrepareJob(QvScheme& scheme, int step, bool upper, bool needTwo, QvGumEdgeLengthCache* lengths, GumJob& job)
{
    scheme.BuildGumTeeth(step, upper, job.teeth);
    if (needTwo && job.teeth.size() < 2)
        return;
    QvFrame frame = scheme.GetGumMgr().GetGumFrame(upper);
    const std::vector<QvTreatStepList*>& lists = scheme.m_stepLists;
    if (!upper && step >= 0 && step < static_cast<int>(lists.size()) && lists[static_cast<std::size_t>(step)])
        frame.Transform(lists[static_cast<std::size_t>(step)]->m_jawMatrix);
    job.frame = frame;
    job.command = std::make_unique<QvCreateGumCommandOld>(frame, job.teeth, lengths);
    job.command->SetCapToothRings(false);
    job.command->SetStitchBorder(false);
}

// Reads the teeth only once their crown rims exist (see EnsureCrownLoops).
void RunJob(GumJob& job)
{
    if (!job.command)
        return;
    const bool built = job.command->Execute();
    job.drewMesh = job.command->m_pGumMesh != nullptr;
    if (built)
    {
        job.gum = std::make_unique<QvGum>();
        job.gum->CopyMeshData(*job.command->m_pGumMesh);
        job.gum->m_bModified = true;
    }
    job.command.reset();
}

// The gum of one jaw at one step, or null when it cannot be built.
std::unique_ptr<QvGum> BuildGum(QvScheme& scheme, int step, bool upper, bool needTwo)
{
    GumJob job;
    PrepareJob(scheme, step, upper, needTwo, nullptr, job);
    RunJob(job);
    return std::move(job.gum);
}

QvGumEntry* FindEntry(QvGumMgr& store, int step)
{
    for (QvGumEntry& entry : store.m_entries)
        if (entry.m_nStep == step)
            return &entry;
    return nullptr;
}

QvTreatStepList* ListAt(const std::vector<QvTreatStepList*>& lists, int step)
{
    if (step < 0 || step >= static_cast<int>(lists.size()))
        return nullptr;
    return lists[static_cast<std::size_t>(step)];
}

} // namespace

void QvScheme::BuildGumTeeth(int step, bool upper, std::map<QvToothBase*, QvMatrix*>& out)
{
    const std::vector<QvToothBase*> teeth = GetGumTeeth(step);
    std::set<int> replaced;
    for (const QvToothBase* tooth : m_virtualTeeth)
        if (tooth && tooth->GetType() == kQvTypeVirtualTooth && static_cast<const QvVirtualTooth*>(tooth)->m_nKind == 1)
            replaced.insert(static_cast<const QvVirtualTooth*>(tooth)->m_nFdi);
    for (QvToothBase* tooth : teeth)
    {
        if (!tooth || tooth->IsUpper() != upper)
            continue;
        const int fdi = tooth->GetPositionFdi();
        if (replaced.count(fdi) || replaced.count(fdi - 40))
            continue;
        if (out.count(tooth))
            continue;
        const QvTreatStep* found = FindStep(step, tooth);
        out.emplace(tooth, found ? new QvMatrix(found->m_matrix) : nullptr);
    }
    for (QvToothBase* tooth : m_virtualTeeth)
    {
        if (!tooth || tooth->GetType() != kQvTypeVirtualTooth || tooth->IsUpper() != upper || out.count(tooth))
            continue;
        const QvVirtualTooth* virt = static_cast<const QvVirtualTooth*>(tooth);
        if (virt->m_nStartStep > step)
            continue;
        const QvTreatStep* found = FindStep(step, tooth);
        if (!found || !found->HasMatrix())
            continue;
        const bool ownIsPlacement = virt->m_matrix.Rows() == 4 && virt->m_matrix.Cols() == 4;
        out.emplace(tooth, new QvMatrix(ownIsPlacement ? found->m_matrix * virt->m_matrix : found->m_matrix));
    }
}

bool QvScheme::CreateGums(bool includeStep0, int step)
{
    const int n = GetStepCount();
    if (n == 0)
        return false;
    std::vector<int> steps;
    for (int i = 0; i < n; ++i)
        if (!((i == 0 && !includeStep0) || (step != -1 && i != step)))
            steps.push_back(i);
    // Upper then lower gum of each step, in step order, as one after another would build them.
    std::vector<GumJob> jobs(2 * steps.size());
    QvGumEdgeLengthCache lengths;
    bool shareable = true;
    for (std::size_t k = 0; k < jobs.size(); ++k)
    {
        GumJob& job = jobs[k];
        PrepareJob(*this, steps[k / 2], k % 2 == 0, true, &lengths, job);
        // The only writes to the teeth, here on one thread; a tooth left without a rim
        // would be tried again by every build, so such a case is built one job at a time.
        if (job.command && !job.command->EnsureCrownLoops())
            for (const QvToothBase* tooth : job.command->m_orderedTeeth)
                shareable = shareable && !tooth->GetBoundaryLoop()->empty();
        if (k >= 2 && SameInput(jobs[k - 2], job))
        {
            job.same = jobs[k - 2].same ? jobs[k - 2].same : &jobs[k - 2];
            job.command.reset();
        }
    }
    const std::int32_t firstId = QvEntity::PeekNextId();
    QvParallelFor(jobs.size(), shareable ? 0u : 1u, [&](std::size_t k) { RunJob(jobs[k]); });
    std::int32_t drawn = 0; // ids drawn here
    for (GumJob& job : jobs)
        if (job.same)
        {
            job.drewMesh = job.same->drewMesh;
            if (job.same->gum)
            {
                job.gum = std::make_unique<QvGum>();
                job.gum->CopyMeshData(*job.same->gum);
                job.gum->m_bModified = true;
                ++drawn;
            }
        }
        else
            drawn += (job.drewMesh ? 1 : 0) + (job.gum ? 1 : 0);
    // The gums' ids as one build after another would draw them (each command's mesh,
    // then its gum), unless something else drew ids meanwhile.
    if (QvEntity::PeekNextId() == firstId + drawn)
    {
        std::int32_t id = firstId;
        for (GumJob& job : jobs)
        {
            id += job.drewMesh ? 1 : 0;
            if (job.gum)
                job.gum->SetID(id++);
        }
        while (QvEntity::PeekNextId() < id)
            (void)QvEntity::NextId();
    }
    bool built = false;
    for (std::size_t i = 0; i < steps.size(); ++i)
    {
        QvGumEntry entry;
        entry.m_nStep = steps[i];
        entry.m_pUpper = jobs[2 * i].gum.release();
        entry.m_pLower = jobs[2 * i + 1].gum.release();
        built = built || entry.m_pUpper || entry.m_pLower;
        m_gumMgr.AddGums(entry);
    }
    return built;
}

bool QvScheme::UpdateGum(int step, bool upper, bool lower)
{
    for (const bool jaw : {true, false})
    {
        if (jaw ? !upper : !lower)
            continue;
        QvGumEntry* entry = FindEntry(m_gumMgr, step);
        if (!entry)
            continue;
        std::unique_ptr<QvGum> gum = BuildGum(*this, step, jaw, false);
        if (!gum)
            continue;
        QvGum*& stored = jaw ? entry->m_pUpper : entry->m_pLower;
        if (stored)
        {
            stored->CopyMeshData(*gum);
            stored->m_bModified = true;
        }
        else
            stored = gum.release();
    }
    return true;
}

void QvScheme::ShowStepGums(int step)
{
    if (!m_pModel)
        return;
    for (const bool upper : {true, false})
    {
        const QvGum* stored = m_gumMgr.FindGum(step, upper);
        QvGum* shown = m_pModel->GetGum(upper);
        if (!stored || !shown)
            continue;
        shown->CopyMeshData(*stored);
        shown->m_bModified = true;
    }
    m_pModel->UpdateBBox();
}

void QvScheme::InitGumsFromModel()
{
    QvGumEntry entry;
    entry.m_nStep = 0;
    if (m_pModel)
        for (QvEntity* entity : m_pModel->m_gums)
        {
            const QvGum* source = static_cast<const QvGum*>(entity);
            QvGum* copy = new QvGum();
            copy->CopyMeshData(*source);
            copy->m_bModified = true;
            QvGum*& slot = source->IsUpper() ? entry.m_pUpper : entry.m_pLower;
            delete slot; // a second gum of the same side replaces the first
            slot = copy;
        }
    m_gumMgr.m_entries.insert(m_gumMgr.m_entries.begin(), entry);
}

void QvScheme::SetStepJawMatrix(int step, const QvMatrix& jaw)
{
    QvTreatStepList* list = ListAt(m_stepLists, step);
    if (!list)
        return;
    QvMatrix inverse = list->m_jawMatrix;
    if (inverse.Rows() != 4 || inverse.Cols() != 4 || !inverse.Invert())
        return;
    const QvMatrix D = jaw * inverse;
    for (QvTreatStep* s : list->m_steps)
        if (s && s->GetTooth() && !s->GetTooth()->IsUpper())
            s->m_matrix = D * s->m_matrix;
    list->m_jawMatrix = jaw;
}

void QvScheme::RecoverTeethBite(int step)
{
    QvTreatStepList* list = ListAt(m_stepLists, step);
    if (!list)
        return;
    QvMatrix inverse = list->m_jawMatrix;
    if (inverse.Rows() != 4 || inverse.Cols() != 4 || !inverse.Invert())
        return;
    std::vector<QvTreatStep*> bites;
    for (QvTreatStep* s : list->m_steps)
    {
        if (!s || !s->GetTooth() || s->GetTooth()->IsUpper())
            continue;
        if (s->GetType() == kQvStepBite)
            bites.push_back(s);
        else
            s->m_matrix = inverse * s->m_matrix;
    }
    for (QvTreatStep* s : bites)
        static_cast<void>(list->RemoveStep(s));
    list->m_jawMatrix = qvscheme::Identity4();
    list->m_bBite = false;
}

bool PrepareSchemeGums(QvScheme& scheme, bool includeStep0)
{
    QvModel* model = scheme.GetModel();
    if (!model)
        return false;
    QvGumMgr& store = scheme.GetGumMgr();
    store.Clear();
    for (const bool upper : {true, false})
        if (const QvJaw* jaw = model->GetJaw(upper))
            store.SetGumFrame(*jaw->GetFrame(), upper);
    const bool built = scheme.CreateGums(includeStep0, -1);
    if (includeStep0)
        scheme.ShowStepGums(0);
    else
        scheme.InitGumsFromModel();
    return built;
}
