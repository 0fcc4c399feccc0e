// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvOBBTree.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"

namespace {

// Signed distances closer to a plane than this count as on it.
constexpr double kOnPlane = 1e-8;
// Line / triangle determinants below this: the line runs along the triangle.
constexpr double kLineParallel = 1e-8;
// Placements whose rotation part has a smaller determinant cannot be undone.
constexpr double kSingular = 1e-12;

double Dot(const QvVector& n, const QvPoint& p) { return (n[0] * p[0] + n[1] * p[1]) + n[2] * p[2]; }

// A triangle at the placement of the query, with its plane. A triangle whose normal
// cannot be told from zero has no plane: it never crosses anything.
struct PlacedTriangle
{
    QvPoint m_v[3];
    QvVector m_normal;
    double m_d = 0.0;
    bool m_bPlane = false;

    void MakePlane()
    {
        QvVector n = (m_v[1] - m_v[0]).Cross(m_v[2] - m_v[1]);
        m_bPlane = !n.IsZero();
        if (!m_bPlane)
            return;
        n.Normalize();
        m_normal = n;
        m_d = -Dot(n, m_v[0]);
    }
};

// Distances of t's corners to the plane (n, d), snapped to 0 near it, with their signs;
// false when all three lie strictly on one side.
bool SideOfPlane(const QvVector& n, double d, const PlacedTriangle& t, double dist[3], int sign[3])
{
    int sum = 0;
    for (int i = 0; i < 3; ++i)
    {
        double s = Dot(n, t.m_v[i]) + d;
        if (std::fabs(s) < kOnPlane)
            s = 0.0;
        dist[i] = s;
        sign[i] = s > 0.0 ? 1 : (s < 0.0 ? -1 : 0);
        sum += sign[i];
    }
    return sum != 3 && sum != -3;
}

// The triangle's stretch [lo, hi] along the line (o, dir), from the corner alone on its
// side of the other plane. False when every corner lies on that plane: the triangle is
// then flat in the other's plane (a zero-area sliver or a rounding case), which counts
// as coplanar and would otherwise divide zero by zero.
bool LineInterval(const PlacedTriangle& t, const double dist[3], const int sign[3], const QvPoint& o,
                  const QvVector& dir, double& lo, double& hi)
{
    int order[3] = {0, 1, 2};
    if (sign[0] == sign[1] && sign[1] == sign[2])
        return false;
    if (sign[0] == sign[1])
        ; // corner 2 is alone
    else if (sign[0] == sign[2])
        order[1] = 2, order[2] = 1;
    else if (sign[1] == sign[2])
        order[0] = 1, order[1] = 2, order[2] = 0;
    else if (sign[0] == -1)
        order[0] = 1, order[1] = 2, order[2] = 0;
    else if (sign[1] == -1)
        order[1] = 2, order[2] = 1;

    double p[3];
    double s[3];
    for (int k = 0; k < 3; ++k)
    {
        p[k] = (t.m_v[order[k]] - o).Dot(dir);
        s[k] = dist[order[k]];
    }
    const double t0 = p[0] + (p[2] - p[0]) * s[0] / (s[0] - s[2]);
    const double t1 = p[1] + (p[2] - p[1]) * s[1] / (s[1] - s[2]);
    lo = std::min(t0, t1);
    hi = std::max(t0, t1);
    return true;
}

// A point o and the unit direction of the line where the two triangles' planes meet
// (u, their normals' cross product, not zero), as QvPlane::IntersectPlane makes it.
void PlanesLine(const PlacedTriangle& a, const PlacedTriangle& b, const QvVector& u, QvPoint& o, QvVector& dir)
{
    const double bb = a.m_normal.Dot(b.m_normal);
    const double cA = (a.m_d - b.m_d * bb) / (bb * bb - 1.0);
    const double cB = (b.m_d - a.m_d * bb) / (bb * bb - 1.0);
    const QvVector ov = a.m_normal * cA + b.m_normal * cB;
    o = QvPoint(ov[0], ov[1], ov[2]);
    dir = u;
    dir.Normalize();
}

// Interval overlap on the line where the two planes meet; touching ends meet.
bool CrossTriangles(const PlacedTriangle& a, const PlacedTriangle& b, QvPoint& start, QvPoint& end)
{
    if (!a.m_bPlane || !b.m_bPlane)
        return false;
    double distB[3];
    int signB[3];
    if (!SideOfPlane(a.m_normal, a.m_d, b, distB, signB))
        return false;
    double distA[3];
    int signA[3];
    if (!SideOfPlane(b.m_normal, b.m_d, a, distA, signA))
        return false;

    const QvVector u = a.m_normal.Cross(b.m_normal);
    if (u.IsZero())
        return false;
    QvPoint o;
    QvVector dir;
    PlanesLine(a, b, u, o, dir);

    double loA = 0.0, hiA = 0.0, loB = 0.0, hiB = 0.0;
    if (!LineInterval(a, distA, signA, o, dir, loA, hiA) || !LineInterval(b, distB, signB, o, dir, loB, hiB))
        return false;
    if (loA > hiB || loB > hiA)
        return false;
    const double from = std::max(loA, loB);
    const double to = std::min(hiA, hiB);
    start = o + dir * from;
    end = o + dir * to;
    return true;
}

// Whether CrossTriangles may report a stretch for the two triangles when their corners
// are moved by rounding far below tolerance: false only when one triangle lies beyond
// the other's plane by more than tolerance, or when, with well-conditioned planes and
// every corner clear of the snapping band, the two stretches lie more than tolerance
// apart. Anything less clear counts as a possible crossing.
bool MayCrossTriangles(const PlacedTriangle& a, const PlacedTriangle& b, double tolerance)
{
    if (!a.m_bPlane || !b.m_bPlane)
        return true;
    double distA[3], distB[3];
    int signA[3], signB[3];
    bool clear = true;
    const auto side = [&](const QvVector& n, double d, const PlacedTriangle& t, double dist[3], int sign[3]) {
        int sum = 0;
        for (int i = 0; i < 3; ++i)
        {
            dist[i] = Dot(n, t.m_v[i]) + d;
            sign[i] = dist[i] > tolerance ? 1 : (dist[i] < -tolerance ? -1 : 0);
            clear = clear && sign[i] != 0;
            sum += sign[i];
        }
        return sum != 3 && sum != -3;
    };
    if (!side(a.m_normal, a.m_d, b, distB, signB) || !side(b.m_normal, b.m_d, a, distA, signA))
        return false;
    const QvVector u = a.m_normal.Cross(b.m_normal);
    // Nearly parallel planes put the line far out and its stretches are rounding noise.
    if (!clear || u.Length() < 1e-2)
        return true;
    QvPoint o;
    QvVector dir;
    PlanesLine(a, b, u, o, dir);
    double loA = 0.0, hiA = 0.0, loB = 0.0, hiB = 0.0;
    if (!LineInterval(a, distA, signA, o, dir, loA, hiA) || !LineInterval(b, distB, signB, o, dir, loB, hiB))
        return true;
    return !(loA > hiB + tolerance || loB > hiA + tolerance);
}

// The box carried by a rigid map: the frame moves, the half sizes stay. The turned
// axes are unit up to rounding, which the separating-axis test tolerates.
QvOBBParts MoveBox(const QvOBBParts& box, const QvOBBTree::Affine& m)
{
    QvOBBParts moved;
    moved.m_centre = m.Apply(box.m_centre);
    for (int i = 0; i < 3; ++i)
    {
        moved.m_axes[i] = m.Turn(box.m_axes[i]);
        moved.m_halfSize[i] = box.m_halfSize[i];
    }
    return moved;
}

// Squared half diagonal: the larger box of a pair is split first (flat boxes, such as a
// leaf's, would look small by volume).
double Size(const QvOBBParts& box)
{
    return box.m_halfSize[0] * box.m_halfSize[0] + box.m_halfSize[1] * box.m_halfSize[1] +
           box.m_halfSize[2] * box.m_halfSize[2];
}

// Whether node b's box, carried by m, lies apart from node a's. The balls around the
// boxes settle most distant pairs before the axes are turned; the separating-axis test
// decides the rest.
bool Apart(const QvOBBTreeNode& a, const QvOBBTreeNode& b, const QvOBBTree::Affine& m)
{
    const QvPoint centre = m.Apply(b.m_box.m_centre);
    const double reach = a.m_dRadius + b.m_dRadius;
    if (centre.SquaredDistance(a.m_box.m_centre) > reach * reach)
        return true;
    return QvOBB::IsOutside(a.m_box, MoveBox(b.m_box, m));
}

// Apart with both boxes grown by margin.
bool ApartBy(const QvOBBTreeNode& a, const QvOBBTreeNode& b, const QvOBBTree::Affine& m, double margin)
{
    const QvPoint centre = m.Apply(b.m_box.m_centre);
    const double reach = a.m_dRadius + b.m_dRadius + 4.0 * margin;
    if (centre.SquaredDistance(a.m_box.m_centre) > reach * reach)
        return true;
    QvOBBParts grownA = a.m_box;
    QvOBBParts grownB = MoveBox(b.m_box, m);
    for (int i = 0; i < 3; ++i)
    {
        grownA.m_halfSize[i] += margin;
        grownB.m_halfSize[i] += margin;
    }
    return QvOBB::IsOutside(grownA, grownB);
}

// The nodes or node pairs still to visit; the first ones live on the call's own stack,
// so that the usual short descents allocate nothing.
template <typename Item>
class WorkStack
{
public:
    void Push(const Item& item)
    {
        if (m_nLocal < kLocal)
            m_local[m_nLocal++] = item;
        else
            m_more.push_back(item);
    }
    Item Pop()
    {
        if (!m_more.empty())
        {
            const Item item = m_more.back();
            m_more.pop_back();
            return item;
        }
        return m_local[--m_nLocal];
    }
    bool Empty() const { return m_nLocal == 0 && m_more.empty(); }

private:
    static constexpr std::size_t kLocal = 128;
    std::array<Item, kLocal> m_local;
    std::size_t m_nLocal = 0;
    std::vector<Item> m_more;
};

class NodePairStack : public WorkStack<std::pair<const QvOBBTreeNode*, const QvOBBTreeNode*>>
{
public:
    void Push(const QvOBBTreeNode* a, const QvOBBTreeNode* b) { WorkStack::Push({a, b}); }
};

// Asks for the lines of a node's children that a walk reads first while the node's own
// box is being tested: the walk is bound by the wait for nodes from memory.
inline void PrefetchChildren(const QvOBBTreeNode* node)
{
    if (node->IsLeaf())
        return;
    const char* first = reinterpret_cast<const char*>(node + node->m_nFirst);
    __builtin_prefetch(first);
    __builtin_prefetch(first + 64);
    __builtin_prefetch(first + sizeof(QvOBBTreeNode));
    __builtin_prefetch(first + sizeof(QvOBBTreeNode) + 64);
}

QvOBBTree::Affine Identity()
{
    QvOBBTree::Affine a{};
    for (int i = 0; i < 3; ++i)
        a.m_r[i][i] = 1.0;
    return a;
}

// a after b.
QvOBBTree::Affine Compose(const QvOBBTree::Affine& a, const QvOBBTree::Affine& b)
{
    QvOBBTree::Affine c{};
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            c.m_r[i][j] = a.m_r[i][0] * b.m_r[0][j] + a.m_r[i][1] * b.m_r[1][j] + a.m_r[i][2] * b.m_r[2][j];
        c.m_t[i] = a.m_r[i][0] * b.m_t[0] + a.m_r[i][1] * b.m_t[1] + a.m_r[i][2] * b.m_t[2] + a.m_t[i];
    }
    return c;
}

bool Invert(const QvOBBTree::Affine& a, QvOBBTree::Affine& out)
{
    const double(&r)[3][3] = a.m_r;
    const double c00 = r[1][1] * r[2][2] - r[1][2] * r[2][1];
    const double c01 = r[1][2] * r[2][0] - r[1][0] * r[2][2];
    const double c02 = r[1][0] * r[2][1] - r[1][1] * r[2][0];
    const double det = r[0][0] * c00 + r[0][1] * c01 + r[0][2] * c02;
    if (!std::isfinite(det) || std::fabs(det) < kSingular)
        return false;
    const double inv = 1.0 / det;
    out.m_r[0][0] = c00 * inv;
    out.m_r[1][0] = c01 * inv;
    out.m_r[2][0] = c02 * inv;
    out.m_r[0][1] = (r[0][2] * r[2][1] - r[0][1] * r[2][2]) * inv;
    out.m_r[1][1] = (r[0][0] * r[2][2] - r[0][2] * r[2][0]) * inv;
    out.m_r[2][1] = (r[0][1] * r[2][0] - r[0][0] * r[2][1]) * inv;
    out.m_r[0][2] = (r[0][1] * r[1][2] - r[0][2] * r[1][1]) * inv;
    out.m_r[1][2] = (r[0][2] * r[1][0] - r[0][0] * r[1][2]) * inv;
    out.m_r[2][2] = (r[0][0] * r[1][1] - r[0][1] * r[1][0]) * inv;
    for (int i = 0; i < 3; ++i)
        out.m_t[i] = -(out.m_r[i][0] * a.m_t[0] + out.m_r[i][1] * a.m_t[1] + out.m_r[i][2] * a.m_t[2]);
    return true;
}

// The leaf's triangles (records, order: the tree's) with their corners where position
// puts them, planes made.
template <typename Position>
void PlaceLeaf(const QvOBBTreeNode* leaf, const QvOBBFace* records, const std::uint32_t* order, Position position,
               std::vector<PlacedTriangle>& out)
{
    out.resize(leaf->m_nFaceCount);
    const std::uint32_t* faces = order + leaf->m_nFaceBegin;
    for (std::size_t k = 0; k < out.size(); ++k)
    {
        const QvOBBFace& face = records[faces[k]];
        for (int c = 0; c < 3; ++c)
            out[k].m_v[c] = position(face.m_corners[c]);
        out[k].MakePlane();
    }
}

} // namespace

bool QvOBBTree::ToAffine(const QvMatrix& m, Affine& out)
{
    if (m.Rows() != 4 || m.Cols() != 4)
        return false;
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            out.m_r[i][j] = m[i][j];
        out.m_t[i] = m[i][3];
        for (int j = 0; j < 4; ++j)
            if (!std::isfinite(m[i][j]))
                return false;
    }
    return true;
}

// Working storage of a build, per thread; within a batch (KeepBuildScratch) the trees
// one thread builds in a row reuse its pages. The nodes are made here and copied once
// into the tree's own array of the final size.
struct QvOBBTree::BuildScratch
{
    std::vector<QvOBBTreeNode> nodes;
    // The mesh's positions, side by side, and the faces' corners in leaf order (moved
    // with the faces), so that splitting reads memory in a row.
    std::vector<QvPoint> positions;
    std::vector<std::array<int, 3>> corners;
    std::vector<std::array<int, 3>> secondCorners;
    std::vector<int> stamp;
    int stampValue = 0;
    std::vector<int> vertices;
    std::vector<QvPoint> points;
    // Per face of the node being split: whether it goes to the first child.
    std::vector<char> below;
    std::vector<std::uint32_t> second;
    std::vector<std::size_t> stack;
};

namespace {

// Fills the pages of a fresh block in one call: taking their faults one by one costs
// far more (on virtual machines most of all). Nothing changes in the block's content,
// and a kernel without the call leaves the faults to come as usual.
void Prefault(const void* data, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    constexpr std::uintptr_t kPage = 4096;
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t from = (at + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t to = (at + bytes) & ~(kPage - 1);
    if (to >= from + 4 * kPage)
        (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

// One 64-bit word into a running fingerprint.
inline std::uint64_t Mix(std::uint64_t h, std::uint64_t word)
{
    h ^= word;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

// Fingerprints are taken on every pass over a step's pairs: one chain per coordinate
// (per corner pair) lets the multiplications overlap.
std::uint64_t PositionPrint(const QvMesh& mesh)
{
    std::uint64_t h[3] = {Mix(0, mesh.m_vertices.size()), 1, 2};
    for (const QvVertex& v : mesh.m_vertices)
        for (int k = 0; k < 3; ++k)
        {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &v.m_point.m_coord[k], sizeof bits);
            h[k] = Mix(h[k], bits);
        }
    return Mix(Mix(h[0], h[1]), h[2]);
}

std::uint64_t CornerPrint(const QvMesh& mesh)
{
    std::uint64_t h[2] = {Mix(0, mesh.m_faces.size()), 1};
    for (const QvFace& f : mesh.m_faces)
    {
        h[0] = Mix(h[0], static_cast<std::uint64_t>(static_cast<std::uint32_t>(f.m_vertices[0])) << 32 |
                             static_cast<std::uint32_t>(f.m_vertices[1]));
        h[1] = Mix(h[1], static_cast<std::uint32_t>(f.m_vertices[2]));
    }
    return Mix(h[0], h[1]);
}

} // namespace

namespace {

thread_local bool tKeepScratch = false;

} // namespace

QvOBBTree::BuildScratch& QvOBBTree::TheScratch()
{
    static thread_local BuildScratch scratch;
    return scratch;
}

void QvOBBTree::KeepBuildScratch(bool keep)
{
    tKeepScratch = keep;
    if (!keep)
        TheScratch() = BuildScratch();
}

QvOBBTree::QvOBBTree(QvMesh* mesh) : m_pMesh(mesh), m_placement(4, 4)
{
    m_placement.SetIdentity();
    m_toWorld = Identity();
    m_toLocal = Identity();
    Build();
}

QvOBBTree::~QvOBBTree() = default;

QvOBBTree::Moments QvOBBTree::ComputeMoments(const QvMesh& mesh)
{
    Moments m;
    const std::size_t n = mesh.m_vertices.size();
    m.count = static_cast<double>(n);
    if (n == 0)
        return m;
    for (const QvVertex& v : mesh.m_vertices)
        m.centre += v.m_point;
    m.centre = m.centre / m.count;
    for (const QvVertex& v : mesh.m_vertices)
    {
        const QvVector d = v.m_point - m.centre;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m.scatter[i][j] += d[i] * d[j];
    }
    return m;
}

void QvOBBTree::Build()
{
    if (!m_pMesh)
        return;
    m_pVertexData = m_pMesh->m_vertices.data();
    m_nVertexCount = m_pMesh->m_vertices.size();
    m_pFaceData = m_pMesh->m_faces.data();
    m_nPositionPrint = PositionPrint(*m_pMesh);
    m_nCornerPrint = CornerPrint(*m_pMesh);
    for (const QvVertex& v : m_pMesh->m_vertices)
        m_bFinite = m_bFinite && std::isfinite(v.m_point[0]) && std::isfinite(v.m_point[1]) &&
                    std::isfinite(v.m_point[2]);
    m_moments = ComputeMoments(*m_pMesh);

    BuildScratch& scratch = TheScratch();
    scratch.positions.clear();
    scratch.positions.reserve(m_nVertexCount);
    Prefault(scratch.positions.data(), m_nVertexCount * sizeof(QvPoint));
    for (const QvVertex& v : m_pMesh->m_vertices)
        scratch.positions.push_back(v.m_point);

    const std::size_t faceCount = m_pMesh->m_faces.size();
    // Written once each, in a row.
    m_faceRecords.reserve(faceCount);
    Prefault(m_faceRecords.data(), faceCount * sizeof(QvOBBFace));
    m_leafOrder.reserve(faceCount);
    Prefault(m_leafOrder.data(), faceCount * sizeof(std::uint32_t));
    scratch.corners.reserve(faceCount);
    Prefault(scratch.corners.data(), faceCount * sizeof(scratch.corners[0]));
    scratch.corners.resize(faceCount);
    for (std::size_t i = 0; i < faceCount; ++i)
    {
        QvFace& face = m_pMesh->m_faces[i];
        QvOBBFace record;
        record.m_pFace = &face;
        record.m_pMesh = m_pMesh;
        record.m_nIndex = static_cast<std::int32_t>(i);
        for (int k = 0; k < 3; ++k)
            record.m_corners[k] = scratch.corners[i][k] = face.m_vertices[k];
        m_faceRecords.push_back(record);
        m_leafOrder.push_back(static_cast<std::uint32_t>(i));
    }

    std::vector<QvOBBTreeNode>& nodes = scratch.nodes;
    nodes.clear();
    // A split leaf keeps 1 to 5 faces: fewer nodes than faces as a rule.
    nodes.reserve(faceCount + 1);
    Prefault(nodes.data(), (faceCount * 3 / 4 + 1) * sizeof(QvOBBTreeNode));
    nodes.emplace_back();
    if (QvOBB::FitPoints(scratch.positions.data(), scratch.positions.size(), nodes[0].m_box))
    {
        nodes[0].m_bBox = 1;
        nodes[0].m_dRadius = std::sqrt(Size(nodes[0].m_box));
    }
    nodes[0].m_nFaceCount = static_cast<std::uint32_t>(faceCount) & 0x7fffffffu;

    scratch.stamp.assign(m_nVertexCount, 0);
    scratch.stampValue = 0;
    scratch.stack.assign(1, 0);
    while (!scratch.stack.empty())
    {
        const std::size_t index = scratch.stack.back();
        scratch.stack.pop_back();
        Split(index, scratch);
        const QvOBBTreeNode& node = nodes[index];
        if (node.IsLeaf())
            continue;
        scratch.stack.push_back(index + node.m_nFirst + 1);
        scratch.stack.push_back(index + node.m_nFirst);
    }

    m_nodes.reserve(nodes.size());
    Prefault(m_nodes.data(), nodes.size() * sizeof(QvOBBTreeNode));
    m_nodes.assign(nodes.begin(), nodes.end());
    m_pRoot = &m_nodes[0];
    CollectLeaves();
    if (!tKeepScratch)
        scratch = BuildScratch();
}

void QvOBBTree::Split(std::size_t index, BuildScratch& scratch)
{
    std::vector<QvOBBTreeNode>& nodes = scratch.nodes;
    const std::size_t begin = nodes[index].m_nFaceBegin;
    const std::size_t n = nodes[index].m_nFaceCount;
    if (static_cast<std::int64_t>(n) <= m_nLeafSize || !nodes[index].HasBox())
        return;

    // Faces below the plane go first, the others second, each in their current order.
    std::uint32_t* faces = m_leafOrder.data() + begin;
    std::array<int, 3>* corners = scratch.corners.data() + begin;
    const QvPoint* positions = scratch.positions.data();
    scratch.below.resize(n);
    bool divided = false;
    const QvOBB box(nodes[index].m_box);
    for (int rank = 1; rank <= 3 && !divided; ++rank)
    {
        const QvPlane plane(box.m_frame.m_centre, box.GetAxisByExtent(rank));
        const QvVector normal = plane.GetNormal();
        const double d = plane.m_coef[3];
        std::size_t firstCount = 0;
        for (std::size_t i = 0; i < n; ++i)
        {
            bool below = false;
            for (const int c : corners[i])
                below = below || Dot(normal, positions[c]) + d < 0.0;
            scratch.below[i] = below ? 1 : 0;
            firstCount += below ? 1 : 0;
        }
        divided = firstCount != 0 && firstCount != n;
    }
    if (!divided)
        return;

    // Boxes first: a child that cannot be fitted leaves the node a leaf, its faces in
    // their order.
    const auto fit = [&](char side, QvOBBParts& out) {
        ++scratch.stampValue;
        scratch.vertices.clear();
        for (std::size_t i = 0; i < n; ++i)
            if (scratch.below[i] == side)
                for (const int c : corners[i])
                    if (scratch.stamp[static_cast<std::size_t>(c)] != scratch.stampValue)
                    {
                        scratch.stamp[static_cast<std::size_t>(c)] = scratch.stampValue;
                        scratch.vertices.push_back(c);
                    }
        std::sort(scratch.vertices.begin(), scratch.vertices.end());
        scratch.points.clear();
        for (const int v : scratch.vertices)
            scratch.points.push_back(positions[v]);
        return QvOBB::FitPoints(scratch.points.data(), scratch.points.size(), out);
    };
    QvOBBParts firstBox;
    QvOBBParts secondBox;
    if (!fit(1, firstBox) || !fit(0, secondBox))
        return;

    scratch.second.clear();
    scratch.secondCorners.clear();
    std::size_t mid = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        if (scratch.below[i])
        {
            corners[mid] = corners[i];
            faces[mid++] = faces[i];
        }
        else
        {
            scratch.second.push_back(faces[i]);
            scratch.secondCorners.push_back(corners[i]);
        }
    }
    std::copy(scratch.second.begin(), scratch.second.end(), faces + mid);
    std::copy(scratch.secondCorners.begin(), scratch.secondCorners.end(), corners + mid);

    // Siblings side by side: a walk that opens a node tests both.
    const std::size_t at = nodes.size();
    nodes.resize(at + 2);
    const auto make = [&](QvOBBTreeNode& child, const QvOBBParts& fitted, std::size_t from, std::size_t count) {
        child.m_box = fitted;
        child.m_bBox = 1;
        child.m_dRadius = std::sqrt(Size(fitted));
        child.m_nFaceBegin = static_cast<std::uint32_t>(from);
        child.m_nFaceCount = static_cast<std::uint32_t>(count) & 0x7fffffffu;
    };
    make(nodes[at], firstBox, begin, mid);
    make(nodes[at + 1], secondBox, begin + mid, n - mid);
    nodes[index].m_nFirst = static_cast<std::uint32_t>(at - index);
}

void QvOBBTree::CollectLeaves()
{
    m_leaves.clear();
    std::vector<QvOBBTreeNode*> stack;
    if (m_pRoot)
        stack.push_back(m_pRoot);
    while (!stack.empty())
    {
        QvOBBTreeNode* node = stack.back();
        stack.pop_back();
        if (node->IsLeaf())
        {
            node->m_nLeafIndex = static_cast<std::int32_t>(m_leaves.size());
            m_leaves.push_back(node);
            continue;
        }
        stack.push_back(node + node->m_nFirst + 1);
        stack.push_back(node + node->m_nFirst);
    }
}

void QvOBBTree::SetPlacement(const QvMatrix& m)
{
    if (m.Rows() != 4 || m.Cols() != 4)
        return;
    // In place: placing happens for every pair a step tests, and must not allocate.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m_placement[i][j] = m[i][j];
    Affine toWorld{};
    Affine toLocal{};
    m_bPlaced = ToAffine(m, toWorld) && Invert(toWorld, toLocal);
    m_toWorld = m_bPlaced ? toWorld : Identity();
    m_toLocal = m_bPlaced ? toLocal : Identity();
}

bool QvOBBTree::IsCurrent() const
{
    return m_pMesh && m_pMesh->m_vertices.data() == m_pVertexData && m_pMesh->m_vertices.size() == m_nVertexCount &&
           m_pMesh->m_faces.data() == m_pFaceData && m_pMesh->m_faces.size() == m_faceRecords.size();
}

bool QvOBBTree::MatchesPositions() const
{
    return IsCurrent() && m_bFinite && PositionPrint(*m_pMesh) == m_nPositionPrint;
}

bool QvOBBTree::MatchesMesh() const { return MatchesPositions() && CornerPrint(*m_pMesh) == m_nCornerPrint; }

void QvOBBTree::FindFacesNearPlane(const QvPlane& plane, double tolerance, const QvOBB* region,
                                   std::vector<const QvOBBFace*>& out) const
{
    if (!m_pRoot)
        return;
    const QvVector n = plane.GetNormal();
    const double d = plane.m_coef[3];
    WorkStack<const QvOBBTreeNode*> stack;
    stack.Push(m_pRoot);
    while (!stack.Empty())
    {
        const QvOBBTreeNode* node = stack.Pop();
        PrefetchChildren(node);
        // A node without a box cannot be ruled out.
        if (node->HasBox())
        {
            const QvOBBParts* box = &node->m_box;
            const double s = Dot(n, box->m_centre) + d;
            const double r = box->m_halfSize[0] * std::fabs(n.Dot(box->m_axes[0])) +
                             box->m_halfSize[1] * std::fabs(n.Dot(box->m_axes[1])) +
                             box->m_halfSize[2] * std::fabs(n.Dot(box->m_axes[2]));
            // Slack for the rounding of the fit, which puts extreme corners on the box's
            // faces only up to a few units in the last place.
            const double slack = tolerance + 1e-12 * (std::fabs(s) + r + std::fabs(d));
            if (std::fabs(s) > r + slack || (region && region->IsOutside(*box)))
                continue;
        }
        if (node->IsLeaf())
        {
            for (std::size_t k = 0; k < node->m_nFaceCount; ++k)
                out.push_back(LeafFace(node, k));
            continue;
        }
        stack.Push(node->GetSecond());
        stack.Push(node->GetFirst());
    }
}

const QvPoint& QvOBBTree::GetPosition(int vertex) const
{
    return m_pMesh->m_vertices[static_cast<std::size_t>(vertex)].m_point;
}

QvOBBFace* QvOBBTree::GetFace(int face)
{
    if (face < 0 || static_cast<std::size_t>(face) >= m_faceRecords.size())
        return nullptr;
    return &m_faceRecords[static_cast<std::size_t>(face)];
}

bool QvOBBTree::OwnsFace(const QvOBBFace* face) const
{
    return !m_faceRecords.empty() && face >= m_faceRecords.data() && face < m_faceRecords.data() + m_faceRecords.size();
}

QvPoint QvOBBTree::GetPlacedPosition(int vertex) const
{
    return m_toWorld.Apply(GetPosition(vertex));
}

QvOBB QvOBBTree::GetPlacedBox(const QvOBBTreeNode* node) const
{
    if (!node || !node->HasBox())
        return QvOBB();
    return QvOBB(QvOBB(node->m_box), m_placement);
}

QvOBBFaceList QvOBBTree::GetNodeFaces(const QvOBBTreeNode* node) const
{
    auto* records = const_cast<QvOBBFace*>(m_faceRecords.data());
    if (!node || !m_pRoot)
        return {};
    if (node == m_pRoot)
        return QvOBBFaceList(records, nullptr, m_faceRecords.size());
    if (!node->IsLeaf())
        return {};
    return QvOBBFaceList(records, m_leafOrder.data() + node->m_nFaceBegin, node->m_nFaceCount);
}

void QvOBBTree::ResetFaceMarks()
{
    if (!m_pRoot)
        return;
    std::int32_t i = 0;
    for (QvOBBFace& f : m_faceRecords)
    {
        f.m_marks[0] = f.m_marks[1] = f.m_marks[2] = false;
        f.m_nIndex = i++;
    }
}

void QvOBBTree::IntersectLine(const QvLine& line, std::vector<QvLineHit>& out) const
{
    if (!CanQuery() || line.m_direction.IsZero())
        return;
    // The line in the mesh's own coordinates.
    const QvLine local(m_toLocal.Apply(line.m_point), m_toLocal.Turn(line.m_direction));
    const QvPoint& o = local.m_point;
    const QvVector& d = local.m_direction;

    WorkStack<const QvOBBTreeNode*> stack;
    stack.Push(m_pRoot);
    std::vector<const QvOBBTreeNode*> leaves;
    while (!stack.Empty())
    {
        const QvOBBTreeNode* node = stack.Pop();
        PrefetchChildren(node);
        if (!node->HasBox() || QvOBB::IsLineOutside(node->m_box, local))
            continue;
        if (node->IsLeaf())
        {
            leaves.push_back(node);
            continue;
        }
        stack.Push(node->GetSecond());
        stack.Push(node->GetFirst());
    }

    for (const QvOBBTreeNode* leaf : leaves)
        for (std::size_t k = 0; k < leaf->m_nFaceCount; ++k)
        {
            QvOBBFace* f = LeafFace(leaf, k);
            const QvPoint& v0 = GetPosition(f->m_corners[0]);
            const QvPoint& v1 = GetPosition(f->m_corners[1]);
            const QvPoint& v2 = GetPosition(f->m_corners[2]);
            const QvVector e1 = v1 - v0;
            const QvVector e2 = v2 - v0;
            const QvVector q = d.Cross(e2);
            const double det = e1.Dot(q);
            if (std::fabs(det) < kLineParallel)
                continue;
            const QvVector t = o - v0;
            const double u = t.Dot(q) / det;
            if (u < 0.0 || u > 1.0)
                continue;
            const QvVector r = t.Cross(e1);
            const double v = d.Dot(r) / det;
            if (v < 0.0 || v > 1.0)
                continue;
            const double w = 1.0 - u - v;
            if (w < 0.0)
                continue;
            QvPoint hit;
            for (int i = 0; i < 3; ++i)
                hit[i] = w * v0[i] + u * v1[i] + v * v2[i];
            out.push_back(QvLineHit{m_toWorld.Apply(hit), f});
        }
}

void QvOBBTree::Intersect(const QvOBBTree* other, std::vector<QvTriSegment>& out) const
{
    if (!other || !CanQuery() || !other->CanQuery())
        return;
    // Everything of the other tree is carried into this tree's own coordinates.
    const Affine otherToHere = Compose(m_toLocal, other->m_toWorld);
    // Most pairs of a step lie apart: settle them before anything is allocated.
    if (!m_pRoot->HasBox() || !other->m_pRoot->HasBox() || Apart(*m_pRoot, *other->m_pRoot, otherToHere))
        return;

    // Overlapping leaf pairs by a joint descent, then in the order of this tree's
    // leaves and, within one, the other's: the order a descent of the other tree per
    // leaf of this one gives. Crossing triangles lie in every box above them, so both
    // descents reach the same crossing pairs.
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    NodePairStack stack;
    const auto visit = [&](const QvOBBTreeNode* a, const QvOBBTreeNode* b) {
        if (a->IsLeaf() && b->IsLeaf())
            pairs.emplace_back(a->m_nLeafIndex, b->m_nLeafIndex);
        else if (a->IsLeaf() || (!b->IsLeaf() && Size(b->m_box) > Size(a->m_box)))
        {
            stack.Push(a, b->GetSecond());
            stack.Push(a, b->GetFirst());
        }
        else
        {
            stack.Push(a->GetSecond(), b);
            stack.Push(a->GetFirst(), b);
        }
    };
    visit(m_pRoot, other->m_pRoot);
    while (!stack.Empty())
    {
        const auto [a, b] = stack.Pop();
        PrefetchChildren(a);
        PrefetchChildren(b);
        if (a->HasBox() && b->HasBox() && !Apart(*a, *b, otherToHere))
            visit(a, b);
    }
    std::sort(pairs.begin(), pairs.end());

    std::vector<PlacedTriangle> here;
    std::vector<PlacedTriangle> there;
    const auto hereCorner = [this](int v) { return GetPosition(v); };
    const auto thereCorner = [&](int v) { return otherToHere.Apply(other->GetPosition(v)); };
    std::int32_t hereLeaf = -1;
    for (const auto& [i, j] : pairs)
    {
        const QvOBBTreeNode* leafA = m_leaves[static_cast<std::size_t>(i)];
        const QvOBBTreeNode* leafB = other->m_leaves[static_cast<std::size_t>(j)];
        if (i != hereLeaf)
        {
            hereLeaf = i;
            PlaceLeaf(leafA, m_faceRecords.data(), m_leafOrder.data(), hereCorner, here);
        }
        PlaceLeaf(leafB, other->m_faceRecords.data(), other->m_leafOrder.data(), thereCorner, there);
        for (std::size_t ka = 0; ka < here.size(); ++ka)
            for (std::size_t kb = 0; kb < there.size(); ++kb)
            {
                QvPoint start;
                QvPoint end;
                if (!CrossTriangles(here[ka], there[kb], start, end))
                    continue;
                out.push_back(QvTriSegment{LeafFace(leafA, ka), other->LeafFace(leafB, kb), m_toWorld.Apply(start),
                                           m_toWorld.Apply(end), false});
            }
    }
}

bool QvOBBTree::MayCross(const QvOBBTree* other, double tolerance) const
{
    if (!other || !CanQuery() || !other->CanQuery())
        return false;
    // A node without a box cannot be ruled out.
    if (!m_pRoot->HasBox() || !other->m_pRoot->HasBox())
        return true;
    const Affine otherToHere = Compose(m_toLocal, other->m_toWorld);
    NodePairStack stack;
    stack.Push(m_pRoot, other->m_pRoot);
    std::vector<PlacedTriangle> here;
    std::vector<PlacedTriangle> there;
    const auto hereCorner = [this](int v) { return GetPosition(v); };
    const auto thereCorner = [&](int v) { return otherToHere.Apply(other->GetPosition(v)); };
    while (!stack.Empty())
    {
        const auto [a, b] = stack.Pop();
        if (!a->HasBox() || !b->HasBox())
            return true;
        if (ApartBy(*a, *b, otherToHere, tolerance))
            continue;
        if (a->IsLeaf() && b->IsLeaf())
        {
            PlaceLeaf(a, m_faceRecords.data(), m_leafOrder.data(), hereCorner, here);
            PlaceLeaf(b, other->m_faceRecords.data(), other->m_leafOrder.data(), thereCorner, there);
            for (const PlacedTriangle& ta : here)
                for (const PlacedTriangle& tb : there)
                    if (MayCrossTriangles(ta, tb, tolerance))
                        return true;
        }
        else if (a->IsLeaf() || (!b->IsLeaf() && Size(b->m_box) > Size(a->m_box)))
        {
            stack.Push(a, b->GetSecond());
            stack.Push(a, b->GetFirst());
        }
        else
        {
            stack.Push(a->GetSecond(), b);
            stack.Push(a->GetFirst(), b);
        }
    }
    return false;
}
