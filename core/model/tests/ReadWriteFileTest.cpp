// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <minizip/zip.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <unistd.h>
#include <zlib.h>

#include <sstream>
#include <string>

#include "core/model/QvFileVersion.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvZipArchive.h"
#include "core/model/tests/CaseTestSupport.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/CaseFixtures.h"

namespace {

using namespace qvcasetest;
using qvtest::ReadWholeFile;
using qvtest::ScratchFolder;
using qvtest::WriteWholeFile;

class ReadWriteFile : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        QvResetImageMeasureOps();
        QvSetSchemeFileLink(nullptr);
        QvSetMeasureFileLink(nullptr);
        QvSetDesignFileLink(nullptr);
        QvEntity::SetNextId(100);
    }
    ScratchFolder m_folder;
};

std::string Header(int fileType, int version) { return QvMakeHeader(fileType, version) + "\n"; }

qvtest::CaseOptions SmallCase()
{
    qvtest::CaseOptions options;
    options.fdis = {11, 26, 36, 41};
    options.crownRings = 3;
    options.crownAround = 6;
    return options;
}

std::string DMFile(const QvModel& model, int version)
{
    std::ostringstream os;
    os << Header(kQvFileDM, version);
    model.WriteDM(os, version);
    return os.str();
}

// ---- Case document --------------------------------------------------------------------

TEST_F(ReadWriteFile, CaseDocumentRoundTripsThroughAFile)
{
    QvModel source;
    qvtest::FillCase(source);
    QvReadWriteFile writer(&source, 0);
    const std::string path = m_folder / "case.OS";
    const int latest = QvFileVersionMgr::Instance().GetLatestVersion(kQvFileOS);
    ASSERT_EQ(latest, 0x413);
    ASSERT_TRUE(writer.WriteOS(path, latest));
    EXPECT_EQ(ReadWholeFile(path).rfind("Rivela OS File #V3.7(B)@", 0), 0u);

    QvModel back;
    QvReadWriteFile reader(&back, 0);
    ASSERT_EQ(reader.ReadOS(path), 0);
    ExpectSameCase(source, back);
    int code = 0;
    ASSERT_TRUE(QvFileVersionMgr::Instance().GetReadVersion(kQvFileOS, code));
    EXPECT_EQ(code, 0x413);
    EXPECT_EQ(reader.GetOption(), 0);
}

TEST_F(ReadWriteFile, CaseDocumentHeaderCodes)
{
    struct Row
    {
        const char* name;
        std::string bytes;
        int code;
    } rows[] = {
        {"empty", "", 3},
        {"no #V", "Rivela OS File 3.7(B)@2024/1/9\n", 3},
        {"no line feed", "Rivela OS File #V3.7(B)@2024/1/9", 3},
        {"unknown version", "Rivela OS File #V9.9(B)@2024/1/9\n", 3},
        {"a version only templates have", Header(kQvFileATT, 0x4004), 3},
        {"version 1.0", Header(kQvFileOS, 0x401) + "anything", 2},
        {"old binary form", std::string("ODS\x06", 4) + "rest", 2},
        {"old binary, other kind", std::string("ODS\x07", 4), 3},
        {"old binary, cut", "ODS", 3},
        {"header, no body", Header(kQvFileOS, 0x413), 1},
        {"code without text", Header(kQvFileOS, 0x40B) + std::string(8, '\xff'), 3}, // 0x40B has no text
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const std::string path = m_folder / "case.OS";
        ASSERT_TRUE(WriteWholeFile(path, row.bytes));
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        EXPECT_EQ(reader.ReadOS(path), row.code);
    }
    QvModel model;
    QvReadWriteFile reader(&model, 0);
    EXPECT_EQ(reader.ReadOS(m_folder / "missing.OS"), 1);
}

TEST_F(ReadWriteFile, VersionIsRecordedEvenWhenTheBodyFails)
{
    const std::string path = m_folder / "case.OS";
    ASSERT_TRUE(WriteWholeFile(path, Header(kQvFileOS, 0x408) + "\x01\x02"));
    QvModel model;
    QvReadWriteFile reader(&model, 0);
    EXPECT_EQ(reader.ReadOS(path), 1);
    int code = 0;
    ASSERT_TRUE(QvFileVersionMgr::Instance().GetReadVersion(kQvFileOS, code));
    EXPECT_EQ(code, 0x408);

    // Version 1.0 reads nothing and records nothing new.
    QvFileVersionMgr::Instance().SetReadVersion(kQvFileDM, 0x801);
    ASSERT_TRUE(WriteWholeFile(path, Header(kQvFileOS, 0x401)));
    EXPECT_EQ(reader.ReadOS(path), 2);
    EXPECT_FALSE(QvFileVersionMgr::Instance().GetReadVersion(kQvFileOS, code));
}

TEST_F(ReadWriteFile, WriteOSOutsideTheBodyVersions)
{
    QvModel model;
    qvtest::FillCase(model, SmallCase());
    QvReadWriteFile writer(&model, 0);
    const std::string path = m_folder / "case.OS";
    ASSERT_TRUE(writer.WriteOS(path, 0x401));
    EXPECT_EQ(ReadWholeFile(path), Header(kQvFileOS, 0x401)); // the header line alone

    // No body can be written: false, and the file that was there stays as it was.
    EXPECT_FALSE(writer.WriteOS(path, 0x414));
    EXPECT_EQ(ReadWholeFile(path), Header(kQvFileOS, 0x401));
    EXPECT_FALSE(writer.WriteOS(m_folder / "new.OS", 0x414));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "new.OS"));
}

TEST_F(ReadWriteFile, ReadOnlyTargetIsNeverReplaced)
{
    QvModel model;
    qvtest::FillCase(model, SmallCase());
    QvReadWriteFile writer(&model, 0);
    const std::string path = m_folder / "case.OS";
    ASSERT_TRUE(WriteWholeFile(path, "the old case"));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_FALSE(writer.WriteOS(path, 0x413));
    EXPECT_EQ(ReadWholeFile(path), "the old case");
    // Nothing is left beside it either.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.Path()), {}), 1);

    // A folder the process cannot write into (root can, so only for other users).
    if (::geteuid() != 0)
    {
        const std::filesystem::path locked = m_folder.Path() / "locked";
        std::filesystem::create_directory(locked);
        ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
        EXPECT_FALSE(writer.WriteOS((locked / "case.OS").string(), 0x413));
    }
}

// A file-size limit makes writes past it fail the way a full disk does.
TEST_F(ReadWriteFile, FailedWriteKeepsTheOldFile)
{
    QvModel model;
    qvtest::FillCase(model);
    QvReadWriteFile writer(&model, 0);
    const std::string path = m_folder / "case.OS";
    ASSERT_TRUE(WriteWholeFile(path, "the old case"));

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = writer.WriteOS(path, 0x413);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadWholeFile(path), "the old case");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.Path()), {}), 1);
}

// ---- Dental model ---------------------------------------------------------------------------

void MakeZip(const std::string& path, const std::string& name, const std::string& data)
{
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_DEFAULT_COMPRESSION, 1),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

TEST_F(ReadWriteFile, DentalModelFromAZip)
{
    FakeSchemeLog log;
    QvSetSchemeFileLink(std::make_unique<FakeSchemeLink>(&log));
    QvModel source;
    qvtest::FillCase(source);
    const std::string archive = m_folder / "model.zip";
    MakeZip(archive, "C2024-0001/model.DM", DMFile(source, 0x806));

    QvZipArchive zip;
    std::vector<std::string> names;
    testing::internal::CaptureStdout();
    const bool unzipped = zip.Unzip(archive, m_folder.Slash(), &names);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(unzipped);
    ASSERT_EQ(names, std::vector<std::string>{"C2024-0001/model.DM"});

    QvModel back;
    QvReadWriteFile reader(&back, 0);
    ASSERT_EQ(reader.ReadDM(m_folder / names[0]), 0);
    ExpectSameCase(source, back);
    EXPECT_EQ(log.defaultSchemes, 1);
    int code = 0;
    ASSERT_TRUE(QvFileVersionMgr::Instance().GetReadVersion(kQvFileDM, code));
    EXPECT_EQ(code, 0x806);
}

TEST_F(ReadWriteFile, DentalModelCodes)
{
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    const std::string path = m_folder / "model.DM";
    struct Row
    {
        const char* name;
        std::string bytes;
        int code;
    } rows[] = {
        {"empty", "", 3},
        {"case document", Header(kQvFileOS, 0x413), 3},
        {"truncated body", DMFile(source, 0x806).substr(0, 200), 1},
        {"whole", DMFile(source, 0x803), 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteWholeFile(path, row.bytes));
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        EXPECT_EQ(reader.ReadDM(path), row.code);
    }
    QvModel model;
    QvReadWriteFile reader(&model, 0);
    EXPECT_EQ(reader.ReadDM(m_folder / "missing.DM"), 1);
}

// ---- Scheme files -----------------------------------------------------------------------------

TEST_F(ReadWriteFile, SchemeFiles)
{
    QvModel model;
    QvReadWriteFile file(&model, 0);
    const std::string path = m_folder / "plan.RVS";
    std::vector<QvScheme*> out;
    QvPatientInfo info;
    ASSERT_TRUE(WriteWholeFile(path, ""));
    EXPECT_EQ(file.ReadRVS(path, out, &info), 3);
    EXPECT_EQ(file.ReadRVS(m_folder / "missing.RVS", out, &info), 1);
    // Without the scheme library no scheme can be written.
    FakeScheme one{5};
    EXPECT_FALSE(file.WriteRVSScheme(path, 0x2007, reinterpret_cast<QvScheme*>(&one)));

    FakeSchemeLog log;
    QvSetSchemeFileLink(std::make_unique<FakeSchemeLink>(&log));
    model.GetPatientInfo()->m_title = "C-RVS";
    // 0x2004: one scheme, no count.
    ASSERT_TRUE(file.WriteRVSScheme(path, 0x2004, reinterpret_cast<QvScheme*>(&one)));
    EXPECT_EQ(ReadWholeFile(path).size(), Header(kQvFileRVS, 0x2004).size() + 4 * 5 + 5 + 4);
    ASSERT_EQ(file.ReadRVS(path, out, &info), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(AsFake(out[0])->value, 5);
    EXPECT_EQ(info.m_title, "C-RVS");

    // 0x2005 on: a count; 0 schemes is a success.
    ASSERT_TRUE(file.WriteRVS(path, 0x2007, {}));
    EXPECT_EQ(file.ReadRVS(path, out, nullptr), 0);
    EXPECT_EQ(out.size(), 1u);

    // The second of three fails: 1, and the first stays in the list.
    FakeScheme bad{-1}, three{7};
    ASSERT_TRUE(file.WriteRVS(path, 0x2007,
                              {reinterpret_cast<QvScheme*>(&one), reinterpret_cast<QvScheme*>(&bad),
                               reinterpret_cast<QvScheme*>(&three)}));
    EXPECT_EQ(file.ReadRVS(path, out, &info), 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(AsFake(out[1])->value, 5);
    for (QvScheme* scheme : out)
        delete AsFake(scheme);

    // A negative count is a bad body, not a huge list.
    std::ostringstream damaged;
    damaged << Header(kQvFileRVS, 0x2007);
    QvPatientInfo().Write(damaged, 0x2007);
    qvio::WriteI32(damaged, -3);
    ASSERT_TRUE(WriteWholeFile(path, damaged.str()));
    out.clear();
    EXPECT_EQ(file.ReadRVS(path, out, &info), 1);
    EXPECT_TRUE(out.empty());
}

// ---- Measurement files, templates, series ------------------------------------------------------

class FakeMeasureLink : public QvMeasureFileLink
{
public:
    bool ReadBody(std::istream& is, int, QvModel&) override
    {
        std::int32_t v = 0;
        return qvio::ReadI32(is, v) && v == 42;
    }
    void WriteBody(std::ostream& os, int, const QvModel&) override { qvio::WriteI32(os, 42); }
};

TEST_F(ReadWriteFile, MeasurementFiles)
{
    QvModel model;
    QvReadWriteFile file(&model, 0);
    const std::string path = m_folder / "case.RVM";
    ASSERT_TRUE(WriteWholeFile(path, ""));
    EXPECT_FALSE(file.ReadRVM(path));
    EXPECT_TRUE(model.m_fileVersions.empty());
    EXPECT_FALSE(file.WriteRVM(path, 0x8005)); // no body writer yet

    QvSetMeasureFileLink(std::make_unique<FakeMeasureLink>());
    ASSERT_TRUE(file.WriteRVM(path, 0x8005));
    EXPECT_TRUE(file.ReadRVM(path));
    EXPECT_EQ(model.m_fileVersions[kQvFileRVM], 0x8005);
    // A failing body still records the version.
    ASSERT_TRUE(WriteWholeFile(path, Header(kQvFileRVM, 0x8003) + "xx"));
    EXPECT_FALSE(file.ReadRVM(path));
    EXPECT_EQ(model.m_fileVersions[kQvFileRVM], 0x8003);
}

struct FakeGeo
{
    std::string name;
    std::int32_t value = 0;
};

class FakeDesignLink : public QvDesignFileLink
{
public:
    QvAttachGeo* CreateAttachGeoByClassName(const std::string& name) override
    {
        return name == "QvAttachGeoStd" ? reinterpret_cast<QvAttachGeo*>(new FakeGeo{name}) : nullptr;
    }
    QvAttachGeo* CreateAttachGeoByKindCode(int kind) override
    {
        return kind == 0x10000001 ? reinterpret_cast<QvAttachGeo*>(new FakeGeo{"kind"}) : nullptr;
    }
    bool ReadAttachGeo(QvAttachGeo& geo, std::istream& is, int, QvModel*) override
    {
        return qvio::ReadI32(is, reinterpret_cast<FakeGeo&>(geo).value) && reinterpret_cast<FakeGeo&>(geo).value >= 0;
    }
    void DeleteAttachGeo(QvAttachGeo* geo) override { delete reinterpret_cast<FakeGeo*>(geo); }
    QvBracketGeoSeries* NewBracketSeries() override { return reinterpret_cast<QvBracketGeoSeries*>(new FakeGeo()); }
    bool ReadBracketSeries(QvBracketGeoSeries& series, std::istream& is, int, QvModel*) override
    {
        return qvio::ReadI32(is, reinterpret_cast<FakeGeo&>(series).value);
    }
    void WriteBracketSeries(const QvBracketGeoSeries& series, std::ostream& os, int) override
    {
        qvio::WriteI32(os, reinterpret_cast<const FakeGeo&>(series).value);
    }
    void DeleteBracketSeries(QvBracketGeoSeries* series) override { delete reinterpret_cast<FakeGeo*>(series); }
};

std::string NamedTemplate(const std::string& name, std::int32_t value)
{
    std::ostringstream os;
    os << Header(kQvFileATT, 0x4002);
    qvio::WriteI32(os, static_cast<std::int32_t>(name.size() + 3));
    os.write(name.data(), static_cast<std::streamsize>(name.size()));
    os.write("\0xy", 3); // the name ends at its first zero byte
    qvio::WriteI32(os, value);
    return os.str();
}

TEST_F(ReadWriteFile, TemplatesAndSeries)
{
    QvModel model;
    QvReadWriteFile file(&model, 0);
    const std::string att = m_folder / "a.ATT";
    const std::string bkt = m_folder / "b.bkt";
    ASSERT_TRUE(WriteWholeFile(att, ""));
    ASSERT_TRUE(WriteWholeFile(bkt, ""));
    EXPECT_EQ(file.ReadATT(att), nullptr);
    EXPECT_EQ(file.ReadBKT(bkt), nullptr);
    ASSERT_TRUE(WriteWholeFile(att, NamedTemplate("QvAttachGeoStd", 3)));
    EXPECT_EQ(file.ReadATT(att), nullptr); // nothing can make a geometry yet

    QvSetDesignFileLink(std::make_unique<FakeDesignLink>());
    QvAttachGeo* geo = file.ReadATT(att);
    ASSERT_NE(geo, nullptr);
    EXPECT_EQ(reinterpret_cast<FakeGeo*>(geo)->name, "QvAttachGeoStd");
    EXPECT_EQ(reinterpret_cast<FakeGeo*>(geo)->value, 3);
    delete reinterpret_cast<FakeGeo*>(geo);

    struct Row
    {
        const char* name;
        std::string bytes;
        bool made;
    } rows[] = {
        {"unknown class", NamedTemplate("QvAttachGeoOther", 3), false},
        {"failing body", NamedTemplate("QvAttachGeoStd", -1), false},
        {"version 1.0", Header(kQvFileATT, 0x4001) + std::string(8, '\0'), false},
        {"negative name length", Header(kQvFileATT, 0x4002) + std::string("\xff\xff\xff\xff", 4), false},
        {"kind code", Header(kQvFileATT, 0x4005) + std::string("\x01\0\0\x10\x09\0\0\0", 8), true},
        {"unknown kind", Header(kQvFileATT, 0x4003) + std::string("\x02\0\0\x10\x09\0\0\0", 8), false},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteWholeFile(att, row.bytes));
        QvAttachGeo* read = file.ReadATT(att);
        EXPECT_EQ(read != nullptr, row.made);
        delete reinterpret_cast<FakeGeo*>(read);
    }

    FakeGeo series{"series", 12};
    ASSERT_TRUE(file.WriteBKT(bkt, 0x10001, reinterpret_cast<QvBracketGeoSeries*>(&series)));
    QvBracketGeoSeries* back = file.ReadBKT(bkt);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(reinterpret_cast<FakeGeo*>(back)->value, 12);
    delete reinterpret_cast<FakeGeo*>(back);
    ASSERT_TRUE(WriteWholeFile(bkt, Header(kQvFileBKT, 0x10001) + "\x01"));
    EXPECT_EQ(file.ReadBKT(bkt), nullptr);
}

// ---- Helpers -------------------------------------------------------------------------------------

TEST_F(ReadWriteFile, LegacyToothCodes)
{
    for (const int fdi : {11, 18, 21, 27, 31, 36, 41, 48})
    {
        QvTooth tooth;
        tooth.SetFdi(fdi);
        const unsigned code = QvReadWriteFile::MakeToothCode(&tooth);
        EXPECT_NE(code & 0x10000000u, 0u);
        EXPECT_EQ((code & 0x20u) != 0, fdi < 30) << fdi;
        EXPECT_EQ(QvReadWriteFile::ToothCodeToFdi(code), fdi);
        // The variant marks the lower jaw with 0x40 instead.
        const unsigned lower = (code & ~0x20u) | (fdi > 30 ? 0x40u : 0u);
        EXPECT_EQ(QvReadWriteFile::LowerToothCodeToFdi(lower), fdi);
    }
    EXPECT_EQ(QvReadWriteFile::ParseHeader(QvReadWriteFile::MakeHeader(kQvFileOS, 0x410), kQvFileOS), 0x410);
}

TEST_F(ReadWriteFile, TransformIsCopied)
{
    QvReadWriteFile file(nullptr, 0);
    EXPECT_DOUBLE_EQ(file.GetTransform()->m_scale, 1.0);
    QvTransform t;
    t.m_scale = 2.5;
    t.m_translation = QvVector(1.0, 2.0, 3.0);
    file.SetTransform(t);
    EXPECT_DOUBLE_EQ(file.GetTransform()->m_scale, 2.5);
    EXPECT_DOUBLE_EQ(file.GetTransform()->m_translation.m_coord[1], 2.0);
    // Without a model no body is read.
    const std::string path = m_folder / "case.OS";
    ASSERT_TRUE(WriteWholeFile(path, Header(kQvFileOS, 0x413)));
    EXPECT_EQ(file.ReadOS(path), 1);
    EXPECT_FALSE(file.WriteOS(path, 0x413));
}

} // namespace
