// SPDX-License-Identifier: GPL-3.0-or-later
// The resume record and its store, the archive check and the file-name escaping.
#include "app/service/upload/RVCBCTUploadCommand.h"
#include "app/service/upload/RVOSSFile.h"
#include "app/service/upload/RVUnZipArchive.h"
#include "app/service/upload/tests/UploadFixtures.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace uploadtest;

namespace {

TEST(OSSFile, PartCountAndCompletion)
{
    struct Row {
        quint64 size;
        quint64 parts;
    };
    for (const Row& r : {Row{0, 0}, Row{1, 1}, Row{5242880, 1}, Row{5242881, 2}, Row{2 * 5242880 + 1, 3},
                         Row{quint64(3) << 30, 615}}) {
        RVOSSFile f;
        f.fileSize = r.size;
        EXPECT_EQ(f.partCount(), r.parts) << r.size;
        EXPECT_EQ(f.uploadCompleted(), r.size == 0) << r.size;
    }
}

TEST(OSSFile, FromPathAndSameness)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("scan.zip");
    ASSERT_TRUE(WriteFile(path, "abc"));
    auto a = RVOSSFile::fileWithPath(path);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->md5, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(a->fileSize, 3u);
    EXPECT_EQ(a->offset, 1u);
    EXPECT_EQ(a->partSize, 5242880u);
    EXPECT_EQ(a->filePath, QUrl::fromLocalFile(path));
    EXPECT_FALSE(RVOSSFile::fileWithPath(dir.filePath("missing.zip")));
    EXPECT_FALSE(RVOSSFile::fileWithPath(dir.path())); // a folder has no digest

    auto b = RVOSSFile::fileWithPath(path);
    EXPECT_FALSE(a->isSame(*b)); // neither has an upload id
    a->uploadId = "u1";
    b->uploadId = "other";
    EXPECT_TRUE(a->isSame(*b)); // ids are not compared
    b->uploadPath = "cbct/elsewhere";
    EXPECT_FALSE(a->isSame(*b));
    b->uploadPath.clear();
    b->md5 = "0";
    EXPECT_FALSE(a->isSame(*b));
}

TEST(OSSFile, ArchiveRoundTripAndDamagedRecords)
{
    RVOSSFile f;
    f.md5 = "d41d8cd98f00b204e9800998ecf8427e";
    f.uploadPath = "cbct/RV1/scan.zip";
    f.filePath = QUrl::fromLocalFile("/tmp/scan.zip");
    f.uploadId = "upload-7";
    f.fileSize = 3 * 5242880;
    f.addEtagJsonWithNumber(1, QStringLiteral("\"a1\""));
    f.addEtagJsonWithNumber(2, std::nullopt);
    f.offset = 3;
    f.uploadedSize = 2 * 5242880;
    f.acquireAccessUrl = "http://x/acquire?c=1";
    EXPECT_EQ(f.etagJsonText(), R"([{"etag":"\"a1\"","partNumber":"1"},{"partNumber":"2"}])");

    const auto back = RVOSSFile::decode(f.encode());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->etagJson, f.etagJson);
    EXPECT_EQ(back->offset, 3u);
    EXPECT_EQ(back->uploadedSize, f.uploadedSize);
    EXPECT_TRUE(back->isSame(f));
    EXPECT_TRUE(back->acquireAccessUrl.isEmpty()); // never archived

    // Records no upload could have written: they would send the wrong bytes or never end.
    const std::vector<std::pair<const char*, std::function<void(QVariantMap&)>>> damaged = {
        {"no part size", [](QVariantMap& m) { m.remove("partSize"); }},
        {"offset 0", [](QVariantMap& m) { m["offset"] = 0; }},
        {"entries behind the offset", [](QVariantMap& m) { m["offset"] = 4; }},
        {"more uploaded than the file", [](QVariantMap& m) { m["uploadedSize"] = qulonglong(1) << 40; }},
        {"no file", [](QVariantMap& m) { m.remove("filePath"); }},
    };
    for (const auto& [what, change] : damaged) {
        QVariantMap m = f.encode();
        change(m);
        EXPECT_FALSE(RVOSSFile::decode(m)) << what;
    }
}

TEST(OSSFileHelper, RecordsStayInsideTheirFolderAndAreCached)
{
    auto helper = RVOSSFileHelper::create();
    ASSERT_TRUE(helper);
    EXPECT_TRUE(helper->baseUrl().endsWith("/OSSFileHanleInfo"));

    RVOSSFile proto;
    proto.filePath = QUrl::fromLocalFile("/tmp/a.zip");
    proto.uploadId = "u";
    const QString urls[] = {
        "http://127.0.0.1:1/rvmds/cbct/acquireAccess?caseNo=1",
        "http://h/../../../../etc/passwd?x=..%2F..",
        "http://h/" + QString(5000, u'a') + "?q=1",
    };
    for (const QString& url : urls) {
        auto record = std::make_shared<RVOSSFile>(proto);
        ASSERT_TRUE(helper->updateFile(record, url)) << url.left(40).toStdString();
        const QFileInfo file(helper->recordPath(url));
        EXPECT_EQ(file.absolutePath(), QDir(helper->baseUrl()).absolutePath());
        EXPECT_TRUE(file.isFile());
        EXPECT_LT(file.fileName().size(), 64);
    }

    // A fresh store reads the record from disk; the cache then answers even after the file is gone.
    auto other = RVOSSFileHelper::create();
    auto read = other->fileWithAcquireAccessUrl(urls[0]);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->uploadId, "u");
    QFile::remove(other->recordPath(urls[0]));
    EXPECT_EQ(other->fileWithAcquireAccessUrl(urls[0]), read);
    EXPECT_FALSE(RVOSSFileHelper::create()->fileWithAcquireAccessUrl(urls[0]));

    // A damaged file reads as no record.
    ASSERT_TRUE(WriteFile(helper->recordPath(urls[1]), "not a record"));
    EXPECT_FALSE(RVOSSFileHelper::create()->fileWithAcquireAccessUrl(urls[1]));

    helper->removeFile(urls[2]);
    EXPECT_FALSE(QFileInfo::exists(helper->recordPath(urls[2])));
    EXPECT_FALSE(helper->fileWithAcquireAccessUrl(urls[2]));
}

TEST(OSSFileHelper, NoStoreWhereTheFolderCannotBeMade)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("blocked"), "x"));
    EXPECT_FALSE(RVOSSFileHelper::createIn(dir.filePath("blocked/OSSFileHanleInfo")));
}

TEST(CBCTUpload, FileNameEscaping)
{
    const std::pair<QString, QString> rows[] = {
        {"a b.zip", "a%20b%2Ezip"},
        {"scan_2024-01.rar", "scan%5F2024%2D01%2Erar"},
        {"!$&'^()*+,-./%:;=?@_~#[] ", "%21%24%26%27%5E%28%29%2A%2B%2C%2D%2E%2F%25%3A%3B%3D%3F%40%5F%7E%23%5B%5D%20"},
        {"ABCxyz019\"<>{}|`\\", "ABCxyz019\"<>{}|`\\"},
        {QString::fromUtf8("影像.zip"), "%E5%BD%B1%E5%83%8F%2Ezip"},
    };
    for (const auto& [name, escaped] : rows)
        EXPECT_EQ(RVCBCTUploadCommand::escapeFileName(name), escaped) << name.toStdString();
}

TEST(CBCTUpload, ArchiveCheck)
{
    QTemporaryDir dir;
    struct Row {
        const char* file;
        std::vector<ZipEntry> entries;
        bool passes;
    };
    const Row zips[] = {
        {"scan.zip", {{"scan/", ""}, {"scan/IM0001.dcm", "DICM"}}, true},
        {"deep.zip", {{"readme.txt", "r"}, {"a/b/c/IM9.dcm", "DICM"}}, true},
        {"upper.zip", {{"scan/", ""}, {"X.DCM", "DICM"}}, false},
        {"folders.zip", {{"x.dcm/", ""}}, false},
        {"upper.ZIP", {{"IM0001.dcm", "DICM"}}, false},
        {"legacy.zip", {{"\xb2\xe2\xca\xd4/\xd3\xb0\xcf\xf1.dcm", "DICM"}}, true}, // GBK names
        {"scan.tar", {{"IM0001.dcm", "DICM"}}, false},
    };
    for (const Row& r : zips) {
        const QString path = dir.filePath(r.file);
        ASSERT_TRUE(WriteZip(path, r.entries)) << r.file;
        EXPECT_EQ(RVCBCTUploadCommand::checkFile(path), r.passes) << r.file;
    }
    ASSERT_TRUE(WriteFile(dir.filePath("empty.zip"), ""));
    EXPECT_FALSE(RVCBCTUploadCommand::checkFile(dir.filePath("empty.zip")));
    EXPECT_FALSE(RVCBCTUploadCommand::checkFile(dir.filePath("missing.zip")));

    // Folder entries are skipped and only the last component is listed.
    auto zip = RVUnZipArchive::initWithFile(QUrl::fromLocalFile(dir.filePath("deep.zip")));
    ASSERT_TRUE(zip);
    EXPECT_EQ(zip->listFilenames(), QStringList({"readme.txt", "IM9.dcm"}));
    EXPECT_EQ(zip->listFilenames(), QStringList({"readme.txt", "IM9.dcm"})); // set back to the first entry
}

TEST(CBCTUpload, RarCheck)
{
    QTemporaryDir dir;
    const std::string good = RarArchive({{"scan/IM0001.dcm", "DICM-bytes"}, {"readme.txt", "hello"}});
    const QString goodPath = dir.filePath("scan.rar");
    ASSERT_TRUE(WriteFile(goodPath, QByteArray::fromStdString(good)));
    EXPECT_EQ(RVListRarEntries(goodPath), QStringList({"scan/IM0001.dcm", "readme.txt"}));
    EXPECT_TRUE(RVCBCTUploadCommand::checkFile(goodPath));

    const QString textOnly = dir.filePath("text.rar");
    ASSERT_TRUE(WriteFile(textOnly, QByteArray::fromStdString(RarArchive({{"readme.txt", "hello"}}))));
    EXPECT_FALSE(RVCBCTUploadCommand::checkFile(textOnly));

    // The first file header's CRC starts right after marker (7) and archive header (13).
    std::string flipped = good;
    flipped[20] = char(flipped[20] ^ 0x01);
    const QString flippedPath = dir.filePath("flipped.rar");
    ASSERT_TRUE(WriteFile(flippedPath, QByteArray::fromStdString(flipped)));
    EXPECT_FALSE(RVListRarEntries(flippedPath));
    EXPECT_FALSE(RVCBCTUploadCommand::checkFile(flippedPath));

    // The extension decides the reader, case-sensitively.
    const QString upper = dir.filePath("scan.RAR");
    ASSERT_TRUE(QFile::copy(goodPath, upper));
    EXPECT_FALSE(RVCBCTUploadCommand::checkFile(upper));
}

} // namespace
