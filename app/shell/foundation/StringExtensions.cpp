// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/StringExtensions.h"

#include "app/shell/foundation/Digest.h"
#include "core/base/QvText.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QStringDecoder>

#include <cfloat>
#include <cstring>

namespace foundation {
namespace {

bool g_imageViewsMoveWindow = false;

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QString> GBKForString(const char* gb18030)
{
    if (!gb18030)
        return std::nullopt;
    std::string utf8;
    if (!Utf8FromGb18030(std::string_view(gb18030, std::strlen(gb18030)), utf8))
        return std::nullopt;
    return QString::fromStdString(utf8);
}

int GBKStringCompare(const char* left, const char* right)
{
    const QString l = GBKForString(left).value_or(QString());
    const QString r = GBKForString(right).value_or(QString());
    const int c = QString::compare(l, r, Qt::CaseInsensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void DrawVerticalCenter(QPainter& painter, const QString& text, const QRectF& rect, int flags, const QFont& font,
                        int lineNum)
{
    const QFontMetricsF metrics(font);
    const double limit = lineNum == 1 ? metrics.ascent() + metrics.descent() : DBL_MAX / 4;
    const QRectF measured = metrics.boundingRect(QRectF(0, 0, rect.width(), limit), flags, text);
    const double b = measured.height();
    painter.save();
    painter.setFont(font);
    painter.drawText(QRectF(rect.x(), rect.y() + (rect.height() - b) * 0.5, rect.width(), b), flags, text);
    painter.restore();
}

double HeightWithLimitWidth(const QString& text, double width, const QFont& font)
{
    const QFontMetricsF metrics(font);
    return metrics.boundingRect(QRectF(0, 0, width, DBL_MAX / 4), Qt::TextWordWrap, text).height();
}

QUrl URL(const QString& text)
{
    if (text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://")))
        return QUrl(text);
    return QUrl::fromLocalFile(text);
}

QString URLQueryAllowed(const QString& text)
{
    // The sub-delimiters and ":@/?" may stand in a query as they are.
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "!$&'()*+,;=:@/?"));
}

std::optional<QString> CancelURLQueryAllowed(const QString& text)
{
    QByteArray bytes;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes.append(utf8[i]);
            continue;
        }
        if (i + 2 >= utf8.size())
            return std::nullopt;
        const int hi = HexDigit(QChar::fromLatin1(utf8[i + 1]));
        const int lo = HexDigit(QChar::fromLatin1(utf8[i + 2]));
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

std::optional<QJsonValue> ToJsonData(const QString& text)
{
    // Wrapped in an array so that bare numbers and strings parse too.
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        return std::nullopt;
    return doc.array().first();
}

std::optional<QString> FileMD5(const QString& path)
{
    return FileMd5Hex(path);
}

bool IsNotNull(const QString& text)
{
    return !text.isEmpty();
}

QString ToString(const QJsonObject& dictionary)
{
    // QJsonObject keeps its keys sorted.
    return QString::fromUtf8(QJsonDocument(dictionary).toJson(QJsonDocument::Compact));
}

QString ToString(const QVariantMap& dictionary)
{
    return ToString(QJsonObject::fromVariantMap(dictionary));
}

QString FileName(const QUrl& url)
{
    return QFileInfo(url.path()).completeBaseName();
}

bool MouseDownCanMoveWindow()
{
    return g_imageViewsMoveWindow;
}

void ConfigureCanMoveWindow(bool canMove)
{
    g_imageViewsMoveWindow = canMove;
}

} // namespace foundation
