// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVBaseVo.h"
#include "app/service/QVNetworkAgent.h"
#include "app/service/QVNetworkUtils.h"
#include "app/service/tests/NetTestSupport.h"

#include "app/shell/foundation/AESCrypt.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using nettest::Url;
using nettest::WaitFor;
using testing_http::LoopbackServer;
using testing_http::Reply;

const QString kKey = QStringLiteral("mvrtqzpwsxnykcla");

std::string Encrypted(const QByteArray& plain, const QString& key = kKey)
{
    return foundation::Base64Encoding(*foundation::AES256EncryptWithKey(plain, key)).toStdString();
}

struct JsonOutcome {
    std::mutex mutex;
    int successes = 0;
    int failures = 0;
    QJsonDocument json;
    std::shared_ptr<QVModel> object;
    QVErrorOpt error;
    QVTaskPtr task;

    int Calls()
    {
        std::lock_guard lock(mutex);
        return successes + failures;
    }
    QVNetworkAgent::JSONSuccessHandler Json()
    {
        return [this](const QVTaskPtr& t, const QJsonDocument& j) {
            std::lock_guard lock(mutex);
            ++successes;
            json = j;
            task = t;
        };
    }
    QVNetworkAgent::ObjectSuccessHandler Object()
    {
        return [this](const QVTaskPtr& t, std::shared_ptr<QVModel> o) {
            std::lock_guard lock(mutex);
            ++successes;
            object = std::move(o);
            task = t;
        };
    }
    QVNetworkAgent::FailureHandler Failure()
    {
        return [this](const QVTaskPtr& t, const QVErrorOpt& e) {
            std::lock_guard lock(mutex);
            ++failures;
            error = e;
            task = t;
        };
    }
};

TEST(QVNetworkUtils, ChecksAndDecoding)
{
    EXPECT_TRUE(QVNetworkUtils::isAesKeyValiable(std::nullopt));
    EXPECT_TRUE(QVNetworkUtils::isAesKeyValiable(QString()));
    for (int length : {16, 24, 32})
        EXPECT_TRUE(QVNetworkUtils::isAesKeyValiable(QString(length, 'k'))) << length;
    for (int length : {1, 15, 17, 20, 33})
        EXPECT_FALSE(QVNetworkUtils::isAesKeyValiable(QString(length, 'k'))) << length;

    QVErrorOpt error = QVError{QStringLiteral("untouched"), 1, {}, {}};
    EXPECT_FALSE(QVNetworkUtils::isValiableJSONWithData({}, &error));
    EXPECT_EQ(error->domain, QStringLiteral("untouched"));
    EXPECT_FALSE(QVNetworkUtils::isValiableJSONWithData("42", &error));
    EXPECT_NE(error->domain, QStringLiteral("untouched"));
    EXPECT_TRUE(QVNetworkUtils::isValiableJSONWithData("[1]", nullptr));

    const QByteArray base64 = QByteArray::fromStdString(Encrypted(R"({"a":"病例"})"));
    EXPECT_EQ(QVNetworkUtils::AESDecode(base64, kKey), QStringLiteral(R"({"a":"病例"})"));
    EXPECT_FALSE(QVNetworkUtils::AESDecode({}, kKey));
    // Keys longer than 16 bytes use their first 16.
    EXPECT_EQ(QVNetworkUtils::AESDecode(base64, kKey + QStringLiteral("12345678")), QStringLiteral(R"({"a":"病例"})"));

    // Text operations round-trip.
    const auto cipher = AESCryptText::AES256EncryptWithKey(QStringLiteral("hello"), kKey);
    ASSERT_TRUE(cipher);
    EXPECT_TRUE(AESCryptText::AES256DecryptWithKey(*cipher, kKey)->startsWith(QStringLiteral("hello")));
    const QString block = QStringLiteral("0123456789abcdef");
    const auto ecb = AESCryptText::AES128EncryptWithKey1(block, kKey);
    ASSERT_TRUE(ecb);
    EXPECT_EQ(AESCryptText::AES128DecryptWithKey(*ecb, kKey), block);
    EXPECT_FALSE(AESCryptText::AES128EncryptWithKey(QStringLiteral("not a block"), kKey));

    const QVUploadFile a({}, QStringLiteral("f"), {}, QStringLiteral("image/png"));
    const QVUploadFile b({}, QStringLiteral("f"), {}, QStringLiteral("image/png"));
    EXPECT_EQ(a.fileName.size(), 36);
    EXPECT_EQ(a.fileName, a.fileName.toUpper());
    EXPECT_NE(a.fileName, b.fileName);
}

TEST(QVNetworkAgent, JsonAndAesRequests)
{
    LoopbackServer server;
    server.Route("GET", "/aes", Reply::Text(Encrypted(R"({"status":{"code":"0","msg":"ok"}})"), "text/plain"));
    server.Route("GET", "/aes1", Reply::Text(Encrypted("x"), "text/plain"));
    server.Route("GET", "/json", Reply::Json(R"([1,2])"));
    server.Route("GET", "/empty", Reply::Json(""));
    server.Route("GET", "/nocontent", Reply::Make(204, "application/json", ""));
    server.Route("GET", "/bad", Reply::BadJson());
    server.Route("GET", "/login", Reply::LoginPage());
    QVNetworkAgent engine;

    struct Row {
        const char* path;
        std::optional<QString> key;
        int successes;
        qint64 code;        // of the failure; 0: none expected
        bool errorObject;   // a failure carries an error object
    };
    const Row rows[] = {
        {"/aes", kKey, 1, 0, false},
        {"/aes", QString(), 0, 0, true}, // an empty key still selects decryption (and gives no JSON)
        {"/aes1", kKey, 0, kQVErrorAESDecode, true},
        {"/json", std::nullopt, 1, 0, false},
        {"/empty", std::nullopt, 0, 0, false},
        {"/nocontent", std::nullopt, 1, 0, false},
        {"/bad", std::nullopt, 0, 3840, true},
        {"/login", std::nullopt, 0, 3840, true},
    };
    for (const Row& row : rows) {
        JsonOutcome outcome;
        engine.requestJSONWithAESKey(row.key, Url(server, row.path), 0, {}, false, 0, outcome.Json(),
                                     outcome.Failure());
        ASSERT_TRUE(WaitFor([&] { return outcome.Calls() == 1; })) << row.path;
        EXPECT_EQ(outcome.successes, row.successes) << row.path;
        EXPECT_EQ(outcome.error.has_value(), row.errorObject) << row.path;
        if (row.code) {
            EXPECT_EQ(outcome.error->code, row.code) << row.path;
        }
    }

    JsonOutcome decoded;
    engine.requestJSONWithAESKey(kKey, Url(server, "/aes"), 0, {}, false, 0, decoded.Json(), decoded.Failure());
    ASSERT_TRUE(WaitFor([&] { return decoded.Calls() == 1; }));
    EXPECT_EQ(decoded.json.object().value("status").toObject().value("msg").toString(), QStringLiteral("ok"));

    // A refused key: nothing is sent.
    server.ClearLog();
    JsonOutcome refused;
    EXPECT_EQ(engine.requestJSONWithAESKey(QString(15, 'k'), Url(server, "/aes"), 0, {}, false, 0, refused.Json(),
                                           refused.Failure()),
              QVNetworkAgent::kRefused);
    ASSERT_TRUE(WaitFor([&] { return refused.Calls() == 1; }));
    EXPECT_EQ(refused.error->code, kQVErrorAESKey);
    EXPECT_EQ(refused.task, nullptr);
    EXPECT_TRUE(server.Log().empty());
}

TEST(QVNetworkAgent, ObjectRequests)
{
    LoopbackServer server;
    server.Route("GET", "/vo", Reply::Json(R"({"status":{"error_code":5,"errorMsg":"x"}})"));
    server.Route("GET", "/list", Reply::Json(R"([1])"));
    QVNetworkAgent engine;

    JsonOutcome mapped;
    engine.requestObjectWithURLString(Url(server, "/vo"), 0, {}, QVModelClass::Of<QVBaseVo>(), false,
                                      mapped.Object(), mapped.Failure());
    ASSERT_TRUE(WaitFor([&] { return mapped.Calls() == 1; }));
    auto vo = std::dynamic_pointer_cast<QVBaseVo>(mapped.object);
    ASSERT_TRUE(vo);
    EXPECT_EQ(vo->status->code, QStringLiteral("5"));
    EXPECT_EQ(vo->msg(), QStringLiteral("x"));

    JsonOutcome unmapped;
    engine.requestObjectWithURLString(Url(server, "/list"), 0, {}, QVModelClass::Of<QVBaseVo>(), false,
                                      unmapped.Object(), unmapped.Failure());
    ASSERT_TRUE(WaitFor([&] { return unmapped.Calls() == 1; }));
    ASSERT_EQ(unmapped.failures, 1);
    EXPECT_EQ(unmapped.error->code, kQVErrorObjectConversion);
    EXPECT_TRUE(unmapped.error->failureReason.contains(QStringLiteral("QVBaseVo")));
}

TEST(QVNetworkAgent, UploadsAndCancelling)
{
    LoopbackServer server;
    server.Route("POST", "/up", Reply::Json(R"({"ok":true})"));
    server.Route("*", "/slow", Reply::Delayed(std::chrono::milliseconds(2000)));
    QVNetworkAgent engine;

    for (const auto& [configured, expected] : {std::pair{15.0, 60.0}, std::pair{90.0, 90.0}}) {
        engine.setTimeoutInterval(configured);
        nettest::Outcome outcome;
        std::atomic<int> progressCalls{0};
        engine.uploadFileWithURLString(
            Url(server, "/up"), {QVUploadFile("PNGDATA", QStringLiteral("image"), QStringLiteral("a.png"), QStringLiteral("image/png"))},
            {{"caseId", "7"}}, [&](const QVProgress&) { ++progressCalls; }, outcome.Success(), outcome.Failure());
        ASSERT_TRUE(WaitFor([&] { return outcome.Calls() == 1; }));
        ASSERT_EQ(outcome.successes, 1);
        EXPECT_EQ(outcome.task->originalRequest().timeoutInterval, expected);
    }
    const auto logged = server.Log().back();
    EXPECT_NE(logged.Header("Content-Type").find("multipart/form-data; boundary="), std::string::npos);
    ASSERT_EQ(logged.parts.size(), 2u);
    const auto& field = logged.parts[0].name == "caseId" ? logged.parts[0] : logged.parts[1];
    const auto& file = logged.parts[0].name == "caseId" ? logged.parts[1] : logged.parts[0];
    EXPECT_EQ(field.content, "7");
    EXPECT_EQ(file.name, "image");
    EXPECT_EQ(file.fileName, "a.png");
    EXPECT_EQ(file.contentType, "image/png");
    EXPECT_EQ(file.content, "PNGDATA");

    engine.setTimeoutInterval(20);
    nettest::Outcome upload;
    const quint64 uploadId = engine.uploadFileWithURLString(
        Url(server, "/slow"), {QVUploadFile("x", QStringLiteral("f"), QStringLiteral("x.bin"), QStringLiteral("application/octet-stream"))},
        {}, {}, upload.Success(), upload.Failure());
    JsonOutcome json;
    const quint64 jsonId = engine.requestJSONWithAESKey(std::nullopt, Url(server, "/slow"), 0, {}, false, 0,
                                                        json.Json(), json.Failure());
    ASSERT_TRUE(WaitFor([&] { return server.Count("/slow") == 2; }));
    engine.cancelTaskForIdentifier(uploadId);
    engine.cancelTaskForIdentifier(jsonId);
    ASSERT_TRUE(WaitFor([&] { return upload.Calls() == 1; }));
    EXPECT_EQ(upload.ErrorCode(), kQVURLErrorCancelled);
    nettest::Settle(200);
    EXPECT_EQ(json.Calls(), 0);
}

} // namespace
