// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/GifAnimation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <gif_lib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace gif {
namespace {

constexpr int kColours = 256;

struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, MapDeleter>;

// One frame as palette indices and its colour map. The buffers are reused from
// frame to frame.
struct Quantised {
    int width = 0;
    int height = 0;
    std::vector<GifByteType> indices;
    ColourMap map;
    std::vector<GifByteType> r, g, b;
};

bool Quantise(const QImage& source, Quantised& out)
{
    if (source.isNull())
        return false;
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width(), h = rgb.height();
    const std::size_t n = static_cast<std::size_t>(w) * h;
    out.r.resize(n);
    out.g.resize(n);
    out.b.resize(n);
    for (int y = 0; y < h; ++y) {
        const uchar* line = rgb.constScanLine(y);
        const std::size_t row = static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            out.r[row + x] = line[3 * x];
            out.g[row + x] = line[3 * x + 1];
            out.b[row + x] = line[3 * x + 2];
        }
    }
    out.width = w;
    out.height = h;
    out.indices.resize(n);
    std::vector<GifColorType> palette(kColours);
    int size = kColours;
    if (GifQuantizeBuffer(w, h, &size, out.r.data(), out.g.data(), out.b.data(), out.indices.data(),
                          palette.data()) != GIF_OK)
        return false;
    // The quantiser works on 5 bits a channel and darkens every colour by up to 7
    // levels; each entry becomes the mean of the pixels it stands for instead.
    std::vector<std::array<std::uint64_t, 4>> sums(kColours, {0, 0, 0, 0});
    for (std::size_t i = 0; i < n; ++i) {
        auto& sum = sums[out.indices[i]];
        sum[0] += out.r[i];
        sum[1] += out.g[i];
        sum[2] += out.b[i];
        ++sum[3];
    }
    for (int c = 0; c < kColours; ++c)
        if (const std::uint64_t count = sums[c][3]) {
            palette[c].Red = static_cast<GifByteType>((sums[c][0] + count / 2) / count);
            palette[c].Green = static_cast<GifByteType>((sums[c][1] + count / 2) / count);
            palette[c].Blue = static_cast<GifByteType>((sums[c][2] + count / 2) / count);
        }
    // The map's size must be a power of two; unused entries stay black.
    out.map.reset(GifMakeMapObject(kColours, palette.data()));
    return out.map != nullptr;
}

bool PutLoopForever(GifFileType* file)
{
    static const GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoop[] = {1, 0, 0}; // sub-block 1, loop count 0 (little-endian)
    return EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(file, sizeof kNetscape, kNetscape) == GIF_OK &&
           EGifPutExtensionBlock(file, sizeof kLoop, kLoop) == GIF_OK &&
           EGifPutExtensionTrailer(file) == GIF_OK;
}

bool PutFrame(GifFileType* file, Quantised& frame, int delayCs, bool global)
{
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.UserInputFlag = false;
    control.DelayTime = delayCs;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    return EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK &&
           EGifPutImageDesc(file, 0, 0, frame.width, frame.height, false, global ? nullptr : frame.map.get()) ==
               GIF_OK &&
           EGifPutLine(file, frame.indices.data(), frame.width * frame.height) == GIF_OK;
}

// Removes the temporary file unless it was renamed.
struct TempFile {
    QByteArray path;
    bool keep = false;
    ~TempFile()
    {
        if (!keep && !path.isEmpty())
            ::unlink(path.constData());
    }
};

} // namespace

bool WriteAnimatedGif(const QString& path, qsizetype count, const std::function<QImage(qsizetype)>& frameAt,
                      int delayCs)
{
    if (count <= 0 || path.isEmpty())
        return false;
    Quantised frame;
    if (!Quantise(frameAt(0), frame))
        return false;
    // The logical screen is the first frame's size; later frames are cut to it.
    const int screenWidth = frame.width, screenHeight = frame.height;

    const QFileInfo target(path);
    TempFile temp;
    temp.path = QFile::encodeName(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    const int fd = ::mkstemp(temp.path.data());
    if (fd < 0) {
        temp.path.clear();
        return false;
    }
    // mkstemp makes the file private; a saved picture is for others to read too.
    ::fchmod(fd, 0644);
    int error = 0;
    GifFileType* file = EGifOpenFileHandle(fd, &error);
    if (!file) {
        ::close(fd);
        return false;
    }
    EGifSetGifVersion(file, true);
    bool ok = EGifPutScreenDesc(file, screenWidth, screenHeight, 8, 0, frame.map.get()) == GIF_OK &&
              PutLoopForever(file) && PutFrame(file, frame, delayCs, true);
    for (qsizetype i = 1; ok && i < count; ++i) {
        QImage image = frameAt(i);
        if (!image.isNull() && (image.width() > screenWidth || image.height() > screenHeight))
            image = image.copy(0, 0, std::min(image.width(), screenWidth), std::min(image.height(), screenHeight));
        ok = Quantise(image, frame) && PutFrame(file, frame, delayCs, false);
    }
    // Closing also flushes and closes the descriptor; its failure is a failed write.
    if (EGifCloseFile(file, &error) != GIF_OK)
        ok = false;
    if (!ok)
        return false;
    if (::rename(temp.path.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return false;
    temp.keep = true;
    return true;
}

bool WriteAnimatedGif(const QString& path, const QStringList& framePaths, int delayCs)
{
    return WriteAnimatedGif(
        path, framePaths.size(), [&](qsizetype i) { return QImage(framePaths[i]); }, delayCs);
}

} // namespace gif
