// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVRequestManager.h"

#include "app/platform/Dispatch.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/RVJsonValues.h"
#include "app/shell/QvUtilityObj.h"

#include <QDebug>
#include <QJsonArray>

namespace {

using std::chrono::milliseconds;

milliseconds TransferTimeout()
{
    return milliseconds(RVTimeouts().transferMs.load());
}

// Runs the exchange on a network thread and waits for it at most `wait`; on
// time-out the exchange is cancelled and a failed response returned.
RVHttpResponse Exchange(RVHttpRequest request, milliseconds wait)
{
    struct State {
        platform::Semaphore done;
        RVHttpResponse response;
    };
    auto state = std::make_shared<State>();
    request.cancelled = std::make_shared<std::atomic_bool>(false);
    auto cancelled = request.cancelled;
    RVRunOnNetworkThread([state, request] {
        state->response = RVPerformHttp(request);
        state->done.Signal();
    });
    if (!state->done.Wait(wait)) {
        cancelled->store(true);
        RVHttpResponse late;
        late.error = QStringLiteral("no reply within %1 ms").arg(wait.count());
        return late;
    }
    return state->response;
}

QUrl WithQuery(const QString& key, const QByteArray& query)
{
    return QUrl::fromEncoded(QvUtilityObj::getURLWith(key).toUtf8() + query);
}

QByteArray Escaped(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

// A client GET or POST whose reply is read as the JSON client reads it.
std::optional<QJsonValue> ClientCall(const QString& key, bool post, const QJsonObject& params, milliseconds wait,
                                     QString* error = nullptr)
{
    RVHttpRequest req;
    req.timeout = TransferTimeout();
    const QByteArray form = RVNetworkClient::FormEncode(params);
    const QString base = QvUtilityObj::getURLWith(key);
    if (post) {
        req.method = "POST";
        req.url = QUrl(base);
        req.body = form;
        req.contentType = "application/x-www-form-urlencoded";
    } else {
        const QUrl url(base);
        req.url = QUrl::fromEncoded(url.toEncoded() + (url.hasQuery() ? "&" : "?") + form);
    }
    QString why;
    QJsonValue value;
    const RVHttpResponse r = Exchange(req, wait);
    why = r.error;
    if (r.transferred && RVNetworkClient::ReadJsonReply(r.status, r.contentType, r.body, &value, &why))
        return value;
    if (error)
        *error = why;
    return std::nullopt;
}

// A plain load: GET the address, a 2xx reply parsed as JSON (plain values allowed).
std::optional<QJsonValue> PlainLoad(const QUrl& url)
{
    RVHttpRequest req;
    req.url = url;
    req.timeout = TransferTimeout();
    const RVHttpResponse r = Exchange(req, TransferTimeout());
    QJsonValue value;
    if (!r.ok() || !rvjson::Parse(r.body, &value))
        return std::nullopt;
    return value;
}

QJsonValue DataOf(const std::optional<QJsonValue>& reply)
{
    if (!reply || !reply->isObject())
        return QJsonValue(QJsonValue::Undefined);
    return reply->toObject().value(u"data");
}

} // namespace

void RVRequestManager::activeStatisticalWithUsername(const QString& userName)
{
    RVNetworkClient::shared().requestWithURL(
        QvUtilityObj::getURLWith(QStringLiteral("RivelaActiveStatisticalileUrl")), 1,
        QJsonObject{{"username", userName}, {"terminal", 3}}, nullptr,
        [userName](const QJsonValue&) { qInfo().noquote() << QStringLiteral("统计接口请求 username:%1").arg(userName); },
        [](const QString&) { qInfo().noquote() << QStringLiteral("统计接口请求失败"); });
}

void RVRequestManager::noPassAuditStep(qint64 taskId, const QString& schemeContext, const QString& message,
                                       std::function<void(bool, const QString&, qint64)> result)
{
    RVNetworkClient::shared().requestWithURL(
        QvUtilityObj::getURLWith(QStringLiteral("RivelaNoPassAuditStepUrl")), 0,
        QJsonObject{{"taskId", taskId}, {"schemeContext", schemeContext}, {"message", message}}, nullptr,
        [result](const QJsonValue& reply) {
            if (!result)
                return;
            if (reply.isObject()) {
                const QJsonObject o = reply.toObject();
                const auto value = rvjson::Integer(o.value(u"data"));
                const QJsonValue data = o.value(u"data");
                if (QvUtilityObj::isNetworkRequestSuccess(o.value(u"status").toVariant()) && value &&
                    (data.isDouble() || data.isString())) {
                    result(true, QStringLiteral("提交成功"), *value);
                    return;
                }
            }
            result(false, QStringLiteral("提交失败"), 0);
        },
        [result](const QString&) {
            if (result)
                result(false, QStringLiteral("提交失败"), 0);
        });
}

void RVRequestManager::queryAuditStepResult(qint64 taskId, std::function<void(bool)> result)
{
    RVNetworkClient::shared().requestWithURL(
        QvUtilityObj::getURLWith(QStringLiteral("RivelaGetAuditStepResultUrl")), 1, QJsonObject{{"taskId", taskId}},
        nullptr,
        [result](const QJsonValue& reply) {
            if (result)
                result(DataOf(reply).toObject().value(u"status").toString() == u"PASS");
        },
        [result](const QString&) {
            if (result)
                result(false);
        });
}

QString RVRequestManager::fetchDMURLWithCaseId(qint64 caseId)
{
    const auto reply = ClientCall(QStringLiteral("RivelaGetResourceFileUrl"), false,
                                  QJsonObject{{"caseId", caseId}, {"bizTypes", 1041}},
                                  milliseconds(RVTimeouts().modelUrlWaitMs.load()));
    const QJsonValue data = DataOf(reply);
    if (!data.isArray() || data.toArray().isEmpty() || !data.toArray().first().isObject())
        return {};
    return RVFileModel::fromJson(data.toArray().first().toObject()).fileUrl;
}

QString RVRequestManager::getBracketInfoWithCaseId(qint64 caseId, bool* canModify)
{
    const auto reply = PlainLoad(WithQuery(QStringLiteral("RivelaQueryBracketCodeFileUrl"),
                                           "?caseId=" + QByteArray::number(caseId)));
    const QJsonValue data = DataOf(reply);
    if (!data.isObject())
        return {};
    const QJsonObject o = data.toObject();
    if (const auto flag = rvjson::Flag(o.value(u"canModify")); flag && canModify)
        *canModify = *flag;
    const QJsonValue code = o.value(u"bracketCode");
    return code.isString() ? code.toString() : QString();
}

bool RVRequestManager::getCanCommitBracketWithCaseId(qint64 caseId)
{
    bool canModify = false;
    getBracketInfoWithCaseId(caseId, &canModify);
    return canModify;
}

void RVRequestManager::updateRivelaCaseInfo(const QString& caseNo, RVCaseInfo& caseInfo)
{
    const QJsonValue data =
        DataOf(ClientCall(QStringLiteral("RivelaGetCaseInfo"), false, QJsonObject{{"caseNo", caseNo}}, TransferTimeout()));
    if (!data.isObject())
        return;
    const QJsonObject o = data.toObject();
    for (auto it = o.begin(); it != o.end(); ++it)
        caseInfo.setValueForKey(it.key(), it.value());
}

std::shared_ptr<RVCaseInfo> RVRequestManager::queryCaseInfo(qint64 caseId)
{
    const QJsonValue data =
        DataOf(ClientCall(QStringLiteral("RivelaGetCaseInfo"), false, QJsonObject{{"caseId", caseId}}, TransferTimeout()));
    if (!data.isObject())
        return nullptr;
    return RVCaseInfo::fromJson(data.toObject());
}

bool RVRequestManager::IsRivelaToBelvistaWithCaseId(qint64 caseId)
{
    const auto reply =
        PlainLoad(WithQuery(QStringLiteral("RivelaToBelvistaByCaseId"), "?caseId=" + QByteArray::number(caseId)));
    const auto text = rvjson::Text(DataOf(reply));
    return text && rvjson::FlagFromText(*text);
}

std::optional<QList<RVFileModel>> RVRequestManager::querySyncFileByMedicalCaseId(const QString& medicalCaseId)
{
    QString error;
    const auto reply = ClientCall(QStringLiteral("RivelaQueryDownloadFileUrl"), false,
                                  QJsonObject{{"medicalCaseId", medicalCaseId}}, TransferTimeout(), &error);
    if (!reply)
        qWarning().noquote() << error;
    const QJsonValue data = DataOf(reply);
    if (!data.isArray())
        return std::nullopt;
    return RVFileModel::listFromJson(data.toArray());
}

bool RVRequestManager::canSubmitTargetDesignByCaseId(const QString& caseId)
{
    // Only the number 200 counts; "200" as text does not.
    const auto answer = [&](const char* key) -> std::optional<bool> {
        const auto reply = PlainLoad(WithQuery(QString::fromLatin1(key), "?caseId=" + Escaped(caseId)));
        if (!reply || !reply->isObject())
            return std::nullopt;
        const QJsonObject o = reply->toObject();
        if (!o.value(u"status").isDouble() || o.value(u"status").toDouble() != 200)
            return std::nullopt;
        return rvjson::Flag(o.value(u"data"));
    };
    if (answer("RivelaGetNeedSchemeUrl") == std::optional<bool>(true))
        return false;
    if (const auto suspended = answer("RivelaGetIsSuspend"))
        return !*suspended;
    return true;
}

QList<RVPlanModel> RVRequestManager::getAllPlanWithCaseId(const QString& caseId)
{
    const QJsonValue data = DataOf(
        PlainLoad(WithQuery(QStringLiteral("RivelaGetAllPlanUrl"), "?caseId=" + Escaped(caseId) + "&schemeType=1")));
    return data.isArray() ? RVPlanModel::listFromJson(data.toArray()) : QList<RVPlanModel>();
}

QString RVRequestManager::createNewSchemeIdWithCaseId(const QString& caseId)
{
    const QJsonValue data = DataOf(ClientCall(QStringLiteral("RivelaAddSchemeWithoutContext"), true,
                                              QJsonObject{{"caseId", caseId}, {"fileType", "1048"}},
                                              TransferTimeout()));
    const QJsonValue id = data.toObject().value(u"schemeId");
    return id.isString() ? id.toString() : QStringLiteral("");
}

std::shared_ptr<RVNetworkTask> RVRequestManager::uploadFileWihtURL(const QString& url, const QString& fileName,
                                                                   const QJsonObject& params,
                                                                   const RVUploadFile& fileData,
                                                                   RVNetworkClient::Progress progress,
                                                                   RVNetworkClient::Success success,
                                                                   RVNetworkClient::Failure failure)
{
    return RVNetworkClient::uploadFileWihtURL(url, fileName, params, fileData, std::move(progress), std::move(success),
                                              std::move(failure));
}

std::shared_ptr<RVNetworkTask> RVRequestManager::uploadFileWihtURL(
    const QString& url, const QString& fileName1, const QString& fileName2, const QJsonObject& params,
    const RVUploadFile& fileData1, const RVUploadFile& fileData2, RVNetworkClient::Progress progress,
    RVNetworkClient::Success success, RVNetworkClient::Failure failure)
{
    return RVNetworkClient::uploadFileWihtURL(url, fileName1, fileName2, params, fileData1, fileData2,
                                              std::move(progress), std::move(success), std::move(failure));
}

QByteArray RVRequestManager::EscapeForQuery(const QString& url)
{
    static const QByteArray allowed = "-._~!$&'()*+,;=:@/?";
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    const QByteArray utf8 = url.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum || allowed.contains(c)) {
            out += c;
        } else if (c == '%' && i + 2 < utf8.size() && isHex(utf8[i + 1]) && isHex(utf8[i + 2])) {
            out += c; // already escaped
        } else {
            static const char hex[] = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

void RVRequestManager::downloadFileWithURL(const QString& url, std::function<void(const QString&)> completion)
{
    RVNetworkClient::shared().downloadWithURL(
        QString::fromLatin1(EscapeForQuery(url)), QJsonObject(), nullptr,
        [completion](const QString& path) {
            if (completion)
                completion(path);
        },
        [completion](const QString&) {
            if (completion)
                completion(QString());
        });
}

void RVRequestManager::downloadFileWithURL(const QString& url, std::function<void(double)> progress,
                                           const QString& destination,
                                           std::function<void(bool, const QString&)> success)
{
    RVNetworkClient::shared().downloadWithURL(
        url,
        [progress](qint64 done, qint64 total) {
            if (progress && total > 0)
                progress(static_cast<double>(done) / static_cast<double>(total));
        },
        [destination](const QString&, const QString&) { return destination; },
        [success](const QString& path) {
            if (success)
                success(true, path);
        },
        [success](const QString& error) {
            if (success)
                success(false, error);
        });
}
