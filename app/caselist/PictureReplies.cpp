// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/PictureReplies.h"

#include "app/caselist/PageText.h"
#include "app/service/RVHttpTransfer.h"
#include "app/shell/QvUtilityObj.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

namespace pictures {

const char* ImageFileType(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QStringLiteral("bmp"))
        return "BMP";
    if (ext == QStringLiteral("png"))
        return "PNG";
    return "JPEG";
}

QByteArray ImageData(const QImage& image, const char* type, bool compress)
{
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, type, compress ? 90 : 100))
        bytes.clear();
    return bytes;
}

QImage Thumbnail(const QImage& image)
{
    if (image.isNull())
        return {};
    return image.scaled(150, 150, Qt::KeepAspectRatio, Qt::FastTransformation);
}

QImage ReadPicture(const QString& pathOrAddress)
{
    if (!pathOrAddress.contains(QStringLiteral("http")))
        return QImage(pathOrAddress);
    RVHttpRequest request;
    request.url = QUrl(pathOrAddress);
    request.timeout = std::chrono::milliseconds(30000);
    const RVHttpResponse response = RVPerformHttp(request);
    return response.ok() ? QImage::fromData(response.body) : QImage();
}

bool WriteAtomically(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QString EmptyJsonWithTag(const QString& tag)
{
    return pagetext::Json({{"tag", tag}, {"status", "0"}, {"msg", "success"}});
}

std::optional<QString> CombinedJsonFromImage(const QString& path, const QString& tag, bool isEdit)
{
    const QImage image(path);
    if (image.isNull())
        return std::nullopt;
    const QFileInfo info(path);
    const QString name = info.fileName().section(QLatin1Char('.'), 0, 0) + QStringLiteral("-small.") + info.suffix();
    const QByteArray data = ImageData(Thumbnail(image), ImageFileType(path));
    const QString folder = QvUtilityObj::getTempFolder();
    const QString thumbnailPath = folder + QLatin1Char('/') + name;
    if (folder.isEmpty() || !WriteAtomically(thumbnailPath, data))
        qWarning("the thumbnail could not be written");
    QJsonObject reply{{"Thumbnail", QJsonObject{{"picPath", thumbnailPath}, {"base64", pagetext::Base64Lines(data)}}},
                      {isEdit ? "filePath" : "FilePath", path},
                      {"tag", tag},
                      {"status", "200"},
                      {"msg", "success"}};
    return pagetext::Json(reply);
}

QString CopyToAppCache(const QString& path)
{
    const QString target = QvUtilityObj::getAppCacheFolder() + QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QImage image(path);
    if (image.isNull())
        return target;
    QFile::remove(target);
    if (!WriteAtomically(target, ImageData(image, ImageFileType(path))))
        qWarning("the picture could not be copied into the cache folder");
    return target;
}

} // namespace pictures
