// SPDX-License-Identifier: GPL-3.0-or-later
// The core's raster image: a grid of 4-byte pixels with a nominal bit depth and an
// optional palette, loaded from BMP or PNG files; and the BMP reader that fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QvImage
{
public:
    // 1 x 1, 24 bits per pixel, one zero pixel, no palette.
    QvImage();
    // width columns of height pixels, every byte 0, no palette; the depth is kept as
    // given. A negative width or height counts as 0 (an empty image).
    QvImage(int width, int height, int bitsPerPixel);
    virtual ~QvImage() = default;

    QvImage(const QvImage&) = delete;
    QvImage& operator=(const QvImage&) = delete;

    // Same size, depth and pixels; the copy has no palette. The caller owns it.
    [[nodiscard]] QvImage* Clone() const;

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetBitsPerPixel() const { return m_bitsPerPixel; }

    // The pixel's 4 bytes; coordinates are clamped to the image, so an outside one gives
    // the nearest edge pixel. Null only for an image without pixels.
    unsigned char* GetPixel(int x, int y);
    const unsigned char* GetPixel(int x, int y) const;

    // Loads a ".bmp" or ".png" file (extension compared lower-cased); afterwards every
    // pixel holds red, green, blue, alpha. False for another or no extension and for a
    // failed load: a failed PNG leaves the image unchanged, a failed BMP may leave the
    // reset 1 x 1 image of QvBitmap.
    [[nodiscard]] bool ReadFromFile(const std::string& path);

    // Rows from the top, packed without padding, bitsPerPixel / 8 bytes per pixel taken
    // from the pixel's first bytes (8 bits: byte 0; 24: bytes 0-2; 32: bytes 0-3). out
    // holds width x height x (bitsPerPixel / 8) bytes. Nothing is written for an image
    // without pixels.
    void GetPixelData(unsigned char* out) const;

    // True when width x height x bits per pixel is 0.
    bool IsEmpty() const;

    // Bytes of one packed row: bitsPerPixel / 8 x width.
    int GetRowSize() const;
    // The columns: column x points at its height pixels of 4 bytes.
    unsigned char* const* GetColumns() { return m_columns.data(); }

private:
    friend class QvBitmap;

    // Replaces the pixels by width x height pixels of the 4 bytes fill.
    void Allocate(int width, int height, const unsigned char fill[4]);
    [[nodiscard]] bool ReadPng(const std::string& path);

    int m_width = 1;
    int m_height = 1;
    int m_bitsPerPixel = 24;
    std::vector<unsigned char> m_pixels;  // column after column, 4 bytes per pixel
    std::vector<unsigned char*> m_columns; // into m_pixels
    std::vector<unsigned char> m_palette; // 4 bytes per entry (blue, green, red, 0); empty: none
};

// Reads a BMP file into an image: construct with the target (not owned), call Read.
class QvBitmap
{
public:
    explicit QvBitmap(QvImage* image) : m_image(image) {}
    virtual ~QvBitmap() = default;

    // Uncompressed BMP of 1, 4, 8, 24 or 32 bits, or 16 bits plain or with bit fields,
    // stored bottom-up with the 40-byte information header. Pixels keep the file's
    // blue, green, red order (palette entries as they stand). False with the image
    // unchanged for an empty path or a file not starting with "BM"; false with the image
    // reset (depth 1, standard palette, 1 x 1 white) for a file that cannot be opened, a
    // short header, an unsupported compression or depth, a size below 1 or pixel rows
    // that run past the end of the file.
    [[nodiscard]] bool Read(const std::string& path);

    // For 1, 4, 8, 16, 24 and 32: sets the depth and drops the palette; 1, 4 and 8 get
    // their standard palette of 2^depth entries. Other values: false, nothing changes.
    [[nodiscard]] bool SetBitDepth(int depth);
    // False when either is below 1; otherwise width x height pixels of FF FF FF 00.
    [[nodiscard]] bool SetSize(int width, int height);
    // Palette entry, byte 0 in the low bits; white (FF FF FF 00) without a palette or for
    // an index outside it.
    std::uint32_t GetColor(int index) const;
    // False without a palette or for an index outside it.
    [[nodiscard]] bool SetColor(int index, std::uint32_t value);
    // 2^depth; 2^24 for 32 bits.
    int GetNumberOfColors() const;

private:
    void Reset();
    bool HasPaletteIndex(int index) const;

    QvImage* m_image;
};
