// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVHttpManager.h"

#include "app/service/QVBaseVo.h"
#include "app/service/tests/NetTestSupport.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using nettest::Url;
using nettest::WaitFor;
using testing_http::LoopbackServer;
using testing_http::Reply;

struct GuiOutcome {
    int successes = 0;
    int failures = 0;
    bool onGui = true;
    bool errorObject = false;
    std::shared_ptr<QVModel> object;
    QByteArray body;

    void Note() { onGui = onGui && QThread::currentThread() == QCoreApplication::instance()->thread(); }
    QVHttpManager::SuccessHandler Raw()
    {
        return [this](const QVTaskPtr&, const QByteArray& b) {
            Note();
            ++successes;
            body = b;
        };
    }
    QVHttpManager::ObjectSuccessHandler Object()
    {
        return [this](const QVTaskPtr&, std::shared_ptr<QVModel> o) {
            Note();
            ++successes;
            object = std::move(o);
        };
    }
    QVHttpManager::FailureHandler Failure()
    {
        return [this](const QVTaskPtr&, const QVErrorOpt& e) {
            Note();
            ++failures;
            errorObject = e.has_value();
        };
    }
};

class QVHttpManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QVHttpManager::setUp();
        // The machine's own monitor may know no network; the loopback server is always there.
        QVNetworkAgent::sharedInstance().applyReachabilityStatus(2);
    }
};

TEST_F(QVHttpManagerTest, SetUpConfiguresTheEngineOnce)
{
    EXPECT_EQ(QVNetworkAgent::sharedInstance().timeoutInterval(), 15.0);
}

TEST_F(QVHttpManagerTest, LoginPagesAndBodies)
{
    LoopbackServer server;
    server.Route("GET", "/login", Reply::LoginPage());
    server.Route("GET", "/html", Reply::Text("<html>hello</html>", "text/html"));
    server.Route("GET", "/empty", Reply::Json(""));
    server.Route("GET", "/vo", Reply::Json(R"({"status":{"code":"0"}})"));
    server.Route("GET", "/500", Reply::Status(500));
    server.Route("GET", "/cut", Reply::Cut(std::string(20000, '{')));

    struct Row {
        const char* path;
        bool model;
        int successes;
        int failures;
        bool errorObject;
    };
    const Row rows[] = {
        {"/login", false, 0, 0, false}, {"/login", true, 0, 0, false}, {"/html", false, 1, 0, false},
        {"/html", true, 0, 1, true},    {"/empty", true, 0, 1, false}, {"/vo", true, 1, 0, false},
        {"/500", false, 0, 1, true},    {"/500", true, 0, 1, true},    {"/cut", true, 0, 1, true},
    };
    for (const Row& row : rows) {
        GuiOutcome outcome;
        if (row.model)
            QVHttpManager::requestObjectWithURLString(Url(server, row.path), 0, {}, QVModelClass::Of<QVBaseVo>(),
                                                      true, outcome.Object(), outcome.Failure());
        else
            QVHttpManager::requestObjectWithURLString(Url(server, row.path), 0, {}, true, outcome.Raw(),
                                                      outcome.Failure());
        // The synchronous flag is ignored: nothing has been delivered yet.
        EXPECT_EQ(outcome.successes + outcome.failures, 0);
        ASSERT_TRUE(WaitFor([&] { return server.Count(row.path) >= 1; }));
        if (row.successes + row.failures > 0)
            ASSERT_TRUE(WaitFor([&] { return outcome.successes + outcome.failures > 0; })) << row.path;
        else
            nettest::Settle(300);
        EXPECT_EQ(outcome.successes, row.successes) << row.path << " model " << row.model;
        EXPECT_EQ(outcome.failures, row.failures) << row.path << " model " << row.model;
        EXPECT_EQ(outcome.errorObject, row.errorObject) << row.path;
        EXPECT_TRUE(outcome.onGui) << row.path;
        server.ClearLog();
    }
}

TEST_F(QVHttpManagerTest, ExpiredSignInOnUploadEndsSilently)
{
    LoopbackServer server;
    server.Route("POST", "/expired", Reply::Json(R"({"status":{"code":9999}})"));
    server.Route("POST", "/fine", Reply::Json(R"({"status":{"code":"0","msg":"ok"}})"));
    for (const char* path : {"/expired", "/fine"}) {
        GuiOutcome outcome;
        QVHttpManager::uploadImageWithURLString(Url(server, path), {QVUploadFile("x", "f", "a.jpg", "image/jpeg")},
                                                {}, QVModelClass::Of<QVBaseVo>(), {}, outcome.Object(),
                                                outcome.Failure());
        ASSERT_TRUE(WaitFor([&] { return server.Count(path) == 1; }));
        if (std::string(path) == "/fine") {
            ASSERT_TRUE(WaitFor([&] { return outcome.successes == 1; }));
            auto vo = std::dynamic_pointer_cast<QVBaseVo>(outcome.object);
            ASSERT_TRUE(vo);
            EXPECT_TRUE(vo->isSuccess());
        } else {
            nettest::Settle(300);
            EXPECT_EQ(outcome.successes + outcome.failures, 0);
        }
    }
}

TEST(QVBaseVo, StatusAndExpiredSignIn)
{
    const auto status = [](const char* json) {
        return QVStatusVo::FromJson(QJsonDocument::fromJson(json).object());
    };
    EXPECT_EQ(status(R"({"error_code":5,"errorMsg":"x"})")->code, QStringLiteral("5"));
    EXPECT_EQ(status(R"({"error_code":5,"errorMsg":"x"})")->msg, QStringLiteral("x"));
    EXPECT_EQ(status(R"({"code":"0","error_code":"7"})")->code, QStringLiteral("0"));
    EXPECT_EQ(status(R"({"status":200})")->code, QStringLiteral("200"));

    const auto base = [](const char* json) { return QVBaseVo::FromJson(QJsonDocument::fromJson(json).object()); };
    struct Row {
        const char* json;
        bool expired;
    };
    const Row rows[] = {
        {R"({"status":{"code":"0"}})", false},   {R"({"status":{"code":"9999"}})", true},
        {R"({"status":{"code":2022}})", true},   {R"({"status":{"code":"1"}})", false},
        {R"({"status":{"msg":"no code"}})", false}, {R"({"other":1})", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(QVHttpManager::isTokenUnavail(base(row.json).get()), row.expired) << row.json;
    QVStatusVo notBase;
    notBase.code = QStringLiteral("9999");
    EXPECT_FALSE(QVHttpManager::isTokenUnavail(&notBase));
    EXPECT_FALSE(QVHttpManager::isTokenUnavail(nullptr));
    EXPECT_FALSE(base(R"({"other":1})")->isSuccess());
    EXPECT_TRUE(base(R"({"status":{"code":"0"}})")->isSuccess());
}

} // namespace
