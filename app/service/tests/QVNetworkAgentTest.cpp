// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVNetworkAgent.h"

#include "app/platform/NotificationHub.h"
#include "app/service/tests/NetTestSupport.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

using nettest::Outcome;
using nettest::Url;
using nettest::WaitFor;
using testing_http::LoopbackServer;
using testing_http::Reply;

TEST(QVNetworkAgent, OfflineRefusesAndPostsItsFailure)
{
    LoopbackServer server;
    server.Route("GET", "/a", Reply::Json("{}"));
    QVNetworkAgent engine;
    std::vector<QString> posted;
    QObject observer;
    auto& hub = platform::NotificationHub::Shared();
    hub.AddObserver(&observer, platform::notifications::kMonitoringNoNet, [&](const QVariantMap&) {
        posted.push_back(QStringLiteral("none"));
    });
    hub.AddObserver(&observer, platform::notifications::kNetworkDidChange, [&](const QVariantMap& info) {
        posted.push_back(info.value(QStringLiteral("object")).toString());
    });

    EXPECT_EQ(engine.netType(), 1); // online until the monitor says otherwise
    engine.applyReachabilityStatus(0);
    EXPECT_EQ(engine.netType(), 0);
    EXPECT_EQ(engine.netTypeString(), QStringLiteral("网络已断开"));
    EXPECT_EQ(posted, (std::vector<QString>{"none", "0"}));

    Outcome outcome;
    bool calledInside = true;
    {
        std::lock_guard lock(outcome.mutex);
        const quint64 result = engine.requestDataWithURLString(Url(server, "/a"), 0, {}, false, outcome.Success(),
                                                               outcome.Failure());
        calledInside = outcome.failures > 0;
        EXPECT_EQ(result, QVNetworkAgent::kRefused);
    }
    EXPECT_FALSE(calledInside); // posted, never called inside the operation
    ASSERT_TRUE(WaitFor([&] { return outcome.Calls() == 1; }));
    EXPECT_EQ(outcome.ErrorCode(), kQVErrorOffline);
    EXPECT_EQ(outcome.task, nullptr);
    EXPECT_TRUE(engine.tasks().empty());
    EXPECT_EQ(server.Log().size(), 0u);
    // Without a failure handler the refusal is only the result.
    EXPECT_EQ(engine.requestDataWithURLString(Url(server, "/a"), 0, {}, false, {}, {}), QVNetworkAgent::kRefused);

    // Unknown counts as reachable; cellular and Wi-Fi as the table says.
    posted.clear();
    engine.applyReachabilityStatus(-1);
    EXPECT_EQ(engine.netType(), 1);
    EXPECT_EQ(posted, (std::vector<QString>{"-1"}));
    engine.applyReachabilityStatus(1);
    EXPECT_EQ(engine.netType(), 2);
    EXPECT_EQ(engine.netTypeString(), QStringLiteral("2G/3G/4G"));
    engine.applyReachabilityStatus(2);
    EXPECT_EQ(engine.netTypeString(), QStringLiteral("WIFI"));
    hub.RemoveObserver(&observer);

    Outcome online;
    engine.requestDataWithURLString(Url(server, "/a"), 0, {}, false, online.Success(), online.Failure());
    ASSERT_TRUE(WaitFor([&] { return online.Calls() == 1; }));
    EXPECT_EQ(online.successes, 1);
    EXPECT_FALSE(online.onGuiThread); // the completion pool, never the GUI thread
}

TEST(QVNetworkAgent, IdenticalOlderRequestGivesWay)
{
    LoopbackServer server;
    server.Route("*", "/slow", Reply::Delayed(std::chrono::milliseconds(400), R"({"ok":1})"));
    QVNetworkAgent engine;

    struct Pair {
        const char* name;
        int method;
        QVariantMap first;
        QVariantMap second;
        bool firstRuns;
    };
    const Pair pairs[] = {
        {"POSTs with equal bodies", 1, {{"a", 1}}, {{"a", 1}}, false},
        {"POSTs with different bodies", 1, {{"a", 1}}, {{"a", 2}}, true},
        {"GETs without parameters", 0, {}, {}, false},
        {"GETs with parameters", 0, {{"q", 1}}, {{"q", 1}}, true},
    };
    for (const Pair& pair : pairs) {
        Outcome first;
        Outcome second;
        engine.requestDataWithURLString(Url(server, "/slow"), pair.method, pair.first, false, first.Success(),
                                        first.Failure());
        engine.requestDataWithURLString(Url(server, "/slow"), pair.method, pair.second, false, second.Success(),
                                        second.Failure());
        ASSERT_TRUE(WaitFor([&] { return second.Calls() == 1; })) << pair.name;
        if (pair.firstRuns)
            ASSERT_TRUE(WaitFor([&] { return first.Calls() == 1; })) << pair.name;
        else
            nettest::Settle(600);
        EXPECT_EQ(second.successes, 1) << pair.name;
        EXPECT_EQ(first.Calls(), pair.firstRuns ? 1 : 0) << pair.name;
    }
}

TEST(QVNetworkAgent, FaultsEndInFailure)
{
    LoopbackServer server;
    server.Route("GET", "/slow", Reply::Delayed(std::chrono::milliseconds(3000)));
    server.Route("GET", "/500", Reply::Status(500, R"({"status":500})"));
    server.Route("GET", "/404", Reply::Status(404));
    server.Route("GET", "/cut", Reply::Cut(std::string(20000, 'x')));
    QVNetworkAgent engine;
    engine.setTimeoutInterval(0.5);

    struct Fault {
        const char* path;
        qint64 code;
    };
    const Fault faults[] = {
        {"/slow", kQVURLErrorTimedOut},
        {"/500", kQVURLErrorBadServerResponse},
        {"/404", kQVURLErrorBadServerResponse},
        {"/cut", kQVURLErrorNetworkConnectionLost},
    };
    for (const Fault& fault : faults) {
        Outcome outcome;
        engine.requestDataWithURLString(Url(server, fault.path), 0, {}, false, outcome.Success(), outcome.Failure());
        ASSERT_TRUE(WaitFor([&] { return outcome.Calls() == 1; })) << fault.path;
        EXPECT_EQ(outcome.failures, 1) << fault.path;
        EXPECT_EQ(outcome.ErrorCode(), fault.code) << fault.path;
        EXPECT_NE(outcome.task, nullptr) << fault.path;
    }

    // Nothing listens on the port of a server that has gone.
    int port = 0;
    {
        LoopbackServer gone;
        port = gone.Port();
    }
    Outcome refused;
    engine.requestDataWithURLString(QStringLiteral("http://127.0.0.1:%1/x").arg(port), 0, {}, false,
                                    refused.Success(), refused.Failure());
    ASSERT_TRUE(WaitFor([&] { return refused.Calls() == 1; }));
    EXPECT_EQ(refused.failures, 1);

    // A URL the encoder cannot use: result 0, the failure posted with no task.
    Outcome bad;
    EXPECT_EQ(engine.requestDataWithURLString(QStringLiteral("no scheme at all"), 0, {}, false, bad.Success(),
                                              bad.Failure()),
              0u);
    ASSERT_TRUE(WaitFor([&] { return bad.Calls() == 1; }));
    EXPECT_EQ(bad.ErrorCode(), kQVURLErrorBadURL);
    EXPECT_EQ(engine.requestDataWithURLString(Url(server, "/500"), 0, {}, false, 7, bad.Success(), bad.Failure()),
              0u);
    ASSERT_TRUE(WaitFor([&] { return bad.Calls() == 2; }));
    EXPECT_EQ(bad.ErrorCode(), kQVURLErrorBadURL);
}

TEST(QVNetworkAgent, UrlsAreEscapedOnce)
{
    LoopbackServer server;
    QVNetworkAgent engine;
    struct Row {
        QString path;
        std::string sent;
    };
    const Row rows[] = {
        {QStringLiteral("/a%20b"), "/a%20b"},
        {QStringLiteral("/a b"), "/a%20b"},
        {QStringLiteral("/病例"), "/%E7%97%85%E4%BE%8B"},
        {QStringLiteral("/p?sig=x%2By&t=1"), "/p?sig=x%2By&t=1"},
        {QStringLiteral("/100%"), "/100%25"},
    };
    for (const Row& row : rows) {
        server.ClearLog();
        Outcome outcome;
        engine.requestDataWithURLString(Url(server, "") + row.path, 0, {}, false, outcome.Success(),
                                        outcome.Failure());
        ASSERT_TRUE(WaitFor([&] { return outcome.Calls() == 1; })) << row.path.toStdString();
        ASSERT_EQ(server.Log().size(), 1u);
        EXPECT_EQ(server.Log()[0].target, row.sent);
    }
}

TEST(QVNetworkAgent, EncodersPlaceParametersAndHeaders)
{
    LoopbackServer server;
    server.Route("*", "/echo", Reply::Json("{}"));
    QVNetworkAgent engine;
    engine.setHeaderHandler([](QVRequestSerializer& serializer) {
        serializer.setValueForHTTPHeaderField(QStringLiteral("yes"), QStringLiteral("X-Extra"));
    });
    const QVariantMap params{{"name", "a b&c"}, {"n", 3}, {"flag", true}};

    struct Row {
        int method;
        int type;
        std::string target;
        std::string body;
        std::string contentType;
    };
    const Row rows[] = {
        {0, 0, "/echo?flag=1&n=3&name=a%20b%26c", "", ""},
        {4, 1, "/echo?flag=1&n=3&name=a%20b%26c", "", "application/json;charset=utf-8"},
        {1, 0, "/echo", "flag=1&n=3&name=a%20b%26c", "application/x-www-form-urlencoded"},
        {3, 1, "/echo", R"({"flag":true,"n":3,"name":"a b&c"})", "application/json;charset=utf-8"},
    };
    for (const Row& row : rows) {
        server.ClearLog();
        Outcome outcome;
        engine.requestDataWithURLString(Url(server, "/echo"), row.method, params, false, row.type, outcome.Success(),
                                        outcome.Failure());
        ASSERT_TRUE(WaitFor([&] { return outcome.Calls() == 1; }));
        ASSERT_EQ(server.Log().size(), 1u);
        const auto logged = server.Log()[0];
        EXPECT_EQ(logged.method, QVNetworkAgent::methodText(row.method).toStdString());
        EXPECT_EQ(logged.target, row.target);
        EXPECT_EQ(logged.body, row.body);
        if (!row.contentType.empty()) {
            EXPECT_EQ(logged.Header("Content-Type"), row.contentType);
        }
        EXPECT_EQ(logged.Header("X-Extra"), "yes");
        EXPECT_NE(logged.Header("User-Agent").find(" (Linux "), std::string::npos);
        EXPECT_NE(logged.Header("Accept-Language").find(";q=1"), std::string::npos);
    }

    // Property-list bodies.
    server.ClearLog();
    Outcome plist;
    engine.requestDataWithURLString(Url(server, "/echo"), 1, {{"k", "v"}}, false, 2, plist.Success(),
                                    plist.Failure());
    ASSERT_TRUE(WaitFor([&] { return plist.Calls() == 1; }));
    EXPECT_EQ(server.Log()[0].Header("Content-Type"), "application/x-plist;charset=utf-8");
    EXPECT_NE(server.Log()[0].body.find("<dict><key>k</key><string>v</string></dict>"), std::string::npos);

    EXPECT_EQ(QVNetworkAgent::methodText(9), QStringLiteral("GET"));
}

TEST(QVNetworkAgent, XmlRepliesAndReaders)
{
    LoopbackServer server;
    server.Route("GET", "/xml", Reply::Text("<a><b>1</b></a>", "application/xml"));
    server.Route("GET", "/html", Reply::Text("<a>1</a>", "text/html"));
    QVNetworkAgent engine;
    for (const char* path : {"/xml", "/html"}) {
        std::mutex mutex;
        int calls = 0;
        QString firstElement;
        engine.requestXMLWithURLString(
            Url(server, path), 0, {}, false,
            [&](const QVTaskPtr&, std::shared_ptr<QXmlStreamReader> parser) {
                std::lock_guard lock(mutex);
                ++calls;
                if (parser && parser->readNextStartElement())
                    firstElement = parser->name().toString();
            },
            [&](const QVTaskPtr&, const QVErrorOpt&) {
                std::lock_guard lock(mutex);
                calls += 100;
            });
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(mutex);
            return calls > 0;
        }));
        EXPECT_EQ(calls, 1) << path;
        EXPECT_EQ(firstElement, std::string(path) == "/xml" ? QStringLiteral("a") : QString()) << path;
    }
}

TEST(QVNetworkAgent, CancelOperations)
{
    LoopbackServer server;
    server.Route("GET", "/slow", Reply::Delayed(std::chrono::milliseconds(1500)));
    server.Route("GET", "/fast", Reply::Json("{}"));
    QVNetworkAgent engine;

    Outcome first;
    const quint64 id = engine.requestDataWithURLString(Url(server, "/slow"), 0, {}, false, first.Success(),
                                                       first.Failure());
    ASSERT_TRUE(WaitFor([&] { return server.Count("/slow") == 1; }));
    engine.cancelTaskForIdentifier(id);
    ASSERT_TRUE(WaitFor([&] { return engine.tasks().empty(); }));

    Outcome done;
    const quint64 doneId = engine.requestDataWithURLString(Url(server, "/fast"), 0, {}, false, done.Success(),
                                                           done.Failure());
    ASSERT_TRUE(WaitFor([&] { return done.Calls() == 1; }));
    engine.cancelTaskForIdentifier(doneId); // completed: nothing to cancel
    EXPECT_EQ(done.successes, 1);

    Outcome a;
    Outcome b;
    engine.requestDataWithURLString(Url(server, "/slow"), 0, {{"x", 1}}, false, a.Success(), a.Failure());
    engine.requestDataWithURLString(Url(server, "/slow"), 0, {{"x", 2}}, false, b.Success(), b.Failure());
    engine.cancelAllRequests();
    ASSERT_TRUE(WaitFor([&] { return engine.tasks().empty(); }));
    nettest::Settle(200);
    EXPECT_EQ(first.Calls() + a.Calls() + b.Calls(), 0); // cancelled tasks call nothing
}

TEST(QVNetworkAgent, SynchronousRequestsWaitAndAreReleased)
{
    LoopbackServer server;
    server.Route("GET", "/fast", Reply::Json(R"({"v":1})"));
    server.Route("GET", "/slow", Reply::Delayed(std::chrono::milliseconds(5000)));
    QVNetworkAgent engine;

    Outcome outcome;
    engine.requestDataWithURLString(Url(server, "/fast"), 0, {}, true, outcome.Success(), outcome.Failure());
    EXPECT_EQ(outcome.Calls(), 1); // the handler has run when the call returns
    EXPECT_EQ(outcome.body, QByteArray(R"({"v":1})"));

    // A waiter whose task is replaced by an identical newer one is released, not left hanging.
    std::atomic<bool> returned{false};
    Outcome waiting;
    std::thread waiter([&] {
        engine.requestDataWithURLString(Url(server, "/slow"), 0, {}, true, waiting.Success(), waiting.Failure());
        returned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return server.Count("/slow") == 1; }));
    Outcome newer;
    engine.requestDataWithURLString(Url(server, "/slow"), 0, {}, false, newer.Success(), newer.Failure());
    EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 2000));
    waiter.join();
    EXPECT_EQ(waiting.Calls(), 0);
    engine.cancelAllRequests();

    // A synchronous request times out like any other.
    engine.setTimeoutInterval(0.3);
    Outcome timed;
    server.Route("GET", "/slow2", Reply::Delayed(std::chrono::milliseconds(3000)));
    engine.requestDataWithURLString(Url(server, "/slow2"), 0, {}, true, timed.Success(), timed.Failure());
    EXPECT_EQ(timed.ErrorCode(), kQVURLErrorTimedOut);
}

TEST(QVNetworkAgent, SettingsAndErrorForwarding)
{
    LoopbackServer server;
    server.Route("GET", "/500", Reply::Status(500));
    QVNetworkAgent engine;
    EXPECT_EQ(engine.timeoutInterval(), 20.0);
    engine.setTimeoutInterval(-1);
    EXPECT_EQ(engine.timeoutInterval(), 20.0);
    engine.setTimeoutInterval(7);
    EXPECT_EQ(engine.timeoutInterval(), 7.0);

    QString message;
    bool onGui = false;
    engine.setErrorAdditionalHandler([&](const QString& method, const QString& url, const QVariantMap&,
                                         const QString& text) {
        message = text;
        onGui = QThread::currentThread() == QCoreApplication::instance()->thread();
        EXPECT_EQ(method, url);
    });
    Outcome outcome;
    engine.requestDataWithURLString(Url(server, "/500"), 0, {}, false, outcome.Success(), outcome.Failure());
    ASSERT_TRUE(WaitFor([&] { return !message.isEmpty(); }));
    EXPECT_TRUE(onGui);
    EXPECT_TRUE(message.endsWith(QStringLiteral("    ****error_code=-1011"))) << message.toStdString();

    EXPECT_EQ(QVNetworkAgent::stringEncodingWithResponse({}), QStringLiteral("UTF-8"));
    QVHTTPResponse latin;
    latin.textEncodingName = QStringLiteral("ISO-8859-1");
    EXPECT_EQ(QVNetworkAgent::stringEncodingWithResponse(latin), QStringLiteral("ISO-8859-1"));
    latin.textEncodingName = QStringLiteral("no-such-set");
    EXPECT_EQ(QVNetworkAgent::stringEncodingWithResponse(latin), QStringLiteral("UTF-8"));
}

} // namespace
