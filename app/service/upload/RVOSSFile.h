// SPDX-License-Identifier: GPL-3.0-or-later
// The resume record of one multipart upload and the store that keeps one record per
// acquire-access URL, so that an interrupted upload goes on with its next part, also
// after a restart.
#pragma once

#include "app/platform/KeyedRecordStore.h"

#include <QMap>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>

struct RVOSSEtag {
    std::optional<QString> etag; // the reply's "Etag" as received; none when it had none
    QString partNumber;          // decimal text

    bool operator==(const RVOSSEtag&) const = default;
};

class RVOSSFile {
public:
    static constexpr quint64 kPartSize = 5242880;

    QString md5;
    QString uploadPath;
    QUrl filePath;
    QList<RVOSSEtag> etagJson; // entry k belongs to part k + 1
    QString uploadId;
    quint64 offset = 1; // the next part; parts 1 .. offset - 1 are uploaded
    quint64 partSize = kPartSize;
    quint64 uploadedSize = 0;
    quint64 fileSize = 0;
    QString acquireAccessUrl; // in memory only

    // A record of the file, none when its size or MD5 cannot be had.
    static std::shared_ptr<RVOSSFile> fileWithPath(const QString& path);

    // The same upload of the same file: both have upload ids (not compared), and MD5,
    // file, object path and size agree.
    bool isSame(const RVOSSFile& other) const;
    void addEtagJsonWithNumber(quint64 partNumber, const std::optional<QString>& etag);
    quint64 partCount() const;
    bool uploadCompleted() const { return uploadedSize == fileSize; }

    // The archived form, and back; none for a record that is damaged or inconsistent.
    QVariantMap encode() const;
    static std::shared_ptr<RVOSSFile> decode(const QVariantMap& archive);
    // The ETag list as the merge sends it: compact JSON of {"etag", "partNumber"}.
    QByteArray etagJsonText() const;
};

// Records live in "OSSFileHanleInfo" of the Documents folder, one file per acquire-access
// URL under a name hashed from it (so no URL can reach outside the folder). Not
// thread-safe: one chain of work uses a store at a time.
class RVOSSFileHelper {
public:
    // None when the records folder cannot be made.
    static std::shared_ptr<RVOSSFileHelper> create();
    static std::shared_ptr<RVOSSFileHelper> createIn(const QString& folder);

    const QString& baseUrl() const { return m_store.Folder(); }
    // The cached record, else the stored one (then cached); none when there is none
    // or it cannot be read.
    std::shared_ptr<RVOSSFile> fileWithAcquireAccessUrl(const QString& url);
    // Caches and saves; false when the save failed (the cached record stays).
    bool updateFile(const std::shared_ptr<RVOSSFile>& file, const QString& url);
    void removeFile(const QString& url);
    QString recordPath(const QString& url) const { return m_store.PathOf(url); }
    QMap<QString, std::shared_ptr<RVOSSFile>> files() const { return m_files; }

private:
    explicit RVOSSFileHelper(QString folder) : m_store(std::move(folder)) {}
    platform::KeyedRecordStore m_store;
    QMap<QString, std::shared_ptr<RVOSSFile>> m_files;
};
