// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/ImageStrips.h"

#include "app/platform/Folders.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

namespace widgets {

QList<QImage> imagesWithContentsOfFile(const QString& path, int count)
{
    QList<QImage> slices;
    if (count <= 0)
        return slices;
    const QImage source = path.isEmpty() ? QImage() : QImage(path);
    const int width = source.width() / count;
    for (int i = 0; i < count; ++i)
        slices.append(source.isNull() || width <= 0 ? QImage() : source.copy(i * width, 0, width, source.height()));
    return slices;
}

QString stripResourceName(const QString& name)
{
    static const QStringList kImageTypes = {QStringLiteral("jpg"), QStringLiteral("png"), QStringLiteral("bmp"),
                                            QStringLiteral("jpeg")};
    const QString last = name.section(QLatin1Char('.'), -1).toLower();
    return name.contains(QLatin1Char('.')) && kImageTypes.contains(last) ? name : name + QStringLiteral(".png");
}

QList<QImage> imagesWithNamed(const QString& name, int count)
{
    return imagesWithContentsOfFile(platform::PathForResource(stripResourceName(name), QString()), count);
}

QSizeF thumbnailSize(const QSizeF& source)
{
    const double w = source.width(), h = source.height();
    if (w > h)
        return {150.0, 150.0 * h / w};
    if (h > w)
        return {150.0 * w / h, 150.0};
    return {150.0, 150.0};
}

QImage thumbnail(const QImage& source)
{
    if (source.isNull())
        return {};
    const QSize size = thumbnailSize(source.size()).toSize().expandedTo(QSize(1, 1));
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QByteArray imageDataWithType(const QImage& image, BitmapType type, bool compress)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, type == BitmapType::JPEG ? "jpg" : "png");
    writer.setQuality(compress ? 90 : 100);
    if (!writer.write(image))
        return {};
    return data;
}

} // namespace widgets
