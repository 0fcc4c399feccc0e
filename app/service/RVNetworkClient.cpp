// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVNetworkClient.h"

#include "app/platform/Dispatch.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/RVJsonValues.h"
#include "app/shell/QvUtilityObj.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace {

std::chrono::milliseconds TransferTimeout()
{
    return std::chrono::milliseconds(RVTimeouts().transferMs.load());
}

// Form values: text as it is, numbers as digits, flags as 1 or 0; lists as key[]
// and objects as key[member], as form serialisers write them.
void AppendFormValue(QUrlQuery& query, const QString& key, const QJsonValue& value)
{
    if (value.isArray()) {
        for (const QJsonValue& v : value.toArray())
            AppendFormValue(query, key + QStringLiteral("[]"), v);
    } else if (value.isObject()) {
        const QJsonObject o = value.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            AppendFormValue(query, key + u'[' + it.key() + u']', it.value());
    } else if (value.isNull()) {
        query.addQueryItem(key, QString());
    } else if (const auto text = rvjson::Text(value)) {
        query.addQueryItem(key, *text);
    }
}

QString EncodeQueryComponent(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

void Deliver(std::function<void()> task)
{
    platform::AsyncOnGui(std::move(task));
}

void AnswerJson(const RVHttpResponse& r, const RVNetworkClient::Success& success,
                const RVNetworkClient::Failure& failure)
{
    QJsonValue value;
    QString error = r.error;
    if (r.transferred && RVNetworkClient::ReadJsonReply(r.status, r.contentType, r.body, &value, &error)) {
        if (success)
            Deliver([success, value] { success(value); });
    } else if (failure) {
        Deliver([failure, error] { failure(error); });
    }
}

} // namespace

RVNetworkClient& RVNetworkClient::shared()
{
    static RVNetworkClient client;
    return client;
}

QByteArray RVNetworkClient::FormEncode(const QJsonObject& parameters)
{
    QUrlQuery query;
    for (auto it = parameters.begin(); it != parameters.end(); ++it)
        AppendFormValue(query, it.key(), it.value());
    QByteArray out;
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!out.isEmpty())
            out += '&';
        out += EncodeQueryComponent(key).toLatin1() + '=' + EncodeQueryComponent(value).toLatin1();
    }
    return out;
}

bool RVNetworkClient::ReadJsonReply(int status, const QByteArray& contentType, const QByteArray& body,
                                    QJsonValue* value, QString* error)
{
    if (status < 200 || status > 299) {
        *error = QStringLiteral("HTTP status %1").arg(status);
        return false;
    }
    if (body.trimmed().isEmpty()) {
        *value = QJsonValue(QJsonValue::Null);
        return true;
    }
    const QByteArray mime = contentType.split(';').value(0).trimmed().toLower();
    if (mime != "application/json" && mime != "text/json" && mime != "text/javascript") {
        *error = QStringLiteral("unacceptable content type \"%1\"").arg(QString::fromLatin1(contentType));
        return false;
    }
    if (!rvjson::Parse(body, value)) {
        *error = QStringLiteral("the reply is not JSON");
        return false;
    }
    return true;
}

void RVNetworkClient::requestWithURL(const QString& url, unsigned method, const QJsonObject& parameters,
                                     Progress progress, Success success, Failure failure)
{
    if (method > 1)
        return;
    RVHttpRequest req;
    req.timeout = TransferTimeout();
    req.progress = std::move(progress);
    req.url = QUrl(url);
    const QByteArray form = FormEncode(parameters);
    if (method == 1) {
        if (!form.isEmpty()) {
            QByteArray encoded = req.url.toEncoded();
            encoded += (req.url.hasQuery() ? '&' : '?') + form;
            req.url = QUrl::fromEncoded(encoded);
        }
    } else {
        req.method = "POST";
        req.body = form;
        req.contentType = "application/x-www-form-urlencoded";
    }
    RVRunOnNetworkThread([req, success = std::move(success), failure = std::move(failure)] {
        AnswerJson(RVPerformHttp(req), success, failure);
    });
}

void RVNetworkClient::downloadWithURL(const QString& url, Progress progress, Destination destination,
                                      DownloadSuccess success, Failure failure)
{
    RVHttpRequest req;
    req.timeout = TransferTimeout();
    req.progress = std::move(progress);
    req.url = QUrl::fromEncoded(url.toUtf8());
    // The temporary file sits in the cache folder; a destination elsewhere is reached by copy.
    req.downloadFolder = QvUtilityObj::getAppCacheFolder();
    if (req.downloadFolder.isEmpty())
        req.downloadFolder = QDir::tempPath();
    RVRunOnNetworkThread([req, destination = std::move(destination), success = std::move(success),
                          failure = std::move(failure)] {
        const RVHttpResponse r = RVPerformHttp(req);
        QString error = r.error;
        if (r.ok() && !r.tempFile.isEmpty()) {
            const QString target = destination ? destination(r.tempFile, r.suggestedName) : QString();
            if (!target.isEmpty() && RVReplaceFile(r.tempFile, target)) {
                if (success)
                    Deliver([success, target] { success(target); });
                return;
            }
            QFile::remove(r.tempFile);
            error = QStringLiteral("cannot move the download to \"%1\"").arg(target);
        }
        if (failure)
            Deliver([failure, error] { failure(error); });
    });
}

void RVNetworkClient::downloadWithURL(const QString& url, const QJsonObject&, Progress progress,
                                      DownloadSuccess success, Failure failure)
{
    downloadWithURL(
        url, std::move(progress),
        [](const QString&, const QString& suggested) {
            const QString folder = QvUtilityObj::getAppCacheFolder();
            return folder.isEmpty() ? QString() : folder + u'/' + RVSafeFileName(suggested, QString());
        },
        std::move(success), std::move(failure));
}

QByteArray RVNetworkClient::MultipartBody(const QList<Part>& parts, const QByteArray& boundary)
{
    QByteArray body;
    const auto quoted = [](const QString& text) {
        QByteArray b = text.toUtf8();
        b.replace('\\', "\\\\").replace('"', "\\\"").replace('\r', ' ').replace('\n', ' ');
        return b;
    };
    for (const Part& p : parts) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + quoted(p.name) + '"';
        if (!p.fileName.isNull())
            body += "; filename=\"" + quoted(p.fileName) + "\"\r\nContent-Type: application/octet-stream";
        body += "\r\n\r\n" + p.data + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return body;
}

QList<RVNetworkClient::Part> RVNetworkClient::UploadParts(const QList<QPair<QString, RVUploadFile>>& files,
                                                          const QJsonObject& params)
{
    QList<Part> parts;
    const char* const names[] = {"oneFile", "twoFile"};
    for (qsizetype i = 0; i < files.size() && i < 2; ++i) {
        const auto& [fileName, file] = files[i];
        QByteArray data;
        if (const auto* path = std::get_if<QString>(&file)) {
            QFile f(*path);
            if (!f.open(QIODevice::ReadOnly))
                continue; // an unreadable file adds no part; the rest still goes
            data = f.readAll();
        } else if (const auto* bytes = std::get_if<QByteArray>(&file)) {
            data = *bytes;
        } else {
            continue;
        }
        parts.append({QString::fromLatin1(names[i]), fileName.isNull() ? QStringLiteral("") : fileName, data});
    }
    for (auto it = params.begin(); it != params.end(); ++it) {
        const QJsonValue v = it.value();
        QByteArray data;
        if (v.isString())
            data = v.toString().toUtf8();
        else if (v.isArray())
            data = QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
        else if (v.isObject())
            data = QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
        else if (v.isBool())
            data = v.toBool() ? "true" : "false";
        else if (v.isNull())
            data = "null";
        else if (const auto text = rvjson::Text(v))
            data = text->toUtf8();
        parts.append({it.key(), QString(), data});
    }
    return parts;
}

std::shared_ptr<RVNetworkTask> RVNetworkClient::Post(const QString& url, const QList<Part>& parts, Progress progress,
                                                     Success success, Failure failure)
{
    auto task = std::make_shared<RVNetworkTask>();
    const QByteArray boundary =
        "RivelaBoundary" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    RVHttpRequest req;
    req.method = "POST";
    req.url = QUrl(url);
    req.body = MultipartBody(parts, boundary);
    req.contentType = "multipart/form-data; boundary=" + boundary;
    req.timeout = TransferTimeout();
    req.progress = std::move(progress);
    req.cancelled = task->m_cancelled;
    RVRunOnNetworkThread([req, success = std::move(success), failure = std::move(failure)] {
        AnswerJson(RVPerformHttp(req), success, failure);
    });
    return task;
}

void RVNetworkClient::requestFormDataWithURL(const QString& url, const QJsonObject& parameters, Progress,
                                             Success success, Failure failure)
{
    Post(url, UploadParts({}, parameters), nullptr, std::move(success), std::move(failure));
}

std::shared_ptr<RVNetworkTask> RVNetworkClient::uploadFileWihtURL(const QString& url, const QString& fileName,
                                                                  const QJsonObject& params,
                                                                  const RVUploadFile& fileData, Progress,
                                                                  Success success, Failure failure)
{
    return shared().Post(url, UploadParts({{fileName, fileData}}, params), nullptr, std::move(success),
                         std::move(failure));
}

std::shared_ptr<RVNetworkTask> RVNetworkClient::uploadFileWihtURL(const QString& url, const QString& fileName1,
                                                                  const QString& fileName2, const QJsonObject& params,
                                                                  const RVUploadFile& fileData1,
                                                                  const RVUploadFile& fileData2, Progress,
                                                                  Success success, Failure failure)
{
    return shared().Post(url, UploadParts({{fileName1, fileData1}, {fileName2, fileData2}}, params), nullptr,
                         std::move(success), std::move(failure));
}
