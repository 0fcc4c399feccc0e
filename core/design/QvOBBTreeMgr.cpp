// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvOBBTreeMgr.h"

#include <algorithm>
#include <memory>
#include <set>

#include "core/base/QvParallel.h"
#include "core/design/QvOBBTree.h"
#include "core/mesh/QvMesh.h"

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

} // namespace

QvOBBTreeMgr* QvOBBTreeMgr::Instance()
{
    static QvOBBTreeMgr instance;
    return &instance;
}

QvOBBTreeMgr::QvOBBTreeMgr() = default;

QvOBBTreeMgr::~QvOBBTreeMgr() { Clear(); }

void QvOBBTreeMgr::AddMesh(QvMesh* mesh)
{
    if (!mesh || HasTree(mesh))
        return;
    auto tree = std::make_unique<QvOBBTree>(mesh);
    {
        Guard guard(m_mutex);
        auto [it, inserted] = m_trees.try_emplace(mesh, tree.get());
        if (inserted)
            tree.release();
    }
    // A tree another thread stored meanwhile stays; ours goes here, outside the lock.
}

void QvOBBTreeMgr::AddMeshes(const std::vector<QvMesh*>& list, unsigned threads)
{
    std::vector<QvMesh*> todo;
    std::set<QvMesh*> seen;
    for (QvMesh* mesh : list)
        if (mesh && seen.insert(mesh).second && !HasTree(mesh))
            todo.push_back(mesh);
    if (todo.empty())
        return;
    // The largest first, so that no thread is left with a big mesh at the end.
    std::stable_sort(todo.begin(), todo.end(),
                     [](const QvMesh* a, const QvMesh* b) { return a->m_faces.size() > b->m_faces.size(); });
    // Each thread keeps its build storage from one tree to the next; the workers' goes
    // with their threads, this thread's when the batch is over (or has failed).
    struct Batch
    {
        ~Batch() { QvOBBTree::KeepBuildScratch(false); }
    } batch;
    QvParallelFor(todo.size(), threads, [&](std::size_t i) {
        QvOBBTree::KeepBuildScratch(true);
        auto tree = std::make_unique<QvOBBTree>(todo[i]);
        Guard guard(m_mutex);
        if (m_trees.try_emplace(todo[i], tree.get()).second)
            tree.release();
    });
}

bool QvOBBTreeMgr::HasTree(QvMesh* mesh)
{
    Guard guard(m_mutex);
    return m_trees.find(mesh) != m_trees.end();
}

QvOBBTree* QvOBBTreeMgr::FindTree(QvMesh* mesh)
{
    Guard guard(m_mutex);
    const auto it = m_trees.find(mesh);
    return it == m_trees.end() ? nullptr : it->second;
}

void QvOBBTreeMgr::RemoveMesh(QvMesh* mesh)
{
    std::unique_ptr<QvOBBTree> doomed;
    {
        // Looked up and erased under one lock, so two removers never delete one tree twice.
        Guard guard(m_mutex);
        const auto it = m_trees.find(mesh);
        if (it == m_trees.end())
            return;
        doomed.reset(it->second);
        m_trees.erase(it);
    }
}

void QvOBBTreeMgr::RemoveMeshes(const std::vector<QvMesh*>& list)
{
    for (QvMesh* mesh : list)
        RemoveMesh(mesh);
}

void QvOBBTreeMgr::Clear()
{
    Guard guard(m_mutex);
    for (auto& entry : m_trees)
        delete entry.second;
    m_trees.clear();
}

std::size_t QvOBBTreeMgr::GetTreeCount()
{
    Guard guard(m_mutex);
    return m_trees.size();
}
