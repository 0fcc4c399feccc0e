// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvVBOHandle.h"

#include <cstring>
#include <vector>

#include "core/base/QvTypeCodes.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvTooth.h"
#include "core/render/QvGL.h"
#include "core/render/QvRenderStatus.h"

namespace
{
void PutPoint(float* out, const QvPoint& p)
{
    out[0] = static_cast<float>(p[0]);
    out[1] = static_cast<float>(p[1]);
    out[2] = static_cast<float>(p[2]);
}

void PutVector(float* out, const QvVector& v)
{
    out[0] = static_cast<float>(v[0]);
    out[1] = static_cast<float>(v[1]);
    out[2] = static_cast<float>(v[2]);
}

// Indices of the faces the triangle buffers hold, in face order.
std::vector<int> TakenFaces(const QvMesh& mesh, bool skipRoot)
{
    std::vector<int> faces;
    faces.reserve(mesh.m_faces.size());
    for (std::size_t i = 0; i < mesh.m_faces.size(); ++i)
        if (!skipRoot || mesh.m_faces[i].m_tag != kQvFaceTagVirtualRoot)
            faces.push_back(static_cast<int>(i));
    return faces;
}

bool ValidCorner(const QvMesh& mesh, int v) { return v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size(); }

void FillBuffer(std::uint32_t& name, const float* data, std::size_t floats)
{
    GLuint id = 0;
    glGenBuffersARB(1, &id);
    name = id;
    glBindBufferARB(GL_ARRAY_BUFFER, id);
    glBufferDataARB(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(floats * sizeof(float)), data, GL_STATIC_DRAW);
}

void DeleteBuffer(std::uint32_t& name)
{
    GLuint id = name;
    glDeleteBuffersARB(1, &id);
    name = 0;
}
} // namespace

// ---- QvVBOHandle -------------------------------------------------------------------

bool QvVBOHandle::SkipsRootFaces() const
{
    if (m_pMesh == nullptr || !m_pMesh->IsKindOf(kQvTypeTooth))
        return false;
    const auto* tooth = dynamic_cast<const QvTooth*>(m_pMesh);
    return tooth != nullptr && tooth->IsRootShown();
}

bool QvVBOHandle::UsesSmoothNormals() const
{
    return m_pMesh != nullptr && m_pMesh->IsKindOf(kQvTypeTooth) && QvRenderStatus::Instance()->m_bSmoothNormals;
}

float* QvVBOHandle::BuildVertexArray()
{
    const std::vector<int> faces = TakenFaces(*m_pMesh, SkipsRootFaces());
    m_triangleCount = static_cast<std::int32_t>(faces.size());
    float* out = new float[faces.size() * 9 + 1];
    for (std::size_t k = 0; k < faces.size(); ++k)
    {
        int c[3];
        m_pMesh->m_faces[static_cast<std::size_t>(faces[k])].GetVertices(c[0], c[1], c[2]);
        for (int j = 0; j < 3; ++j)
            PutPoint(out + 9 * k + 3 * j, ValidCorner(*m_pMesh, c[j]) ? m_pMesh->m_vertices[c[j]].m_point : QvPoint());
    }
    return out;
}

float* QvVBOHandle::BuildNormalArray() const
{
    const std::vector<int> faces = TakenFaces(*m_pMesh, SkipsRootFaces());
    float* out = new float[faces.size() * 9 + 1];
    if (UsesSmoothNormals())
    {
        // Each vertex sums the normals of the faces around it; every face of the mesh
        // counts, the ones left out of the triangle list too. A face lies around a vertex
        // exactly when the vertex is one of its corners, so one pass over the faces
        // gives the same sums as asking the mesh per vertex.
        std::vector<QvVector> sums(m_pMesh->m_vertices.size(), QvVector(0, 0, 0));
        for (const QvFace& face : m_pMesh->m_faces)
        {
            int c[3];
            face.GetVertices(c[0], c[1], c[2]);
            for (int j = 0; j < 3; ++j)
                if (ValidCorner(*m_pMesh, c[j]))
                    sums[static_cast<std::size_t>(c[j])] += face.m_normal;
        }
        std::vector<float> normals(sums.size() * 3);
        for (std::size_t v = 0; v < sums.size(); ++v)
        {
            sums[v].Normalize();
            PutVector(&normals[3 * v], sums[v]);
        }
        for (std::size_t k = 0; k < faces.size(); ++k)
        {
            int c[3];
            m_pMesh->m_faces[static_cast<std::size_t>(faces[k])].GetVertices(c[0], c[1], c[2]);
            for (int j = 0; j < 3; ++j)
            {
                float* dst = out + 9 * k + 3 * j;
                if (ValidCorner(*m_pMesh, c[j]))
                    std::memcpy(dst, &normals[3 * static_cast<std::size_t>(c[j])], 3 * sizeof(float));
                else
                    PutVector(dst, QvVector(1, 0, 0));
            }
        }
    }
    else
    {
        for (std::size_t k = 0; k < faces.size(); ++k)
        {
            const QvVector& n = m_pMesh->m_faces[static_cast<std::size_t>(faces[k])].m_normal;
            for (int j = 0; j < 3; ++j)
                PutVector(out + 9 * k + 3 * j, n);
        }
    }
    return out;
}

float* QvVBOHandle::BuildEdgeArray() const
{
    float* out = new float[m_pMesh->m_edges.size() * 6 + 1];
    for (std::size_t i = 0; i < m_pMesh->m_edges.size(); ++i)
        for (int j = 0; j < 2; ++j)
        {
            const int v = m_pMesh->m_edges[i].m_vertices[j];
            PutPoint(out + 6 * i + 3 * j, ValidCorner(*m_pMesh, v) ? m_pMesh->m_vertices[v].m_point : QvPoint());
        }
    return out;
}

float* QvVBOHandle::BuildPointArray() const
{
    float* out = new float[m_pMesh->m_vertices.size() * 3 + 1];
    for (std::size_t i = 0; i < m_pMesh->m_vertices.size(); ++i)
        PutPoint(out + 3 * i, m_pMesh->m_vertices[i].m_point);
    return out;
}

void QvVBOHandle::Upload()
{
    if (m_pMesh == nullptr)
        return;
    float* vertices = BuildVertexArray();
    FillBuffer(m_vertexBuffer, vertices, 9 * static_cast<std::size_t>(m_triangleCount));
    delete[] vertices;
    float* normals = BuildNormalArray();
    FillBuffer(m_normalBuffer, normals, 9 * static_cast<std::size_t>(m_triangleCount));
    delete[] normals;
    float* edges = BuildEdgeArray();
    FillBuffer(m_edgeBuffer, edges, 6 * m_pMesh->m_edges.size());
    delete[] edges;
    float* points = BuildPointArray();
    FillBuffer(m_pointBuffer, points, 3 * m_pMesh->m_vertices.size());
    delete[] points;
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
}

void QvVBOHandle::Reload()
{
    DeleteBuffers();
    Upload();
}

void QvVBOHandle::DeleteBuffers()
{
    DeleteBuffer(m_vertexBuffer);
    DeleteBuffer(m_normalBuffer);
    DeleteBuffer(m_edgeBuffer);
    DeleteBuffer(m_pointBuffer);
}

// ---- QvVBOHandleMgr ----------------------------------------------------------------

QvVBOHandleMgr::~QvVBOHandleMgr()
{
    // Without a current context (the process is ending) there is nothing to delete from.
    for (auto& [mesh, handle] : m_handles)
        if (glGetString(GL_VERSION) != nullptr)
            handle.DeleteBuffers();
    m_handles.clear();
}

QvVBOHandleMgr* QvVBOHandleMgr::Instance()
{
    static QvVBOHandleMgr instance;
    return &instance;
}

void QvVBOHandleMgr::Update(QvMesh* mesh)
{
    if (mesh == nullptr || !mesh->m_bModified)
        return;
    const auto it = m_handles.find(mesh);
    if (it == m_handles.end())
    {
        QvVBOHandle handle(mesh);
        handle.Upload();
        m_handles.emplace(mesh, handle);
    }
    else
    {
        it->second.Reload();
    }
    mesh->m_bModified = false;
}

QvVBOHandle* QvVBOHandleMgr::Find(QvMesh* mesh)
{
    const auto it = m_handles.find(mesh);
    return it == m_handles.end() ? nullptr : &it->second;
}

QvVBOHandle* QvVBOHandleMgr::Prepare(QvMesh* mesh)
{
    if (mesh == nullptr)
        return nullptr;
    Update(mesh);
    if (QvVBOHandle* handle = Find(mesh))
        return handle;
    QvVBOHandle handle(mesh);
    handle.Upload();
    return &m_handles.emplace(mesh, handle).first->second;
}

void QvVBOHandleMgr::Remove(QvMesh* mesh)
{
    const auto it = m_handles.find(mesh);
    if (it == m_handles.end())
        return;
    it->second.DeleteBuffers();
    m_handles.erase(it);
}

void QvVBOHandleMgr::Clear()
{
    for (auto& [mesh, handle] : m_handles)
        handle.DeleteBuffers();
    m_handles.clear();
}

bool QvVBOHandleMgr::IsExtensionInList(const char* list, const char* name)
{
    if (list == nullptr || name == nullptr || *name == '\0' || std::strchr(name, ' ') != nullptr)
        return false;
    const std::size_t length = std::strlen(name);
    const char* start = list;
    for (;;)
    {
        const char* where = std::strstr(start, name);
        if (where == nullptr)
            return false;
        const char* end = where + length;
        if ((where == start || where[-1] == ' ') && (*end == ' ' || *end == '\0'))
            return true;
        start = end;
    }
}

bool QvVBOHandleMgr::IsExtensionSupported(const char* name)
{
    return IsExtensionInList(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

// ---- Drawing -------------------------------------------------------------------------

void QvDrawHandle(const QvVBOHandle& handle, std::int32_t renderMode)
{
    const QvMesh* mesh = handle.m_pMesh;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    if (renderMode <= 1)
    {
        glBindBufferARB(GL_ARRAY_BUFFER, handle.m_vertexBuffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glBindBufferARB(GL_ARRAY_BUFFER, handle.m_normalBuffer);
        glNormalPointer(GL_FLOAT, 0, nullptr);
        glDrawArrays(GL_TRIANGLES, 0, 3 * handle.m_triangleCount);
    }
    // Lines and points carry no normals.
    glDisableClientState(GL_NORMAL_ARRAY);
    if ((renderMode == 0 || renderMode == 2) && mesh != nullptr)
    {
        glPushAttrib(GL_LIGHTING_BIT | GL_CURRENT_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glColor3f(0.0f, 0.0f, 0.0f);
        glBindBufferARB(GL_ARRAY_BUFFER, handle.m_edgeBuffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glDrawArrays(GL_LINES, 0, 2 * static_cast<GLsizei>(mesh->m_edges.size()));
        glPopAttrib();
    }
    else if (renderMode == 3 && mesh != nullptr)
    {
        glPushAttrib(GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_POINT_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glPointSize(5.0f);
        glColor3f(1.0f, 0.0f, 0.0f);
        glBindBufferARB(GL_ARRAY_BUFFER, handle.m_pointBuffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(mesh->m_vertices.size()));
        glPopAttrib();
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
}
