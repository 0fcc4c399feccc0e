// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvOBBTree.h"

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
QvOBB MoveBox(const QvOBB& box, const QvOBBTree::Affine& m)
{
    QvOBB moved;
    moved.m_frame.m_centre = m.Apply(box.m_frame.m_centre);
    moved.m_frame.m_dirX = m.Turn(box.m_frame.m_dirX);
    moved.m_frame.m_dirY = m.Turn(box.m_frame.m_dirY);
    moved.m_frame.m_dirZ = m.Turn(box.m_frame.m_dirZ);
    moved.m_halfSize[0] = box.m_halfSize[0];
    moved.m_halfSize[1] = box.m_halfSize[1];
    moved.m_halfSize[2] = box.m_halfSize[2];
    return moved;
}

// Squared half diagonal: the larger box of a pair is split first (flat boxes, such as a
// leaf's, would look small by volume).
double Size(const QvOBB& box)
{
    return box.m_halfSize[0] * box.m_halfSize[0] + box.m_halfSize[1] * box.m_halfSize[1] +
           box.m_halfSize[2] * box.m_halfSize[2];
}

// Whether node b's box, carried by m, lies apart from node a's. The balls around the
// boxes settle most distant pairs before the axes are turned; the separating-axis test
// decides the rest.
bool Apart(const QvOBBTreeNode& a, const QvOBBTreeNode& b, const QvOBBTree::Affine& m)
{
    const QvPoint centre = m.Apply(b.m_pBox->m_frame.m_centre);
    const double reach = a.m_dRadius + b.m_dRadius;
    if (centre.SquaredDistance(a.m_pBox->m_frame.m_centre) > reach * reach)
        return true;
    return a.m_pBox->IsOutside(MoveBox(*b.m_pBox, m));
}

// Apart with both boxes grown by margin.
bool ApartBy(const QvOBBTreeNode& a, const QvOBBTreeNode& b, const QvOBBTree::Affine& m, double margin)
{
    const QvPoint centre = m.Apply(b.m_pBox->m_frame.m_centre);
    const double reach = a.m_dRadius + b.m_dRadius + 4.0 * margin;
    if (centre.SquaredDistance(a.m_pBox->m_frame.m_centre) > reach * reach)
        return true;
    QvOBB grownA = *a.m_pBox;
    QvOBB grownB = MoveBox(*b.m_pBox, m);
    for (int i = 0; i < 3; ++i)
    {
        grownA.m_halfSize[i] += margin;
        grownB.m_halfSize[i] += margin;
    }
    return grownA.IsOutside(grownB);
}

// The pairs still to test; the first ones live on the call's own stack, so that the
// usual short descents allocate nothing.
class NodePairStack
{
public:
    using Pair = std::pair<const QvOBBTreeNode*, const QvOBBTreeNode*>;
    void Push(const QvOBBTreeNode* a, const QvOBBTreeNode* b)
    {
        if (m_nLocal < kLocal)
            m_local[m_nLocal++] = Pair(a, b);
        else
            m_more.emplace_back(a, b);
    }
    Pair Pop()
    {
        if (!m_more.empty())
        {
            const Pair p = m_more.back();
            m_more.pop_back();
            return p;
        }
        return m_local[--m_nLocal];
    }
    bool Empty() const { return m_nLocal == 0 && m_more.empty(); }

private:
    static constexpr std::size_t kLocal = 128;
    std::array<Pair, kLocal> m_local;
    std::size_t m_nLocal = 0;
    std::vector<Pair> m_more;
};

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

// The leaf's triangles with their corners where position puts them, planes made.
template <typename Position>
void PlaceLeaf(const QvOBBTreeNode* leaf, Position position, std::vector<PlacedTriangle>& out)
{
    out.resize(leaf->m_faces.size());
    for (std::size_t k = 0; k < out.size(); ++k)
    {
        for (int c = 0; c < 3; ++c)
            out[k].m_v[c] = position(leaf->m_faces[k]->m_corners[c]);
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

// A node while the tree is built: its stretch [m_nBegin, m_nEnd) of the leaf-order
// array; children are positions in the build's list, which becomes the tree's block of
// nodes once the splitting is done.
struct QvOBBTree::Draft
{
    QvOBB m_box;
    bool m_bHasBox = false;
    std::uint32_t m_nBegin = 0;
    std::uint32_t m_nEnd = 0;
    std::int32_t m_nFirst = -1;
    std::int32_t m_nSecond = -1;
};

// Working storage of one build, reused by every node.
struct QvOBBTree::BuildScratch
{
    std::vector<int> stamp;
    int stampValue = 0;
    std::vector<int> vertices;
    std::vector<QvPoint> points;
    // Per face of the node being split: whether it goes to the first child.
    std::vector<char> below;
    std::vector<QvOBBFace*> second;
};

namespace {

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

    BuildScratch scratch;
    scratch.points.reserve(m_nVertexCount);
    for (const QvVertex& v : m_pMesh->m_vertices)
        scratch.points.push_back(v.m_point);
    std::unique_ptr<QvOBB> rootBox(QvOBB::FromPoints(scratch.points));

    const std::size_t faceCount = m_pMesh->m_faces.size();
    m_faceRecords.resize(faceCount);
    m_facePointers.resize(faceCount);
    for (std::size_t i = 0; i < faceCount; ++i)
    {
        QvFace& face = m_pMesh->m_faces[i];
        QvOBBFace& record = m_faceRecords[i];
        record.m_pFace = &face;
        record.m_pMesh = m_pMesh;
        record.m_nIndex = static_cast<std::int32_t>(i);
        for (int k = 0; k < 3; ++k)
            record.m_corners[k] = face.m_vertices[k];
        m_facePointers[i] = &record;
    }
    m_leafFaces = m_facePointers;

    std::vector<Draft> drafts(1);
    if (rootBox)
    {
        drafts[0].m_box = *rootBox;
        drafts[0].m_bHasBox = true;
    }
    drafts[0].m_nEnd = static_cast<std::uint32_t>(faceCount);
    // A split leaf keeps 2 to 5 faces: this many nodes as a rule, grown when not.
    drafts.reserve(faceCount / 2 + 1);

    scratch.stamp.assign(m_nVertexCount, 0);
    std::vector<std::size_t> stack{0};
    while (!stack.empty())
    {
        const std::size_t index = stack.back();
        stack.pop_back();
        Split(drafts, index, scratch);
        const Draft& node = drafts[index];
        if (node.m_nFirst < 0)
            continue;
        stack.push_back(static_cast<std::size_t>(node.m_nSecond));
        stack.push_back(static_cast<std::size_t>(node.m_nFirst));
    }

    const std::size_t count = drafts.size();
    m_nodes = std::make_unique<QvOBBTreeNode[]>(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        const Draft& draft = drafts[i];
        QvOBBTreeNode& node = m_nodes[i];
        if (draft.m_bHasBox)
        {
            node.m_box = draft.m_box;
            node.m_pBox = &node.m_box;
        }
        if (draft.m_nFirst >= 0)
        {
            node.m_pFirst = &m_nodes[static_cast<std::size_t>(draft.m_nFirst)];
            node.m_pSecond = &m_nodes[static_cast<std::size_t>(draft.m_nSecond)];
        }
        else if (i != 0)
            node.m_faces = QvOBBFaceList(m_leafFaces.data() + draft.m_nBegin, draft.m_nEnd - draft.m_nBegin);
    }
    // The root lists every face in face order (as a leaf too: its stretch is unsplit).
    m_nodes[0].m_faces = QvOBBFaceList(m_facePointers.data(), faceCount);
    m_pRoot = &m_nodes[0];
    CollectLeaves();
}

void QvOBBTree::Split(std::vector<Draft>& drafts, std::size_t index, BuildScratch& scratch)
{
    const std::size_t begin = drafts[index].m_nBegin;
    const std::size_t end = drafts[index].m_nEnd;
    const std::size_t n = end - begin;
    if (static_cast<std::int64_t>(n) <= m_nLeafSize || !drafts[index].m_bHasBox)
        return;

    // Faces below the plane go first, the others second, each in their current order.
    QvOBBFace** faces = m_leafFaces.data() + begin;
    scratch.below.resize(n);
    bool divided = false;
    for (int rank = 1; rank <= 3 && !divided; ++rank)
    {
        const QvOBB& box = drafts[index].m_box;
        const QvPlane plane(box.m_frame.m_centre, box.GetAxisByExtent(rank));
        const QvVector normal = plane.GetNormal();
        const double d = plane.m_coef[3];
        std::size_t firstCount = 0;
        for (std::size_t i = 0; i < n; ++i)
        {
            bool below = false;
            for (const int c : faces[i]->m_corners)
                below = below || Dot(normal, GetPosition(c)) + d < 0.0;
            scratch.below[i] = below ? 1 : 0;
            firstCount += below ? 1 : 0;
        }
        divided = firstCount != 0 && firstCount != n;
    }
    if (!divided)
        return;

    // Boxes first: a child that cannot be fitted leaves the node a leaf, its faces in
    // their order.
    const auto fit = [&](char side) {
        ++scratch.stampValue;
        scratch.vertices.clear();
        for (std::size_t i = 0; i < n; ++i)
            if (scratch.below[i] == side)
                for (const int c : faces[i]->m_corners)
                    if (scratch.stamp[static_cast<std::size_t>(c)] != scratch.stampValue)
                    {
                        scratch.stamp[static_cast<std::size_t>(c)] = scratch.stampValue;
                        scratch.vertices.push_back(c);
                    }
        std::sort(scratch.vertices.begin(), scratch.vertices.end());
        scratch.points.clear();
        for (const int v : scratch.vertices)
            scratch.points.push_back(GetPosition(v));
        return std::unique_ptr<QvOBB>(QvOBB::FromPoints(scratch.points));
    };
    const std::unique_ptr<QvOBB> firstBox = fit(1);
    const std::unique_ptr<QvOBB> secondBox = fit(0);
    if (!firstBox || !secondBox)
        return;

    scratch.second.clear();
    std::size_t mid = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        if (scratch.below[i])
            faces[mid++] = faces[i];
        else
            scratch.second.push_back(faces[i]);
    }
    std::copy(scratch.second.begin(), scratch.second.end(), faces + mid);

    // Siblings side by side: a walk that opens a node tests both.
    const std::size_t at = drafts.size();
    drafts.resize(at + 2);
    drafts[at].m_box = *firstBox;
    drafts[at].m_bHasBox = true;
    drafts[at].m_nBegin = static_cast<std::uint32_t>(begin);
    drafts[at].m_nEnd = static_cast<std::uint32_t>(begin + mid);
    drafts[at + 1].m_box = *secondBox;
    drafts[at + 1].m_bHasBox = true;
    drafts[at + 1].m_nBegin = static_cast<std::uint32_t>(begin + mid);
    drafts[at + 1].m_nEnd = static_cast<std::uint32_t>(end);
    drafts[index].m_nFirst = static_cast<std::int32_t>(at);
    drafts[index].m_nSecond = static_cast<std::int32_t>(at + 1);
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
        node->m_dRadius = node->m_pBox ? std::sqrt(Size(*node->m_pBox)) : 0.0;
        if (node->IsLeaf())
        {
            node->m_nLeafIndex = static_cast<std::int32_t>(m_leaves.size());
            m_leaves.push_back(node);
            continue;
        }
        stack.push_back(node->m_pSecond);
        stack.push_back(node->m_pFirst);
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
    std::vector<const QvOBBTreeNode*> stack{m_pRoot};
    while (!stack.empty())
    {
        const QvOBBTreeNode* node = stack.back();
        stack.pop_back();
        // A node without a box cannot be ruled out.
        if (const QvOBB* box = node->m_pBox)
        {
            const double s = Dot(n, box->m_frame.m_centre) + d;
            const double r = box->m_halfSize[0] * std::fabs(n.Dot(box->m_frame.m_dirX)) +
                             box->m_halfSize[1] * std::fabs(n.Dot(box->m_frame.m_dirY)) +
                             box->m_halfSize[2] * std::fabs(n.Dot(box->m_frame.m_dirZ));
            // Slack for the rounding of the fit, which puts extreme corners on the box's
            // faces only up to a few units in the last place.
            const double slack = tolerance + 1e-12 * (std::fabs(s) + r + std::fabs(d));
            if (std::fabs(s) > r + slack || (region && region->IsOutside(*box)))
                continue;
        }
        if (node->IsLeaf())
        {
            out.insert(out.end(), node->m_faces.begin(), node->m_faces.end());
            continue;
        }
        stack.push_back(node->m_pSecond);
        stack.push_back(node->m_pFirst);
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
    if (!node || !node->m_pBox)
        return QvOBB();
    return QvOBB(*node->m_pBox, m_placement);
}

void QvOBBTree::ResetFaceMarks()
{
    if (!m_pRoot)
        return;
    std::int32_t i = 0;
    for (QvOBBFace* f : m_pRoot->m_faces)
    {
        f->m_marks[0] = f->m_marks[1] = f->m_marks[2] = false;
        f->m_nIndex = i++;
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

    std::vector<const QvOBBTreeNode*> stack{m_pRoot};
    std::vector<const QvOBBTreeNode*> leaves;
    while (!stack.empty())
    {
        const QvOBBTreeNode* node = stack.back();
        stack.pop_back();
        if (!node->m_pBox || node->m_pBox->IsLineOutside(local))
            continue;
        if (node->IsLeaf())
        {
            leaves.push_back(node);
            continue;
        }
        stack.push_back(node->m_pSecond);
        stack.push_back(node->m_pFirst);
    }

    for (const QvOBBTreeNode* leaf : leaves)
        for (QvOBBFace* f : leaf->m_faces)
        {
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
    if (!m_pRoot->m_pBox || !other->m_pRoot->m_pBox || Apart(*m_pRoot, *other->m_pRoot, otherToHere))
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
        else if (a->IsLeaf() || (!b->IsLeaf() && Size(*b->m_pBox) > Size(*a->m_pBox)))
        {
            stack.Push(a, b->m_pSecond);
            stack.Push(a, b->m_pFirst);
        }
        else
        {
            stack.Push(a->m_pSecond, b);
            stack.Push(a->m_pFirst, b);
        }
    };
    visit(m_pRoot, other->m_pRoot);
    while (!stack.Empty())
    {
        const auto [a, b] = stack.Pop();
        if (a->m_pBox && b->m_pBox && !Apart(*a, *b, otherToHere))
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
            PlaceLeaf(leafA, hereCorner, here);
        }
        PlaceLeaf(leafB, thereCorner, there);
        for (std::size_t ka = 0; ka < here.size(); ++ka)
            for (std::size_t kb = 0; kb < there.size(); ++kb)
            {
                QvPoint start;
                QvPoint end;
                if (!CrossTriangles(here[ka], there[kb], start, end))
                    continue;
                out.push_back(QvTriSegment{leafA->m_faces[ka], leafB->m_faces[kb], m_toWorld.Apply(start),
                                           m_toWorld.Apply(end), false});
            }
    }
}

bool QvOBBTree::MayCross(const QvOBBTree* other, double tolerance) const
{
    if (!other || !CanQuery() || !other->CanQuery())
        return false;
    // A node without a box cannot be ruled out.
    if (!m_pRoot->m_pBox || !other->m_pRoot->m_pBox)
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
        if (!a->m_pBox || !b->m_pBox)
            return true;
        if (ApartBy(*a, *b, otherToHere, tolerance))
            continue;
        if (a->IsLeaf() && b->IsLeaf())
        {
            PlaceLeaf(a, hereCorner, here);
            PlaceLeaf(b, thereCorner, there);
            for (const PlacedTriangle& ta : here)
                for (const PlacedTriangle& tb : there)
                    if (MayCrossTriangles(ta, tb, tolerance))
                        return true;
        }
        else if (a->IsLeaf() || (!b->IsLeaf() && Size(*b->m_pBox) > Size(*a->m_pBox)))
        {
            stack.Push(a, b->m_pSecond);
            stack.Push(a, b->m_pFirst);
        }
        else
        {
            stack.Push(a->m_pSecond, b);
            stack.Push(a->m_pFirst, b);
        }
    }
    return false;
}
