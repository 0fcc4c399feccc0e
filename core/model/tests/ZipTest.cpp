// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <minizip/zip.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/model/QvInputBounds.h"
#include "core/model/QvZipArchive.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/ByteSweep.h"

namespace {

namespace fs = std::filesystem;
using qvtest::ReadWholeFile;
using qvtest::ScratchFolder;
using qvtest::WriteWholeFile;
using Names = std::vector<std::string>;

struct Entry
{
    std::string name;
    std::string data;
    bool stored = false;
    const char* password = nullptr;
};

// Writes the archive with minizip's own writer.
void MakeZip(const std::string& path, const std::vector<Entry>& entries)
{
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    for (const Entry& e : entries)
    {
        zip_fileinfo info{};
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        const int method = e.stored ? 0 : Z_DEFLATED;
        ASSERT_EQ(zipOpenNewFileInZip3_64(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                          e.stored ? 0 : Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                          Z_DEFAULT_STRATEGY, e.password, crc, 0),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

// Runs Unzip with standard output captured.
bool Extract(QvZipArchive& zip, const std::string& archive, const std::string& folder, Names* names,
             std::string* out = nullptr)
{
    testing::internal::CaptureStdout();
    const bool ok = zip.Unzip(archive, folder, names);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out != nullptr)
        *out = printed;
    return ok;
}

bool Extract(const std::string& archive, const std::string& folder, Names* names, std::string* out = nullptr)
{
    QvZipArchive zip;
    return Extract(zip, archive, folder, names, out);
}

// Every file below root, relative, except the archives themselves.
Names FilesBelow(const fs::path& root)
{
    Names files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().extension() != ".zip")
            files.push_back(fs::relative(e.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Zip, ExtractsEveryFileInArchiveOrder)
{
    ScratchFolder dir;
    const std::string big(100000, 'q');
    MakeZip(dir / "case.zip", {
                                  {"model/case.dm", "dental model"},
                                  {"readme.txt", "stored text", true},
                                  {"empty.bin", ""},
                                  {"__MACOSX/._case.dm", "resource fork"},
                                  {"a/__MACOSX", "kept"},
                                  {"odd/\\name.txt", "cleaned"},
                                  {"deep/er/big.bin", big},
                                  {"folder/", ""},
                              });
    Names names = {"kept from before"};
    std::string printed;
    ASSERT_TRUE(Extract(dir / "case.zip", dir / "out/", &names, &printed));
    EXPECT_EQ(printed, "\n8 entries in the zip file\n");
    EXPECT_EQ(names, (Names{"kept from before", "model/case.dm", "readme.txt", "empty.bin", "a/__MACOSX",
                            "odd/name.txt", "deep/er/big.bin"}));
    const std::string out = dir / "out";
    EXPECT_EQ(ReadWholeFile(out + "/model/case.dm"), "dental model");
    EXPECT_EQ(ReadWholeFile(out + "/readme.txt"), "stored text");
    EXPECT_EQ(ReadWholeFile(out + "/a/__MACOSX"), "kept");
    EXPECT_EQ(ReadWholeFile(out + "/odd/name.txt"), "cleaned");
    EXPECT_TRUE(ReadWholeFile(out + "/deep/er/big.bin") == big);
    EXPECT_TRUE(fs::is_directory(out + "/folder"));
    EXPECT_FALSE(fs::exists(out + "/__MACOSX"));
    EXPECT_EQ(FilesBelow(out),
              (Names{"a/__MACOSX", "deep/er/big.bin", "empty.bin", "model/case.dm", "odd/name.txt", "readme.txt"}));

    // Extracting again replaces the files; a null list is allowed.
    WriteWholeFile(out + "/readme.txt", "changed");
    ASSERT_TRUE(Extract(dir / "case.zip", dir / "out/", nullptr));
    EXPECT_EQ(ReadWholeFile(out + "/readme.txt"), "stored text");
}

TEST(Zip, ArchivesWithoutFilesFail)
{
    ScratchFolder dir;
    MakeZip(dir / "empty.zip", {});
    MakeZip(dir / "folders.zip", {{"a/", ""}, {"a/b/", ""}});
    MakeZip(dir / "mac.zip", {{"__MACOSX/._x", "fork"}});
    const std::string archives[] = {dir / "empty.zip", dir / "folders.zip", dir / "mac.zip"};
    for (const std::string& archive : archives)
    {
        SCOPED_TRACE(archive);
        Names names;
        EXPECT_FALSE(Extract(archive, dir / "out/", &names));
        EXPECT_TRUE(names.empty());
    }
    EXPECT_TRUE(fs::is_directory(dir / "out/a/b"));

    std::string printed;
    EXPECT_FALSE(Extract(dir / "missing.zip", dir / "out/", nullptr, &printed));
    EXPECT_EQ(printed, "unzip failedunzip Error occurs");
    EXPECT_FALSE(Extract(dir / "out", dir / "out/", nullptr)); // a folder is no archive
    EXPECT_TRUE(FilesBelow(dir.Path()).empty());
}

// Made by another writer (bsdtar, traditional encryption, password "open sesame", data
// descriptors): secret.dm deflated, plain.txt deflated.
const unsigned char kForeignDeflated[] = {
    0x50, 0x4b, 0x03, 0x04, 0x14, 0x00, 0x09, 0x00, 0x08, 0x00, 0xea, 0x03, 0x8b, 0x5d, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00, 0x09, 0x00, 0x20, 0x00, 0x73, 0x65,
    0x63, 0x72, 0x65, 0x74, 0x2e, 0x64, 0x6d, 0x55, 0x54, 0x0d, 0x00, 0x07, 0x59, 0x44, 0x1b, 0x6b,
    0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x75, 0x78, 0x0b, 0x00, 0x01, 0x04, 0x00, 0x00,
    0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x6a, 0xa6, 0x39, 0x32, 0x29, 0x83, 0x87, 0xd3, 0xfe,
    0xcb, 0x28, 0x8a, 0x22, 0x0a, 0x75, 0x8a, 0x34, 0xa8, 0x1e, 0xb8, 0x8a, 0x33, 0x33, 0x89, 0xda,
    0xb4, 0x0f, 0xc1, 0x92, 0x3f, 0x89, 0xd5, 0xc2, 0x0d, 0xcc, 0xc0, 0x50, 0x4b, 0x07, 0x08, 0x1d,
    0x77, 0x02, 0x47, 0x24, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00, 0x50, 0x4b, 0x03, 0x04, 0x14,
    0x00, 0x09, 0x00, 0x08, 0x00, 0xea, 0x03, 0x8b, 0x5d, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x07, 0x00, 0x00, 0x00, 0x09, 0x00, 0x20, 0x00, 0x70, 0x6c, 0x61, 0x69, 0x6e, 0x2e, 0x74,
    0x78, 0x74, 0x55, 0x54, 0x0d, 0x00, 0x07, 0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x59,
    0x44, 0x1b, 0x6b, 0x75, 0x78, 0x0b, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00,
    0x00, 0x00, 0xa2, 0x7e, 0xeb, 0x2a, 0x25, 0xd0, 0x8b, 0xf1, 0x3e, 0x77, 0xa5, 0x87, 0x29, 0x6e,
    0x86, 0x2a, 0xfa, 0xa0, 0x57, 0x6b, 0x06, 0x50, 0x4b, 0x07, 0x08, 0x59, 0xe8, 0xb0, 0x7a, 0x15,
    0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x50, 0x4b, 0x01, 0x02, 0x14, 0x03, 0x14, 0x00, 0x09,
    0x00, 0x08, 0x00, 0xea, 0x03, 0x8b, 0x5d, 0x1d, 0x77, 0x02, 0x47, 0x24, 0x00, 0x00, 0x00, 0x36,
    0x00, 0x00, 0x00, 0x09, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa4,
    0x81, 0x00, 0x00, 0x00, 0x00, 0x73, 0x65, 0x63, 0x72, 0x65, 0x74, 0x2e, 0x64, 0x6d, 0x55, 0x54,
    0x0d, 0x00, 0x07, 0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x75,
    0x78, 0x0b, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x50, 0x4b,
    0x01, 0x02, 0x14, 0x03, 0x14, 0x00, 0x09, 0x00, 0x08, 0x00, 0xea, 0x03, 0x8b, 0x5d, 0x59, 0xe8,
    0xb0, 0x7a, 0x15, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x09, 0x00, 0x20, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa4, 0x81, 0x7b, 0x00, 0x00, 0x00, 0x70, 0x6c, 0x61, 0x69,
    0x6e, 0x2e, 0x74, 0x78, 0x74, 0x55, 0x54, 0x0d, 0x00, 0x07, 0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44,
    0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x75, 0x78, 0x0b, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00,
    0x04, 0x00, 0x00, 0x00, 0x00, 0x50, 0x4b, 0x05, 0x06, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02,
    0x00, 0xae, 0x00, 0x00, 0x00, 0xe7, 0x00, 0x00, 0x00, 0x00, 0x00,
};
// The same writer with stored data: plain.txt.
const unsigned char kForeignStored[] = {
    0x50, 0x4b, 0x03, 0x04, 0x14, 0x00, 0x09, 0x00, 0x00, 0x00, 0xea, 0x03, 0x8b, 0x5d, 0x00, 0x00,
    0x00, 0x00, 0x13, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x09, 0x00, 0x20, 0x00, 0x70, 0x6c,
    0x61, 0x69, 0x6e, 0x2e, 0x74, 0x78, 0x74, 0x55, 0x54, 0x0d, 0x00, 0x07, 0x59, 0x44, 0x1b, 0x6b,
    0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x75, 0x78, 0x0b, 0x00, 0x01, 0x04, 0x00, 0x00,
    0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x2f, 0x5a, 0xf5, 0x7d, 0xdf, 0x7f, 0x73, 0xc0, 0x8a,
    0xb0, 0xac, 0x53, 0xf2, 0x54, 0x04, 0x03, 0xde, 0xc0, 0x74, 0x50, 0x4b, 0x07, 0x08, 0x59, 0xe8,
    0xb0, 0x7a, 0x13, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x50, 0x4b, 0x01, 0x02, 0x14, 0x03,
    0x14, 0x00, 0x09, 0x00, 0x00, 0x00, 0xea, 0x03, 0x8b, 0x5d, 0x59, 0xe8, 0xb0, 0x7a, 0x13, 0x00,
    0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x09, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xa4, 0x81, 0x00, 0x00, 0x00, 0x00, 0x70, 0x6c, 0x61, 0x69, 0x6e, 0x2e, 0x74, 0x78,
    0x74, 0x55, 0x54, 0x0d, 0x00, 0x07, 0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44, 0x1b, 0x6b, 0x59, 0x44,
    0x1b, 0x6b, 0x75, 0x78, 0x0b, 0x00, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
    0x00, 0x50, 0x4b, 0x05, 0x06, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x57, 0x00, 0x00,
    0x00, 0x6a, 0x00, 0x00, 0x00, 0x00, 0x00,
};

// Traditional encryption written here without data descriptors, so the header's check
// byte is the CRC's high byte (the other writer checks against the time).
class Encrypter
{
public:
    explicit Encrypter(const std::string& password)
    {
        for (const char c : password)
            Update(static_cast<unsigned char>(c));
    }
    std::string operator()(std::string plain)
    {
        for (char& c : plain)
        {
            const std::uint32_t t = (m_keys[2] | 2) & 0xFFFF;
            const unsigned char p = static_cast<unsigned char>(c);
            c = static_cast<char>(p ^ ((t * (t ^ 1)) >> 8));
            Update(p);
        }
        return plain;
    }

private:
    void Update(unsigned char p)
    {
        const z_crc_t* table = get_crc_table();
        m_keys[0] = table[(m_keys[0] ^ p) & 0xFF] ^ (m_keys[0] >> 8);
        m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
        m_keys[2] = table[(m_keys[2] ^ (m_keys[1] >> 24)) & 0xFF] ^ (m_keys[2] >> 8);
    }
    std::uint32_t m_keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

std::string RawDeflate(const std::string& data)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void MakeEncryptedZip(const std::string& path, const std::string& password, const std::vector<Entry>& entries)
{
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    for (const Entry& e : entries)
    {
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        std::string header(11, 'h');
        header += static_cast<char>(crc >> 24);
        Encrypter encrypt(password);
        std::string body = encrypt(header); // the key stream runs on: header first
        body += encrypt(e.stored ? e.data : RawDeflate(e.data));
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip4_64(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                          e.stored ? 0 : Z_DEFLATED, 9, 1, -MAX_WBITS, DEF_MEM_LEVEL,
                                          Z_DEFAULT_STRATEGY, nullptr, 0, 0, 1, 0),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zf, body.data(), static_cast<unsigned>(body.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZipRaw64(zf, e.data.size(), crc), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

TEST(Zip, PasswordProtectedEntries)
{
    ScratchFolder dir;
    const std::string secret = "secret model data secret model data secret model data\n";
    WriteWholeFile(dir / "foreign.zip", std::string(std::begin(kForeignDeflated), std::end(kForeignDeflated)));
    WriteWholeFile(dir / "foreign_stored.zip", std::string(std::begin(kForeignStored), std::end(kForeignStored)));
    MakeEncryptedZip(dir / "local.zip", "open sesame",
                     {{"secret.dm", secret}, {"plain.txt", "visible", true}});
    // Plain entries beside encrypted ones are read as they are.
    MakeZip(dir / "mixed.zip", {{"open.txt", "no password needed"}});

    struct Case
    {
        std::string archive;
        Names names;
    } cases[] = {{"foreign.zip", {"secret.dm", "plain.txt"}},
                 {"foreign_stored.zip", {"plain.txt"}},
                 {"local.zip", {"secret.dm", "plain.txt"}},
                 {"mixed.zip", {"open.txt"}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.archive);
        const bool encrypted = c.archive != "mixed.zip";
        for (const char* password : {"", "wrong", "open sesame"})
        {
            SCOPED_TRACE(password);
            ScratchFolder out;
            QvZipArchive zip;
            zip.SetPassword(password);
            Names names;
            const bool right = std::string(password) == "open sesame" || !encrypted;
            std::string printed;
            EXPECT_EQ(Extract(zip, dir / c.archive, out.Slash(), &names, &printed), right) << printed;
            if (!right)
            {
                EXPECT_TRUE(names.empty());
                EXPECT_TRUE(FilesBelow(out.Path()).empty());
                continue;
            }
            EXPECT_EQ(names, c.names);
            for (const std::string& name : names)
                EXPECT_EQ(ReadWholeFile(out / name), name == "secret.dm"   ? secret
                                                     : name == "plain.txt" ? "visible"
                                                                           : "no password needed");
        }
    }

    // A damaged encrypted entry fails like any other.
    std::string damaged(std::begin(kForeignStored), std::end(kForeignStored));
    const std::size_t data = 30 + damaged[26] + damaged[28]; // after the local header, name and extra field
    damaged[data + 12 + 2] ^= 0x01; // past the encryption header
    WriteWholeFile(dir / "damaged.zip", damaged);
    QvZipArchive zip;
    zip.SetPassword("open sesame");
    EXPECT_FALSE(Extract(zip, dir / "damaged.zip", dir / "out/", nullptr));
    EXPECT_FALSE(fs::exists(dir / "out/plain.txt"));
}

TEST(Zip, RefusesNamesThatLeaveTheFolder)
{
    const std::string absolute = "/tmp/rivela_zip_slip_" + std::to_string(::getpid());
    const std::string names[] = {"../evil", absolute, "a/../../evil", "..\\evil", "a/b/../../../evil", "..", "\\abs"};
    for (const std::string& unsafe : names)
    {
        SCOPED_TRACE(unsafe);
        ScratchFolder dir;
        MakeZip(dir / "slip.zip", {{"first.txt", "fine"}, {unsafe, "payload"}, {"last.txt", "never reached"}});
        Names listed;
        EXPECT_FALSE(Extract(dir / "slip.zip", dir / "out/", &listed));
        // Files before the refused entry stay, as for any failed entry.
        EXPECT_EQ(listed, Names{"first.txt"});
        EXPECT_EQ(FilesBelow(dir.Path()), Names{"out/first.txt"});
        EXPECT_FALSE(fs::exists(absolute));
    }
}

// Offset of the header with signature "PK" sig whose name, at nameAt, is name.
std::size_t FindHeader(const std::string& bytes, char sig1, char sig2, std::size_t nameAt, const std::string& name)
{
    const std::string signature = {'P', 'K', sig1, sig2};
    for (std::size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 4))
        if (bytes.compare(at + nameAt, name.size(), name) == 0)
            return at;
    ADD_FAILURE() << "no header for " << name;
    return 0;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t v)
{
    std::memcpy(bytes.data() + at, &v, 4);
}

TEST(Zip, DamagedEntriesFailAndLeaveNoFile)
{
    ScratchFolder dir;
    const std::string deflated(3000, 'd');
    MakeZip(dir / "good.zip", {{"ok.txt", "first entry"},
                               {"stored.bin", "stored payload bytes", true},
                               {"deflated.bin", deflated}});
    const std::string good = ReadWholeFile(dir / "good.zip");

    // A flipped data byte of a stored entry: only its CRC tells.
    std::string flipped = good;
    flipped[good.find("stored payload") + 3] ^= 0x20;
    // Sizes in both headers raised by one: the deflate stream ends early, so minizip never
    // compares the CRC; the byte count must tell.
    std::string longer = good;
    const std::uint32_t raised = static_cast<std::uint32_t>(deflated.size() + 1);
    PutU32(longer, FindHeader(good, 3, 4, 30, "deflated.bin") + 22, raised);
    PutU32(longer, FindHeader(good, 1, 2, 46, "deflated.bin") + 24, raised);

    struct Case
    {
        const char* what;
        const std::string& bytes;
        Names listed;
        const char* failed;
    } cases[] = {{"bad CRC", flipped, {"ok.txt"}, "stored.bin"},
                 {"short data", longer, {"ok.txt", "stored.bin"}, "deflated.bin"}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScratchFolder out;
        ASSERT_TRUE(WriteWholeFile(out / "damaged.zip", c.bytes));
        ASSERT_TRUE(WriteWholeFile(out / c.failed, "old"));
        Names listed;
        std::string printed;
        EXPECT_FALSE(Extract(out / "damaged.zip", out.Slash(), &listed, &printed));
        EXPECT_EQ(listed, c.listed);
        EXPECT_NE(printed.find("Failed to reading zip file"), std::string::npos);
        EXPECT_EQ(ReadWholeFile(out / c.failed), "old");
        EXPECT_EQ(FilesBelow(out.Path()).size(), c.listed.size() + 1) << "a temporary file was left";
    }
}

TEST(Zip, ReadOnlyTargetsAreNotReplaced)
{
    ScratchFolder dir;
    MakeZip(dir / "case.zip", {{"case.dm", "new"}});
    fs::create_directories(dir / "out");
    WriteWholeFile(dir / "out/case.dm", "old");
    fs::permissions(dir / "out/case.dm", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Names names;
    EXPECT_FALSE(Extract(dir / "case.zip", dir / "out/", &names));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(ReadWholeFile(dir / "out/case.dm"), "old");

    // A file where a folder must go.
    WriteWholeFile(dir / "blocked", "a file");
    MakeZip(dir / "nested.zip", {{"blocked/case.dm", "new"}});
    EXPECT_FALSE(Extract(dir / "nested.zip", dir.Slash(), &names));
    EXPECT_EQ(ReadWholeFile(dir / "blocked"), "a file");
}

// An entry written raw: the deflated bytes as given and the sizes as declared, true or not.
struct RawEntry
{
    std::string name;
    const std::string* deflated;
    std::uint64_t declared;
    uLong crc;
};

void MakeRawZip(const std::string& path, const std::vector<RawEntry>& entries)
{
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    for (const RawEntry& e : entries)
    {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip2_64(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9,
                                          1, e.declared >= 0xFFFFFFFFu),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zf, e.deflated->data(), static_cast<unsigned>(e.deflated->size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZipRaw64(zf, e.declared, e.crc), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

uLong CrcOfZeros(std::size_t size)
{
    const std::string chunk(1 << 20, '\0');
    uLong crc = crc32(0, nullptr, 0);
    for (std::size_t done = 0; done < size; done += chunk.size())
        crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()),
                    static_cast<uInt>(std::min(chunk.size(), size - done)));
    return crc;
}

TEST(Zip, ArchivesPastTheBoundsWriteNothing)
{
    ScratchFolder dir;
    // 16 MiB of zeros deflate to 16 KiB; enough of them pass the floor together.
    constexpr std::size_t kBomb = 16u << 20;
    const std::string bomb = RawDeflate(std::string(kBomb, '\0'));
    const uLong bombCrc = CrcOfZeros(kBomb);
    std::vector<RawEntry> bombs;
    for (std::uint64_t i = 0; i <= kQvZipFloorBytes / kBomb; ++i)
        bombs.push_back({"part" + std::to_string(i) + ".dm", &bomb, kBomb, bombCrc});
    MakeRawZip(dir / "bomb.zip", bombs);
    ASSERT_GT(bombs.size() * kBomb,
              QvUnpackLimit(fs::file_size(dir / "bomb.zip"), kQvZipMaxRatio, kQvZipFloorBytes));

    // More entries than a model archive can have, each of them empty.
    std::vector<Entry> many;
    for (std::uint64_t i = 0; i <= kQvZipMaxEntries; ++i)
        many.push_back({"e" + std::to_string(i), "", true});
    MakeZip(dir / "many.zip", many);

    for (const char* archive : {"bomb.zip", "many.zip"})
    {
        SCOPED_TRACE(archive);
        Names names;
        std::string printed;
        EXPECT_FALSE(Extract(dir / archive, dir / "out/", &names, &printed));
        EXPECT_NE(printed.find("unzip Error occurs"), std::string::npos);
        EXPECT_TRUE(names.empty());
        EXPECT_FALSE(fs::exists(dir / "out")) << "the folder was made for nothing";
    }

    // One entry that says 1000 bytes and inflates to 16 MiB stops past its word.
    MakeRawZip(dir / "liar.zip", {{"first.dm", &bomb, 1000, bombCrc}});
    Names names;
    std::string printed;
    EXPECT_FALSE(Extract(dir / "liar.zip", dir / "out/", &names, &printed));
    EXPECT_NE(printed.find("Failed to reading zip file"), std::string::npos);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(FilesBelow(dir / "out").empty());
}

TEST(Zip, ExtractionFolderIsPrivateAndLinksInsideAreNotFollowed)
{
    ScratchFolder dir;
    MakeZip(dir / "case.zip", {{"model/case.dm", "dental model"}, {"case.dm", "top"}});
    const std::string outside = dir / "outside";
    fs::create_directories(outside);
    WriteWholeFile(outside + "/case.dm", "not ours to replace");

    // Made by the extraction: ours, closed to others.
    Names names;
    ASSERT_TRUE(Extract(dir / "case.zip", dir / "fresh/", &names));
    EXPECT_EQ(fs::status(dir / "fresh").permissions() & fs::perms::all, fs::perms::owner_all);
    // Found open to others: closed.
    fs::create_directories(dir / "open");
    fs::permissions(dir / "open", fs::perms::all);
    ASSERT_TRUE(Extract(dir / "case.zip", dir / "open/", nullptr));
    EXPECT_EQ(fs::status(dir / "open").permissions() & fs::perms::all, fs::perms::owner_all);

    // A folder that is a link, a link in place of an entry's folder, a link in place of
    // the file: nothing reaches the other side.
    fs::create_directory_symlink(outside, dir / "linked");
    fs::create_directories(dir / "planted");
    fs::create_directory_symlink(outside, dir / "planted/model");
    fs::create_directories(dir / "planted_file");
    fs::create_symlink(outside + "/case.dm", dir / "planted_file/case.dm");
    struct Case
    {
        const char* folder;
        Names listed;
    } cases[] = {{"linked/", {}}, {"planted/", {}}, {"planted_file/", {"model/case.dm"}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.folder);
        Names listed;
        std::string printed;
        EXPECT_FALSE(Extract(dir / "case.zip", dir / c.folder, &listed, &printed));
        EXPECT_NE(printed.find("unzip Error occurs"), std::string::npos);
        EXPECT_EQ(listed, c.listed);
        EXPECT_EQ(FilesBelow(outside), Names{"case.dm"});
        EXPECT_EQ(ReadWholeFile(outside + "/case.dm"), "not ours to replace");
    }
    EXPECT_TRUE(fs::is_symlink(dir / "linked"));
    EXPECT_EQ(fs::status(outside).permissions() & fs::perms::all, fs::status(dir.Path()).permissions() & fs::perms::all);
}

TEST(Zip, SurvivesTruncationAndByteFlips)
{
    ScratchFolder dir;
    MakeZip(dir / "small.zip", {{"a.txt", "alpha beta gamma alpha beta gamma"}, {"b/c.bin", "stored", true}});
    struct Case
    {
        std::string bytes;
        const char* password;
    } cases[] = {{ReadWholeFile(dir / "small.zip"), ""},
                 {std::string(std::begin(kForeignDeflated), std::end(kForeignDeflated)), "open sesame"}};
    const std::string damaged = dir / "damaged.zip";
    const std::string out = dir / "out";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.password);
        qvtest::ExpectReaderSurvivesDamage(c.bytes, [&](std::istream& is) {
            fs::remove_all(out);
            if (!WriteWholeFile(damaged, qvtest::AllOf(is)))
                return false;
            QvZipArchive zip;
            zip.SetPassword(c.password);
            Names names;
            return Extract(zip, damaged, out + "/", &names);
        });
    }
}

} // namespace
