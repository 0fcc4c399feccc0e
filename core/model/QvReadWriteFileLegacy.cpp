// SPDX-License-Identifier: GPL-3.0-or-later
// Older file kinds (tooth-set and OSD files) and the STL import of the file layer.
#include <charconv>
#include <cstdint>
#include <fstream>
#include <istream>
#include <limits>
#include <locale>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

#include "core/base/QvLog.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvStlCorners.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvGum.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothList.h"

namespace {

constexpr int kTSDBody = 0x101;

constexpr std::uint8_t kTagJaw = 1;
constexpr std::uint8_t kTagGum = 2;
constexpr std::uint8_t kTagTooth = 3;
constexpr std::uint8_t kTagToothList = 5;
constexpr std::uint8_t kTagEnd = 0xFF;

// The longest id line: a sign and ten digits.
constexpr std::size_t kIdLineMax = 11;

// The header's version text: between the first "V" and the first "(" after it; the
// lookup in the table of the type. 0 when either mark is missing or out of order.
int LegacyHeaderVersion(std::istream& is, int fileType)
{
    std::string line;
    if (!QvReadHeaderLine(is, line))
        return 0;
    const std::size_t v = line.find('V');
    const std::size_t paren = line.find('(');
    if (v == std::string::npos || paren == std::string::npos || paren < v)
        return 0;
    return QvFileVersionMgr::Instance().GetVersionCode(fileType, line.substr(v + 1, paren - v - 1));
}

// The id line: decimal digits (a sign allowed) and one line feed.
bool ReadIdLine(std::istream& is, std::int32_t& id)
{
    std::string text;
    for (;;)
    {
        const int c = is.get();
        if (c == std::char_traits<char>::eof())
            return false;
        if (c == '\n')
            break;
        if (text.size() == kIdLineMax)
            return false;
        text.push_back(static_cast<char>(c));
    }
    const char* end = text.data() + text.size();
    std::int32_t value = 0;
    const auto res = std::from_chars(text.data(), end, value);
    if (res.ec != std::errc() || res.ptr != end || text.empty())
        return false;
    id = value;
    return true;
}

// One tagged record: a new entity reads itself and joins the model when whole.
template <typename T>
bool ReadTagged(std::istream& is, int version, QvModel* model)
{
    auto entity = std::make_unique<T>();
    if (!entity->Read(is, version, model))
        return false;
    model->AddEntity(entity.release());
    return true;
}

// Sets the entity counter to the id read when the read leaves, however it leaves.
class NextIdOnExit
{
public:
    explicit NextIdOnExit(std::int32_t id) : m_id(id) {}
    ~NextIdOnExit() { QvEntity::SetNextId(m_id); }
    NextIdOnExit(const NextIdOnExit&) = delete;
    NextIdOnExit& operator=(const NextIdOnExit&) = delete;

private:
    std::int32_t m_id;
};

} // namespace

bool QvReadWriteFile::ReadTSD(const std::string& path)
{
    std::ifstream is(path, std::ios::binary);
    if (!is)
        return false;
    is.imbue(std::locale::classic());
    const int version = LegacyHeaderVersion(is, kQvFileTSD);
    // An unknown text is no version: nothing of the body is read.
    if (version != kTSDBody)
        return false;
    const bool read = ReadTSD_V0(is, version);
    m_nOption = 0;
    return read;
}

bool QvReadWriteFile::ReadTSD_V0(std::istream& is, int version)
{
    if (!m_pModel)
        return false;
    std::int32_t id = 0;
    if (!ReadIdLine(is, id))
        return false;
    const NextIdOnExit restoreId(id);
    QvTransform transform;
    if (!transform.Read(is))
        return false;
    SetTransform(transform);
    for (;;)
    {
        std::uint8_t tag = 0;
        if (!qvio::ReadU8(is, tag))
            return false;
        bool read = false;
        switch (tag)
        {
        case kTagEnd: return true;
        case kTagJaw: read = ReadTagged<QvJaw>(is, version, m_pModel); break;
        case kTagGum: read = ReadTagged<QvGum>(is, version, m_pModel); break;
        case kTagTooth: read = ReadTagged<QvTooth>(is, version, m_pModel); break;
        case kTagToothList: read = ReadTagged<QvToothList>(is, version, m_pModel); break;
        default:
            QvLog::Instance().Write(QvLog::ERROR, "Unknown file node type, read TSD file failed", "ReadTSD_V0", 717);
            return false;
        }
        if (!read)
            return false;
    }
}

bool QvReadWriteFile::WriteTSD_V0(std::ostream& os, int version)
{
    if (!m_pModel || !m_pModel->m_teeth.empty())
        return false;
    // The id line is "C" text whatever locale the stream carries.
    char digits[kIdLineMax + 1];
    const auto res = std::to_chars(digits, digits + sizeof(digits), QvEntity::NextId());
    os.write(digits, res.ptr - digits);
    os.put('\n');
    m_transform.Write(os);
    const auto writeTagged = [&](const std::vector<QvEntity*>& list, std::uint8_t tag, bool fullJaw) {
        for (const QvEntity* entity : list)
        {
            qvio::WriteU8(os, tag);
            if (fullJaw)
                static_cast<const QvJaw*>(entity)->WriteFull(os, version);
            else
                entity->Write(os, version);
        }
    };
    writeTagged(m_pModel->m_jaws, kTagJaw, true);
    writeTagged(m_pModel->m_gums, kTagGum, false);
    writeTagged(m_pModel->m_toothLists, kTagToothList, false);
    qvio::WriteU8(os, kTagEnd);
    os.flush();
    return static_cast<bool>(os);
}

bool QvReadWriteFile::ReadOSD(const std::string& path)
{
    std::ifstream is(path, std::ios::binary);
    if (is)
        static_cast<void>(LegacyHeaderVersion(is, kQvFileOSD));
    return false;
}

bool QvReadWriteFile::ReadBinarySTL(const std::string& path, std::vector<QvPoint>& corners)
{
    return QvReadBinaryStlCorners(path, corners);
}

bool QvReadWriteFile::ReadAsciiSTL(const std::string& path, std::vector<QvPoint>& corners)
{
    return QvReadTextStlCorners(path, corners);
}

QvMesh* QvReadWriteFile::ImportSTL(const std::string& path)
{
    std::vector<QvPoint> corners;
    if (!QvReadStlCorners(path, corners) || corners.empty())
        return nullptr;
    auto mesh = std::make_unique<QvMesh>();
    if (!mesh->BuildFromTriangleSoup(corners) || mesh->m_faces.empty())
        return nullptr;
    m_nOption = 0;
    return mesh.release();
}
