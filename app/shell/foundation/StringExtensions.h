// SPDX-License-Identifier: GPL-3.0-or-later
// Additions to texts, URLs and dictionaries that every window calls: the GB18030
// boundary to the core, URLs from texts, percent encoding, JSON texts and file
// digests. Pure functions, callable on any thread (drawing on the GUI thread).
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <optional>

class QFont;
class QPainter;
class QRectF;

namespace foundation {

// The core's zero-terminated GB18030 bytes as text; none when they are not GB18030.
std::optional<QString> GBKForString(const char* gb18030);
// Compares the two GB18030 texts ignoring case: -1, 0 or 1. A text that is not
// GB18030 counts as empty.
int GBKStringCompare(const char* left, const char* right);

// Draws the text vertically centred in the rectangle: measured for the rectangle's
// width (one line high when lineNum is 1, else unbounded), then drawn at
// y + (height - measured height) / 2. flags are Qt::AlignmentFlag | Qt::TextFlag.
void DrawVerticalCenter(QPainter& painter, const QString& text, const QRectF& rect, int flags, const QFont& font,
                        int lineNum);
// Height of the text wrapped to the width in the font.
double HeightWithLimitWidth(const QString& text, double width, const QFont& font);

// A web URL for a text that begins with "http://" or "https://"; any other text is a
// file path and gives a file URL.
QUrl URL(const QString& text);
// Percent-encodes every character a URL query may not hold as it is.
QString URLQueryAllowed(const QString& text);
// Removes percent encoding; none for a bad "%" sequence or bytes that are not UTF-8.
std::optional<QString> CancelURLQueryAllowed(const QString& text);
// The JSON value of the text (a bare number or string allowed); none when not JSON.
std::optional<QJsonValue> ToJsonData(const QString& text);
// MD5 of the file at the path, read in 5 MiB pieces; none when it cannot be read.
std::optional<QString> FileMD5(const QString& path);
bool IsNotNull(const QString& text);

// Compact JSON with sorted keys, all on one line.
QString ToString(const QJsonObject& dictionary);
QString ToString(const QVariantMap& dictionary);

// The URL's last path component without its extension.
QString FileName(const QUrl& url);

// Whether a press on an image view drags its window: one flag for all image
// views, off at start. GUI thread only.
bool MouseDownCanMoveWindow();
void ConfigureCanMoveWindow(bool canMove);

} // namespace foundation
