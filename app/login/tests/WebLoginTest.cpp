// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/tests/LoginTestSupport.h"

#include "app/login/LoginRequests.h"
#include "app/login/QVWebLoginHandle.h"

#include <QNetworkCookie>

namespace {

using logintest::LoginTest;
using logintest::Settle;
using logintest::WaitFor;

class WebLoginTest : public LoginTest {
protected:
    QString CaseList() const { return Base(primary) + QStringLiteral("/rvmds"); }

    // Signs on and waits; the number of completions seen.
    int SignOn()
    {
        int calls = 0;
        QVWebLoginHandle::loginToUrl(CaseList(), Host(primary), [&] { ++calls; });
        WaitFor([&] { return calls > 0; });
        Settle();
        return calls;
    }

    void SignIn()
    {
        QVLoginService service;
        ASSERT_EQ(Login(service, QStringLiteral("doctor")).at(0)->resultType, 1u);
    }
};

TEST_F(WebLoginTest, SignsOnWithTheHeldTicketAndKeepsTheWebCookie)
{
    SignIn();
    EXPECT_FALSE(QVWebLoginHandle::isLoginWithUrl(CaseList()));
    EXPECT_EQ(SignOn(), 1);
    EXPECT_EQ(Count(primary, "GET /rvmds/j_spring_cas_security_check?ticket=ST-"), 1);
    EXPECT_TRUE(QVWebLoginHandle::isLoginWithUrl(CaseList()));

    // Signed on: at once, without a request.
    int calls = 0;
    QVWebLoginHandle::loginToUrl(CaseList(), Host(primary), [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    Settle();
    EXPECT_EQ(Count(primary, "GET /rvmds/j_spring_cas_security_check"), 1);
}

TEST_F(WebLoginTest, CompletesWhenNoTicketIsHeldOrTheTicketRequestFails)
{
    // No "CASTGC": no request at all, and never a "(null)" ticket.
    EXPECT_EQ(SignOn(), 1);
    EXPECT_EQ(Count(primary, "POST"), 0);

    SignIn();
    primary->SetFault("/v1/tickets/*", standin::Fault{.status = 500});
    EXPECT_EQ(SignOn(), 1);
    EXPECT_EQ(Count(primary, "GET /rvmds/j_spring_cas_security_check"), 0);

    // A refused check completes too, without signing on.
    primary->Reset();
    SignIn();
    standin::Fault bogus;
    ASSERT_TRUE(standin::MakeFault("body", 0, 0, "ST-bogus", "text/plain", &bogus));
    primary->SetFault("/v1/tickets/*", bogus);
    EXPECT_EQ(SignOn(), 1);
    EXPECT_FALSE(QVWebLoginHandle::isLoginWithUrl(CaseList()));
}

TEST_F(WebLoginTest, SignedOnTestComparesHostAndPortExactly)
{
    auto add = [](const char* name, const QString& domain) {
        QNetworkCookie c(name, "v");
        c.setDomain(domain);
        c.setPath(QStringLiteral("/"));
        ASSERT_TRUE(platform::CookieStorage::Shared().SetCookie(c));
    };
    add("JSESSION_TSID", QStringLiteral(".") + Host(primary));
    add("tsid", QStringLiteral("127.0.0.1"));
    add("other_tsid_x", QStringLiteral("127.0.0.1:1"));
    EXPECT_FALSE(QVWebLoginHandle::isLoginWithUrl(CaseList()));
    EXPECT_EQ(SignOn(), 1); // no ticket held either

    add("web_tsid_key", Host(primary));
    int calls = 0;
    QVWebLoginHandle::loginToUrl(CaseList(), Host(primary), [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Count(primary, "GET"), 0);
}

TEST_F(WebLoginTest, FirstTicketCookieOfTheDomainIsUsed)
{
    SignIn();
    const QString held = QVUserInfoManager::sharedInstance().cookie();
    QNetworkCookie other("CASTGC", "TGT-9-other");
    other.setDomain(Host(primary));
    other.setPath(QStringLiteral("/cas"));
    ASSERT_TRUE(platform::CookieStorage::Shared().SetCookie(other));
    EXPECT_EQ(QVWebLoginHandle::getHttpCookieWithDomain(Host(primary), QStringLiteral("CASTGC")), held);
    EXPECT_TRUE(QVWebLoginHandle::getHttpCookieWithDomain(QStringLiteral("127.0.0.1"), QStringLiteral("CASTGC")).isNull());
    const int before = Count(primary, "POST /v1/tickets/" + held.toStdString());
    EXPECT_EQ(SignOn(), 1);
    EXPECT_EQ(Count(primary, "POST /v1/tickets/" + held.toStdString()), before + 1);
}

} // namespace
