// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/upload/RVOSSFile.h"

#include "app/platform/Folders.h"
#include "app/shell/foundation/Digest.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

std::shared_ptr<RVOSSFile> RVOSSFile::fileWithPath(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return nullptr;
    const auto md5 = foundation::FileMd5Hex(path);
    if (!md5) {
        qInfo().noquote() << QStringLiteral("无效的文件.");
        return nullptr;
    }
    auto file = std::make_shared<RVOSSFile>();
    file->md5 = *md5;
    file->fileSize = static_cast<quint64>(info.size());
    file->filePath = QUrl::fromLocalFile(info.absoluteFilePath());
    return file;
}

bool RVOSSFile::isSame(const RVOSSFile& other) const
{
    if (uploadId.isEmpty() && other.uploadId.isEmpty())
        return false;
    return md5 == other.md5 && filePath == other.filePath && uploadPath == other.uploadPath &&
           fileSize == other.fileSize;
}

void RVOSSFile::addEtagJsonWithNumber(quint64 partNumber, const std::optional<QString>& etag)
{
    etagJson.append({etag, QString::number(partNumber)});
}

quint64 RVOSSFile::partCount() const
{
    if (partSize == 0)
        return 0;
    return static_cast<quint64>(std::ceil(static_cast<double>(fileSize) / static_cast<double>(partSize)));
}

QVariantMap RVOSSFile::encode() const
{
    QVariantList etags;
    for (const RVOSSEtag& e : etagJson) {
        QVariantMap entry{{QStringLiteral("partNumber"), e.partNumber}};
        if (e.etag)
            entry.insert(QStringLiteral("etag"), *e.etag);
        etags.append(entry);
    }
    return {{QStringLiteral("md5"), md5},
            {QStringLiteral("uploadPath"), uploadPath},
            {QStringLiteral("filePath"), filePath},
            {QStringLiteral("etagJson"), etags},
            {QStringLiteral("uploadId"), uploadId},
            {QStringLiteral("offset"), qulonglong(offset)},
            {QStringLiteral("partSize"), qulonglong(partSize)},
            {QStringLiteral("uploadedSize"), qulonglong(uploadedSize)},
            {QStringLiteral("fileSize"), qulonglong(fileSize)}};
}

std::shared_ptr<RVOSSFile> RVOSSFile::decode(const QVariantMap& archive)
{
    auto file = std::make_shared<RVOSSFile>();
    const auto text = [&](const char* key) { return archive.value(QLatin1String(key)).toString(); };
    // A missing number reads as 0, as the archive's integers do.
    const auto number = [&](const char* key) { return archive.value(QLatin1String(key)).toULongLong(); };
    file->md5 = text("md5");
    file->uploadPath = text("uploadPath");
    file->filePath = archive.value(QStringLiteral("filePath")).toUrl();
    file->uploadId = text("uploadId");
    file->offset = number("offset");
    file->partSize = number("partSize");
    file->uploadedSize = number("uploadedSize");
    file->fileSize = number("fileSize");
    for (const QVariant& v : archive.value(QStringLiteral("etagJson")).toList()) {
        const QVariantMap entry = v.toMap();
        RVOSSEtag e;
        e.partNumber = entry.value(QStringLiteral("partNumber")).toString();
        if (entry.contains(QStringLiteral("etag")))
            e.etag = entry.value(QStringLiteral("etag")).toString();
        file->etagJson.append(e);
    }
    // A record that could not have been written would upload the wrong bytes or loop.
    if (file->partSize == 0 || file->offset == 0 || file->etagJson.size() != qsizetype(file->offset - 1) ||
        file->uploadedSize > file->fileSize || !file->filePath.isLocalFile())
        return nullptr;
    return file;
}

QByteArray RVOSSFile::etagJsonText() const
{
    QJsonArray list;
    for (const RVOSSEtag& e : etagJson) {
        QJsonObject entry{{QStringLiteral("partNumber"), e.partNumber}};
        if (e.etag)
            entry.insert(QStringLiteral("etag"), *e.etag);
        list.append(entry);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

std::shared_ptr<RVOSSFileHelper> RVOSSFileHelper::create()
{
    const QString documents = platform::DocumentsFolder();
    if (documents.isEmpty())
        return nullptr;
    return createIn(QDir(documents).filePath(QStringLiteral("OSSFileHanleInfo")));
}

std::shared_ptr<RVOSSFileHelper> RVOSSFileHelper::createIn(const QString& folder)
{
    const QString made = platform::EnsureFolder(folder);
    if (made.isEmpty())
        return nullptr;
    return std::shared_ptr<RVOSSFileHelper>(new RVOSSFileHelper(made));
}

std::shared_ptr<RVOSSFile> RVOSSFileHelper::fileWithAcquireAccessUrl(const QString& url)
{
    if (const auto it = m_files.constFind(url); it != m_files.constEnd())
        return *it;
    const auto archive = m_store.Read(url);
    if (!archive)
        return nullptr;
    auto file = RVOSSFile::decode(*archive);
    if (!file) {
        qInfo().noquote() << QStringLiteral("解析 data to OSSFile 失败");
        return nullptr;
    }
    m_files.insert(url, file);
    return file;
}

bool RVOSSFileHelper::updateFile(const std::shared_ptr<RVOSSFile>& file, const QString& url)
{
    m_files.insert(url, file);
    if (m_store.Write(url, file->encode()))
        return true;
    qInfo().noquote() << QStringLiteral("更新 ossFile 失败.") << m_store.PathOf(url);
    return false;
}

void RVOSSFileHelper::removeFile(const QString& url)
{
    m_files.remove(url);
    m_store.Remove(url);
}
