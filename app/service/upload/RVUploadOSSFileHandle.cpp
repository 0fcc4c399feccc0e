// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/upload/RVUploadOSSFileHandle.h"

#include "app/service/RVJsonValues.h"

#include <QDebug>
#include <QFile>
#include <QJsonObject>
#include <QLoggingCategory>

#include <algorithm>
#include <utility>

namespace {

// Send progress of every chunk; off unless asked for.
Q_LOGGING_CATEGORY(lcUploadProgress, "rivela.upload.progress", QtInfoMsg)

constexpr std::chrono::seconds kPartTimeout{600};

std::optional<QString> HeaderValue(const RVHttpResponse& r, QByteArrayView name)
{
    for (const auto& [key, value] : r.headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(value);
    return std::nullopt;
}

} // namespace

std::optional<RVHttpRequest> RVUploadOSSFileHandle::createRequestWithUrl(const QString& endpoint, qint64 partNumber,
                                                                         const QString& uploadId,
                                                                         const QString& uploadPath)
{
    RVHttpRequest get;
    get.url = QUrl::fromEncoded(endpoint.toUtf8() + "&partNumber=" + QByteArray::number(partNumber) + "&uploadId=" +
                                QUrl::toPercentEncoding(uploadId));
    get.timeout = std::chrono::milliseconds(RVTimeouts().transferMs.load());
    const RVHttpResponse r = RVPerformHttp(get);
    if (!r.transferred)
        return std::nullopt;
    QJsonValue reply;
    if (!rvjson::Parse(r.body, &reply) || !reply.toObject().value(QStringLiteral("data")).isObject())
        return std::nullopt;
    const QJsonObject data = reply.toObject().value(QStringLiteral("data")).toObject();
    RVHttpRequest put;
    put.method = "PUT";
    put.url = QUrl::fromEncoded(data.value(QStringLiteral("signedUrlUpload")).toString().toUtf8());
    if (!put.url.isValid() || put.url.isRelative())
        return std::nullopt;
    const QJsonObject headers = data.value(QStringLiteral("uploadMap")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (const auto value = rvjson::Text(it.value()))
            put.headers.append({it.key().toUtf8(), value->toUtf8()});
    put.headers.append({"path", uploadPath.toUtf8()});
    put.headers.append({QByteArray("Connection"), QByteArray("Keep-alive")});
    put.timeout = kPartTimeout;
    return put;
}

void RVUploadOSSFileHandle::uploadFile(std::shared_ptr<RVOSSFile> file, const QString& signedUrl,
                                       const QString& acquireAccessUrl, std::shared_ptr<RVOSSFileHelper> fileHelper)
{
    ossFile = std::move(file);
    RVRunOnNetworkThread([self = shared_from_this(), signedUrl, acquireAccessUrl, fileHelper] {
        self->Run(signedUrl, acquireAccessUrl, fileHelper);
    });
}

void RVUploadOSSFileHandle::Progress(double parts) const
{
    if (progress)
        progress(parts);
}

void RVUploadOSSFileHandle::Finish(bool ok)
{
    // The blocks may hold their owner, which holds this handle: let go of them once done.
    progress = nullptr;
    if (auto done = std::exchange(callback, nullptr))
        done(ok);
}

void RVUploadOSSFileHandle::Run(const QString& signedUrl, const QString& acquireAccessUrl,
                                const std::shared_ptr<RVOSSFileHelper>& helper)
{
    RVOSSFile& record = *ossFile;
    QFile fileHandle(record.filePath.toLocalFile());
    if (!fileHandle.open(QIODevice::ReadOnly)) {
        Finish(false);
        return;
    }
    if (record.uploadCompleted()) {
        Progress(double(record.offset - 1));
        Finish(true);
        return;
    }
    // Recorded parts are read and dropped one at a time: only one part is ever held.
    for (quint64 k = 1; k < record.offset; ++k) {
        if (fileHandle.read(qint64(record.partSize)).size() != qint64(record.partSize)) {
            Finish(false);
            return;
        }
        Progress(double(k - 1));
    }
    for (;;) {
        // Never past the recorded size: a file that grew since must not add bytes to the object.
        const qint64 want = qint64(std::min<quint64>(record.partSize, record.fileSize - record.uploadedSize));
        QByteArray part = fileHandle.read(want);
        if (part.size() != want) {
            Finish(false); // the file ended before the record is complete
            return;
        }
        auto put = createRequestWithUrl(signedUrl, qint64(record.offset), record.uploadId, uploadPath);
        if (!put) {
            Finish(false);
            return;
        }
        put->body = std::move(part);
        const double fileSize = double(std::max<quint64>(record.fileSize, 1));
        const quint64 uploadedBefore = record.uploadedSize;
        put->progress = [uploadedBefore, fileSize](qint64 sent, qint64 total) {
            if (total > 0)
                qCDebug(lcUploadProgress).noquote() << QStringLiteral("progress: %1").arg(double(sent) / double(total)) << "of part,"
                                   << QStringLiteral("progress: %1").arg((double(sent + qint64(uploadedBefore))) /
                                                                         fileSize * 100.0);
        };
        const RVHttpResponse r = RVPerformHttp(*put);
        // The store keeps a part only when it said so in full: a refused or cut-off reply counts nothing.
        if (!r.ok()) {
            qInfo().noquote() << "part" << record.offset << "failed:" << r.error;
            Finish(false);
            return;
        }
        record.uploadedSize += quint64(want);
        record.addEtagJsonWithNumber(record.offset, HeaderValue(r, "Etag"));
        ++record.offset;
        Progress(double(record.offset - 1));
        if (helper)
            (void)helper->updateFile(ossFile, acquireAccessUrl);
        if (record.uploadCompleted()) {
            Finish(true);
            return;
        }
    }
}
