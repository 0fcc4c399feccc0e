// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF files with giflib: each frame quantised to its own 256 colours (the
// first frame's palette is also the global one), a fixed delay per frame and the
// NETSCAPE2.0 loop count 0 (repeat for ever). Memory holds one frame at a time.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace gif {

// Delay of every frame in hundredths of a second.
inline constexpr int kExportDelayCs = 70;

// Writes the image files (any format Qt reads) as one GIF at the path, in order. The
// file is written beside the path and renamed over it, so a failure leaves the path
// as it was. False when there is no frame, a frame cannot be read, or the file cannot
// be written whole.
[[nodiscard]] bool WriteAnimatedGif(const QString& path, const QStringList& framePaths, int delayCs);

// Same, with frames from a callback (index -> image; a null image fails the write).
[[nodiscard]] bool WriteAnimatedGif(const QString& path, qsizetype count,
                                    const std::function<QImage(qsizetype)>& frameAt, int delayCs);

} // namespace gif
