// SPDX-License-Identifier: GPL-3.0-or-later
// The CBCT upload for the web case list: choose a ".zip" or ".rar" archive that holds
// a DICOM entry, ask the service for the endpoints, reuse the resume record or get a
// new upload id, send the 5 MiB parts, merge them and delete the counter object.
// Every phase goes to the page as "CBCTUploadCallback(JSON)" with the whole callback
// object (compact, sorted keys), evaluated on the GUI thread.
//
// The case list runs acquireToken on a serial queue of its own per upload message
// ("uploadCBCTCommandQueue"), never on the GUI thread: the endpoint and upload-id
// requests block the caller. The transfer then goes on on network threads; the
// command stays alive until its last message.
#pragma once

#include "app/service/RVHttpTransfer.h"
#include "app/service/upload/RVOSSFile.h"
#include "app/service/upload/RVUploadOSSFileHandle.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Evaluates a script in the case list's web view; called on the GUI thread.
using RVScriptEvaluator = std::function<void(const QString& script)>;

class RVCBCTUploadCommand : public std::enable_shared_from_this<RVCBCTUploadCommand> {
public:
    static std::shared_ptr<RVCBCTUploadCommand> create() { return std::shared_ptr<RVCBCTUploadCommand>(new RVCBCTUploadCommand); }
    ~RVCBCTUploadCommand();

    RVScriptEvaluator webView;
    QString fileName;
    QString uploadPath;
    QString getMultipartUploadUrl;
    std::shared_ptr<RVOSSFileHelper> fileHelper; // created on first use
    std::shared_ptr<RVUploadOSSFileHandle> uploadHandle;

    // Runs one upload for the page; returns once the transfer is started or the
    // command has ended. Not on the GUI thread.
    void acquireToken(const QString& acquireAccessUrl, const QJsonValue& tag);

    // The open panel (on the GUI thread), then the archive check; none when cancelled
    // or the check failed (the page has been told).
    std::optional<QString> selectFile();
    // A ".rar" or ".zip" (exact, case-sensitive) that lists an entry with the extension "dcm".
    static bool checkFile(const QString& path);
    // Synchronous GET; the reply's "data" must be a non-empty string.
    std::optional<QString> fetchUploadIdFromUrl(const QString& url);
    // Starts the merge POST ("uploadId", "etagJson"); the reply decides phase 3 or -2.
    void mergeCBCTFileWithUrl(const QString& url, const std::shared_ptr<RVOSSFile>& ossFile,
                              const QString& acquireAccessUrl);
    // Deletes the counter object; true when the DELETE answered. Blocks.
    bool deleteCounter();
    // Synchronous GET (or DELETE); none, with phase -2 sent, on a transport error.
    // The HTTP status is not examined. Blocks; not on the GUI thread.
    std::optional<QByteArray> requestDataWithGetMethodFromUrl(const QString& url,
                                                              const QList<QPair<QByteArray, QByteArray>>& header = {},
                                                              bool isDelete = false);
    // The signed PUT of one part (the handle's request, synchronously).
    std::optional<RVHttpRequest> uploadRequestWithUrl(const QString& endpoint, qint64 partNumber,
                                                      const QString& uploadId) const;

    // Page messages.
    void setupJSProgressInfo();
    void callbackUploadProgressTotalCount(double totalCount, double completeCount);
    void callbackUploadSuccessAction();
    void callbackUploadFailAction();
    void callbackCancelAction();
    void callbackCheckFailAction();
    QJsonObject callbackInfo() const;

    static QString callbackStr(const QJsonObject& info);
    // "!$&'^()*+,-./%:;=?@_~#[] " and every non-ASCII byte as %XX; other ASCII stays.
    static QString escapeFileName(const QString& name);

private:
    RVCBCTUploadCommand() = default;
    void Send(const std::function<void(QJsonObject& info, QJsonObject& data)>& change);
    void callbackToWebViewByValue(const QString& script) const;
    std::shared_ptr<RVOSSFileHelper> Helper();
    void Succeeded(const std::shared_ptr<RVOSSFile>& ossFile, const QString& acquireAccessUrl);

    mutable std::mutex m_mutex; // the callback object is touched from the queue, network and GUI threads
    QJsonObject m_callbackInfo;
};

// The cancel for the page: three signed DELETEs at once (object, counter, error
// object), then phase 4, or -3 when any of them failed. It neither stops a running
// upload nor touches the resume records. Call on any thread; it returns at once.
class RVCBCTUploadCancelCommand : public std::enable_shared_from_this<RVCBCTUploadCancelCommand> {
public:
    static std::shared_ptr<RVCBCTUploadCancelCommand> create()
    {
        return std::shared_ptr<RVCBCTUploadCancelCommand>(new RVCBCTUploadCancelCommand);
    }

    RVScriptEvaluator webView;

    void acquireToken(const QString& acquireAccessUrl, const QJsonValue& tag, const QString& fileName);
    static RVHttpRequest deleteRequestForUrl(const QString& url, const QList<QPair<QByteArray, QByteArray>>& header);

private:
    RVCBCTUploadCancelCommand() = default;
    void Run(const QString& acquireAccessUrl, const QJsonValue& tag);
};
