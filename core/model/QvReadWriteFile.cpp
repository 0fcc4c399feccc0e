// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvReadWriteFile.h"

#include <cstring>
#include <fstream>
#include <locale>
#include <memory>
#include <ostream>
#include <streambuf>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvReplaceFile.h"
#include "core/model/QvToothBase.h"

namespace {

constexpr int kCodeRead = 0;
constexpr int kCodeBad = 1;
constexpr int kCodeOlder = 2;
constexpr int kCodeUnknown = 3;

constexpr int kOSOldest = 0x401;
constexpr int kOSFirstBody = 0x402;
constexpr int kOSLast = 0x413;
constexpr int kRVSLastSingle = 0x2004;
constexpr int kATTNamed = 0x4002;
constexpr int kATTKindFirst = 0x4003;
constexpr int kATTKindLast = 0x4005;

// The old binary case form starts with these bytes and a kind byte.
constexpr char kOldFormMagic[3] = {'O', 'D', 'S'};
constexpr int kOldFormOlderKind = 6;

constexpr std::size_t kStreamBufferBytes = 1 << 16;

// The bytes of an output stream, handed to a replacing file in large pieces. A
// failed write makes the stream bad, which the writer sees after flushing.
class ReplaceFileBuf : public std::streambuf
{
public:
    explicit ReplaceFileBuf(QvReplaceFile& file) : m_file(file), m_buffer(kStreamBufferBytes)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

protected:
    int_type overflow(int_type ch) override
    {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof()))
        {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }

    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        if (n <= epptr() - pptr())
        {
            std::memcpy(pptr(), s, static_cast<std::size_t>(n));
            pbump(static_cast<int>(n));
            return n;
        }
        if (!Drain() || !m_file.Write(s, static_cast<std::size_t>(n)))
            return 0;
        return n;
    }

    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain()
    {
        const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return size == 0 || m_file.Write(m_buffer.data(), size);
    }

    QvReplaceFile& m_file;
    std::vector<char> m_buffer;
};

// Header line, then the body; the file replaces path only when everything was
// written and the body writer did not refuse.
template <typename Body>
[[nodiscard]] bool WriteDataFile(const std::string& path, int fileType, int version, Body body)
{
    QvReplaceFile file;
    if (!file.Open(path))
        return false;
    ReplaceFileBuf buffer(file);
    std::ostream os(&buffer);
    os.imbue(std::locale::classic());
    os.precision(8);
    os << QvMakeHeader(fileType, version) << '\n';
    os.flush();
    const bool accepted = body(os);
    os.flush();
    if (!accepted || !os)
    {
        file.Discard();
        return false;
    }
    return file.Commit();
}

// A file opened for reading through a large buffer: the bodies read field by field.
class InputFile
{
public:
    explicit InputFile(const std::string& path) : m_buffer(kStreamBufferBytes)
    {
        m_stream.rdbuf()->pubsetbuf(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_stream.open(path, std::ios::in | std::ios::binary);
        m_stream.imbue(std::locale::classic());
    }
    bool IsOpen() const { return m_stream.is_open(); }
    std::istream& Stream() { return m_stream; }
    // The version of the header line for the type; 0 when there is none.
    int ReadHeader(int fileType)
    {
        std::string line;
        if (!QvReadHeaderLine(m_stream, line))
            return 0;
        return QvParseHeader(line, fileType);
    }

private:
    std::vector<char> m_buffer; // outlives the stream that uses it
    std::ifstream m_stream;
};

void WritePatientInfo(const QvModel* model, std::ostream& os, int version)
{
    if (model && model->GetPatientInfo())
        model->GetPatientInfo()->Write(os, version);
    else
        QvPatientInfo().Write(os, version);
}

} // namespace

QvReadWriteFile::QvReadWriteFile(QvModel* model, int option) : m_pModel(model), m_nOption(option) {}

void QvReadWriteFile::SetTransform(const QvTransform& transform)
{
    m_transform.m_rotation = transform.m_rotation;
    m_transform.m_translation = transform.m_translation;
    m_transform.m_scale = transform.m_scale;
}

// ---- Helpers -----------------------------------------------------------------------------

unsigned QvReadWriteFile::MakeToothCode(const QvToothBase* tooth)
{
    if (!tooth)
        return 0;
    const int fdi = tooth->GetPositionFdi();
    unsigned code = 0x10000000u;
    if (tooth->IsUpper())
        code |= 0x20u;
    if (fdi < 20 || fdi > 39)
        code |= 0x10u;
    code |= static_cast<unsigned>(fdi % 10) & 0xFu;
    return code;
}

int QvReadWriteFile::ToothCodeToFdi(unsigned code)
{
    const bool upper = (code & 0x20u) != 0;
    const bool outer = (code & 0x10u) != 0;
    const int quadrant = upper ? (outer ? 10 : 20) : (outer ? 40 : 30);
    return quadrant + static_cast<int>(code & 0xFu);
}

int QvReadWriteFile::LowerToothCodeToFdi(unsigned code)
{
    const bool lower = (code & 0x40u) != 0;
    const bool outer = (code & 0x10u) != 0;
    const int quadrant = lower ? (outer ? 40 : 30) : (outer ? 10 : 20);
    return quadrant + static_cast<int>(code & 0xFu);
}

std::string QvReadWriteFile::MakeHeader(int fileType, int version) { return QvMakeHeader(fileType, version); }

int QvReadWriteFile::ParseHeader(const std::string& line, int fileType) { return QvParseHeader(line, fileType); }

// ---- Writers -------------------------------------------------------------------------------

bool QvReadWriteFile::WriteOS(const std::string& path, int version)
{
    // Without a model there is no body to write for the versions that have one.
    if (!m_pModel && version >= kOSFirstBody)
        return false;
    return WriteDataFile(path, kQvFileOS, version, [&](std::ostream& os) {
        if (version < kOSFirstBody)
            return true;
        if (version > kOSLast)
            return false;
        m_pModel->WriteOS(os, version);
        return true;
    });
}

bool QvReadWriteFile::WriteRVS(const std::string& path, int version, const std::vector<QvScheme*>& schemes)
{
    QvSchemeFileLink* link = QvGetSchemeFileLink();
    for (const QvScheme* scheme : schemes)
        if (!scheme || !link)
            return false;
    return WriteDataFile(path, kQvFileRVS, version, [&](std::ostream& os) {
        WritePatientInfo(m_pModel, os, version);
        qvio::WriteI32(os, static_cast<std::int32_t>(schemes.size()));
        for (const QvScheme* scheme : schemes)
            link->WriteScheme(*scheme, os, version);
        return true;
    });
}

bool QvReadWriteFile::WriteRVSScheme(const std::string& path, int version, QvScheme* scheme)
{
    if (version > kRVSLastSingle)
        return WriteRVS(path, version, std::vector<QvScheme*>{scheme});
    QvSchemeFileLink* link = QvGetSchemeFileLink();
    if (!scheme || !link)
        return false;
    return WriteDataFile(path, kQvFileRVS, version, [&](std::ostream& os) {
        WritePatientInfo(m_pModel, os, version);
        link->WriteScheme(*scheme, os, version);
        return true;
    });
}

bool QvReadWriteFile::WriteRVM(const std::string& path, int version)
{
    QvMeasureFileLink* link = QvGetMeasureFileLink();
    if (!link || !m_pModel)
        return false;
    return WriteDataFile(path, kQvFileRVM, version, [&](std::ostream& os) {
        link->WriteBody(os, version, *m_pModel);
        return true;
    });
}

bool QvReadWriteFile::WriteBKT(const std::string& path, int version, QvBracketGeoSeries* series)
{
    QvDesignFileLink* link = QvGetDesignFileLink();
    if (!link || !series)
        return false;
    return WriteDataFile(path, kQvFileBKT, version, [&](std::ostream& os) {
        link->WriteBracketSeries(*series, os, version);
        return true;
    });
}

// ---- Readers -------------------------------------------------------------------------------

int QvReadWriteFile::ReadOS(const std::string& path)
{
    InputFile file(path);
    if (!file.IsOpen())
        return kCodeBad;
    std::istream& is = file.Stream();

    char magic[sizeof(kOldFormMagic)];
    if (is.read(magic, sizeof(magic)) && std::memcmp(magic, kOldFormMagic, sizeof(magic)) == 0)
        return is.get() == kOldFormOlderKind ? kCodeOlder : kCodeUnknown;
    is.clear();
    is.seekg(0);

    const int code = file.ReadHeader(kQvFileOS);
    if (code == 0)
        return kCodeUnknown;
    if (code == kOSOldest)
        return kCodeOlder;
    int result = kCodeBad;
    if (code >= kOSFirstBody && code <= kOSLast && m_pModel)
        result = m_pModel->ReadOS(is, code, nullptr) ? kCodeRead : kCodeBad;
    QvFileVersionMgr::Instance().SetReadVersion(kQvFileOS, code);
    m_nOption = 0;
    return result;
}

int QvReadWriteFile::ReadDM(const std::string& path)
{
    InputFile file(path);
    if (!file.IsOpen())
        return kCodeBad;
    const int code = file.ReadHeader(kQvFileDM);
    if (code == 0)
        return kCodeUnknown;
    const bool read = m_pModel && m_pModel->ReadDM(file.Stream(), code);
    QvFileVersionMgr::Instance().SetReadVersion(kQvFileDM, code);
    m_nOption = 0;
    return read ? kCodeRead : kCodeBad;
}

int QvReadWriteFile::ReadRVS(const std::string& path, std::vector<QvScheme*>& out, QvPatientInfo* info)
{
    QvPatientInfo scratch;
    QvPatientInfo& target = info ? *info : scratch;
    QvSchemeFileLink* link = QvGetSchemeFileLink();
    // A new scheme reads itself; one that fails is deleted.
    const auto readScheme = [&](std::istream& is, int code) -> QvScheme* {
        if (!link || !m_pModel)
            return nullptr;
        QvScheme* scheme = link->NewScheme(*m_pModel);
        if (scheme && !link->ReadScheme(*scheme, is, code, *m_pModel))
        {
            link->DeleteScheme(scheme);
            return nullptr;
        }
        return scheme;
    };

    InputFile file(path);
    if (!file.IsOpen())
        return kCodeBad;
    int code = file.ReadHeader(kQvFileRVS);
    if (code == 0)
        return kCodeUnknown;
    if (code > kRVSLastSingle)
    {
        std::istream& is = file.Stream();
        if (!target.Read(is, code))
            return kCodeBad;
        std::int32_t count = 0;
        if (!qvio::ReadI32(is, count) || count < 0)
            return kCodeBad;
        for (std::int32_t i = 0; i < count; ++i)
        {
            QvScheme* scheme = readScheme(is, code);
            if (!scheme)
                return kCodeBad;
            out.push_back(scheme);
        }
        return kCodeRead;
    }

    // One scheme without a count: the file is read again from its start.
    InputFile again(path);
    if (!again.IsOpen())
        return kCodeBad;
    code = again.ReadHeader(kQvFileRVS);
    if (code == 0)
        return kCodeUnknown;
    if (!target.Read(again.Stream(), code))
        return kCodeBad;
    QvScheme* scheme = readScheme(again.Stream(), code);
    if (!scheme)
        return kCodeBad;
    out.push_back(scheme);
    return kCodeRead;
}

bool QvReadWriteFile::ReadRVM(const std::string& path)
{
    InputFile file(path);
    if (!file.IsOpen())
        return false;
    const int code = file.ReadHeader(kQvFileRVM);
    if (code == 0)
        return false;
    if (!m_pModel)
        return false;
    QvMeasureFileLink* link = QvGetMeasureFileLink();
    const bool read = link && link->ReadBody(file.Stream(), code, *m_pModel);
    m_pModel->SetFileVersion(kQvFileRVM, code);
    return read;
}

QvAttachGeo* QvReadWriteFile::ReadATT(const std::string& path)
{
    InputFile file(path);
    if (!file.IsOpen())
        return nullptr;
    const int code = file.ReadHeader(kQvFileATT);
    QvDesignFileLink* link = QvGetDesignFileLink();
    if (code == 0 || !link)
        return nullptr;
    std::istream& is = file.Stream();

    QvAttachGeo* geo = nullptr;
    if (code == kATTNamed)
    {
        std::string name;
        if (!qvio::ReadString(is, name))
            return nullptr;
        name.resize(std::strlen(name.c_str()));
        geo = link->CreateAttachGeoByClassName(name);
    }
    else if (code >= kATTKindFirst && code <= kATTKindLast)
    {
        std::int32_t kind = 0;
        if (!qvio::ReadI32(is, kind))
            return nullptr;
        geo = link->CreateAttachGeoByKindCode(kind);
    }
    if (!geo)
        return nullptr;
    if (!link->ReadAttachGeo(*geo, is, code, m_pModel))
    {
        link->DeleteAttachGeo(geo);
        return nullptr;
    }
    return geo;
}

QvBracketGeoSeries* QvReadWriteFile::ReadBKT(const std::string& path)
{
    InputFile file(path);
    if (!file.IsOpen())
        return nullptr;
    const int code = file.ReadHeader(kQvFileBKT);
    QvDesignFileLink* link = QvGetDesignFileLink();
    if (code == 0 || !link)
        return nullptr;
    QvBracketGeoSeries* series = link->NewBracketSeries();
    if (series && !link->ReadBracketSeries(*series, file.Stream(), code, m_pModel))
    {
        link->DeleteBracketSeries(series);
        return nullptr;
    }
    return series;
}

// ---- Bodies on an open stream --------------------------------------------------------------

void QvReadWriteFile::WriteRVMBody(std::ostream& os, int version)
{
    if (QvMeasureFileLink* link = QvGetMeasureFileLink(); link && m_pModel)
        link->WriteBody(os, version, *m_pModel);
}

bool QvReadWriteFile::ReadRVMBody(std::istream& is, int version)
{
    QvMeasureFileLink* link = QvGetMeasureFileLink();
    return link && m_pModel && link->ReadBody(is, version, *m_pModel);
}

bool QvReadWriteFile::WriteOSBody(std::ostream& os, int version)
{
    if (m_pModel)
        m_pModel->WriteOS(os, version);
    return true;
}

bool QvReadWriteFile::ReadOSBody(std::istream& is, int version)
{
    return m_pModel && m_pModel->ReadOS(is, version, nullptr);
}

bool QvReadWriteFile::ReadDMBody(std::istream& is, int version) { return m_pModel && m_pModel->ReadDM(is, version); }
