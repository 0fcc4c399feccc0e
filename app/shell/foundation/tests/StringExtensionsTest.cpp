// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/Digest.h"
#include "app/shell/foundation/StringExtensions.h"

#include "core/base/QvText.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace foundation;

std::string Gb(const char* utf8)
{
    return Gb18030FromUtf8(utf8);
}

TEST(StringExtensions, Gb18030AtTheCoreBoundary)
{
    EXPECT_EQ(GBKForString(Gb("方案1").c_str()), QString("方案1"));
    EXPECT_EQ(GBKForString(""), QString(""));
    EXPECT_FALSE(GBKForString("\x81\x20")); // a lead byte without its trail
    EXPECT_FALSE(GBKForString(nullptr));

    struct Case {
        const char* left;
        const char* right;
        int result;
    } cases[] = {
        {"ABC", "abc", 0}, {"abc", "abd", -1}, {"b", "a", 1}, {"", "", 0}, {"方案2", "方案10", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GBKStringCompare(Gb(c.left).c_str(), Gb(c.right).c_str()), c.result) << c.left << " " << c.right;
}

TEST(StringExtensions, UrlIsAWebUrlOnlyForAWebScheme)
{
    struct Case {
        QString text;
        bool local;
    } cases[] = {
        {"https://rvm.example/rvmds/index", false},
        {"http://127.0.0.1:8080/x?a=1", false},
        {"/home/doctor/cases/C001.zip", true},
        {"/home/doctor/httpdocs/scan.zip", true}, // "http" inside a folder name
        {"relative/path.txt", true},
    };
    for (const Case& c : cases) {
        const QUrl url = URL(c.text);
        EXPECT_EQ(url.isLocalFile(), c.local) << c.text.toStdString();
        if (c.local)
            EXPECT_EQ(url.toLocalFile(), c.text);
        else
            EXPECT_EQ(url.toString(), c.text);
    }
    EXPECT_EQ(FileName(QUrl("https://oss.example/a/C001_scheme.rvs?sig=1")), "C001_scheme");
    EXPECT_EQ(FileName(QUrl::fromLocalFile("/tmp/archive.tar.gz")), "archive.tar");
}

TEST(StringExtensions, PercentEncodingRoundTrips)
{
    struct Case {
        QString text;
        QString encoded;
    } cases[] = {
        {"a b", "a%20b"},
        {"k=v&x=1/2?y:z@w", "k=v&x=1/2?y:z@w"},
        {"影像", "%E5%BD%B1%E5%83%8F"},
        {"100%", "100%25"},
        {"a#b", "a%23b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URLQueryAllowed(c.text), c.encoded);
        EXPECT_EQ(CancelURLQueryAllowed(c.encoded), c.text);
    }
    EXPECT_FALSE(CancelURLQueryAllowed("%zz"));
    EXPECT_FALSE(CancelURLQueryAllowed("50%"));
    EXPECT_FALSE(CancelURLQueryAllowed("%ff%fe")); // not UTF-8
}

TEST(StringExtensions, JsonTexts)
{
    EXPECT_EQ(ToJsonData("{\"a\":1}")->toObject().value("a").toInt(), 1);
    EXPECT_EQ(ToJsonData("12")->toInt(), 12); // fragments allowed
    EXPECT_EQ(ToJsonData("\"x\"")->toString(), "x");
    for (const char* bad : {"", "{", "1,2", "1],[2", "nul"})
        EXPECT_FALSE(ToJsonData(bad)) << bad;

    const QVariantMap dictionary{{"b", 1}, {"a", QVariantList{"x", true}}, {"c", QVariantMap{{"z", 0}, {"y", "中"}}}};
    EXPECT_EQ(ToString(dictionary), "{\"a\":[\"x\",true],\"b\":1,\"c\":{\"y\":\"中\",\"z\":0}}");
}

QString Md5sum(const QString& path)
{
    QProcess p;
    p.start("md5sum", {path});
    p.waitForFinished(30000);
    return QString::fromLatin1(p.readAllStandardOutput()).section(' ', 0, 0);
}

TEST(StringExtensions, FileDigestAgreesWithMd5sum)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty");
    const QString big = dir.filePath("twelve-mib");
    QFile(empty).open(QIODevice::WriteOnly);
    {
        // 12 MiB: two whole pieces and a part, with data that differs everywhere.
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        QRandomGenerator random(12);
        for (int i = 0; i < 12; ++i) {
            random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
            f.write(chunk);
        }
    }
    EXPECT_EQ(FileMD5(empty), QString("d41d8cd98f00b204e9800998ecf8427e"));
    const auto digest = FileMD5(big);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->size(), 32);
    EXPECT_EQ(*digest, Md5sum(big));
    QFile whole(big);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    EXPECT_EQ(*digest, Md5Hex(whole.readAll()));
    EXPECT_FALSE(FileMD5(dir.filePath("missing")));
    EXPECT_FALSE(FileMD5(dir.path())); // a folder has no digest
}

TEST(StringExtensions, VerticalCentreAndHeight)
{
    QFont font;
    font.setPixelSize(20);
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setPen(Qt::black);
        DrawVerticalCenter(painter, "HHHH", QRectF(0, 0, 200, 100), Qt::AlignLeft | Qt::TextSingleLine, font, 1);
    }
    int top = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    ASSERT_GE(top, 0);
    // Capitals sit above the middle of the line box; their middle is near the rectangle's.
    EXPECT_NEAR((top + bottom) / 2.0, 50.0, 6.0);

    const double one = HeightWithLimitWidth("word", 500, font);
    const double wrapped = HeightWithLimitWidth("word word word word word word", 60, font);
    EXPECT_GT(one, 0);
    EXPECT_GE(wrapped, one * 3);
    EXPECT_TRUE(IsNotNull("x"));
    EXPECT_FALSE(IsNotNull(""));
    EXPECT_FALSE(IsNotNull({}));
}

TEST(StringExtensions, ImageViewsShareOneMoveFlag)
{
    EXPECT_FALSE(MouseDownCanMoveWindow());
    ConfigureCanMoveWindow(true);
    EXPECT_TRUE(MouseDownCanMoveWindow());
    ConfigureCanMoveWindow(false);
}

} // namespace
