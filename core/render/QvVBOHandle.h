// SPDX-License-Identifier: GPL-3.0-or-later
// The GL vertex buffers of every drawn mesh: unindexed triangles with their normals,
// edge end points and vertex positions, rebuilt whole whenever the mesh is marked
// modified. Main thread only, with the 3-D window's GL context current.
#pragma once

#include <cstdint>
#include <map>

class QvMesh;

class QvVBOHandle
{
public:
    explicit QvVBOHandle(QvMesh* mesh = nullptr) : m_pMesh(mesh) {}

    // Generates and fills the four buffers, vertex first (it counts the triangles).
    void Upload();
    // DeleteBuffers, then Upload: the buffers get new names.
    void Reload();
    // Deletes the four buffers and sets their names to 0.
    void DeleteBuffers();

    // Newly allocated arrays in the buffers' layouts; the caller frees them (delete[]).
    // 9 floats per triangle taken; sets m_triangleCount.
    float* BuildVertexArray();
    // 9 floats per triangle taken, smooth for teeth when the render status asks.
    float* BuildNormalArray() const;
    // 6 floats per edge.
    float* BuildEdgeArray() const;
    // 3 floats per vertex.
    float* BuildPointArray() const;

    // True for a tooth whose real root is shown: its virtual-root faces stay out of
    // the triangle buffers while the separate root mesh is drawn in their place.
    bool SkipsRootFaces() const;
    bool UsesSmoothNormals() const;

    QvMesh* m_pMesh = nullptr;
    std::uint32_t m_vertexBuffer = 0;
    std::uint32_t m_normalBuffer = 0;
    std::uint32_t m_edgeBuffer = 0;
    std::uint32_t m_pointBuffer = 0;
    std::int32_t m_triangleCount = 0;
};

class QvVBOHandleMgr
{
public:
    QvVBOHandleMgr() = default;
    QvVBOHandleMgr(const QvVBOHandleMgr&) = delete;
    QvVBOHandleMgr& operator=(const QvVBOHandleMgr&) = delete;
    // Deletes the buffers of every handle (only meaningful with a context current).
    virtual ~QvVBOHandleMgr();

    static QvVBOHandleMgr* Instance();

    // For a mesh marked modified: uploads a new handle or reloads its handle in place,
    // then clears the mark. A mesh not marked is left alone.
    void Update(QvMesh* mesh);
    // The mesh's handle, or null when it has none. Valid until the mesh's entry is
    // removed or the map is cleared.
    QvVBOHandle* Find(QvMesh* mesh);
    // What the drawers draw from: Update, then the handle, uploading one for a mesh that
    // has none although it is not marked (its buffers were dropped by Clear), so a view
    // never draws from a missing or stale handle. Null only for a null mesh.
    QvVBOHandle* Prepare(QvMesh* mesh);
    // Deletes the mesh's buffers and forgets it; nothing for a mesh without a handle.
    void Remove(QvMesh* mesh);
    // Deletes every handle's buffers and empties the map; the meshes' marks stay.
    void Clear();
    std::size_t GetHandleCount() const { return m_handles.size(); }

    // True when name stands as a whole word in the GL extension string. An empty name
    // or one with a blank is refused.
    static bool IsExtensionSupported(const char* name);
    // The same search over a given list (the GL string above).
    static bool IsExtensionInList(const char* list, const char* name);

private:
    std::map<QvMesh*, QvVBOHandle> m_handles;
};

// Binds the handle's buffers and draws by render mode 0 to 3: filled triangles (0, 1),
// black edges (0, 2), red points of size 5 (3). Enables and disables the vertex and
// normal client arrays itself.
void QvDrawHandle(const QvVBOHandle& handle, std::int32_t renderMode);
