// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide request engine. Tasks run on an engine thread of their own (one
// QNetworkAccessManager there, cookies from the shared store); every completion and
// every early refusal is handed to a concurrent completion pool, never to the GUI
// thread. Callers that touch widgets hop to the GUI thread themselves (the facade
// does). Every operation may be called from any thread.
#pragma once

#include "app/service/QVNetworkTypes.h"

#include <QJsonDocument>
#include <QVariantMap>
#include <QXmlStreamReader>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QVBaseRequest;
class QVModel;
struct QVModelClass;
class QVUploadFile;
struct QVSyncWait;

// One request encoder: the header fields it sends and how parameters are placed.
// Type 0 URL-encoded form, 1 JSON, 2 XML property list.
class QVRequestSerializer {
public:
    explicit QVRequestSerializer(int type);

    int type() const { return m_type; }
    double timeoutInterval = 60;

    void setValueForHTTPHeaderField(const QString& value, const QString& field);
    QString valueForHTTPHeaderField(const QString& field) const;
    void setAuthorizationHeaderFieldWithUsername(const QString& user, const QString& password);
    const QList<QPair<QByteArray, QByteArray>>& headers() const { return m_headers; }

    // Parameters go into the query for GET, HEAD and DELETE, else into the body.
    // None (with the error filled) when the URL text is not a URL.
    std::optional<QVURLRequest> requestWithMethod(const QString& method, const QString& urlText,
                                                  const QVariantMap& parameters, QVError* error) const;
    // A multipart/form-data request: the parameters as fields, then the files in order.
    std::optional<QVURLRequest> multipartFormRequestWithMethod(const QString& method, const QString& urlText,
                                                               const QVariantMap& parameters,
                                                               const std::vector<QVUploadFile>& files,
                                                               QVError* error) const;

    // The form encoding of the parameters (keys sorted; nested maps as key[sub], lists as key[]).
    static QByteArray queryStringFromParameters(const QVariantMap& parameters);

private:
    int m_type;
    QList<QPair<QByteArray, QByteArray>> m_headers;
};

class QVNetworkAgent {
public:
    using SuccessHandler = std::function<void(const QVTaskPtr& task, const QByteArray& body)>;
    using FailureHandler = std::function<void(const QVTaskPtr& task, const QVErrorOpt& error)>;
    using XMLSuccessHandler = std::function<void(const QVTaskPtr& task, std::shared_ptr<QXmlStreamReader> parser)>;
    // The document is null when there was no body.
    using JSONSuccessHandler = std::function<void(const QVTaskPtr& task, const QJsonDocument& json)>;
    using ObjectSuccessHandler = std::function<void(const QVTaskPtr& task, std::shared_ptr<QVModel> object)>;
    using ProgressHandler = std::function<void(const QVProgress& progress)>;
    using ErrorAdditionalHandler = std::function<void(const QString& method, const QString& url,
                                                      const QVariantMap& parameters, const QString& message)>;
    using HeaderHandler = std::function<void(QVRequestSerializer& serializer)>;

    // Result of a request refused before a task existed (all bits set).
    static constexpr quint64 kRefused = ~quint64(0);

    QVNetworkAgent();
    // Cancels every task (no handler runs for them) and waits for running handlers.
    ~QVNetworkAgent();
    QVNetworkAgent(const QVNetworkAgent&) = delete;
    QVNetworkAgent& operator=(const QVNetworkAgent&) = delete;

    // Created on first use; shut down when the application object goes.
    static QVNetworkAgent& sharedInstance();
    // Cancels every task, stops the engine thread and waits for running handlers;
    // later requests end as cancelled, calling nothing.
    void shutdown();

    // Raw body. Returns the task identifier; kRefused when offline; 0 when the
    // encoder could not build the request (its failure is then posted). A
    // synchronous request waits on the calling thread until its handler has run,
    // the task was cancelled or replaced, or the time-out (plus a margin) passed.
    quint64 requestDataWithURLString(const QString& url, int method, const QVariantMap& param, bool isSyncRequest,
                                     int requestSerializerType, SuccessHandler success, FailureHandler failure);
    quint64 requestDataWithURLString(const QString& url, int method, const QVariantMap& param, bool isSyncRequest,
                                     SuccessHandler success, FailureHandler failure);
    // The success value is a reader over the body, or none when there was no body or
    // the reply is not XML; an XML request never fails once a reply arrived.
    quint64 requestXMLWithURLString(const QString& url, int method, const QVariantMap& param, bool isSyncRequest,
                                    int requestSerializerType, XMLSuccessHandler success, FailureHandler failure);
    quint64 requestXMLWithURLString(const QString& url, int method, const QVariantMap& param, bool isSyncRequest,
                                    XMLSuccessHandler success, FailureHandler failure);

    // JSON replies, decrypted first when a key is given (an empty key included).
    quint64 requestJSONWithAESKey(const std::optional<QString>& aesKey, const QString& url, int method,
                                  const QVariantMap& param, bool isSyncRequest, int requestSerializerType,
                                  JSONSuccessHandler success, FailureHandler failure);
    quint64 requestJSONWithURLString(const QString& url, int method, const QVariantMap& param, bool isSyncRequest,
                                     JSONSuccessHandler success, FailureHandler failure);
    quint64 requestObjectWithAESKey(const std::optional<QString>& aesKey, const QString& url, int method,
                                    const QVariantMap& param, const QVModelClass& modelClass, bool isSyncRequest,
                                    int requestSerializerType, ObjectSuccessHandler success, FailureHandler failure);
    quint64 requestObjectWithURLString(const QString& url, int method, const QVariantMap& param,
                                       const QVModelClass& modelClass, bool isSyncRequest,
                                       ObjectSuccessHandler success, FailureHandler failure);
    // A multipart POST; time-out at least 60 s; no synchronous form; a cancelled upload
    // reports failure. kRefused when offline or when the request cannot be built.
    quint64 uploadFileWithURLString(const QString& url, const std::vector<QVUploadFile>& files,
                                    const QVariantMap& param, int requestSerializerType, ProgressHandler progress,
                                    SuccessHandler success, FailureHandler failure);
    quint64 uploadFileWithURLString(const QString& url, const std::vector<QVUploadFile>& files,
                                    const QVariantMap& param, ProgressHandler progress, SuccessHandler success,
                                    FailureHandler failure);

    // Request objects: the task identifier, or kRefused when it failed before starting.
    quint64 addRequest(const std::shared_ptr<QVBaseRequest>& request);
    void cancelRequest(const std::shared_ptr<QVBaseRequest>& request);
    void cancelRequestWithTarget(const void* target);
    bool cancelRequestWithTarget(const void* target, const QString& subKey);

    void cancelAllRequests();
    void cancelTaskForIdentifier(quint64 identifier);
    // Tasks not yet completed, oldest first.
    std::vector<QVTaskPtr> tasks() const;

    // Watches the default route from the GUI thread (QNetworkInformation). Call
    // once the application object exists.
    void startMonitoring();
    // The monitor's status handler: -1 unknown, 0 not reachable, 1 cellular, 2 Wi-Fi.
    // Unknown counts as reachable. Posts "monitoringNONet" and "QVNetworkDidChanged".
    void applyReachabilityStatus(int status);

    qint64 netType() const;
    QString netTypeString() const;
    double timeoutInterval() const;
    void setTimeoutInterval(double seconds); // 0 or less stores 20
    void setErrorAdditionalHandler(ErrorAdditionalHandler handler);
    void setHeaderHandler(HeaderHandler handler);
    bool logEnable() const;
    void setLogEnable(bool enable);

    // Building blocks of the requests.
    std::unique_ptr<QVRequestSerializer> buildRequestRequestSerializerWithType(int type) const;
    // An unstarted data task; none when the encoder failed (the failure, when given,
    // is then posted). Cancels an older identical task.
    QVTaskPtr dataTaskWithHTTPMethod(const QString& method, const QString& url, const QVariantMap& param,
                                     int requestSerializerType, ProgressHandler uploadProgress,
                                     ProgressHandler downloadProgress, SuccessHandler success,
                                     FailureHandler failure);
    // An unstarted task for a finished request; its completion sees every outcome,
    // a cancellation included (code -999).
    QVTaskPtr taskWithRequest(const QVURLRequest& request, QVTaskCompletion completion,
                              ProgressHandler uploadProgress = {}, ProgressHandler downloadProgress = {});
    void resume(const QVTaskPtr& task);
    // Runs the work on the completion pool.
    void postToCompletionQueue(std::function<void()> work);
    // Calls the failure handler on the completion pool, with no task.
    void postFailure(const FailureHandler& failure, const QVError& error);
    // The error forwarding: calls errorAdditionalHandler on the GUI thread when an
    // error is given, the engine is online and a handler is set.
    void logInfoWithTitle(const QString& title, const QString& method, const QString& urlString,
                          const QVariantMap& param, const QString& responseString, const QVErrorOpt& error);

    static QString methodText(int methodCode); // "GET" for codes outside 1 to 5
    // The response's character set name, "UTF-8" when it names none or an unknown one.
    static QString stringEncodingWithResponse(const QVHTTPResponse& response);
    static QString decodeText(const QByteArray& body, const QVHTTPResponse& response);
    // The reply readers: none with the error filled when they refuse the reply.
    static std::optional<QJsonDocument> readJSONResponse(const QVHTTPResponse& response, const QByteArray& body,
                                                         QVError* error);
    static std::shared_ptr<QXmlStreamReader> readXMLResponse(const QVHTTPResponse& response,
                                                             const QByteArray& body, QVError* error);
    // Escapes the characters a URL query does not allow; a valid %XX stays as it is.
    static QString escapedURLText(const QString& url);

    struct Impl;

private:
    void handleRequest(const std::shared_ptr<QVBaseRequest>& request, const QVTaskPtr& task,
                       const QByteArray& body, const QVErrorOpt& error);
    void requestSuccess(const std::shared_ptr<QVBaseRequest>& request);
    void requestFailed(const std::shared_ptr<QVBaseRequest>& request, const QVError& error);
    void addRecord(const std::shared_ptr<QVBaseRequest>& request);
    void removeRecord(const std::shared_ptr<QVBaseRequest>& request);
    void cancelTask(const QVTaskPtr& task);
    // Offline: error 20006 forwarded and posted to the failure handler; true.
    bool refuseOffline(const QString& title, const QString& url, const QVariantMap& param,
                       const FailureHandler& failure);
    quint64 startWithWait(const QVTaskPtr& task, bool isSyncRequest,
                          const std::shared_ptr<QVSyncWait>& wait);

    std::unique_ptr<Impl> d;
};
