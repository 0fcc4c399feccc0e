// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide cache of OBB trees, keyed by mesh address: opening a case builds
// the tree of every mesh once, and every collision, contact and line query of any
// step takes the tree from here and places it.
//
// Every access to the map (insertion, removal, clearing and each look-up) runs under
// the cache's recursive mutex, so threads may add, find and remove at the same time.
// Trees are built outside the lock; when two threads build one mesh's tree, the
// second to insert drops its own. A build only reads its mesh, so the trees of a
// case's meshes are built in parallel (AddMeshes) while nobody edits them. A tree found here stays valid until its mesh is
// removed or the cache cleared; placing a shared tree is seen by every user.
#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include "core/geometry/QvRecursiveMutex.h"

class QvMesh;
class QvOBBTree;

class QvOBBTreeMgr
{
public:
    // Created empty on first use; lives until the process ends. Never null.
    static QvOBBTreeMgr* Instance();

    ~QvOBBTreeMgr();
    QvOBBTreeMgr(const QvOBBTreeMgr&) = delete;
    QvOBBTreeMgr& operator=(const QvOBBTreeMgr&) = delete;

    // Builds and stores the mesh's tree unless one is stored; null does nothing. When
    // the build runs out of memory nothing is stored and the exception propagates.
    void AddMesh(QvMesh* mesh);
    // AddMesh for every mesh of the list, the trees built side by side on up to
    // threads threads (0: one per hardware thread). Nulls, repeats and meshes already
    // cached are skipped. When a build runs out of memory the trees built so far are
    // stored and the first exception propagates once every thread has finished.
    void AddMeshes(const std::vector<QvMesh*>& list, unsigned threads = 0);
    bool HasTree(QvMesh* mesh);
    // The stored tree (owned by the cache), null when the mesh has none.
    QvOBBTree* FindTree(QvMesh* mesh);
    // Deletes the mesh's tree and its entry; nothing for a mesh without one.
    void RemoveMesh(QvMesh* mesh);
    void RemoveMeshes(const std::vector<QvMesh*>& list);
    // Deletes every tree and empties the cache (also the tests' reset).
    void Clear();
    // The number of stored trees.
    std::size_t GetTreeCount();

private:
    QvOBBTreeMgr();

    std::map<QvMesh*, QvOBBTree*> m_trees;
    QvRecursiveMutex m_mutex;
};
