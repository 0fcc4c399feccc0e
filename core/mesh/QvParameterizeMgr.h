// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide cache of flat copies: for a mesh (by address, not owned), the flat
// copy a parameterisation made of it and the mean 3-D length of its edges. Entries
// live while one attachment geometry is built; the surface-curve tracer walks in them.
//
// Insertion and removal run under the cache's recursive mutex. FindFlatMesh and
// GetMeanEdgeLength take no lock: a caller must not look up while another thread
// inserts or removes, and must remove a mesh's entry before the mesh is destroyed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/geometry/QvRecursiveMutex.h"

class QvMesh;

class QvParameterizeMgr
{
public:
    // Created empty on first use; lives until the process ends. Never null.
    static QvParameterizeMgr* Instance();

    ~QvParameterizeMgr();
    QvParameterizeMgr(const QvParameterizeMgr&) = delete;
    QvParameterizeMgr& operator=(const QvParameterizeMgr&) = delete;

    // Unless the mesh has an entry, flattens the whole mesh (QvMeshParameterize, mode 0) and
    // stores the flat copy with the mesh's mean edge length. Nothing is stored when the
    // flattening fails. The flattening runs outside the lock; when another entry for the mesh
    // arrived meanwhile, that one stays and the new copy is discarded.
    void AddMesh(QvMesh* mesh);
    // The same with the local flattening of the region inside boundary that touches anchor.
    void AddLocalMesh(QvMesh* mesh, const std::vector<int>& boundary, int anchor);
    // The cached flat copy (owned by the cache), null without an entry. No lock.
    QvMesh* FindFlatMesh(const QvMesh* mesh) const;
    // The cached mean edge length, 0 without an entry. No lock.
    double GetMeanEdgeLength(const QvMesh* mesh) const;
    // Deletes the mesh's flat copy and erases its entry; nothing without one.
    void RemoveMesh(const QvMesh* mesh);
    // Deletes every flat copy and empties the cache (also the tests' reset).
    void RemoveAll();

private:
    struct Entry
    {
        std::unique_ptr<QvMesh> m_pFlat;
        double m_meanEdgeLength = 0.0;
    };

    QvParameterizeMgr();
    bool HasEntry(const QvMesh* mesh);
    void Insert(QvMesh* mesh, std::unique_ptr<QvMesh> flat);

    std::map<const QvMesh*, Entry> m_entries;
    mutable QvRecursiveMutex m_mutex;
};
