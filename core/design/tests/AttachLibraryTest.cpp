// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/QvDesignFileLinks.h"
#include "core/design/tests/AttachFixtures.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvReadWriteFile.h"
#include "testing/ByteSweep.h"

namespace {

class AttachLibrary : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/rivela-att-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
        QvAttachGeoMgr::Reset();
        QvInstallDesignFileLink();
    }
    void TearDown() override
    {
        QvAttachGeoMgr::Reset();
        QvSetDesignFileLink(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

public:

    std::string Path(const std::string& name) const { return m_folder + "/" + name; }

    // Writes a populated template of the class.
    template <typename T>
    std::string WriteGeo(const std::string& file, const std::string& name, int version)
    {
        T geo;
        qvdesigntest::Populate(geo, name);
        const std::string path = Path(file);
        EXPECT_TRUE(QvAttachGeoMgr::WriteTemplate(path, geo, version));
        return path;
    }

    void WriteRaw(const std::string& file, const std::string& bytes) const
    {
        std::ofstream os(Path(file), std::ios::binary);
        os << bytes;
    }

    std::string m_folder;
};

TEST_F(AttachLibrary, TemplatesReadBackThroughTheFileLayerAndTheLibrarysOwnReader)
{
    struct Row
    {
        const char* file;
        std::function<std::string(AttachLibrary&)> write;
        QvTypeCode type;
        int kind;
    };
    const Row rows[] = {
        {"sj16386", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoStdSJ>("sj16386", "SJ01", 16386); },
         0x10000010, 0x10000001},
        // The kind-code forms make a plain standard geometry of a named standard shape.
        {"sj16387", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoStdSJ>("sj16387", "SJ01", 16387); },
         0x10000000, 0x10000001},
        {"spot", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoPressureSpot>("spot", "PS", 16388); },
         0x10000100, 0x10000004},
        {"zone", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoPressureZone>("zone", "PZ", 16389); },
         0x10000200, 0x10000002},
        {"cut", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoCutInstruction>("cut", "CI", 16387); },
         0x10001000, 0x10000020},
        {"power", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoStdPower>("power", "PW01", 16389); },
         0x10000004, 0x10000080},
        {"dev", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoLowerDev>("dev", "AB1CD2", 16388); },
         0x10000800, 0x10000040},
        {"hook", [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoTowingHook>("hook", "TH", 16388); },
         0x10002000, 0x10000010},
        {"button",
         [](AttachLibrary& t) { return t.WriteGeo<QvAttachGeoLingualButton>("button", "LB", 16388); }, 0x10002000,
         0x10000008},
    };
    QvReadWriteFile layer(nullptr, 0);
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.file);
        const std::string path = r.write(*this);
        std::unique_ptr<QvAttachGeo> viaLayer(layer.ReadATT(path));
        std::unique_ptr<QvAttachGeo> viaOwn(QvAttachGeoMgr::ReadTemplate(path));
        for (QvAttachGeo* geo : {viaLayer.get(), viaOwn.get()})
        {
            ASSERT_NE(geo, nullptr);
            EXPECT_EQ(geo->GetType(), r.type);
            EXPECT_EQ(geo->GetKindCode(), r.kind);
            EXPECT_EQ(geo->m_nValue2, -9);
            EXPECT_FALSE(geo->m_faces.empty());
        }
        EXPECT_EQ(viaLayer->m_name, viaOwn->m_name);
    }
    // A class name that only the kind-code form may carry gives no template.
    EXPECT_FALSE(QvAttachGeoMgr::WriteTemplate(Path("bad"), QvAttachGeoStd(), 16385));
    EXPECT_FALSE(QvAttachGeoMgr::WriteTemplate(Path("bad"), QvAttachGeoStd(), 16390));
    WriteGeo<QvAttachGeoStdPower>("power16386", "PW", 16386);
    EXPECT_EQ(layer.ReadATT(Path("power16386")), nullptr);
    EXPECT_EQ(QvAttachGeoMgr::ReadTemplate(Path("power16386")), nullptr);
}

TEST_F(AttachLibrary, FactoriesAnswerTheirTablesOnly)
{
    struct NameRow
    {
        const char* name;
        QvTypeCode type; // 0: null
    };
    for (const NameRow& r : {NameRow{"QvAttachGeoStd", 0x10000000}, NameRow{"QvAttachGeoStdCZ", 0x10000004},
                             NameRow{"QvAttachGeoStdNZ", 0x10000080}, NameRow{"QvAttachGeoStdPD", 0x10000040},
                             NameRow{"QvAttachGeoStdSD", 0x10000020}, NameRow{"QvAttachGeoStdSJ", 0x10000010},
                             NameRow{"QvAttachGeoStdSP", 0x10000008}, NameRow{"QvAttachGeo", 0},
                             NameRow{"QvAttachGeoStdPower", 0}, NameRow{"qvattachgeostd", 0},
                             NameRow{"QvAttachGeoStd ", 0}, NameRow{"", 0}})
    {
        std::unique_ptr<QvAttachGeo> geo(QvAttachGeoMgr::CreateByClassName(r.name));
        if (r.type == 0)
            EXPECT_EQ(geo, nullptr) << r.name;
        else
        {
            ASSERT_NE(geo, nullptr) << r.name;
            EXPECT_EQ(geo->GetType(), r.type) << r.name;
            EXPECT_EQ(geo->GetClassName(), r.name);
        }
    }
    for (int kind : {0x10000001, 0x10000002, 0x10000004, 0x10000008, 0x10000010, 0x10000020, 0x10000040,
                     0x10000080})
    {
        std::unique_ptr<QvAttachGeo> geo(QvAttachGeoMgr::CreateByKindCode(kind));
        ASSERT_NE(geo, nullptr);
        EXPECT_EQ(geo->GetKindCode(), kind);
        qvdesigntest::Populate(*geo, "N");
        std::unique_ptr<QvAttachGeo> clone(QvAttachGeoMgr::CloneByKindCode(geo.get()));
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(clone->GetKindCode(), kind);
        EXPECT_EQ(clone->GetType(), geo->GetType());
        EXPECT_EQ(clone->m_faces.size(), geo->m_faces.size());
    }
    for (int kind : {0, 0x10000000, 0x10000003, 0x10000100, -1})
        EXPECT_EQ(QvAttachGeoMgr::CreateByKindCode(kind), nullptr) << kind;
    QvAttachGeo plain;
    EXPECT_EQ(QvAttachGeoMgr::CloneByKindCode(&plain), nullptr);
    EXPECT_EQ(QvAttachGeoMgr::CloneByKindCode(nullptr), nullptr);
}

TEST_F(AttachLibrary, ReadFolderKeepsValidRegularFilesOnly)
{
    ASSERT_EQ(::mkdir(Path("sub").c_str(), 0777), 0);
    WriteGeo<QvAttachGeoStdCZ>("sub/inner", "IN", 16386);
    WriteGeo<QvAttachGeoStd>("old", "OLD", 16387);
    // Version 16385 carries no template form: rewrite the header of a valid file.
    {
        std::ifstream is(Path("old"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
        const std::size_t v = bytes.find("#V3.0");
        ASSERT_NE(v, std::string::npos);
        bytes.replace(v, 5, "#V1.0");
        WriteRaw("old", bytes);
    }
    WriteRaw("garbage", "not a template\n\x01\x02");
    WriteRaw("empty", "");
    // A valid header with a kind code no factory makes, and one with a cut body.
    WriteRaw("unknown-kind", QvMakeHeader(kQvFileATT, 16387) + "\n" +
                                 qvtest::BytesOf([](std::ostream& os) { qvio::WriteI32(os, 0x10000100); }));
    const std::string good = WriteGeo<QvAttachGeoPressureSpot>("good", "PS01", 16387);
    {
        std::ifstream is(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
        WriteRaw("cut-short", bytes.substr(0, bytes.size() - 3));
    }
    ASSERT_EQ(::symlink(good.c_str(), Path("link").c_str()), 0);

    QvAttachGeoMgr::Library& library = QvAttachGeoMgr::Instance();
    QvAttachGeoMgr::ReadFolder(library, m_folder.c_str());
    ASSERT_EQ(library.size(), 1u);
    EXPECT_EQ(library[0]->m_name, "PS01");
    EXPECT_EQ(library[0]->m_state & kQvStateShown, 0u) << "templates are hidden";

    // A folder that cannot be opened changes nothing; reading again appends.
    QvAttachGeoMgr::ReadFolder(library, Path("missing").c_str());
    QvAttachGeoMgr::ReadFolder(library, nullptr);
    EXPECT_EQ(library.size(), 1u);
    QvAttachGeoMgr::ReadFolder(library, m_folder.c_str());
    EXPECT_EQ(library.size(), 2u);
}

TEST_F(AttachLibrary, ReadFolderInstallsTheFileLinkWhenMissing)
{
    WriteGeo<QvAttachGeoStd>("a", "A1", 16389);
    QvSetDesignFileLink(nullptr);
    QvAttachGeoMgr::ReadFolder(QvAttachGeoMgr::Instance(), m_folder.c_str());
    EXPECT_EQ(QvAttachGeoMgr::Instance().size(), 1u);
    EXPECT_NE(QvGetDesignFileLink(), nullptr);
}

TEST_F(AttachLibrary, FindByNameSharesFixedKindsAndClonesOwnedOnes)
{
    QvAttachGeoMgr::Library& library = QvAttachGeoMgr::Instance();
    EXPECT_EQ(QvAttachGeoMgr::FindByName(library, "PS01"), nullptr) << "empty library";
    auto* spot = new QvAttachGeoPressureSpot;
    qvdesigntest::Populate(*spot, "PS01");
    auto* first = new QvAttachGeoStdCZ;
    qvdesigntest::Populate(*first, "CZ01");
    auto* second = new QvAttachGeoStdSP;
    qvdesigntest::Populate(*second, "CZ01");
    library = {spot, first, second};

    EXPECT_EQ(QvAttachGeoMgr::FindByName(library, "CZ01"), first) << "the earlier of two equal names";
    EXPECT_EQ(QvAttachGeoMgr::FindByName(library, "cz01"), nullptr);
    EXPECT_EQ(QvAttachGeoMgr::FindByName(library, "CZ0"), nullptr);

    std::unique_ptr<QvAttachGeo> a(QvAttachGeoMgr::FindByName(library, "PS01"));
    std::unique_ptr<QvAttachGeo> b(QvAttachGeoMgr::FindByName(library, "PS01"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a.get(), spot);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->GetType(), 0x10000100u);
    EXPECT_EQ(a->m_faces.size(), spot->m_faces.size());

    // The uncalled helpers.
    std::unique_ptr<QvAttachGeo> at0(QvAttachGeoMgr::GetAt(library, 0));
    EXPECT_NE(at0.get(), spot);
    EXPECT_EQ(at0->m_name, "PS01");
    EXPECT_EQ(QvAttachGeoMgr::GetAt(library, 2), first) << "looked up again by its name";
    EXPECT_EQ(QvAttachGeoMgr::GetAt(library, 3), nullptr);
    EXPECT_EQ(QvAttachGeoMgr::GetAt(library, -1), nullptr);
    EXPECT_EQ(QvAttachGeoMgr::IndexOf(library, second), 2);
    EXPECT_EQ(QvAttachGeoMgr::IndexOf(library, a.get()), -1);
    for (QvAttachGeo* geo : library)
        geo->m_bModified = false;
    QvAttachGeoMgr::SetAllModified(library);
    for (QvAttachGeo* geo : library)
        EXPECT_TRUE(geo->m_bModified);
    first->m_name = "Invalid";
    spot->m_name = "Invalid";
    QvAttachGeoMgr::RemoveInvalid(library);
    ASSERT_EQ(library.size(), 1u);
    EXPECT_EQ(library[0], second);

    // Closing a case empties the library.
    const std::size_t capacity = library.capacity();
    QvAttachGeoMgr::Clear(library);
    EXPECT_TRUE(library.empty());
    EXPECT_EQ(library.capacity(), capacity);
    EXPECT_EQ(QvAttachGeoMgr::FindByName(library, "CZ01"), nullptr);
}

TEST_F(AttachLibrary, TemplateBodiesSurviveTruncationAndDamage)
{
    struct Row
    {
        int version;
        std::function<std::unique_ptr<QvAttachGeo>()> make;
    };
    const Row rows[] = {
        {16386, [] { return std::make_unique<QvAttachGeoStdNZ>(); }},
        {16387, [] { return std::make_unique<QvAttachGeoStdPower>(); }},
        {16388, [] { return std::make_unique<QvAttachGeoPressureZone>(); }},
        {16389, [] { return std::make_unique<QvAttachGeoLowerDev>(); }},
    };
    for (const Row& r : rows)
    {
        std::unique_ptr<QvAttachGeo> geo = r.make();
        qvdesigntest::Populate(*geo, "T1");
        const std::string body = qvtest::BytesOf([&](std::ostream& os) {
            if (r.version == 16386)
                qvio::WriteString(os, geo->GetClassName());
            else
                qvio::WriteI32(os, geo->GetKindCode());
            geo->Write(os, r.version);
        });
        qvtest::ExpectReaderSurvivesDamage(
            body,
            [&](std::istream& is) {
                std::unique_ptr<QvAttachGeo> read(QvAttachGeoMgr::ReadTemplateBody(is, r.version, nullptr));
                return read != nullptr;
            },
            100);
    }
    // Whole files cut at a few places give no template through either reader.
    const std::string path = WriteGeo<QvAttachGeoStdSD>("whole", "SD", 16386);
    std::ifstream is(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
    QvReadWriteFile layer(nullptr, 0);
    for (std::size_t cut : {std::size_t(0), std::size_t(10), bytes.find('\n') + 1, bytes.size() / 2, bytes.size() - 1})
    {
        WriteRaw("cut", bytes.substr(0, cut));
        EXPECT_EQ(layer.ReadATT(Path("cut")), nullptr) << cut;
        EXPECT_EQ(QvAttachGeoMgr::ReadTemplate(Path("cut")), nullptr) << cut;
    }
    EXPECT_EQ(QvAttachGeoMgr::ReadTemplate(Path("does-not-exist")), nullptr);
}

} // namespace
