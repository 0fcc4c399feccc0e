// SPDX-License-Identifier: GPL-3.0-or-later
// Colours from packed values and hex texts, hex texts of integers, and the system
// font by weight index, as the login views and list cells use them.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

namespace foundation {

// 0xRRGGBB, opaque; and 0xRRGGBBAA.
QColor qvui_colorWithRGBValue(quint32 rgb);
QColor qvui_colorWithRGBAValue(quint32 rgba);
// "#RGB", "#RGBA", "#RRGGBB" or "#RRGGBBAA" ("#", "0x", "0X" or "@" in front, blanks
// around allowed); reading stops at the first character that is not a hex digit.
// None for an empty text, another length or no digit at all.
std::optional<QColor> qvui_colorWithHexString(const QString& text);
QColor qvui_randomColor();
// Upper-case hex digits of the value, at most its nine lowest ("FF" for 255).
QString qvui_hexStringWithInteger(qint64 value);
// "A" to "F" for 10 to 15, else the decimal text.
QString hexLetterStringWithInteger(qint64 value);
// The text with a "0" in front when shorter than two characters.
QString alignColorHexStringLength(const QString& text);

// The system font at the size with weight index 0 (ultra-light) to 8 (black);
// indices above 8 count as 8.
QFont qvui_systemFontOfSize(double size, unsigned weightIndex, bool italic);

} // namespace foundation
