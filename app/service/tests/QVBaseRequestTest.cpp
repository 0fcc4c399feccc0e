// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVBaseRequest.h"

#include "app/service/tests/NetTestSupport.h"

#include "app/shell/foundation/AESCrypt.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using nettest::Url;
using nettest::WaitFor;
using testing_http::LoopbackServer;
using testing_http::Reply;

std::string Encrypted(const QByteArray& plain)
{
    return foundation::Base64Encoding(*foundation::AES256EncryptWithKey(plain, QStringLiteral("mvrtqzpwsxnykcla")))
        .toStdString();
}

// Records the order of every callback and hook.
class Recorded : public QVGetRequest {
public:
    using QVGetRequest::QVGetRequest;
    std::vector<std::string>* order = nullptr;
    int method = 0;
    int priority = 0;
    int requestMethod() const override { return method; }
    qint64 requestPriority() const override { return priority; }
    void requestCompleteFilter() override { order->push_back("completeFilter"); }
    void requestFailedFilter() override { order->push_back("failedFilter"); }
};

class Delegate : public HttpRequestDelegate {
public:
    std::vector<std::string> order;
    void requestSuccess(QVBaseRequest&) override { order.push_back("delegateSuccess"); }
    void requestFailed(QVBaseRequest&) override { order.push_back("delegateFailed"); }
};

std::shared_ptr<Recorded> Make(QVNetworkAgent& engine, const QString& url, const std::shared_ptr<Delegate>& delegate)
{
    auto request = std::make_shared<Recorded>(url);
    request->agent = &engine;
    request->order = &delegate->order;
    request->delegate = delegate;
    auto* order = &delegate->order;
    request->successHandler = [order](QVBaseRequest&) { order->push_back("success"); };
    request->failureHandler = [order](QVBaseRequest&, const QVError&) { order->push_back("failure"); };
    request->completionBlock = [order] { order->push_back("completion"); };
    request->failedBlock = [order] { order->push_back("failed"); };
    return request;
}

TEST(QVBaseRequest, OutcomesAndCallbackOrder)
{
    LoopbackServer server;
    server.Route("GET", "/aes", Reply::Text(Encrypted(R"({"a":1})"), "text/plain"));
    server.Route("GET", "/empty", Reply::Json(""));
    server.Route("GET", "/404", Reply::Status(404));
    QVNetworkAgent engine;

    struct Row {
        const char* path;
        bool needAES;
        QString key;
        int method;
        std::vector<std::string> order;
        qint64 code;
    };
    const std::vector<std::string> succeeded{"delegateSuccess", "success", "completion", "completeFilter"};
    const std::vector<std::string> failed{"failedFilter", "delegateFailed", "failure", "failed"};
    const Row rows[] = {
        {"/aes", true, QStringLiteral("mvrtqzpwsxnykcla"), 0, succeeded, 0},
        {"/empty", true, QStringLiteral("mvrtqzpwsxnykcla"), 0, failed, kQVErrorAESDecode},
        {"/empty", false, QStringLiteral("mvrtqzpwsxnykcla"), 0, succeeded, 0},
        {"/aes", true, QString(10, 'k'), 0, failed, kQVErrorAESKey},
        {"/aes", true, QString(), 0, failed, kQVErrorAESKey},
        {"/404", true, QStringLiteral("mvrtqzpwsxnykcla"), 0, failed, kQVURLErrorBadServerResponse},
        {"/aes", true, QStringLiteral("mvrtqzpwsxnykcla"), 9, failed, kQVErrorNoTask},
    };
    for (const Row& row : rows) {
        auto delegate = std::make_shared<Delegate>();
        auto request = Make(engine, Url(server, row.path), delegate);
        request->needAES = row.needAES;
        request->aesKey = row.key;
        request->method = row.method;
        const quint64 id = request->startAsynchronous();
        if (row.code == kQVErrorNoTask) {
            EXPECT_EQ(id, QVNetworkAgent::kRefused);
        }
        ASSERT_TRUE(WaitFor([&] { return delegate->order.size() == 4; })) << row.path;
        EXPECT_EQ(delegate->order, row.order) << row.path;
        EXPECT_EQ(request->error ? request->error->code : 0, row.code) << row.path;
        if (row.order == succeeded && row.needAES) {
            ASSERT_TRUE(request->responseJSONObject);
            EXPECT_EQ(request->responseJSONObject->object().value("a").toInt(), 1);
        }
        if (row.order == succeeded && !row.needAES) {
            EXPECT_TRUE(request->responseString.isEmpty());
        }
    }
}

TEST(QVBaseRequest, RecordsReplaceAndCancel)
{
    LoopbackServer server;
    server.Route("GET", "/slow", Reply::Delayed(std::chrono::milliseconds(600), "{}"));
    QVNetworkAgent engine;
    auto delegate = std::make_shared<Delegate>();

    auto first = Make(engine, Url(server, "/slow") + "?n=1", delegate);
    first->needAES = false;
    first->APIName = QStringLiteral("list");
    auto second = Make(engine, Url(server, "/slow") + "?n=2", delegate);
    second->needAES = false;
    second->APIName = QStringLiteral("list");
    first->startAsynchronous();
    second->startAsynchronous(); // replaces and cancels the first
    ASSERT_TRUE(WaitFor([&] { return delegate->order.size() == 4; }));
    nettest::Settle(200);
    EXPECT_EQ(delegate->order.size(), 4u);

    // Cancelling by target reaches a recorded object; stop silences one.
    delegate->order.clear();
    auto third = Make(engine, Url(server, "/slow") + "?n=3", delegate);
    third->needAES = false;
    third->APIName = QStringLiteral("detail");
    third->startAsynchronous();
    ASSERT_TRUE(WaitFor([&] { return third->isExecuting(); }));
    EXPECT_TRUE(engine.cancelRequestWithTarget(delegate.get(), QStringLiteral("detail")));
    EXPECT_FALSE(engine.cancelRequestWithTarget(delegate.get(), QStringLiteral("detail")));

    auto fourth = Make(engine, Url(server, "/slow") + "?n=4", delegate);
    fourth->needAES = false;
    fourth->startAsynchronous();
    fourth->stop();
    nettest::Settle(900);
    EXPECT_TRUE(delegate->order.empty());

    // Priorities map onto the task.
    for (const auto& [priority, expected] : {std::pair{4, 0.75}, std::pair{-4, 0.25}, std::pair{7, 0.5}}) {
        auto request = Make(engine, Url(server, "/slow") + "?p=" + QString::number(priority), delegate);
        request->priority = priority;
        request->startAsynchronous();
        EXPECT_EQ(request->requestTask()->priority(), expected);
        request->stop();
    }
}

TEST(QVBaseRequest, PostPartsAndHeaders)
{
    LoopbackServer server;
    server.Route("POST", "/post", Reply::Json("{}"));
    QVNetworkAgent engine;
    auto post = std::make_shared<QVPostRequest>(Url(server, "/post"));
    post->agent = &engine;
    post->needAES = false;
    post->requestArgument = {{"a", "1"}};
    post->addData("BYTES", QStringLiteral("upload"));
    bool done = false;
    post->asyncRequestWithSuccessHandler([&](QVBaseRequest&) { done = true; }, [&](QVBaseRequest&, const QVError&) {
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done; }));
    const auto logged = server.Log().at(0);
    ASSERT_EQ(logged.parts.size(), 2u);
    const auto& file = logged.parts[0].name == "upload" ? logged.parts[0] : logged.parts[1];
    EXPECT_EQ(file.fileName, "file");
    EXPECT_EQ(file.contentType, "application/octet-stream");
    EXPECT_EQ(file.content, "BYTES");
    EXPECT_NE(logged.Header("Accept-Encoding").find("gzip"), std::string::npos);
    EXPECT_EQ(logged.Header("Connection").empty(), false);

    // Without parts a POST is a plain form post.
    server.ClearLog();
    auto plain = std::make_shared<QVPostRequest>(Url(server, "/post"));
    plain->agent = &engine;
    plain->needAES = false;
    plain->requestArgument = {{"a", "1"}};
    done = false;
    plain->asyncRequestWithSuccessHandler([&](QVBaseRequest&) { done = true; }, [&](QVBaseRequest&, const QVError&) {
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done; }));
    EXPECT_EQ(server.Log().at(0).body, "a=1");
}

} // namespace
