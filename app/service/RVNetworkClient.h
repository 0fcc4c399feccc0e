// SPDX-License-Identifier: GPL-3.0-or-later
// The plain HTTP client of the case-service calls: JSON requests by GET or POST with
// form-encoded parameters, downloads that bypass every cache into the cache folder,
// and multipart posts with the file parts "oneFile" and "twoFile" before the
// parameters. Every call may be made from any thread; success and failure handlers
// run on the GUI thread (so never block the GUI thread waiting for one); progress
// reports come on the network thread. Time-out: RVTimeouts().transferMs (300 s).
//
// A reply counts as JSON only with a status 200 to 299, a content type
// "application/json", "text/json" or "text/javascript" (or no body), and a body
// that parses (plain top-level values allowed).
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <variant>

// A transfer that has been started; cancel() stops it (its failure handler then runs).
class RVNetworkTask {
public:
    void cancel() { m_cancelled->store(true); }
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
};

// The file of an upload part: a path to read, or the bytes themselves; anything
// else (std::monostate) adds no part.
using RVUploadFile = std::variant<std::monostate, QString, QByteArray>;

class RVNetworkClient {
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;
    using Success = std::function<void(const QJsonValue& reply)>;
    using Failure = std::function<void(const QString& error)>;
    using DownloadSuccess = std::function<void(const QString& path)>;
    // Given the temporary file of a finished download and the reply's suggested file
    // name, the path the file is to be moved to.
    using Destination = std::function<QString(const QString& tempFile, const QString& suggestedName)>;

    static RVNetworkClient& shared();

    // method 0 POST, 1 GET; any other sends nothing and calls no handler. GET puts the
    // parameters in the query, POST in a form-encoded body.
    void requestWithURL(const QString& url, unsigned method, const QJsonObject& parameters, Progress progress,
                        Success success, Failure failure);

    // Downloads the URL as given (callers escape it) and moves it where destination
    // says; the file appears there only when the whole body arrived with a 2xx
    // status, so a failure leaves an older file of that name as it was.
    void downloadWithURL(const QString& url, Progress progress, Destination destination, DownloadSuccess success,
                         Failure failure);
    // The same into the cache folder under the reply's suggested name (its last
    // component only), replacing an older file of that name.
    void downloadWithURL(const QString& url, const QJsonObject& parameters, Progress progress,
                         DownloadSuccess success, Failure failure);

    // A multipart POST of the parameters only.
    void requestFormDataWithURL(const QString& url, const QJsonObject& parameters, Progress progress,
                                Success success, Failure failure);
    static std::shared_ptr<RVNetworkTask> uploadFileWihtURL(const QString& url, const QString& fileName,
                                                            const QJsonObject& params, const RVUploadFile& fileData,
                                                            Progress progress, Success success, Failure failure);
    static std::shared_ptr<RVNetworkTask> uploadFileWihtURL(const QString& url, const QString& fileName1,
                                                            const QString& fileName2, const QJsonObject& params,
                                                            const RVUploadFile& fileData1,
                                                            const RVUploadFile& fileData2, Progress progress,
                                                            Success success, Failure failure);

    // Building blocks, shared with the case-service calls.
    static QByteArray FormEncode(const QJsonObject& parameters);
    struct Part {
        QString name;
        QString fileName; // empty for a parameter part
        QByteArray data;
    };
    static QByteArray MultipartBody(const QList<Part>& parts, const QByteArray& boundary);
    // The file parts ("oneFile", "twoFile") of the files that can be read, then one
    // part per parameter: text as its bytes, other values as compact JSON.
    static QList<Part> UploadParts(const QList<QPair<QString, RVUploadFile>>& files, const QJsonObject& params);
    // The reply as the JSON reader takes it, or the reason it is refused.
    [[nodiscard]] static bool ReadJsonReply(int status, const QByteArray& contentType, const QByteArray& body,
                                            QJsonValue* value, QString* error);

private:
    RVNetworkClient() = default;
    std::shared_ptr<RVNetworkTask> Post(const QString& url, const QList<Part>& parts, Progress progress,
                                        Success success, Failure failure);
};
