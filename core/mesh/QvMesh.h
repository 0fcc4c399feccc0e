// SPDX-License-Identifier: GPL-3.0-or-later
// The indexed triangle mesh every tooth, jaw, gum, root and attachment rests on.
//
// Invariants kept by every edit of this class:
// - element i of each vector has m_index i;
// - each vertex lists exactly its incident edges, each edge is listed by both ends;
// - a face's sides list the face in one of their two slots, and its corners are the
//   ends of its sides; a face has three different corners;
// - an edge has at most two faces (first slot filled first, second -1 on the
//   boundary) and no two edges join the same pair of vertices;
// - when m_colors is not empty it follows vertex removals and exchanges.
// Removal swaps an element with the last one and pops it: indices of moved elements
// change, and callers that keep indices across a removal renumber them.
// Face normals are not kept up to date by edits; builders and readers recompute them.
// The kernel's own edits never set m_bModified: the editors that change a mesh for
// display set it, and the drawers test and clear it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/base/QvColor.h"
#include "core/base/QvEntity.h"
#include "core/geometry/QvPoint.h"
#include "core/mesh/QvMeshElements.h"

class QvBSplineSurface;
class QvLine;
class QvMatrix;
class QvModel;
class QvPlane;
class QvPolyline;

// One entry of a plane section: the crossed QvEdge, or the QvVertex lying on the
// plane, and the point. The pointer aims into the mesh's vectors and is valid only
// while the mesh is not edited; GetType() tells the two kinds apart.
struct QvSectionPoint
{
    const QvObject* m_pElement = nullptr;
    QvPoint m_point;
};

// Tolerant ordering of points for maps that weld coincident corners: the first axis
// on which the points differ by more than the tolerance decides.
// (Implemented in QvMeshTopology.cpp.)
struct QvPointTolerantLess
{
    explicit QvPointTolerantLess(double tolerance = 1e-7) : m_tolerance(tolerance) {}
    bool operator()(const QvPoint& a, const QvPoint& b) const;

    double m_tolerance;
};

// One face as a reader takes it from a stream, before it is inserted.
struct QvReadFace
{
    int corners[3];
    int tag;
};

class QvMesh;

// A mesh read without its faces, and the faces still to insert (QvMesh::InsertReadFaces).
struct QvPendingFaces
{
    QvMesh* mesh = nullptr;
    std::vector<QvReadFace> faces;
};

class QvMesh : public QvEntity
{
public:
    // ---- Construction, editing, removal: QvMesh.cpp ----------------------------

    // New entity id, box at the origin, no elements; flags (false, true, true).
    QvMesh();
    // Keeps the source's id, state word and box; copies elements, colours and the
    // first flag; sets m_bModified.
    QvMesh(const QvMesh& other);
    // Entity part, elements, colours, first flag and m_bModified.
    QvMesh& operator=(const QvMesh& other);
    ~QvMesh() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Reserves capacity for each count above 0.
    void Reserve(int vertexCount, int faceCount, int edgeCount);
    // Gives back element storage beyond the elements held: a mesh grown by appending to
    // storage that was full holds up to twice what it needs. Elements move (as when
    // storage grows); indices, order and content stay.
    void ReleaseSpareStorage();
    // Appends a vertex without edges and returns its index. Colours are not extended.
    int AddVertex(const QvPoint& point);
    // Adds the triangle (a, b, c), reusing existing edges. False, and the mesh is
    // unchanged, for a corner out of range, a repeated corner, or a side whose edge
    // already has two faces. The new face's normal is zero.
    [[nodiscard]] bool AddFace(const int corners[3], int tag);
    [[nodiscard]] bool AddFace(int a, int b, int c, int tag);
    // Drops all elements and sets m_bModified; colours, id and box stay.
    void Clear();
    // False for an index out of range; normals, box and m_bModified are not touched.
    [[nodiscard]] bool SetVertexPosition(int vertex, const QvPoint& point);
    // normal = normalise((P1 - P0) x (P2 - P1)); a degenerate face gets (1, 0, 0).
    void UpdateFaceNormals();
    void UpdateFaceNormals(const std::vector<int>& faces);
    // Flips listed faces so that they agree with the unlisted ones, flooding across
    // edges from every unlisted face. Unlisted faces are never flipped.
    void OrientFaces(const std::vector<int>& faces);
    // Removes the face, its edges left without faces and, with the flag, its corners
    // left without edges. The last face takes the freed index.
    bool RemoveFace(int face, bool removeVertices);
    // The same with vertex removal, sparing the vertices in keptVertices.
    bool RemoveFace(int face, const std::set<int>& keptVertices);
    // Removes the vertex when it has no incident edges; true when it did.
    bool RemoveIsolatedVertex(int vertex);
    void RemoveIsolatedVertices();
    // Steps of the removals: exchange two elements and every reference to them.
    bool SwapFaces(int a, int b);
    bool SwapEdges(int a, int b);
    bool SwapVertices(int a, int b);
    // Walks around vertex from edge through its faces: the boundary edge the walk
    // ends at, edge itself when the fan closes, -1 for an edge without faces.
    int FindFanBoundaryEdge(int vertex, int edge) const;
    // The edge joining a and b, -1 when there is none (also for a == b).
    int FindEdge(int a, int b) const;

    // ---- Stream forms: QvMeshStream.cpp ----------------------------------------

    // Text-line form: entity record, "Vertex@<n>\n", vertex records, "Face@<n>\n",
    // face records. Edges, normals and colours are rebuilt, not stored.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Reads the text-line form. False on any short, failed or inconsistent input;
    // the mesh is then unchanged. On success it replaces the entity part and
    // the elements, rebuilding edges and normals.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // The same read in two halves, as ReadCompact below.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model, std::vector<QvReadFace>& faces);
    // Compact form: 16-bit indices up to 65535 elements, int32 above.
    std::ostream& WriteCompact(std::ostream& os, int version) const;
    // Reads the compact form; same failure contract as Read.
    [[nodiscard]] bool ReadCompact(std::istream& is, int version, QvModel* model);
    // The same read in two halves, so that a reader can insert the faces of several
    // meshes side by side: on success the mesh holds the entity part and the vertices,
    // no edges and no faces, and faces holds what InsertReadFaces inserts.
    [[nodiscard]] bool ReadCompact(std::istream& is, int version, QvModel* model, std::vector<QvReadFace>& faces);
    // Replaces edges and faces by the read faces, inserted in order (those insertion
    // refuses are dropped), and computes the normals.
    void InsertReadFaces(const std::vector<QvReadFace>& faces);
    // Box, float32 positions and corners; there is no reader.
    std::ostream& WriteFloatForm(std::ostream& os) const;
    // Binary STL of the faces with their stored normals. Written to a temporary file
    // that replaces path only when everything was written; false otherwise.
    [[nodiscard]] bool WriteSTL(const std::string& path) const;

    // ---- Geometric queries and transforms: QvMeshQuery.cpp --------------------

    // Box of the vertex coordinates; a mesh without vertices keeps its box.
    void UpdateBBox() override;
    bool IsEmpty() const;
    // Mean of all vertex positions (not-a-number for an empty mesh).
    QvPoint GetCenter() const;
    // Mean of the distinct corners of the faces that are not virtual root; the plain
    // centre when there are no such faces.
    QvPoint GetCenterExcludingRoot() const;
    // Normalised mean of the normals of the faces around the vertex; a vertex
    // without faces gives its own position normalised.
    QvVector GetVertexNormal(int vertex) const;
    // Two-sided line / triangle test; sets point and line parameter on a hit.
    [[nodiscard]] bool IntersectFaceLine(const QvLine& line, const QvFace& face, QvPoint& point,
                                         double& parameter) const;
    // Appends the hits with all faces in ascending line parameter.
    [[nodiscard]] bool IntersectLine(const QvLine& line, std::vector<QvPoint>& points) const;
    // Appends the sections of the mesh with the plane; closed ones repeat their first entry.
    // (Implemented in QvMeshSection.cpp.)
    void IntersectPlane(const QvPlane& plane, std::vector<std::vector<QvSectionPoint>>& sections) const;
    // The same sections, entry for entry, looking only at the listed edges: for callers
    // that can tell from a spatial index which edges come near the plane. The list must
    // hold every edge whose ends do not both lie strictly on one side of the plane
    // (within 1e-7 counts as on it); other edges, repeats and indices out of range are
    // ignored.
    void IntersectPlane(const QvPlane& plane, const std::vector<int>& edges,
                        std::vector<std::vector<QvSectionPoint>>& sections) const;
    // New mesh of copies of the listed faces (tag 0); newToOld receives new vertex
    // index -> old vertex index, vertices numbered by first appearance.
    std::unique_ptr<QvMesh> ExtractFaces(const std::vector<int>& faces, std::map<int, int>& newToOld) const;
    // Adds the other mesh's faces (tag 0); oldToNew maps its vertices to ours.
    bool AppendMesh(const QvMesh& other, std::map<int, int>& oldToNew);
    // Moves every vertex, turns every face normal, then UpdateBBox.
    virtual void Transform(const QvMatrix& matrix);
    // One vertex (or all for -1), without the box; other indices do nothing.
    void TransformVertices(const QvMatrix& matrix, int vertex);
    // One face normal (or all for -1), renormalised; other indices do nothing.
    void TransformNormals(const QvMatrix& matrix, int face);

    // ---- Plane cut: QvMeshPlaneCut.cpp ----------------------------------------

    // Keeps the part on the plane's non-negative side: crossed faces are split along the
    // sections (new pieces keep their face's tag) and everything strictly below is
    // removed. When removed is not null its data is replaced by the removed part. A plane
    // that misses the mesh changes nothing, removed included.
    void CutByPlane(const QvPlane& plane, QvMesh* removed);

    // ---- Copy, repair, subdivision: QvMeshRepair.cpp --------------------------

    // Elements, box corners and colours become copies of the source's; state word,
    // id and m_bModified stay.
    void CopyMeshData(const QvMesh& source);
    // true: remove the faces around vertices whose faces form more than one fan;
    // false: close the gaps between the fans of such vertices.
    void RepairTopology(bool removeNonManifoldFaces);
    // The free boundary edge of another fan that makes the smallest angle with
    // edge m on the open side of m's fan (n the other boundary edge of that fan);
    // -1 when none.
    int FindGapPartnerEdge(int vertex, int m, int n, const std::vector<std::pair<int, int>>& fanPairs,
                           const std::set<int>& usedEdges) const;
    // Scales about the centre of the current box, then UpdateBBox; normals stay.
    void ScaleAboutCenter(double factor);
    // steps Loop subdivision steps, then the face normals.
    void Subdivide(int steps);
    void SubdivideOnce();

    // ---- Builders: QvMeshBuilders.cpp -----------------------------------------

    // Fills a closed planar outline; null for an open outline or fewer than 3 points.
    static std::unique_ptr<QvMesh> CreateFromPolygon(const QvPolyline& outline);
    // Grid of nu x nv samples of the surface; null when either is below 2.
    static std::unique_ptr<QvMesh> CreateFromSurface(const QvBSplineSurface& surface, int nu, int nv, int tag,
                                                     bool closeSeams);
    // Fills an empty mesh from corners (three per triangle), welding corners within
    // 1e-7 and dropping triangles with a repeated corner.
    bool BuildFromTriangleSoup(const std::vector<QvPoint>& corners);

    // ---- Neighbourhood queries: QvMeshTopology.cpp ----------------------------

    // ordered false: the list is replaced by every face around the vertex, ascending.
    // ordered true: the fan reached from the first boundary edge (or the first edge),
    // in rotational order, appended.
    void GetVertexFaces(int vertex, std::vector<int>& faces, bool ordered) const;
    // Replaces the list by the far ends of the incident edges, in incidence order.
    void GetNeighborVertices(int vertex, std::vector<int>& vertices) const;
    bool IsBoundaryVertex(int vertex) const;
    bool IsClosed() const;
    // Appends every boundary loop (vertex lists in walking order).
    void GetBoundaryLoops(std::vector<std::vector<int>>& loops) const;
    // Appends the boundary walk through one vertex.
    void GetBoundaryLoopFromVertex(std::vector<int>& loop, int vertex) const;
    int GetCommonVertex(int edgeA, int edgeB) const;
    int GetCommonFace(int edgeA, int edgeB) const;
    // Connected components of the listed elements, appended.
    void SplitVertexComponents(const std::vector<int>& vertices, std::vector<std::vector<int>>& components) const;
    void SplitEdgeComponents(const std::set<int>& edges, std::vector<std::vector<int>>& components) const;
    void SplitFaceComponents(const std::vector<int>& faces, std::vector<std::vector<int>>& components) const;

    // ---- Data ------------------------------------------------------------------

    std::vector<QvVertex> m_vertices;
    std::vector<QvEdge> m_edges;
    std::vector<QvFace> m_faces;
    // Per-vertex colours; empty unless an operation fills them.
    std::vector<QvColor> m_colors;
    // Set by the airway; nothing in the kernel reads it.
    bool m_bFirstFlag = false;
    // True when the geometry changed since the drawers last built their buffers.
    bool m_bModified = true;
    bool m_bThirdFlag = true;
};
