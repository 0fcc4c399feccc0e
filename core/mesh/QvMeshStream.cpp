// SPDX-License-Identifier: GPL-3.0-or-later
// The stream forms of the mesh. Readers never trust stored connectivity: they re-add
// every face and recompute the normals. They parse everything into locals first, so
// a damaged record leaves the mesh as it was.
#include "core/mesh/QvMesh.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>

#include "core/base/QvLog.h"
#include "core/geometry/QvStreamIO.h"

namespace {

constexpr int kSixteenBitLimit = 65535; // counts above it switch indices to int32
constexpr std::size_t kMaxHeaderLine = 64;

void LogReadFailure(int lineTag) { QvLog::Instance().Write(QvLog::ERROR, "Read mesh failed", "Read", lineTag); }

// "<keyword><count>\n" in the "C" form whatever the process locale.
void WriteHeaderLine(std::ostream& os, const char* keyword, std::size_t count)
{
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof(digits), count);
    os << keyword;
    os.write(digits, res.ptr - digits);
    os.put('\n');
    os.flush();
}

// One header line up to and consuming its newline. A line that runs past a sane
// length or the end of the stream is not a header line.
bool ReadHeaderLine(std::istream& is, std::string& line)
{
    line.clear();
    for (;;)
    {
        const int c = is.get();
        if (c == std::char_traits<char>::eof())
            return false;
        if (c == '\n')
            return true;
        if (line.size() >= kMaxHeaderLine)
            return false;
        line.push_back(static_cast<char>(c));
    }
}

// The decimal count after the keyword; only plain digits are a count.
bool ParseCount(const std::string& line, std::size_t keywordLength, std::int64_t& count)
{
    const char* first = line.data() + keywordLength;
    const char* last = line.data() + line.size();
    if (first == last || *first < '0' || *first > '9')
        return false;
    std::int64_t value = 0;
    const auto res = std::from_chars(first, last, value);
    if (res.ec != std::errc() || res.ptr != last || value > std::numeric_limits<std::int32_t>::max())
        return false;
    count = value;
    return true;
}

void WriteIndex(std::ostream& os, int value, bool wide)
{
    if (wide)
        qvio::WriteI32(os, value);
    else
        qvio::WriteU16(os, static_cast<std::uint16_t>(value));
}

// Fixed-size records taken from the stream a batch at a time: one stream call per
// batch instead of one per field. Next() is null once the stream runs short.
class RecordReader
{
public:
    RecordReader(std::istream& is, std::size_t recordBytes, std::size_t count)
        : m_is(is), m_recordBytes(recordBytes), m_left(count),
          m_size(std::min(count, std::max<std::size_t>(1, kBatchBytes / recordBytes)) * recordBytes),
          m_buffer(new char[m_size])
    {
    }
    const char* Next()
    {
        if (m_at == m_filled)
        {
            // Never past the records still wanted: the stream stays where the last one ends.
            const std::size_t want = std::min(m_size, m_left * m_recordBytes);
            if (want == 0 || !m_is.read(m_buffer.get(), static_cast<std::streamsize>(want)))
                return nullptr;
            m_at = 0;
            m_filled = want;
        }
        const char* record = m_buffer.get() + m_at;
        m_at += m_recordBytes;
        --m_left;
        return record;
    }

private:
    static constexpr std::size_t kBatchBytes = 1 << 16;
    std::istream& m_is;
    std::size_t m_recordBytes;
    std::size_t m_left;
    std::size_t m_size;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_filled = 0;
};

int DecodeIndex(const char* bytes, bool wide)
{
    if (wide)
    {
        std::int32_t v = 0;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
    std::uint16_t v = 0;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

bool CornersInRange(const QvReadFace& face, std::size_t vertexCount)
{
    for (const int c : face.corners)
        if (c < 0 || static_cast<std::size_t>(c) >= vertexCount)
            return false;
    return true;
}

// Storage for the stored faces, so that inserting them never moves an element: the
// faces; the edges of a closed surface (3/2 per face) and of a rim of up to one edge
// in sixteen faces; each vertex's incident edges, one per face at it (an inner
// vertex's count; a rim vertex grows by one).
void ReserveForFaces(QvMesh& mesh, const std::vector<QvReadFace>& faces)
{
    const std::size_t faceCount = faces.size();
    mesh.m_faces.reserve(faceCount);
    mesh.m_edges.reserve(faceCount + faceCount / 2 + faceCount / 16 + 64);
    std::vector<int> around(mesh.m_vertices.size(), 0);
    for (const QvReadFace& f : faces)
        for (const int c : f.corners)
            ++around[static_cast<std::size_t>(c)];
    for (std::size_t v = 0; v < around.size(); ++v)
        mesh.m_vertices[v].m_edges.reserve(static_cast<std::size_t>(around[v]));
}

// A surface whose rim outgrew the guess holds twice its edges' storage: given back.
void TrimEdges(QvMesh& mesh)
{
    if (mesh.m_edges.capacity() - mesh.m_edges.size() > mesh.m_edges.size() / 8)
        mesh.m_edges.shrink_to_fit();
}

} // namespace

// ---- Text-line form ---------------------------------------------------------------

std::ostream& QvMesh::Write(std::ostream& os, int version) const
{
    QvEntity::Write(os, version);
    WriteHeaderLine(os, "Vertex@", m_vertices.size());
    for (const QvVertex& v : m_vertices)
        v.Write(os, version);
    WriteHeaderLine(os, "Face@", m_faces.size());
    for (const QvFace& f : m_faces)
        f.Write(os, version);
    return os;
}

bool QvMesh::Read(std::istream& is, int version, QvModel* model)
{
    std::vector<QvReadFace> faces;
    if (!Read(is, version, model, faces))
        return false;
    InsertReadFaces(faces);
    return true;
}

bool QvMesh::Read(std::istream& is, int version, QvModel* model, std::vector<QvReadFace>& faces)
{
    QvEntity entity(*this);
    if (!entity.Read(is, version, model))
    {
        LogReadFailure(962);
        return false;
    }

    std::string line;
    std::int64_t vertexCount = 0;
    // The keyword is skipped by its length, not compared.
    if (!ReadHeaderLine(is, line) || line.size() < 8 || !ParseCount(line, 7, vertexCount) ||
        !qvio::CountFits(is, vertexCount, 32))
    {
        LogReadFailure(962);
        return false;
    }
    std::vector<QvVertex> vertices(static_cast<std::size_t>(vertexCount));
    for (std::size_t i = 0; i < vertices.size(); ++i)
    {
        if (!vertices[i].Read(is, version, model))
        {
            LogReadFailure(962);
            return false;
        }
        // The position in the file is the index; a stored index cannot disagree with it.
        vertices[i].m_index = static_cast<std::int32_t>(i);
    }

    std::int64_t faceCount = 0;
    if (!ReadHeaderLine(is, line) || line.size() < 6 || !ParseCount(line, 5, faceCount) ||
        !qvio::CountFits(is, faceCount, 24))
    {
        LogReadFailure(980);
        return false;
    }
    std::vector<QvReadFace> read(static_cast<std::size_t>(faceCount));
    QvFace scratch;
    for (QvReadFace& stored : read)
    {
        if (!scratch.Read(is, version, model))
        {
            LogReadFailure(980);
            return false;
        }
        stored = QvReadFace{{scratch.m_vertices[0], scratch.m_vertices[1], scratch.m_vertices[2]}, scratch.m_tag};
        if (!CornersInRange(stored, vertices.size()))
        {
            LogReadFailure(980);
            return false;
        }
    }

    QvEntity::operator=(entity);
    m_vertices = std::move(vertices);
    m_edges.clear();
    m_faces.clear();
    faces = std::move(read);
    return true;
}

// ---- Compact form ------------------------------------------------------------------

std::ostream& QvMesh::WriteCompact(std::ostream& os, int version) const
{
    QvEntity::Write(os, version);
    const int nv = static_cast<int>(m_vertices.size());
    const int nf = static_cast<int>(m_faces.size());
    const bool wideVertices = nv > kSixteenBitLimit;
    const bool wideFaces = nf > kSixteenBitLimit;
    qvio::WriteI32(os, nv);
    for (const QvVertex& v : m_vertices)
    {
        WriteIndex(os, v.m_index, wideVertices);
        qvio::WriteF64(os, v.m_point.m_coord[0]);
        qvio::WriteF64(os, v.m_point.m_coord[1]);
        qvio::WriteF64(os, v.m_point.m_coord[2]);
    }
    qvio::WriteI32(os, nf);
    for (const QvFace& f : m_faces)
    {
        WriteIndex(os, f.m_index, wideFaces);
        for (const std::int32_t c : f.m_vertices)
            WriteIndex(os, c, wideVertices);
        qvio::WriteI16(os, static_cast<std::int16_t>(f.m_tag));
    }
    return os;
}

bool QvMesh::ReadCompact(std::istream& is, int version, QvModel* model)
{
    std::vector<QvReadFace> faces;
    if (!ReadCompact(is, version, model, faces))
        return false;
    InsertReadFaces(faces);
    return true;
}

bool QvMesh::ReadCompact(std::istream& is, int version, QvModel* model, std::vector<QvReadFace>& faces)
{
    QvEntity entity(*this);
    if (!entity.Read(is, version, model))
        return false;

    std::int32_t nv = 0;
    if (!qvio::ReadI32(is, nv))
        return false;
    const bool wideVertices = nv > kSixteenBitLimit;
    const std::size_t indexBytes = wideVertices ? 4 : 2;
    const std::size_t vertexRecord = indexBytes + 3 * 8;
    if (!qvio::CountFits(is, nv, vertexRecord))
        return false;
    std::vector<QvVertex> vertices(static_cast<std::size_t>(nv));
    RecordReader vertexRecords(is, vertexRecord, vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i)
    {
        const char* record = vertexRecords.Next();
        if (!record)
            return false;
        // The stored index is only a record field: the position in the file is the index.
        vertices[i].m_index = static_cast<std::int32_t>(i);
        double xyz[3];
        std::memcpy(xyz, record + indexBytes, sizeof xyz);
        vertices[i].m_point.Set(xyz[0], xyz[1], xyz[2]);
    }

    std::int32_t nf = 0;
    if (!qvio::ReadI32(is, nf))
        return false;
    const bool wideFaces = nf > kSixteenBitLimit;
    const std::size_t faceRecord = (wideFaces ? 4 : 2) + 3 * indexBytes + 2;
    if (!qvio::CountFits(is, nf, faceRecord))
        return false;
    std::vector<QvReadFace> stored(static_cast<std::size_t>(nf));
    RecordReader faceRecords(is, faceRecord, stored.size());
    for (QvReadFace& face : stored)
    {
        const char* record = faceRecords.Next();
        if (!record)
            return false;
        const char* corners = record + (wideFaces ? 4 : 2);
        for (int k = 0; k < 3; ++k)
            face.corners[k] = DecodeIndex(corners + k * indexBytes, wideVertices);
        std::int16_t tag = 0;
        std::memcpy(&tag, corners + 3 * indexBytes, sizeof tag);
        face.tag = tag;
        if (!CornersInRange(face, vertices.size()))
            return false;
    }

    QvEntity::operator=(entity);
    m_vertices = std::move(vertices);
    m_edges.clear();
    m_faces.clear();
    faces = std::move(stored);
    return true;
}

void QvMesh::InsertReadFaces(const std::vector<QvReadFace>& faces)
{
    m_edges.clear();
    m_faces.clear();
    ReserveForFaces(*this, faces);
    // Faces that insertion refuses (repeated corners, a third face on an edge) are
    // dropped, as every builder does.
    for (const QvReadFace& f : faces)
        (void)AddFace(f.corners, f.tag);
    TrimEdges(*this);
    UpdateFaceNormals();
}

// ---- Float form ---------------------------------------------------------------------

std::ostream& QvMesh::WriteFloatForm(std::ostream& os) const
{
    for (const QvPoint* corner : {&m_bbox.m_minPoint, &m_bbox.m_maxPoint})
        for (const double c : corner->m_coord)
            qvio::WriteF64(os, c);
    const int nv = static_cast<int>(m_vertices.size());
    const bool wide = nv > kSixteenBitLimit;
    qvio::WriteI32(os, nv);
    for (const QvVertex& v : m_vertices)
        for (const double c : v.m_point.m_coord)
            qvio::WriteF32(os, static_cast<float>(c));
    qvio::WriteI32(os, static_cast<std::int32_t>(m_faces.size()));
    for (const QvFace& f : m_faces)
        for (const std::int32_t c : f.m_vertices)
            WriteIndex(os, c, wide);
    return os;
}

// ---- Binary STL -------------------------------------------------------------------

namespace {

void AppendF32(std::string& out, double value)
{
    const float f = static_cast<float>(value);
    char bytes[4];
    std::memcpy(bytes, &f, 4);
    out.append(bytes, 4);
}

// Creates a fresh file beside path (same file system, so the rename is atomic).
int CreateTemporaryBeside(const std::string& path, std::string& tempPath)
{
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        tempPath = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool QvMesh::WriteSTL(const std::string& path) const
{
    if (m_faces.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    std::string bytes(80, '\0');
    bytes.reserve(84 + 50 * m_faces.size());
    const std::uint32_t count = static_cast<std::uint32_t>(m_faces.size());
    char countBytes[4];
    std::memcpy(countBytes, &count, 4);
    bytes.append(countBytes, 4);
    for (const QvFace& f : m_faces)
    {
        for (const double c : f.m_normal.m_coord)
            AppendF32(bytes, c);
        for (const std::int32_t corner : f.m_vertices)
            for (const double c : m_vertices[corner].m_point.m_coord)
                AppendF32(bytes, c);
        bytes.append(2, '\0');
    }

    std::string tempPath;
    const int fd = CreateTemporaryBeside(path, tempPath);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(tempPath.c_str(), path.c_str()) != 0)
    {
        std::remove(tempPath.c_str());
        return false;
    }
    return true;
}
