// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/OffscreenGL.h"

#include <GL/osmesa.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>

#include <lodepng.h>

namespace rivela::testing
{

OffscreenGL::OffscreenGL(int width, int height) : m_width(std::max(1, width)), m_height(std::max(1, height))
{
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 8, 0, nullptr);
    if (context == nullptr)
        return;
    m_context = context;
    m_buffer.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height) * 4, 0);
    m_valid = MakeCurrent();
}

OffscreenGL::~OffscreenGL()
{
    if (m_context == nullptr)
        return;
    if (OSMesaGetCurrentContext() == static_cast<OSMesaContext>(m_context))
        OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    OSMesaDestroyContext(static_cast<OSMesaContext>(m_context));
}

bool OffscreenGL::MakeCurrent()
{
    if (m_context == nullptr)
        return false;
    if (!OSMesaMakeCurrent(static_cast<OSMesaContext>(m_context), m_buffer.data(), GL_UNSIGNED_BYTE, m_width,
                           m_height))
        return false;
    // Rows of the memory buffer from the bottom, like glReadPixels.
    OSMesaPixelStore(OSMESA_Y_UP, 1);
    return true;
}

RgbaImage OffscreenGL::ReadColor() const
{
    RgbaImage image;
    image.width = m_width;
    image.height = m_height;
    image.pixels.assign(m_buffer.size(), 0);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<std::uint8_t> bottomUp(m_buffer.size());
    glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    const std::size_t row = static_cast<std::size_t>(m_width) * 4;
    for (int y = 0; y < m_height; ++y)
        std::copy_n(bottomUp.data() + row * static_cast<std::size_t>(m_height - 1 - y), row,
                    image.pixels.data() + row * static_cast<std::size_t>(y));
    return image;
}

std::vector<std::uint8_t> OffscreenGL::ReadStencil() const
{
    const std::size_t count = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
    std::vector<std::uint8_t> bottomUp(count, 0), out(count, 0);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m_width, m_height, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, bottomUp.data());
    const std::size_t row = static_cast<std::size_t>(m_width);
    for (int y = 0; y < m_height; ++y)
        std::copy_n(bottomUp.data() + row * static_cast<std::size_t>(m_height - 1 - y), row,
                    out.data() + row * static_cast<std::size_t>(y));
    return out;
}

std::vector<float> OffscreenGL::ReadDepth() const
{
    const std::size_t count = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
    std::vector<float> bottomUp(count, 1.0f), out(count, 1.0f);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, m_width, m_height, GL_DEPTH_COMPONENT, GL_FLOAT, bottomUp.data());
    const std::size_t row = static_cast<std::size_t>(m_width);
    for (int y = 0; y < m_height; ++y)
        std::copy_n(bottomUp.data() + row * static_cast<std::size_t>(m_height - 1 - y), row,
                    out.data() + row * static_cast<std::size_t>(y));
    return out;
}

bool WritePng(const std::string& path, const RgbaImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        return false;
    return lodepng::encode(path, image.pixels, static_cast<unsigned>(image.width),
                           static_cast<unsigned>(image.height)) == 0;
}

bool ReadPng(const std::string& path, RgbaImage& image)
{
    std::vector<unsigned char> pixels;
    unsigned w = 0, h = 0;
    if (lodepng::decode(pixels, w, h, path) != 0)
        return false;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    image.pixels = std::move(pixels);
    return true;
}

ImageDiff CompareImages(const RgbaImage& actual, const RgbaImage& expected, int tolerance)
{
    ImageDiff result;
    result.sizeMatches = actual.width == expected.width && actual.height == expected.height &&
                         actual.pixels.size() == expected.pixels.size();
    if (!result.sizeMatches)
        return result;
    result.diff = actual;
    for (std::size_t i = 0; i < actual.pixels.size(); i += 4)
    {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(actual.pixels[i + c]) - int(expected.pixels[i + c])));
        result.maxChannelDelta = std::max(result.maxChannelDelta, worst);
        std::uint8_t* out = &result.diff.pixels[i];
        if (worst > tolerance)
        {
            ++result.pixelsOverTolerance;
            out[0] = 255;
            out[1] = 0;
            out[2] = 0;
        }
        else
        {
            const std::uint8_t grey =
                static_cast<std::uint8_t>((int(actual.pixels[i]) + actual.pixels[i + 1] + actual.pixels[i + 2]) / 6);
            out[0] = out[1] = out[2] = grey;
        }
        out[3] = 255;
    }
    return result;
}

} // namespace rivela::testing
