// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvParameterizeMgr.h"

#include <utility>

#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshLocalParameterize.h"
#include "core/mesh/QvMeshParameterize.h"

namespace {

class Guard
{
public:
    explicit Guard(QvRecursiveMutex& mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~Guard() { m_mutex.Unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    QvRecursiveMutex& m_mutex;
};

// Sum of the 3-D edge lengths over the edge count; 0 for a mesh without edges.
double MeanEdgeLength(const QvMesh& mesh)
{
    if (mesh.m_edges.empty())
        return 0.0;
    double sum = 0.0;
    for (const QvEdge& edge : mesh.m_edges)
        sum += mesh.m_vertices[static_cast<std::size_t>(edge.m_vertices[0])].m_point.Distance(
            mesh.m_vertices[static_cast<std::size_t>(edge.m_vertices[1])].m_point);
    return sum / static_cast<double>(mesh.m_edges.size());
}

} // namespace

QvParameterizeMgr* QvParameterizeMgr::Instance()
{
    static QvParameterizeMgr instance;
    return &instance;
}

QvParameterizeMgr::QvParameterizeMgr() = default;

QvParameterizeMgr::~QvParameterizeMgr() = default;

bool QvParameterizeMgr::HasEntry(const QvMesh* mesh)
{
    // Under the lock, so that two threads adding different meshes never read the map
    // while the other one rebalances it.
    Guard guard(m_mutex);
    return m_entries.find(mesh) != m_entries.end();
}

void QvParameterizeMgr::Insert(QvMesh* mesh, std::unique_ptr<QvMesh> flat)
{
    const double mean = MeanEdgeLength(*mesh);
    Guard guard(m_mutex);
    // An entry that arrived while this copy was built stays; the new copy is dropped.
    if (m_entries.find(mesh) != m_entries.end())
        return;
    Entry& entry = m_entries[mesh];
    entry.m_pFlat = std::move(flat);
    entry.m_meanEdgeLength = mean;
}

void QvParameterizeMgr::AddMesh(QvMesh* mesh)
{
    if (!mesh || HasEntry(mesh))
        return;
    std::unique_ptr<QvMesh> flat;
    {
        QvMeshParameterize parameterize(mesh, 0);
        if (!parameterize.Run())
            return;
        flat = parameterize.CreateParameterMesh();
    }
    if (flat)
        Insert(mesh, std::move(flat));
}

void QvParameterizeMgr::AddLocalMesh(QvMesh* mesh, const std::vector<int>& boundary, int anchor)
{
    if (!mesh || HasEntry(mesh))
        return;
    std::unique_ptr<QvMesh> flat;
    {
        QvMeshLocalParameterize parameterize(mesh, boundary, anchor);
        if (!parameterize.Run())
            return;
        flat = parameterize.CreateParameterMesh();
    }
    if (flat)
        Insert(mesh, std::move(flat));
}

QvMesh* QvParameterizeMgr::FindFlatMesh(const QvMesh* mesh) const
{
    const auto found = m_entries.find(mesh);
    return found == m_entries.end() ? nullptr : found->second.m_pFlat.get();
}

double QvParameterizeMgr::GetMeanEdgeLength(const QvMesh* mesh) const
{
    const auto found = m_entries.find(mesh);
    return found == m_entries.end() ? 0.0 : found->second.m_meanEdgeLength;
}

void QvParameterizeMgr::RemoveMesh(const QvMesh* mesh)
{
    // The flat copy is deleted with the entry, under the lock, so no other thread's
    // insertion sees an entry whose copy is already gone.
    Guard guard(m_mutex);
    m_entries.erase(mesh);
}

void QvParameterizeMgr::RemoveAll()
{
    Guard guard(m_mutex);
    m_entries.clear();
}
