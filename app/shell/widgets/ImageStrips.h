// SPDX-License-Identifier: GPL-3.0-or-later
// State strips and other image helpers. A state strip is one picture of four equal
// frames side by side: disabled, normal, mouse over, pressed (checked).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace widgets {

inline constexpr int kStripFrames = 4;

// The image cut into count equal slices left to right, each w/count x h. A file that
// cannot be read gives count null images (nothing to draw); count <= 0 gives none.
QList<QImage> imagesWithContentsOfFile(const QString& path, int count = kStripFrames);
// The resource of that name: ".png" is appended unless the name already ends in
// .jpg, .png, .bmp or .jpeg (any case).
QString stripResourceName(const QString& name);
QList<QImage> imagesWithNamed(const QString& name, int count);

// Size of the thumbnail: the longer side 150, the aspect kept.
QSizeF thumbnailSize(const QSizeF& source);
// The image scaled to thumbnailSize (rounded to whole pixels).
QImage thumbnail(const QImage& source);

enum class BitmapType { JPEG = 3, PNG = 4 };
// The image encoded in the type; quality 90 when compress, 100 when not. Empty on failure.
QByteArray imageDataWithType(const QImage& image, BitmapType type, bool compress = false);

} // namespace widgets
