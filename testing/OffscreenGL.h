// SPDX-License-Identifier: GPL-3.0-or-later
// Headless OpenGL for tests and tools: an OSMesa context (RGBA, depth 24, stencil 8)
// drawing into memory, read back as RGBA rows from the top, and small PNG helpers
// for baseline-image comparisons.
//
// Programs that use it must load OSMesa ahead of the vendor-neutral libGL, or every
// gl call goes to a dispatcher that knows nothing of this context: link the target
// rivela_testing_gl, which puts OSMesa first on the link line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rivela::testing
{

// RGBA pixels, rows from the top.
struct RgbaImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width x height x 4

    // (r, g, b, a) of the pixel at column x, row y counted from the top.
    const std::uint8_t* At(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 4]; }
    // The same with GL's bottom-up y.
    const std::uint8_t* AtGL(int x, int y) const { return At(x, height - 1 - y); }
};

class OffscreenGL
{
public:
    // Makes the context current at once; IsValid tells whether that worked.
    OffscreenGL(int width, int height);
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;
    ~OffscreenGL();

    bool IsValid() const { return m_valid; }
    bool MakeCurrent();
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // glFinish, then the colour buffer.
    RgbaImage ReadColor() const;
    // glFinish, then glReadPixels of the stencil buffer, rows from the top.
    std::vector<std::uint8_t> ReadStencil() const;
    // Depth values 0..1, rows from the top.
    std::vector<float> ReadDepth() const;

private:
    void* m_context = nullptr;
    std::vector<std::uint8_t> m_buffer;
    int m_width;
    int m_height;
    bool m_valid = false;
};

bool WritePng(const std::string& path, const RgbaImage& image);
bool ReadPng(const std::string& path, RgbaImage& image);

struct ImageDiff
{
    bool sizeMatches = false;
    int maxChannelDelta = 0;   // largest |a - b| over all channels
    int pixelsOverTolerance = 0;
    RgbaImage diff;            // red where a pixel is over the tolerance, grey copy elsewhere
};
// Compares colour channels (alpha ignored); a pixel is over when any channel differs by more than tolerance.
ImageDiff CompareImages(const RgbaImage& actual, const RgbaImage& expected, int tolerance);

} // namespace rivela::testing
