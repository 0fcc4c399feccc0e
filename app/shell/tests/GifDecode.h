// SPDX-License-Identifier: GPL-3.0-or-later
// An independent read of a GIF file with giflib's decoder, for checking what the
// export wrote.
#pragma once

#include <QImage>
#include <QString>

#include <gif_lib.h>

#include <cstring>
#include <vector>

namespace gifcheck {

struct Decoded {
    bool ok = false;
    int loopCount = -1; // NETSCAPE2.0 loop count; -1 when absent
    std::vector<int> delaysCs;
    std::vector<QImage> frames; // RGB, drawn at their place on the logical screen
};

inline Decoded Read(const QString& path)
{
    Decoded out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.toLocal8Bit().constData(), &error);
    if (!gif)
        return out;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return out;
    }
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            const ExtensionBlock& next = image.ExtensionBlocks[e + 1];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount == 3 && next.Bytes[0] == 1)
                out.loopCount = next.Bytes[1] | (next.Bytes[2] << 8);
        }
        GraphicsControlBlock control{};
        out.delaysCs.push_back(DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK ? control.DelayTime : -1);
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        QImage frame(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
        frame.fill(Qt::black);
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const GifColorType c = map->Colors[image.RasterBits[y * d.Width + x]];
                frame.setPixel(d.Left + x, d.Top + y, qRgb(c.Red, c.Green, c.Blue));
            }
        out.frames.push_back(frame);
    }
    out.ok = true;
    DGifCloseFile(gif, &error);
    return out;
}

// Mean absolute difference per channel (0..255) over the common area.
inline double MeanError(const QImage& a, const QImage& b)
{
    const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
    if (w <= 0 || h <= 0)
        return 255;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * w * h);
}

} // namespace gifcheck
