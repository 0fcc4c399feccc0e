// SPDX-License-Identifier: GPL-3.0-or-later
// The picture answers the page gets: thumbnails (within 150 by 150, aspect kept),
// encodings by file type, the JSON of a picked or edited picture, and the copy of a
// picked picture into the cache folder. GUI thread (QImage is fine elsewhere too).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace pictures {

// "BMP" for ".bmp", "PNG" for ".png", else "JPEG" (by the lower-cased extension).
const char* ImageFileType(const QString& path);
// Bytes of the picture in the type; quality 100, or 90 when compress is set (JPEG).
QByteArray ImageData(const QImage& image, const char* type, bool compress = false);
QImage Thumbnail(const QImage& image);
// An address ("http" in it) is fetched, anything else read as a file path.
QImage ReadPicture(const QString& pathOrAddress);
// Writes the bytes to the file through a temporary file.
[[nodiscard]] bool WriteAtomically(const QString& path, const QByteArray& bytes);

// {"msg":"success","status":"0","tag":tag}
QString EmptyJsonWithTag(const QString& tag);
// The thumbnail is written into the temporary folder; none when the picture cannot
// be read. "FilePath", or "filePath" for an edited picture.
std::optional<QString> CombinedJsonFromImage(const QString& path, const QString& tag, bool isEdit);
// Cache folder + the source's whole path; the path of the copy (also when the source
// could not be read and nothing was written).
QString CopyToAppCache(const QString& path);

} // namespace pictures
