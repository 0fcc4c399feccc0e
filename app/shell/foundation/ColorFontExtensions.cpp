// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/ColorFontExtensions.h"

#include <QFontDatabase>
#include <QRandomGenerator>

namespace foundation {
namespace {

float Channel(quint32 value, int shift, float range)
{
    return static_cast<float>((value >> shift) & (range > 15.0f ? 0xFFu : 0xFu)) / range;
}

} // namespace

QColor qvui_colorWithRGBValue(quint32 rgb)
{
    return QColor::fromRgbF(Channel(rgb, 16, 255.0f), Channel(rgb, 8, 255.0f), Channel(rgb, 0, 255.0f), 1.0f);
}

QColor qvui_colorWithRGBAValue(quint32 rgba)
{
    return QColor::fromRgbF(Channel(rgba, 24, 255.0f), Channel(rgba, 16, 255.0f), Channel(rgba, 8, 255.0f),
                            Channel(rgba, 0, 255.0f));
}

std::optional<QColor> qvui_colorWithHexString(const QString& input)
{
    if (input.isEmpty())
        return std::nullopt;
    QString text = input.trimmed();
    if (text.startsWith(QLatin1Char('#')))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("0X")) || text.startsWith(QLatin1String("0x")))
        text.remove(0, 2);
    else if (text.startsWith(QLatin1Char('@')))
        text.remove(0, 1);
    const qsizetype length = text.size();
    if (length != 3 && length != 4 && length != 6 && length != 8)
        return std::nullopt;
    quint32 v = 0;
    int digits = 0;
    for (QChar c : std::as_const(text)) {
        const int d = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (d < 0)
            break;
        v = v * 16 + static_cast<quint32>(d);
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    switch (length) {
    case 3:
        return QColor::fromRgbF(Channel(v, 8, 15.0f), Channel(v, 4, 15.0f), Channel(v, 0, 15.0f), 1.0f);
    case 4:
        return QColor::fromRgbF(Channel(v, 12, 15.0f), Channel(v, 8, 15.0f), Channel(v, 4, 15.0f),
                                Channel(v, 0, 15.0f));
    case 6:
        return qvui_colorWithRGBValue(v);
    default:
        return qvui_colorWithRGBAValue(v);
    }
}

QColor qvui_randomColor()
{
    auto* random = QRandomGenerator::global();
    const auto channel = [random] { return static_cast<float>(random->bounded(255)) / 255.0f; };
    const float r = channel(), g = channel(), b = channel();
    return QColor::fromRgbF(r, g, b, 1.0f);
}

QString hexLetterStringWithInteger(qint64 value)
{
    if (value >= 10 && value <= 15)
        return QString(QLatin1Char(static_cast<char>('A' + (value - 10))));
    return QString::number(value);
}

QString qvui_hexStringWithInteger(qint64 value)
{
    QString text;
    for (int digits = 1;; ++digits) {
        text.prepend(hexLetterStringWithInteger(value % 16));
        if ((value >= -15 && value <= 15) || digits == 9)
            break;
        value /= 16;
    }
    return text;
}

QString alignColorHexStringLength(const QString& text)
{
    return text.size() >= 2 ? text : QStringLiteral("0") + text;
}

QFont qvui_systemFontOfSize(double size, unsigned weightIndex, bool italic)
{
    static constexpr QFont::Weight kWeights[] = {QFont::Thin,     QFont::ExtraLight, QFont::Light,
                                                 QFont::Normal,   QFont::Medium,     QFont::DemiBold,
                                                 QFont::Bold,     QFont::ExtraBold,  QFont::Black};
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(size);
    font.setWeight(kWeights[std::min(weightIndex, 8u)]);
    font.setItalic(italic);
    return font;
}

} // namespace foundation
