// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvImage.h"

#include <lodepng.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <utility>

#include "core/geometry/QvTextUtil.h"

namespace {

constexpr unsigned char kWhite[4] = {0xFF, 0xFF, 0xFF, 0x00};
constexpr unsigned char kZero[4] = {0, 0, 0, 0};
constexpr std::int64_t kInfoEnd = 54; // file header (14) + information header (40)

struct Bgr
{
    int index;
    unsigned char b, g, r;
};

constexpr Bgr kPalette1[] = {{0, 0, 0, 0}, {1, 255, 255, 255}};
constexpr Bgr kPalette4[] = {
    {0, 0, 0, 0},       {1, 128, 0, 0},     {2, 0, 128, 0},     {3, 128, 128, 0},
    {4, 0, 0, 128},     {5, 128, 0, 128},   {6, 0, 128, 128},   {7, 128, 128, 128},
    {8, 192, 192, 192}, {9, 255, 0, 0},     {10, 0, 255, 0},    {11, 255, 255, 0},
    {12, 0, 0, 255},    {13, 255, 0, 255},  {14, 0, 255, 255},  {15, 255, 255, 255},
};
constexpr Bgr kPalette8Fixed[] = {
    {1, 128, 0, 0},       {2, 0, 128, 0},       {3, 128, 128, 0},     {4, 0, 0, 128},
    {5, 128, 0, 128},     {6, 0, 128, 128},     {7, 192, 192, 192},   {8, 192, 220, 192},
    {9, 166, 202, 240},   {246, 255, 251, 240}, {247, 160, 160, 164}, {248, 128, 128, 128},
    {249, 255, 0, 0},     {250, 0, 255, 0},     {251, 255, 255, 0},   {252, 0, 0, 255},
    {253, 255, 0, 255},   {254, 0, 255, 255},   {255, 255, 255, 255},
};

void Put(std::vector<unsigned char>& palette, const Bgr& e)
{
    unsigned char* p = palette.data() + 4 * e.index;
    p[0] = e.b;
    p[1] = e.g;
    p[2] = e.r;
    p[3] = 0;
}

std::vector<unsigned char> StandardPalette(int depth)
{
    std::vector<unsigned char> palette(4 * static_cast<std::size_t>(IntPower(2, depth)), 0);
    if (depth == 1)
        for (const Bgr& e : kPalette1)
            Put(palette, e);
    else if (depth == 4)
        for (const Bgr& e : kPalette4)
            Put(palette, e);
    else
    {
        for (int r = 0; r < 4; ++r)
            for (int g = 0; g < 8; ++g)
                for (int b = 0; b < 8; ++b)
                    Put(palette, {64 * r + 8 * g + b, static_cast<unsigned char>(32 * b),
                                  static_cast<unsigned char>(32 * g), static_cast<unsigned char>(64 * r)});
        for (const Bgr& e : kPalette8Fixed)
            Put(palette, e);
    }
    return palette;
}

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadU16(std::FILE* f, std::uint16_t& v)
{
    unsigned char b[2];
    if (!SafeRead(b, 1, 2, f))
        return false;
    v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool ReadU32(std::FILE* f, std::uint32_t& v)
{
    unsigned char b[4];
    if (!SafeRead(b, 1, 4, f))
        return false;
    v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool ReadI32(std::FILE* f, std::int32_t& v)
{
    std::uint32_t u = 0;
    if (!ReadU32(f, u))
        return false;
    v = static_cast<std::int32_t>(u);
    return true;
}

// Right shifts that bring the mask to 31 or less.
int MaskShift(std::uint32_t mask)
{
    int shift = 0;
    while ((mask >> shift) > 31)
        ++shift;
    return shift;
}

} // namespace

// ---- QvImage ----------------------------------------------------------------------

QvImage::QvImage()
{
    Allocate(1, 1, kZero);
}

QvImage::QvImage(int width, int height, int bitsPerPixel)
{
    m_bitsPerPixel = bitsPerPixel;
    Allocate(std::max(width, 0), std::max(height, 0), kZero);
}

void QvImage::Allocate(int width, int height, const unsigned char fill[4])
{
    m_width = width;
    m_height = height;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    m_pixels.assign(4 * count, 0);
    if (std::memcmp(fill, kZero, 4) != 0)
        for (std::size_t i = 0; i < count; ++i)
            std::memcpy(m_pixels.data() + 4 * i, fill, 4);
    m_columns.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        m_columns[static_cast<std::size_t>(x)] = m_pixels.data() + 4 * static_cast<std::size_t>(x) * height;
}

QvImage* QvImage::Clone() const
{
    QvImage* copy = new QvImage(0, 0, m_bitsPerPixel);
    copy->Allocate(m_width, m_height, kZero);
    copy->m_pixels = m_pixels;
    for (int x = 0; x < m_width; ++x)
        copy->m_columns[static_cast<std::size_t>(x)] =
            copy->m_pixels.data() + 4 * static_cast<std::size_t>(x) * m_height;
    return copy;
}

unsigned char* QvImage::GetPixel(int x, int y)
{
    return const_cast<unsigned char*>(std::as_const(*this).GetPixel(x, y));
}

const unsigned char* QvImage::GetPixel(int x, int y) const
{
    if (m_width < 1 || m_height < 1)
        return nullptr;
    x = std::clamp(x, 0, m_width - 1);
    y = std::clamp(y, 0, m_height - 1);
    return m_columns[static_cast<std::size_t>(x)] + 4 * static_cast<std::size_t>(y);
}

bool QvImage::IsEmpty() const
{
    return static_cast<std::int64_t>(m_width) * m_height * m_bitsPerPixel == 0;
}

int QvImage::GetRowSize() const
{
    return m_bitsPerPixel / 8 * m_width;
}

void QvImage::GetPixelData(unsigned char* out) const
{
    const int stride = m_bitsPerPixel / 8;
    if (m_width < 1 || m_height < 1 || stride < 1 || out == nullptr)
        return;
    const std::size_t taken = static_cast<std::size_t>(std::min(stride, 4));
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x)
        {
            std::memcpy(out, GetPixel(x, y), taken);
            out += stride;
        }
}

bool QvImage::ReadFromFile(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot + 1 == path.size())
        return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');

    if (extension == "bmp")
    {
        QvBitmap bitmap(this);
        if (!bitmap.Read(path))
            return false;
        for (unsigned char* p = m_pixels.data(); p != m_pixels.data() + m_pixels.size(); p += 4)
            std::swap(p[0], p[2]);
        return true;
    }
    if (extension == "png")
        return ReadPng(path);
    return false;
}

bool QvImage::ReadPng(const std::string& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    if (size < 0 || !file.seekg(0))
        return false;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size))
        return false;

    lodepng::State state;
    unsigned width = 0;
    unsigned height = 0;
    if (lodepng_inspect(&width, &height, &state, bytes.data(), bytes.size()) != 0)
        return false;
    // Deflate expands a byte into at most 1032: a header promising more pixel data than
    // the file could hold is damage, refused before the decoder reserves room for it.
    const double rawBytes = static_cast<double>(width) * height * lodepng_get_bpp(&state.info_png.color) / 8.0;
    if (width > static_cast<unsigned>(std::numeric_limits<int>::max()) ||
        height > static_cast<unsigned>(std::numeric_limits<int>::max()) ||
        rawBytes > 1032.0 * static_cast<double>(bytes.size()) + 65536.0)
        return false;

    state.info_raw.colortype = LCT_RGBA;
    state.info_raw.bitdepth = 8;
    std::vector<unsigned char> rgba;
    if (lodepng::decode(rgba, width, height, state, bytes) != 0 ||
        rgba.size() != 4 * static_cast<std::size_t>(width) * height)
        return false;

    m_palette.clear();
    m_bitsPerPixel = 32;
    Allocate(static_cast<int>(width), static_cast<int>(height), kZero);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            std::memcpy(GetPixel(static_cast<int>(x), static_cast<int>(y)),
                        rgba.data() + 4 * (static_cast<std::size_t>(y) * width + x), 4);
    return true;
}

// ---- QvBitmap ---------------------------------------------------------------------

bool QvBitmap::SetBitDepth(int depth)
{
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return false;
    m_image->m_bitsPerPixel = depth;
    m_image->m_palette.clear();
    if (depth <= 8)
        m_image->m_palette = StandardPalette(depth);
    return true;
}

bool QvBitmap::SetSize(int width, int height)
{
    if (width < 1 || height < 1)
        return false;
    m_image->Allocate(width, height, kWhite);
    return true;
}

bool QvBitmap::HasPaletteIndex(int index) const
{
    const int depth = m_image->m_bitsPerPixel;
    if (depth != 1 && depth != 4 && depth != 8)
        return false;
    const int colors = IntPower(2, depth);
    return index >= 0 && index < colors && m_image->m_palette.size() >= 4 * static_cast<std::size_t>(colors);
}

std::uint32_t QvBitmap::GetColor(int index) const
{
    std::uint32_t value = 0;
    std::memcpy(&value, HasPaletteIndex(index) ? &m_image->m_palette[4 * static_cast<std::size_t>(index)] : kWhite, 4);
    return value;
}

bool QvBitmap::SetColor(int index, std::uint32_t value)
{
    if (!HasPaletteIndex(index))
        return false;
    std::memcpy(&m_image->m_palette[4 * static_cast<std::size_t>(index)], &value, 4);
    return true;
}

int QvBitmap::GetNumberOfColors() const
{
    return m_image->m_bitsPerPixel == 32 ? IntPower(2, 24) : IntPower(2, m_image->m_bitsPerPixel);
}

void QvBitmap::Reset()
{
    (void)SetBitDepth(1);
    (void)SetSize(1, 1);
}

bool QvBitmap::Read(const std::string& path)
{
    if (path.empty())
        return false;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
    {
        Reset();
        return false;
    }
    std::FILE* f = file.get();
    unsigned char magic[2];
    if (!SafeRead(magic, 1, 2, f) || magic[0] != 0x42 || magic[1] != 0x4D)
        return false;

    std::uint32_t fileSizeField = 0, offset = 0, headerSize = 0, compression = 0, unused = 0;
    std::uint16_t reserved = 0, planes = 0, depth = 0;
    std::int32_t width = 0, height = 0;
    bool ok = ReadU32(f, fileSizeField) && ReadU16(f, reserved) && ReadU16(f, reserved) && ReadU32(f, offset) &&
              ReadU32(f, headerSize) && ReadI32(f, width) && ReadI32(f, height) && ReadU16(f, planes) &&
              ReadU16(f, depth) && ReadU32(f, compression);
    for (int i = 0; ok && i < 5; ++i)
        ok = ReadU32(f, unused);
    ok = ok && (compression == 0 || (compression == 3 && depth == 16)) &&
         (depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32) && width > 0 &&
         height > 0;

    // Where the pixel rows start: after the palette (depths up to 8) or the masks
    // (16 bits with bit fields), and after whatever gap the data offset leaves. A short
    // palette leaves its gap too: the rows start at the offset, not 4-byte steps before it.
    const std::int64_t colors = depth <= 8 ? IntPower(2, depth) : 0;
    std::int64_t gap = static_cast<std::int64_t>(offset) - kInfoEnd;
    const std::int64_t paletteEntries = std::max<std::int64_t>(std::min(colors, gap / 4), 0);
    std::int64_t rowsStart = kInfoEnd;
    if (depth <= 8)
    {
        rowsStart += 4 * paletteEntries;
        gap -= 4 * paletteEntries;
    }
    else if (depth == 16 && compression == 3)
    {
        rowsStart += 12;
        gap -= 12;
    }
    rowsStart += std::max<std::int64_t>(gap, 0);

    // Every row must be in the file: this also bounds what the pixels may take in memory.
    const std::int64_t rowSize = (static_cast<std::int64_t>(depth) * width + 31) / 32 * 4;
    if (ok)
    {
        const off_t here = ::ftello(f);
        ok = here >= 0 && ::fseeko(f, 0, SEEK_END) == 0;
        const off_t end = ok ? ::ftello(f) : -1;
        ok = ok && end >= 0 && ::fseeko(f, here, SEEK_SET) == 0 &&
             rowSize <= std::numeric_limits<std::int32_t>::max() &&
             rowSize * height <= static_cast<std::int64_t>(end) - rowsStart;
    }
    if (!ok || !SetBitDepth(depth) || !SetSize(width, height))
    {
        Reset();
        return false;
    }

    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (depth <= 8)
    {
        // Entries missing from the file are white.
        std::vector<unsigned char>& palette = m_image->m_palette;
        for (std::int64_t i = 0; i < colors; ++i)
            std::memcpy(&palette[4 * static_cast<std::size_t>(i)], kWhite, 4);
        if (paletteEntries > 0)
            ok = SafeRead(palette.data(), 4, static_cast<std::int32_t>(paletteEntries), f);
    }
    else if (depth == 16 && compression == 3)
    {
        for (std::uint32_t& mask : masks)
        {
            ok = ok && ReadU32(f, mask);
            mask &= 0xFFFF;
        }
    }
    if (ok && gap > 0)
        ok = ::fseeko(f, static_cast<off_t>(gap), SEEK_CUR) == 0;

    const int shifts[3] = {MaskShift(masks[0]), MaskShift(masks[1]), MaskShift(masks[2])};
    const std::vector<unsigned char>& palette = m_image->m_palette;
    std::vector<unsigned char> row(static_cast<std::size_t>(rowSize));
    // Rows are stored bottom-up.
    for (std::int32_t y = height - 1; ok && y >= 0; --y)
    {
        if (!SafeRead(row.data(), 1, static_cast<std::int32_t>(rowSize), f))
        {
            ok = false;
            break;
        }
        for (std::int32_t x = 0; x < width; ++x)
        {
            unsigned char* pixel = m_image->GetPixel(x, y);
            switch (depth)
            {
            case 1:
            case 4:
            case 8: {
                const int perByte = 8 / depth;
                const unsigned byte = row[static_cast<std::size_t>(x / perByte)];
                const int shift = 8 - depth * (x % perByte + 1); // most significant bits first
                const unsigned index = (byte >> shift) & ((1u << depth) - 1);
                std::memcpy(pixel, &palette[4 * index], 4);
                break;
            }
            case 16: {
                const std::size_t at = 2 * static_cast<std::size_t>(x);
                const std::uint32_t value = row[at] | (row[at + 1] << 8);
                // Blue, green, red: the file's order, as for the other depths.
                for (int c = 0; c < 3; ++c)
                    pixel[2 - c] = static_cast<unsigned char>(((value & masks[c]) >> shifts[c]) << 3);
                break;
            }
            case 24:
                std::memcpy(pixel, &row[3 * static_cast<std::size_t>(x)], 3);
                break;
            default:
                std::memcpy(pixel, &row[4 * static_cast<std::size_t>(x)], 4);
                break;
            }
        }
    }
    if (!ok)
    {
        Reset();
        return false;
    }
    return true;
}
