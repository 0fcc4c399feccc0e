// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <lodepng.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/model/QvImage.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/ByteSweep.h"

namespace {

using qvtest::ScratchFolder;
using qvtest::WriteWholeFile;
using Rgba = std::array<unsigned char, 4>;
using Grid = std::vector<std::vector<Rgba>>; // [y][x], y = 0 the top row

void Put16(std::string& s, std::uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void Put32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A BMP file built field by field.
struct Bmp
{
    int depth = 24;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint32_t compression = 0;
    std::vector<Rgba> palette;       // entries as stored: blue, green, red, reserved
    std::vector<std::uint32_t> masks; // after the information header
    std::vector<std::string> rows;    // as stored: the bottom row first, padding included
    std::string gap;                  // bytes between the palette and the pixel data

    std::string Bytes() const
    {
        const std::uint32_t offset =
            static_cast<std::uint32_t>(54 + 4 * palette.size() + 4 * masks.size() + gap.size());
        std::string pixels;
        for (const std::string& r : rows)
            pixels += r;
        std::string s = "BM";
        Put32(s, static_cast<std::uint32_t>(offset + pixels.size()));
        Put16(s, 0);
        Put16(s, 0);
        Put32(s, offset);
        Put32(s, 40);
        Put32(s, static_cast<std::uint32_t>(width));
        Put32(s, static_cast<std::uint32_t>(height));
        Put16(s, 1);
        Put16(s, static_cast<std::uint16_t>(depth));
        Put32(s, compression);
        Put32(s, static_cast<std::uint32_t>(pixels.size()));
        Put32(s, 2835);
        Put32(s, 2835);
        Put32(s, static_cast<std::uint32_t>(palette.size()));
        Put32(s, 0);
        for (const Rgba& e : palette)
            s.append(reinterpret_cast<const char*>(e.data()), 4);
        for (const std::uint32_t m : masks)
            Put32(s, m);
        return s + gap + pixels;
    }
};

// A stored row: the bytes, padded with zeros to a multiple of 4.
std::string Row(std::initializer_list<int> bytes)
{
    std::string r;
    for (const int b : bytes)
        r += static_cast<char>(b);
    while (r.size() % 4 != 0)
        r += '\0';
    return r;
}

std::string Row16(std::initializer_list<std::uint16_t> values)
{
    std::string r;
    for (const std::uint16_t v : values)
        Put16(r, v);
    while (r.size() % 4 != 0)
        r += '\0';
    return r;
}

Grid PixelsOf(const QvImage& image)
{
    Grid g(static_cast<std::size_t>(image.GetHeight()), std::vector<Rgba>(static_cast<std::size_t>(image.GetWidth())));
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            std::memcpy(g[y][x].data(), image.GetPixel(x, y), 4);
    return g;
}

bool IsResetImage(const QvImage& image)
{
    return image.GetWidth() == 1 && image.GetHeight() == 1 && image.GetBitsPerPixel() == 1 &&
           PixelsOf(image) == Grid{{Rgba{0xFF, 0xFF, 0xFF, 0x00}}};
}

constexpr Rgba kWhite = {0xFF, 0xFF, 0xFF, 0x00};

TEST(Image, ReadsBmpOfEveryDepth)
{
    const Rgba a = {30, 20, 10, 0}; // red, green, blue, alpha after loading
    const Rgba b = {60, 50, 40, 0};
    const Rgba c = {90, 80, 70, 0};
    const Rgba d = {120, 110, 100, 0};
    std::vector<Rgba> palette16(16, Rgba{0, 0, 0, 0});
    palette16[1] = {10, 20, 30, 0};
    palette16[2] = {40, 50, 60, 0};
    palette16[3] = {70, 80, 90, 0};
    palette16[4] = {100, 110, 120, 0};

    struct Case
    {
        const char* what;
        Bmp bmp;
        Grid expected;
    } cases[] = {
        // 0xA0: indices 1, 0, 1, 0, 0, 0, 0, 0, most significant bit first.
        {"1 bit",
         {1, 8, 2, 0, {{10, 20, 30, 0}, {40, 50, 60, 0}}, {}, {Row({0xFF}), Row({0xA0})}},
         {{b, a, b, a, a, a, a, a}, {b, b, b, b, b, b, b, b}}},
        {"4 bits",
         {4, 3, 2, 0, palette16, {}, {Row({0x12, 0x30}), Row({0x44, 0x10})}},
         {{d, d, a}, {a, b, c}}},
        // Only 16 entries stored: index 200 is white.
        {"8 bits, short palette",
         {8, 3, 1, 0, palette16, {}, {Row({4, 200, 1})}},
         {{d, kWhite, a}}},
        {"16 bits plain",
         {16, 3, 1, 0, {}, {}, {Row16({0x7FFF, 0x7C00, 0x001F})}},
         {{Rgba{248, 248, 248, 0}, Rgba{248, 0, 0, 0}, Rgba{0, 0, 248, 0}}}},
        {"16 bits with 5-6-5 bit fields",
         {16, 2, 2, 3, {}, {0xF800, 0x07E0, 0x001F}, {Row16({0xFFFF, 0x07E0}), Row16({0xF800, 0x0000})}},
         {{Rgba{248, 0, 0, 0}, Rgba{0, 0, 0, 0}}, {Rgba{248, 248, 248, 0}, Rgba{0, 248, 0, 0}}}},
        // Width 3: rows of 9 bytes plus 3 of padding; the first stored row is the bottom one.
        {"24 bits",
         {24, 3, 3, 0, {}, {}, {Row({10, 20, 30, 40, 50, 60, 70, 80, 90}), Row({1, 2, 3, 4, 5, 6, 7, 8, 9}),
                                Row({100, 110, 120, 0, 0, 0, 255, 255, 255})}},
         {{d, Rgba{0, 0, 0, 0}, kWhite}, {Rgba{3, 2, 1, 0}, Rgba{6, 5, 4, 0}, Rgba{9, 8, 7, 0}}, {a, b, c}}},
        {"32 bits",
         {32, 2, 1, 0, {}, {}, {Row({10, 20, 30, 255, 40, 50, 60, 7})}},
         {{Rgba{30, 20, 10, 255}, Rgba{60, 50, 40, 7}}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScratchFolder dir;
        ASSERT_TRUE(WriteWholeFile(dir / "picture.bmp", c.bmp.Bytes()));
        QvImage image;
        ASSERT_TRUE(image.ReadFromFile(dir / "picture.bmp"));
        EXPECT_EQ(image.GetBitsPerPixel(), c.bmp.depth);
        EXPECT_EQ(PixelsOf(image), c.expected);
    }

    // A gap between a short palette and the pixels is skipped up to the data offset,
    // also when it is not a multiple of 4 bytes.
    Bmp gapped{8, 2, 1, 0, palette16, {}, {Row({1, 2})}, std::string(10, '\x77')};
    ScratchFolder dir;
    ASSERT_TRUE(WriteWholeFile(dir / "gap.BMP", gapped.Bytes()));
    QvImage image;
    ASSERT_TRUE(image.ReadFromFile(dir / "gap.BMP"));
    EXPECT_EQ(PixelsOf(image), (Grid{{a, b}}));
}

TEST(Image, RefusedBmpFiles)
{
    const Bmp good{24, 2, 2, 0, {}, {}, {Row({1, 2, 3, 4, 5, 6}), Row({7, 8, 9, 10, 11, 12})}};
    auto with = [&](auto change) {
        Bmp b = good;
        change(b);
        return b.Bytes();
    };
    struct Case
    {
        const char* what;
        std::string bytes;
        bool reset; // else unchanged
    } cases[] = {
        {"run-length 8", with([](Bmp& b) { b.compression = 1; }), true},
        {"run-length 4", with([](Bmp& b) { b.compression = 2; }), true},
        {"bit fields at 24 bits", with([](Bmp& b) { b.compression = 3; }), true},
        {"depth 2", with([](Bmp& b) { b.depth = 2; }), true},
        {"zero width", with([](Bmp& b) { b.width = 0; }), true},
        {"top-down", with([](Bmp& b) { b.height = -2; }), true},
        {"short header", good.Bytes().substr(0, 40), true},
        {"last row cut", good.Bytes().substr(0, good.Bytes().size() - 1), true},
        {"height beyond the file", with([](Bmp& b) { b.height = 0x7FFFFFFF; }), true},
        {"width beyond the file", with([](Bmp& b) { b.width = 0x7FFFFFFF; }), true},
        {"not BM", "BA" + good.Bytes().substr(2), false},
        {"one byte", "B", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScratchFolder dir;
        ASSERT_TRUE(WriteWholeFile(dir / "bad.bmp", c.bytes));
        QvImage image(3, 2, 24);
        EXPECT_FALSE(image.ReadFromFile(dir / "bad.bmp"));
        if (c.reset)
            EXPECT_TRUE(IsResetImage(image));
        else
            EXPECT_EQ(image.GetWidth(), 3);
    }

    QvImage image(3, 2, 24);
    QvBitmap reader(&image);
    EXPECT_FALSE(reader.Read(""));
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_FALSE(reader.Read("/no/such/picture.bmp"));
    EXPECT_TRUE(IsResetImage(image));
}

TEST(Image, BitmapDepthsAndPalettes)
{
    QvImage image;
    QvBitmap bitmap(&image);
    auto bgr = [](unsigned b, unsigned g, unsigned r) { return b | (g << 8) | (r << 16); };

    ASSERT_TRUE(bitmap.SetBitDepth(4));
    EXPECT_EQ(bitmap.GetNumberOfColors(), 16);
    EXPECT_EQ(bitmap.GetColor(1), bgr(128, 0, 0));
    EXPECT_EQ(bitmap.GetColor(8), bgr(192, 192, 192));
    EXPECT_EQ(bitmap.GetColor(12), bgr(0, 0, 255));
    EXPECT_EQ(bitmap.GetColor(16), 0x00FFFFFFu);
    EXPECT_EQ(bitmap.GetColor(-1), 0x00FFFFFFu);

    ASSERT_TRUE(bitmap.SetBitDepth(8));
    EXPECT_EQ(bitmap.GetNumberOfColors(), 256);
    EXPECT_EQ(bitmap.GetColor(0), bgr(0, 0, 0));
    EXPECT_EQ(bitmap.GetColor(64 * 1 + 8 * 2 + 3), bgr(96, 64, 64)); // (32 b, 32 g, 64 r)
    EXPECT_EQ(bitmap.GetColor(64 * 2 + 8 * 7 + 6), bgr(192, 224, 128));
    EXPECT_EQ(bitmap.GetColor(8), bgr(192, 220, 192));
    EXPECT_EQ(bitmap.GetColor(9), bgr(166, 202, 240));
    EXPECT_EQ(bitmap.GetColor(246), bgr(255, 251, 240));
    EXPECT_EQ(bitmap.GetColor(247), bgr(160, 160, 164));
    EXPECT_EQ(bitmap.GetColor(255), bgr(255, 255, 255));
    EXPECT_TRUE(bitmap.SetColor(255, 0x11223344u));
    EXPECT_EQ(bitmap.GetColor(255), 0x11223344u);
    EXPECT_FALSE(bitmap.SetColor(256, 1));

    ASSERT_TRUE(bitmap.SetBitDepth(1));
    EXPECT_EQ(bitmap.GetColor(1), bgr(255, 255, 255));
    EXPECT_FALSE(bitmap.SetBitDepth(2));
    EXPECT_EQ(image.GetBitsPerPixel(), 1);

    ASSERT_TRUE(bitmap.SetBitDepth(32));
    EXPECT_EQ(bitmap.GetNumberOfColors(), 1 << 24);
    EXPECT_EQ(bitmap.GetColor(0), 0x00FFFFFFu); // no palette
    EXPECT_FALSE(bitmap.SetColor(0, 1));
    ASSERT_TRUE(bitmap.SetBitDepth(16));
    EXPECT_EQ(bitmap.GetNumberOfColors(), 65536);

    EXPECT_FALSE(bitmap.SetSize(0, 4));
    EXPECT_FALSE(bitmap.SetSize(4, -1));
    ASSERT_TRUE(bitmap.SetSize(2, 3));
    EXPECT_EQ(PixelsOf(image), Grid(3, std::vector<Rgba>(2, kWhite)));
}

TEST(Image, SizesPixelsCloneAndExport)
{
    QvImage plain;
    EXPECT_EQ(plain.GetWidth(), 1);
    EXPECT_EQ(plain.GetHeight(), 1);
    EXPECT_EQ(plain.GetBitsPerPixel(), 24);
    EXPECT_FALSE(plain.IsEmpty());

    QvImage image(3, 2, 32);
    EXPECT_EQ(PixelsOf(image), Grid(2, std::vector<Rgba>(3, Rgba{0, 0, 0, 0})));
    EXPECT_EQ(image.GetRowSize(), 12);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int i = 0; i < 4; ++i)
                image.GetPixel(x, y)[i] = static_cast<unsigned char>(100 * y + 10 * x + i);
    EXPECT_EQ(image.GetPixel(-5, 12), image.GetPixel(0, 1));
    EXPECT_EQ(image.GetPixel(7, -1), image.GetPixel(2, 0));
    EXPECT_EQ(image.GetColumns()[2] + 4, image.GetPixel(2, 1));

    std::unique_ptr<QvImage> copy(image.Clone());
    EXPECT_EQ(copy->GetBitsPerPixel(), 32);
    EXPECT_EQ(PixelsOf(*copy), PixelsOf(image));
    copy->GetPixel(0, 0)[0] = 99;
    EXPECT_EQ(image.GetPixel(0, 0)[0], 0);

    // Rows from the top, first bytes of each pixel, no padding.
    for (const int depth : {8, 24, 32})
    {
        SCOPED_TRACE(depth);
        QvImage sized(3, 2, depth);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                std::memcpy(sized.GetPixel(x, y), image.GetPixel(x, y), 4);
        const int bytes = depth / 8;
        std::vector<unsigned char> out(static_cast<std::size_t>(3 * 2 * bytes) + 1, 0xEE);
        sized.GetPixelData(out.data());
        std::vector<unsigned char> expected;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int i = 0; i < bytes; ++i)
                    expected.push_back(static_cast<unsigned char>(100 * y + 10 * x + i));
        expected.push_back(0xEE);
        EXPECT_EQ(out, expected);
    }

    for (const auto& [w, h, depth] : {std::array{0, 4, 8}, std::array{4, 4, 0}, std::array{-3, 2, 32}})
    {
        QvImage empty(w, h, depth);
        EXPECT_TRUE(empty.IsEmpty());
    }
    QvImage none(-3, 2, 32);
    EXPECT_EQ(none.GetPixel(0, 0), nullptr);
    unsigned char untouched = 0xEE;
    none.GetPixelData(&untouched);
    EXPECT_EQ(untouched, 0xEE);
}

TEST(Image, ClonesCarryNoPalette)
{
    ScratchFolder dir;
    const Bmp bmp{8, 2, 1, 0, {{1, 2, 3, 0}, {4, 5, 6, 0}}, {}, {Row({1, 0})}};
    ASSERT_TRUE(WriteWholeFile(dir / "p.bmp", bmp.Bytes()));
    QvImage image;
    ASSERT_TRUE(image.ReadFromFile(dir / "p.bmp"));
    EXPECT_EQ(QvBitmap(&image).GetColor(1), 0x00060504u);
    std::unique_ptr<QvImage> copy(image.Clone());
    EXPECT_EQ(QvBitmap(copy.get()).GetColor(1), 0x00FFFFFFu);
    EXPECT_EQ(PixelsOf(*copy), PixelsOf(image));
}

std::string Chunk(const char* type, const std::string& data)
{
    std::string s;
    const std::uint32_t n = static_cast<std::uint32_t>(data.size());
    for (int i = 3; i >= 0; --i)
        s += static_cast<char>((n >> (8 * i)) & 0xFF);
    const std::string body = type + data;
    const std::uint32_t crc =
        static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    s += body;
    for (int i = 3; i >= 0; --i)
        s += static_cast<char>((crc >> (8 * i)) & 0xFF);
    return s;
}

TEST(Image, ReadsPngIntoRgba)
{
    ScratchFolder dir;
    const std::vector<unsigned char> rgba = {10, 20, 30, 40, 50, 60, 70, 80};
    std::vector<unsigned char> png;
    ASSERT_EQ(lodepng::encode(png, rgba, 2, 1, LCT_RGBA, 8), 0u);
    ASSERT_TRUE(WriteWholeFile(dir / "two.PNG", std::string(png.begin(), png.end())));
    QvImage image;
    ASSERT_TRUE(image.ReadFromFile(dir / "two.PNG"));
    EXPECT_EQ(image.GetBitsPerPixel(), 32);
    EXPECT_EQ(PixelsOf(image), (Grid{{Rgba{10, 20, 30, 40}, Rgba{50, 60, 70, 80}}}));

    // Grey and palette PNGs come out as RGBA too.
    std::vector<unsigned char> grey;
    ASSERT_EQ(lodepng::encode(grey, std::vector<unsigned char>{0, 255, 128, 7}, 2, 2, LCT_GREY, 8), 0u);
    ASSERT_TRUE(WriteWholeFile(dir / "grey.png", std::string(grey.begin(), grey.end())));
    ASSERT_TRUE(image.ReadFromFile(dir / "grey.png"));
    EXPECT_EQ(PixelsOf(image), (Grid{{Rgba{0, 0, 0, 255}, Rgba{255, 255, 255, 255}},
                                     {Rgba{128, 128, 128, 255}, Rgba{7, 7, 7, 255}}}));

    // A header promising far more pixels than the file could hold fails at once.
    std::string ihdr;
    for (const std::uint32_t v : {100000u, 100000u})
        for (int i = 3; i >= 0; --i)
            ihdr += static_cast<char>((v >> (8 * i)) & 0xFF);
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);
    const std::string huge = "\x89PNG\r\n\x1a\n" + Chunk("IHDR", ihdr) +
                             Chunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + Chunk("IEND", "");
    ASSERT_TRUE(WriteWholeFile(dir / "huge.png", huge));

    const std::string failing[] = {dir / "huge.png", dir / "missing.png", dir / "two", dir / "two.", dir / "two.jpg",
                                   dir / "grey.png.bak"};
    WriteWholeFile(dir / "two.jpg", std::string(png.begin(), png.end()));
    for (const std::string& path : failing)
    {
        SCOPED_TRACE(path);
        QvImage unchanged(3, 1, 8);
        EXPECT_FALSE(unchanged.ReadFromFile(path));
        EXPECT_EQ(unchanged.GetWidth(), 3);
        EXPECT_EQ(unchanged.GetBitsPerPixel(), 8);
    }
}

// The file readers take a path: each damaged variant goes through a file.
void SweepFile(const std::string& bytes, const std::string& path)
{
    qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& is) {
        if (!WriteWholeFile(path, qvtest::AllOf(is)))
            return false;
        QvImage image;
        return image.ReadFromFile(path);
    });
}

TEST(Image, SurvivesTruncationAndByteFlips)
{
    ScratchFolder dir;
    std::vector<Rgba> palette(16, Rgba{1, 2, 3, 0});
    SweepFile(Bmp{8, 5, 3, 0, palette, {}, {Row({1, 2, 3, 4, 5}), Row({6, 7, 8, 9, 10}), Row({0, 1, 2, 3, 4})}}.Bytes(),
              dir / "eight.bmp");
    SweepFile(Bmp{16, 3, 2, 3, {}, {0xF800, 0x07E0, 0x001F}, {Row16({1, 2, 3}), Row16({4, 5, 6})}}.Bytes(),
              dir / "sixteen.bmp");
    SweepFile(Bmp{1, 9, 2, 0, {{0, 0, 0, 0}, {9, 9, 9, 0}}, {}, {Row({0xAA, 0x80}), Row({0x55, 0x00})}}.Bytes(),
              dir / "one.bmp");

    std::vector<unsigned char> rgba(4 * 6 * 5);
    for (std::size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<unsigned char>(i * 7);
    std::vector<unsigned char> png;
    ASSERT_EQ(lodepng::encode(png, rgba, 6, 5, LCT_RGBA, 8), 0u);
    SweepFile(std::string(png.begin(), png.end()), dir / "picture.png");
}

} // namespace
