// SPDX-License-Identifier: GPL-3.0-or-later
// A service call as an object: address, arguments, encoding, reply reading, optional
// AES decryption, and the ways to hear the outcome (a weak delegate, handlers and
// hooks), all delivered on the GUI thread. The engine keeps running objects in its
// records by delegate and APIName, so that a delegate can cancel its calls.
#pragma once

#include "app/service/QVNetworkAgent.h"
#include "app/service/QVNetworkUtils.h"

#include <QJsonDocument>
#include <QVariantMap>
#include <QXmlStreamReader>

#include <functional>
#include <memory>
#include <mutex>

class QVBaseRequest;

// Both callbacks are optional: the defaults do nothing.
class HttpRequestDelegate {
public:
    virtual ~HttpRequestDelegate() = default;
    virtual void requestSuccess(QVBaseRequest& request) {}
    virtual void requestFailed(QVBaseRequest& request) {}
};

class QVBaseRequest : public std::enable_shared_from_this<QVBaseRequest> {
public:
    using Block = std::function<void()>;
    using SuccessHandler = std::function<void(QVBaseRequest& request)>;
    using FailureHandler = std::function<void(QVBaseRequest& request, const QVError& error)>;
    using ProgressHandler = std::function<void(const QVProgress& progress)>;
    using BodyParts = std::vector<QVUploadFile>;

    QVBaseRequest() = default;
    explicit QVBaseRequest(QString urlString) : requestUrl(std::move(urlString)) {}
    explicit QVBaseRequest(const QUrl& url) : requestUrl(url.toString(QUrl::FullyEncoded)) {}
    virtual ~QVBaseRequest() = default;
    static std::shared_ptr<QVBaseRequest> requestWithURL(const QString& urlString)
    {
        return std::make_shared<QVBaseRequest>(urlString);
    }

    bool needAES = true;
    QString aesKey = QStringLiteral("mvrtqzpwsxnykcla");
    qint64 tag = 0;
    QVariantMap userInfo;
    std::weak_ptr<HttpRequestDelegate> delegate;
    QString APIName;
    QString requestUrl;
    QVariantMap requestArgument;
    double timeoutInterval = 20;

    // Reply, filled before any callback runs (read them on the GUI thread then).
    QString responseString;
    std::optional<QJsonDocument> responseJSONObject;
    std::shared_ptr<QXmlStreamReader> responseXMLObject;
    QByteArray responseObject;
    QVErrorOpt error;

    Block completionBlock;
    Block failedBlock;
    SuccessHandler successHandler;
    FailureHandler failureHandler;
    ProgressHandler uploadHandler;
    ProgressHandler downloadHandler;

    bool isNeedAES() const { return needAES; }
    QVTaskPtr requestTask() const;
    std::optional<QVURLRequest> originalRequest() const;
    std::optional<QVHTTPResponse> response() const;
    int responseStatusCode() const;
    QVHeaderList responseHeaders() const;
    bool isExecuting() const;
    bool isCancelled() const;
    void setRequestPriority(qint64 priority) { m_storedPriority = priority; }

    // Overridable.
    virtual int requestMethod() const { return 0; }
    virtual int requestSerializerType() const { return 0; }
    virtual int responseSerializerType() const { return 0; } // 0 body, 1 JSON, 2 XML
    virtual qint64 requestPriority() const { return 0; }     // -4 low, 0 default, 4 high
    virtual std::optional<std::pair<QString, QString>> requestAuthorizationHeaderFieldArray() const { return {}; }
    virtual QList<QPair<QString, QString>> requestHeaderFieldValueDictionary() const;
    virtual std::optional<QVURLRequest> buildCustomUrlRequest() const { return {}; }
    virtual std::optional<BodyParts> constructingBodyBlock() const { return {}; }
    virtual bool statusCodeValidator() const;
    virtual void requestCompleteFilter() {}
    virtual void requestFailedFilter() {}

    // Both hand the object to the engine and return at once.
    quint64 startAsynchronous();
    quint64 startSynchronous();
    quint64 asyncRequestWithUploadHandler(ProgressHandler upload, ProgressHandler download, SuccessHandler success,
                                          FailureHandler failure);
    quint64 asyncRequestWithSuccessHandler(SuccessHandler success, FailureHandler failure);
    // Cancels the task; no callback runs. The record stays (the delegate is cleared
    // first) until a newer object replaces it or its former delegate is cancelled.
    void stop();

    // The engine to use (the shared one unless a test gives another).
    QVNetworkAgent* agent = nullptr;

private:
    friend class QVNetworkAgent;
    QVNetworkAgent& Agent() { return agent ? *agent : QVNetworkAgent::sharedInstance(); }

    qint64 m_storedPriority = 0;
    mutable std::mutex m_mutex;
    QVTaskPtr m_task;
    // The record key while recorded: the delegate's address.
    const void* m_recordTarget = nullptr;
};

class QVGetRequest : public QVBaseRequest {
public:
    using QVBaseRequest::QVBaseRequest;
    int requestMethod() const override { return 0; }
};

class QVPostRequest : public QVBaseRequest {
public:
    using QVBaseRequest::QVBaseRequest;
    int requestMethod() const override { return 1; }

    // A missing content type becomes "application/octet-stream".
    void addData(const QByteArray& data, const QString& fileName, const QString& contentType, const QString& key);
    void addData(const QByteArray& data, const QString& key) { addData(data, QStringLiteral("file"), {}, key); }

    std::optional<BodyParts> constructingBodyBlock() const override;
    std::vector<QVariantMap> dataArray;
};
