// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/upload/RVCBCTUploadCommand.h"

#include "app/platform/Dispatch.h"
#include "app/platform/FilePanels.h"
#include "app/service/RVJsonValues.h"
#include "app/service/RVNetworkClient.h"
#include "app/service/upload/RVUnZipArchive.h"
#include "app/shell/foundation/StringExtensions.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <atomic>

namespace {

const QString kData = QStringLiteral("data");
const QString kPhase = QStringLiteral("uploadPhase");

std::chrono::milliseconds Timeout()
{
    return std::chrono::milliseconds(RVTimeouts().transferMs.load());
}

QJsonObject BaseCallbackInfo(const QJsonValue& tag)
{
    QJsonObject info{{kData, QJsonObject{{kPhase, 0}}}, {QStringLiteral("status"), 200}};
    if (!tag.isUndefined())
        info.insert(QStringLiteral("Tag"), tag);
    return info;
}

QJsonObject DataOf(const QByteArray& reply)
{
    QJsonValue value;
    if (!rvjson::Parse(reply, &value))
        return {};
    return value.toObject().value(kData).toObject();
}

QString TextOf(const QJsonObject& o, const char* key)
{
    return rvjson::Text(o.value(QLatin1String(key))).value_or(QString());
}

QList<QPair<QByteArray, QByteArray>> HeadersOf(const QJsonObject& map)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    for (auto it = map.begin(); it != map.end(); ++it)
        if (const auto value = rvjson::Text(it.value()))
            headers.append({it.key().toUtf8(), value->toUtf8()});
    return headers;
}

RVHttpRequest Request(const QString& url, const QList<QPair<QByteArray, QByteArray>>& headers, bool isDelete)
{
    RVHttpRequest req;
    req.url = QUrl::fromEncoded(url.toUtf8());
    req.headers = headers;
    if (isDelete)
        req.method = "DELETE";
    req.timeout = Timeout();
    return req;
}

void Evaluate(const RVScriptEvaluator& webView, const QString& script)
{
    if (webView)
        webView(script);
}

} // namespace

RVCBCTUploadCommand::~RVCBCTUploadCommand()
{
    qInfo().noquote() << "dealloc";
}

QString RVCBCTUploadCommand::escapeFileName(const QString& name)
{
    static const QByteArray reserved("!$&'^()*+,-./%:;=?@_~#[] ");
    QString out;
    for (const char c : name.toUtf8()) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || reserved.contains(c))
            out += QStringLiteral("%%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QLatin1Char(c);
    }
    return out;
}

QString RVCBCTUploadCommand::callbackStr(const QJsonObject& info)
{
    return QStringLiteral("CBCTUploadCallback(%1)").arg(foundation::ToString(info));
}

QJsonObject RVCBCTUploadCommand::callbackInfo() const
{
    std::lock_guard lock(m_mutex);
    return m_callbackInfo;
}

void RVCBCTUploadCommand::callbackToWebViewByValue(const QString& script) const
{
    platform::SyncOnGui([&] { Evaluate(webView, script); });
}

void RVCBCTUploadCommand::Send(const std::function<void(QJsonObject& info, QJsonObject& data)>& change)
{
    QString script;
    {
        std::lock_guard lock(m_mutex);
        QJsonObject data = m_callbackInfo.value(kData).toObject();
        change(m_callbackInfo, data);
        m_callbackInfo.insert(kData, data);
        script = callbackStr(m_callbackInfo);
    }
    callbackToWebViewByValue(script);
}

void RVCBCTUploadCommand::setupJSProgressInfo()
{
    Send([](QJsonObject&, QJsonObject& data) { data.insert(kPhase, 1); });
}

void RVCBCTUploadCommand::callbackUploadProgressTotalCount(double totalCount, double completeCount)
{
    Send([&](QJsonObject&, QJsonObject& data) {
        data.insert(kPhase, 2);
        data.insert(QStringLiteral("uploadData"), QJsonObject{{QStringLiteral("partCount"), totalCount},
                                                              {QStringLiteral("completeCount"), completeCount}});
    });
}

void RVCBCTUploadCommand::callbackUploadSuccessAction()
{
    Send([&](QJsonObject&, QJsonObject& data) {
        data.insert(kPhase, 3);
        data.insert(QStringLiteral("fileName"), fileName);
        data.insert(QStringLiteral("path"), uploadPath);
    });
}

void RVCBCTUploadCommand::callbackUploadFailAction()
{
    Send([&](QJsonObject&, QJsonObject& data) {
        data.insert(kPhase, -2);
        data.insert(QStringLiteral("fileName"), fileName);
        data.insert(QStringLiteral("path"), uploadPath);
        data.insert(QStringLiteral("uploadResultMsg"), QStringLiteral("upload error"));
    });
}

void RVCBCTUploadCommand::callbackCancelAction()
{
    Send([](QJsonObject& info, QJsonObject& data) {
        info.insert(QStringLiteral("status"), -1);
        info.insert(QStringLiteral("msg"), QStringLiteral("beCancel"));
        data.insert(kPhase, -1);
    });
}

void RVCBCTUploadCommand::callbackCheckFailAction()
{
    Send([](QJsonObject&, QJsonObject& data) {
        data.insert(kPhase, -1);
        data.insert(QStringLiteral("checkResult"), false);
    });
}

std::shared_ptr<RVOSSFileHelper> RVCBCTUploadCommand::Helper()
{
    if (!fileHelper)
        fileHelper = RVOSSFileHelper::create();
    return fileHelper;
}

bool RVCBCTUploadCommand::checkFile(const QString& path)
{
    const QString extension = QFileInfo(path).suffix();
    std::optional<QStringList> names;
    if (extension == u"rar") {
        names = RVListRarEntries(path);
    } else if (extension == u"zip") {
        if (auto zip = RVUnZipArchive::initWithFile(QUrl::fromLocalFile(path)))
            names = zip->listFilenames();
    }
    if (!names)
        return false;
    for (const QString& name : *names)
        if (QFileInfo(name).suffix() == u"dcm")
            return true;
    return false;
}

std::optional<QString> RVCBCTUploadCommand::selectFile()
{
    std::optional<QStringList> chosen;
    platform::SyncOnGui([&] {
        platform::FilePanelRequest request;
        request.kind = platform::FilePanelRequest::Kind::OpenFiles;
        request.filters = {QStringLiteral("CBCT (*.rar *.zip)")};
        chosen = platform::RunOpenPanel(nullptr, request);
    });
    if (!chosen || chosen->isEmpty()) {
        callbackCancelAction();
        return std::nullopt;
    }
    if (!checkFile(chosen->first())) {
        callbackCheckFailAction();
        return std::nullopt;
    }
    return chosen->first();
}

std::optional<QByteArray> RVCBCTUploadCommand::requestDataWithGetMethodFromUrl(
    const QString& url, const QList<QPair<QByteArray, QByteArray>>& header, bool isDelete)
{
    const RVHttpResponse r = RVPerformHttp(Request(url, header, isDelete));
    if (!r.transferred) {
        callbackUploadFailAction();
        qInfo().noquote() << QStringLiteral("get token error: %1").arg(r.error);
        return std::nullopt;
    }
    return r.body;
}

std::optional<QString> RVCBCTUploadCommand::fetchUploadIdFromUrl(const QString& url)
{
    const auto bytes = requestDataWithGetMethodFromUrl(url);
    if (!bytes)
        return std::nullopt;
    QJsonValue reply;
    const QJsonValue id = rvjson::Parse(*bytes, &reply) ? reply.toObject().value(kData) : QJsonValue();
    if (!id.isString() || id.toString().isEmpty()) {
        // Left silent, the page would wait at phase 1 for ever.
        qInfo().noquote() << "no upload id in" << QString::fromUtf8(bytes->left(200));
        callbackUploadFailAction();
        return std::nullopt;
    }
    return id.toString();
}

std::optional<RVHttpRequest> RVCBCTUploadCommand::uploadRequestWithUrl(const QString& endpoint, qint64 partNumber,
                                                                        const QString& uploadId) const
{
    return RVUploadOSSFileHandle::createRequestWithUrl(endpoint, partNumber, uploadId, uploadPath);
}

bool RVCBCTUploadCommand::deleteCounter()
{
    // Only logged: the parts are merged by now, so the page must still hear of success.
    const RVHttpResponse urls = RVPerformHttp(Request(getMultipartUploadUrl, {}, false));
    if (!urls.transferred) {
        qInfo().noquote() << QStringLiteral("get token error: %1").arg(urls.error);
        return false;
    }
    const QJsonObject data = DataOf(urls.body);
    const RVHttpResponse r = RVPerformHttp(Request(TextOf(data, "signedUrlDelete"),
                                                   HeadersOf(data.value(QStringLiteral("deleteMap")).toObject()), true));
    if (!r.transferred)
        qInfo().noquote() << "counter deletion failed:" << r.error;
    return r.transferred;
}

void RVCBCTUploadCommand::Succeeded(const std::shared_ptr<RVOSSFile>&, const QString& acquireAccessUrl)
{
    // The counter deletion waits for two replies: not on the GUI thread.
    RVRunOnNetworkThread([self = shared_from_this(), acquireAccessUrl] {
        self->deleteCounter();
        self->callbackUploadSuccessAction();
        if (auto helper = self->Helper())
            helper->removeFile(acquireAccessUrl);
    });
}

void RVCBCTUploadCommand::mergeCBCTFileWithUrl(const QString& url, const std::shared_ptr<RVOSSFile>& ossFile,
                                               const QString& acquireAccessUrl)
{
    const QJsonObject params{{QStringLiteral("uploadId"), ossFile->uploadId},
                             {QStringLiteral("etagJson"), QJsonDocument::fromJson(ossFile->etagJsonText()).array()}};
    auto self = shared_from_this();
    RVNetworkClient::shared().requestFormDataWithURL(
        url, params, nullptr,
        [self, ossFile, acquireAccessUrl](const QJsonValue& reply) {
            if (!reply.isObject())
                return;
            if (rvjson::Text(reply.toObject().value(QStringLiteral("status"))) == QStringLiteral("200"))
                self->Succeeded(ossFile, acquireAccessUrl);
            else
                RVRunOnNetworkThread([self] { self->callbackUploadFailAction(); });
        },
        [self](const QString& error) {
            qInfo().noquote() << "merge failed:" << error;
            RVRunOnNetworkThread([self] { self->callbackUploadFailAction(); });
        });
}

void RVCBCTUploadCommand::acquireToken(const QString& acquireAccessUrl, const QJsonValue& tag)
{
    {
        std::lock_guard lock(m_mutex);
        m_callbackInfo = BaseCallbackInfo(tag);
    }
    setupJSProgressInfo();

    const auto helper = Helper();
    std::shared_ptr<RVOSSFile> record = helper ? helper->fileWithAcquireAccessUrl(acquireAccessUrl) : nullptr;
    const bool stored = record != nullptr;
    if (!record) {
        const auto path = selectFile();
        if (!path)
            return;
        record = RVOSSFile::fileWithPath(*path);
        if (!record) {
            callbackUploadFailAction();
            return;
        }
    }
    fileName = record->filePath.fileName();

    const auto endpoints =
        requestDataWithGetMethodFromUrl(acquireAccessUrl + QStringLiteral("&fileName=") + escapeFileName(fileName));
    if (!endpoints)
        return;
    const QJsonObject data = DataOf(*endpoints);
    const QString mergeUrl = TextOf(data, "completeMultipartUploadUrl");
    getMultipartUploadUrl = TextOf(data, "getMultipartUploadUrl");
    const QString uploadIdUrl = TextOf(data, "initUploadIdUrl");
    uploadPath = TextOf(data, "path");

    auto fresh = RVOSSFile::fileWithPath(record->filePath.toLocalFile());
    if (!fresh) {
        // A record whose file is gone would end every later message the same way.
        if (stored && helper)
            helper->removeFile(acquireAccessUrl);
        callbackUploadFailAction();
        return;
    }
    fresh->uploadPath = uploadPath;
    if (!record->isSame(*fresh)) {
        const auto id = fetchUploadIdFromUrl(uploadIdUrl);
        if (!id)
            return;
        fresh->uploadId = *id;
        if (helper)
            (void)helper->updateFile(fresh, acquireAccessUrl);
        record = fresh;
    }

    record->acquireAccessUrl = acquireAccessUrl;
    auto handle = std::make_shared<RVUploadOSSFileHandle>();
    handle->uploadPath = uploadPath;
    const quint64 partCount = record->partCount();
    auto self = shared_from_this();
    handle->progress = [self, partCount](double done) {
        qInfo().noquote() << QStringLiteral("upload cbct progress: %1/%2").arg(done).arg(partCount);
        self->callbackUploadProgressTotalCount(double(partCount), done);
    };
    handle->callback = [self, record, mergeUrl, acquireAccessUrl](bool ok) {
        if (ok)
            self->mergeCBCTFileWithUrl(mergeUrl, record, acquireAccessUrl);
        else
            self->callbackUploadFailAction();
    };
    uploadHandle = handle;
    handle->uploadFile(record, getMultipartUploadUrl, acquireAccessUrl, helper);
}

RVHttpRequest RVCBCTUploadCancelCommand::deleteRequestForUrl(const QString& url,
                                                             const QList<QPair<QByteArray, QByteArray>>& header)
{
    return Request(url, header, true);
}

void RVCBCTUploadCancelCommand::acquireToken(const QString& acquireAccessUrl, const QJsonValue& tag, const QString&)
{
    // The first request would hold the GUI thread: it runs on a network thread instead.
    RVRunOnNetworkThread([self = shared_from_this(), acquireAccessUrl, tag] { self->Run(acquireAccessUrl, tag); });
}

void RVCBCTUploadCancelCommand::Run(const QString& acquireAccessUrl, const QJsonValue& tag)
{
    const RVHttpResponse r = RVPerformHttp(Request(acquireAccessUrl, {}, false));
    if (!r.transferred) {
        qInfo().noquote() << QStringLiteral("get token error: %1").arg(r.error);
        return;
    }
    const QJsonObject data = DataOf(r.body);
    const auto headers = HeadersOf(data.value(QStringLiteral("deleteMap")).toObject());
    struct Join {
        std::atomic<int> left{3};
        std::atomic<bool> failed{false};
    };
    auto join = std::make_shared<Join>();
    const std::pair<const char*, QString> targets[] = {
        {"signedUrlDelete", QStringLiteral("删除CBCT失败")},
        {"signedUrlDeleteCounter", QStringLiteral("删除CBCT Counter file 失败")},
        {"signedUrlDeleteError", QStringLiteral("删除CBCT error file 失败")},
    };
    for (const auto& [key, failure] : targets) {
        RVRunOnNetworkThread([self = shared_from_this(), join, tag, failure,
                              req = deleteRequestForUrl(TextOf(data, key), headers)] {
            const RVHttpResponse reply = RVPerformHttp(req);
            // A refused DELETE left the object in place: that is no cancel either.
            if (!reply.ok()) {
                qInfo().noquote() << failure << reply.error;
                join->failed = true;
            }
            if (--join->left > 0)
                return;
            QJsonObject info = BaseCallbackInfo(tag);
            info.insert(kData, QJsonObject{{kPhase, join->failed ? -3 : 4}});
            const QString script = RVCBCTUploadCommand::callbackStr(info);
            platform::AsyncOnGui([self, script] { Evaluate(self->webView, script); });
        });
    }
}
