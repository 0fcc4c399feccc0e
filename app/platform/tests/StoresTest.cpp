// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/KeyedRecordStore.h"
#include "app/platform/PictureCache.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(KeyedRecordStore, RecordsRoundTripAndAreReplacedWhole)
{
    QTemporaryDir dir;
    platform::KeyedRecordStore store(dir.filePath("OSSFileHanleInfo"));
    const QString key = "https://oss.example/acquire?caseId=12&file=a b.zip";
    EXPECT_FALSE(store.Read(key));
    const QVariantMap first{{"uploadId", "u1"}, {"parts", QVariantList{1, 2, 3}}, {"md5", "abc"}};
    ASSERT_TRUE(store.Write(key, first));
    EXPECT_EQ(store.Read(key), first);
    const QVariantMap second{{"uploadId", "u2"}};
    ASSERT_TRUE(store.Write(key, second));
    EXPECT_EQ(store.Read(key), second);
    EXPECT_FALSE(store.Read(key + "/other"));
    // No temporary file is left beside the record.
    EXPECT_EQ(QDir(store.Folder()).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(store.Remove(key));
    EXPECT_FALSE(store.Remove(key));
    EXPECT_FALSE(store.Read(key));
}

TEST(KeyedRecordStore, DamagedFilesReadAsNoRecord)
{
    QTemporaryDir dir;
    platform::KeyedRecordStore store(dir.path());
    const QString key = "bookmarksPath";
    ASSERT_TRUE(store.Write(key, {{"folder", "/home/doctor/sync"}}));
    QFile file(store.PathOf(key));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    for (qsizetype cut : {qsizetype(0), qsizetype(3), whole.size() / 2, whole.size() - 1}) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(whole.left(cut));
        file.close();
        EXPECT_FALSE(store.Read(key)) << "cut at " << cut;
    }
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(whole + "trailing");
    file.close();
    EXPECT_FALSE(store.Read(key));
}

TEST(KeyedRecordStore, ConcurrentWritersLeaveOneWholeRecord)
{
    QTemporaryDir dir;
    platform::KeyedRecordStore store(dir.path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i)
                EXPECT_TRUE(store.Write("k", {{"writer", t}, {"i", i}}));
        });
    for (auto& th : threads)
        th.join();
    const auto record = store.Read("k");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value("i").toInt(), 19);
}

QImage Picture(QColor colour)
{
    QImage image(16, 8, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

TEST(PictureCache, MemoryThenDiskThenNothing)
{
    QTemporaryDir dir;
    platform::PictureCache cache(dir.filePath("pictures"));
    const QString url = "https://img.example/case/1/photo.jpg?size=3";
    EXPECT_FALSE(cache.Picture(url));
    ASSERT_TRUE(cache.Store(url, Picture(Qt::red)));
    EXPECT_EQ(cache.Picture(url)->pixelColor(0, 0), QColor(Qt::red));

    cache.ClearMemory(); // a new run of the program: only the disk copy is left
    const auto fromDisk = cache.Picture(url);
    ASSERT_TRUE(fromDisk);
    EXPECT_EQ(fromDisk->size(), QSize(16, 8));
    EXPECT_EQ(fromDisk->pixelColor(3, 3), QColor(Qt::red));

    ASSERT_TRUE(cache.Store(url, Picture(Qt::blue))); // a fresh download replaces it
    cache.ClearMemory();
    EXPECT_EQ(cache.Picture(url)->pixelColor(0, 0), QColor(Qt::blue));

    EXPECT_FALSE(cache.Store("null", QImage()));
    cache.ClearDisk();
    EXPECT_TRUE(cache.Picture(url)); // still in memory
    cache.ClearMemory();
    EXPECT_FALSE(cache.Picture(url));
}

TEST(PictureCache, MemoryIsBoundedButDiskKeepsEverything)
{
    QTemporaryDir dir;
    platform::PictureCache cache(dir.path(), 64 * 1024); // room for about one picture below
    QImage big(128, 128, QImage::Format_ARGB32); // 64 KiB
    big.fill(Qt::green);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(cache.Store(QString::number(i), big));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(cache.Picture(QString::number(i))) << i;
}

} // namespace
