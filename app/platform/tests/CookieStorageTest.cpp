// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/CookieStorage.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <thread>

namespace {

using platform::CookieStorage;

QNetworkCookie Cookie(const char* name, const char* value, const QString& domain = {}, const QString& path = {})
{
    QNetworkCookie c(name, value);
    c.setDomain(domain);
    c.setPath(path);
    return c;
}

class CookieStorageTest : public ::testing::Test {
protected:
    void SetUp() override { CookieStorage::Shared().DeleteAll(); }
    void TearDown() override { CookieStorage::Shared().DeleteAll(); }
    CookieStorage& store = CookieStorage::Shared();
};

TEST_F(CookieStorageTest, DomainsMatchAsGiven)
{
    struct Case {
        const char* domain;
        const char* url;
        bool matches;
    } cases[] = {
        {"127.0.0.1:8080", "http://127.0.0.1:8080/rvmds", true},
        {"127.0.0.1:8080", "http://127.0.0.1:9090/rvmds", false},
        {"127.0.0.1:8080", "http://127.0.0.1/rvmds", false},
        {"127.0.0.1", "http://127.0.0.1:8080/x", true}, // no port named: any port
        {"cas.example.com", "https://cas.example.com/v1", true},
        {"cas.example.com", "https://www.cas.example.com/v1", false}, // no leading dot: that host only
        {".example.com", "https://cas.example.com/v1", true},
        {".example.com", "https://example.com/", true},
        {".example.com", "https://badexample.com/", false},
        {"CAS.Example.com", "https://cas.example.com/", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CookieStorage::DomainMatches(c.domain, QUrl(c.url)), c.matches) << c.domain << " " << c.url;
}

TEST_F(CookieStorageTest, CookieWithoutDomainIsStoredUnderTheRequestHostAndPort)
{
    ASSERT_TRUE(store.SetCookie(Cookie("JSESSIONID", "s1"), QUrl("http://127.0.0.1:8080/rvmds/login")));
    ASSERT_TRUE(store.SetCookie(Cookie("CASTGC", "tgt", "cas.example.com", "/"), QUrl("http://other/")));
    const auto all = store.Cookies();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].domain(), "127.0.0.1:8080"); // no leading dot added
    EXPECT_EQ(all[1].domain(), "cas.example.com");
    EXPECT_EQ(store.CookiesForUrl(QUrl("http://127.0.0.1:8080/rvmds")).size(), 1);
    EXPECT_TRUE(store.CookiesForUrl(QUrl("http://127.0.0.1:8081/rvmds")).isEmpty());
    EXPECT_FALSE(store.SetCookie(Cookie("orphan", "x"))); // no domain to be had
    EXPECT_FALSE(store.SetCookie(Cookie("", "x", "a.b")));
}

TEST_F(CookieStorageTest, FirstStoredWinsAndReplacingKeepsThePlace)
{
    store.SetCookie(Cookie("token", "broad", ".example.com"));
    store.SetCookie(Cookie("token", "narrow", "cas.example.com"));
    store.SetCookie(Cookie("lang", "zh", "cas.example.com"));
    auto sent = store.CookiesForUrl(QUrl("https://cas.example.com/"));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].value(), "broad");
    EXPECT_EQ(sent[1].name(), "lang");

    store.SetCookie(Cookie("token", "broad2", ".example.com")); // same name, domain, path: replaced in place
    sent = store.CookiesForUrl(QUrl("https://cas.example.com/"));
    EXPECT_EQ(sent[0].value(), "broad2");
    EXPECT_EQ(store.Cookies().size(), 3);

    EXPECT_TRUE(store.DeleteCookie(Cookie("token", "", ".example.com", "/")));
    EXPECT_EQ(store.CookiesForUrl(QUrl("https://cas.example.com/"))[0].value(), "narrow");
    EXPECT_FALSE(store.DeleteCookie(Cookie("token", "", ".example.com", "/")));
    EXPECT_EQ(store.DeleteCookies("token", "cas.example.com"), 1);
    store.DeleteAll();
    EXPECT_TRUE(store.Cookies().isEmpty());
}

TEST_F(CookieStorageTest, PathSecureAndExpiryDecideWhatIsSent)
{
    auto secure = Cookie("s", "1", "h.example");
    secure.setSecure(true);
    auto old = Cookie("old", "1", "h.example");
    old.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(-1));
    store.SetCookie(secure);
    store.SetCookie(Cookie("p", "1", "h.example", "/rvmds"));
    EXPECT_FALSE(store.SetCookie(old));
    const auto names = [&](const char* url) {
        QStringList n;
        for (const auto& c : store.CookiesForUrl(QUrl(url)))
            n << QString::fromLatin1(c.name());
        return n;
    };
    EXPECT_EQ(names("https://h.example/rvmds/case"), (QStringList{"s", "p"}));
    EXPECT_EQ(names("http://h.example/rvmds"), QStringList{"p"});
    EXPECT_EQ(names("http://h.example/rvmdsx"), QStringList{});
    // Setting an expired twin deletes the stored one.
    auto gone = Cookie("p", "", "h.example", "/rvmds");
    gone.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(-5));
    EXPECT_TRUE(store.SetCookie(gone));
    EXPECT_EQ(names("http://h.example/rvmds"), QStringList{});
}

TEST_F(CookieStorageTest, ManagersOnDifferentThreadsShareOneStore)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                store.SetCookie(Cookie(QByteArray("c" + QByteArray::number(i % 10)).constData(), "v",
                                       QStringLiteral("h%1.example").arg(t)));
                store.CookiesForUrl(QUrl(QStringLiteral("http://h%1.example/").arg((t + 1) % 4)));
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(store.Cookies().size(), 40);
}

// A one-shot HTTP server: answers each request with the given header lines and
// remembers the Cookie header it was sent.
class TinyServer : public QTcpServer {
public:
    QByteArray extraHeaders;
    QList<QByteArray> cookieHeaders;

    TinyServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    QByteArray cookie;
                    for (const QByteArray& line : request.split('\n'))
                        if (line.toLower().startsWith("cookie:"))
                            cookie = line.mid(7).trimmed();
                    cookieHeaders << cookie;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n" + extraHeaders +
                                  "\r\nok");
                    socket->disconnectFromHost();
                });
            }
        });
    }
};

void Fetch(QNetworkAccessManager& manager, const QUrl& url)
{
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    QElapsedTimer t;
    t.start();
    while (!reply->isFinished() && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(reply->isFinished());
    reply->deleteLater();
}

TEST_F(CookieStorageTest, ACookieSetThroughOneManagerIsSentByAnother)
{
    TinyServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/rvmds/login").arg(server.serverPort()));
    server.extraHeaders = "Set-Cookie: JSESSIONID=abc; Path=/\r\n";

    QNetworkAccessManager first, second;
    platform::UseSharedCookies(first);
    platform::UseSharedCookies(second);
    Fetch(first, url);
    ASSERT_EQ(store.Cookies().size(), 1);
    EXPECT_EQ(store.Cookies()[0].domain(), QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));

    server.extraHeaders.clear();
    Fetch(second, url);
    ASSERT_EQ(server.cookieHeaders.size(), 2);
    EXPECT_EQ(server.cookieHeaders[1], "JSESSIONID=abc");
}

} // namespace
