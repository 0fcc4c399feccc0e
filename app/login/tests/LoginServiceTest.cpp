// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/tests/LoginTestSupport.h"

#include "app/login/QVDomainModel.h"
#include "app/login/QVWebLoginHandle.h"

#include <QNetworkCookie>
#include <QTcpServer>

#include <mutex>

namespace {

using logintest::kPassword;
using logintest::LoginTest;
using logintest::Settle;
using logintest::WaitFor;

standin::Fault FaultOf(const std::string& kind, int code = 0, const std::string& body = {})
{
    standin::Fault f;
    EXPECT_TRUE(standin::MakeFault(kind, 0, code, body, {}, &f));
    return f;
}

// A port nothing listens on.
int ClosedPort()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    return port;
}

QString Cookie(const QString& name, const QString& domain)
{
    for (const QNetworkCookie& c : platform::CookieStorage::Shared().Cookies())
        if (QString::fromUtf8(c.name()) == name && c.domain() == domain)
            return QString::fromUtf8(c.value());
    return QString();
}

TEST_F(LoginTest, OneOfficeSignsInAndFillsTheUser)
{
    QVLoginService service;
    const auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(results[0]->accountID, QStringLiteral("1001"));

    auto& user = QVUserInfoManager::sharedInstance();
    EXPECT_EQ(user.udcDomain(), Host(primary));
    EXPECT_EQ(user.udcHost(), Base(primary));
    ASSERT_TRUE(user.userInfo() && user.selectedHospital() && user.selectedOffice());
    EXPECT_EQ(user.userInfo()->userId, QStringLiteral("10010")); // a number read as its text
    EXPECT_EQ(user.selectedOffice()->officeId, QStringLiteral("111"));
    EXPECT_FALSE(user.selectedHospital()->isSelected); // the reply's "isSelected" is not taken
    EXPECT_TRUE(user.isUdcLogin());
    EXPECT_TRUE(user.cookie().startsWith(QStringLiteral("TGT-")));
    EXPECT_EQ(Cookie(QStringLiteral("CASTGC"), Host(primary)), user.cookie());
    EXPECT_EQ(Cookie(QStringLiteral("hid"), Host(primary)), QStringLiteral("11_111"));

    const auto stored = QVDomainModel::Stored();
    ASSERT_TRUE(stored);
    ASSERT_TRUE(stored->entryNamed(QStringLiteral("RVM")));
    EXPECT_EQ(stored->entryNamed(QStringLiteral("RVM"))->ssoUrl, Host(primary));
    EXPECT_EQ(Count(primary, "GET /client/queryServiceListByHospitalId.do?parentHospitalId=10"), 1);
}

TEST_F(LoginTest, WrongPasswordFailsOnceAndAsksNoOtherHost)
{
    auto* second = StartServer();
    primary->Login().SetMccHosts({Host(primary).toStdString(), Host(second).toStdString()});
    QVLoginService service;
    auto results = Login(service, QStringLiteral("doctor"), QStringLiteral("wrong"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 0u);
    EXPECT_EQ(results[0]->error_message, QStringLiteral("用户名或密码不正确，请重新输入"));
    EXPECT_EQ(service.udcIndex(), 0);
    EXPECT_EQ(Count(second, "POST"), 0);

    // The next attempt stays with the same host.
    results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(Count(second, "POST"), 0);
    EXPECT_EQ(Count(primary, "GET /mcc.json"), 1);
}

TEST_F(LoginTest, CaptchaIsAskedForAndSentOnlyWithBothFields)
{
    primary->Login().SetCaptchaDue(true);
    QVLoginService service;
    auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->error_message, QStringLiteral("验证码错误"));
    EXPECT_TRUE(results[0]->isNeedCode());

    QString id, image;
    bool answered = false;
    service.updateCodeImage([&](const QString& i, const QString& u) {
        id = i;
        image = u;
        answered = true;
    });
    ASSERT_TRUE(WaitFor([&] { return answered; }));
    EXPECT_TRUE(id.startsWith(QStringLiteral("captcha-"))) << id.toStdString(); // lower-cased
    EXPECT_EQ(image, Base(primary) + QStringLiteral("/rs/captcha/") + id);

    // An id without an answer is not sent.
    results = Login(service, QStringLiteral("doctor"), kPassword, id, {});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0]->isNeedCode());
    const auto log = primary->Log();
    const auto last = std::find_if(log.rbegin(), log.rend(), [](const std::string& l) {
        return l.rfind("POST /v1/tickets", 0) == 0;
    });
    ASSERT_NE(last, log.rend());
    EXPECT_EQ(last->find("captcha"), std::string::npos) << *last;

    results = Login(service, QStringLiteral("doctor"), kPassword, id, QString::fromLatin1(standin::LoginSide::kCaptchaAnswer));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(Count(primary, "POST /v1/tickets form=captchaAnswer=7xk2&captchaId=" + id.toStdString()), 1);
}

TEST_F(LoginTest, CaptchaLocationMissingGivesTwoEmptyTexts)
{
    QVUserInfoManager::sharedInstance().setUdcDomain(Host(primary));
    primary->SetFault("/rs/captcha/", FaultOf("nolocation"));
    QVLoginService service;
    QString id = QStringLiteral("x"), image = QStringLiteral("x");
    bool answered = false;
    service.updateCodeImage([&](const QString& i, const QString& u) {
        id = i;
        image = u;
        answered = true;
    });
    ASSERT_TRUE(WaitFor([&] { return answered; }));
    EXPECT_TRUE(id.isEmpty());
    EXPECT_TRUE(image.isEmpty());
}

TEST_F(LoginTest, ClosedPortMovesOnToTheLiveHostWithoutACompletionBetween)
{
    const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
    primary->Login().SetMccHosts({closed, Host(primary).toStdString()});
    QVLoginService service;
    auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(service.udcIndex(), 1);

    results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(Count(primary, "GET /mcc.json"), 1);
}

TEST_F(LoginTest, HangingHostTimesOutAndTheNextHostAnswers)
{
    auto* hanging = StartServer();
    hanging->SetFault("/v1/tickets", FaultOf("hang"));
    primary->Login().SetMccHosts({Host(hanging).toStdString(), Host(primary).toStdString()});
    QVLoginService service;
    const auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
}

TEST_F(LoginTest, NotFoundFailsOnceAndTheNextAttemptUsesTheSecondHost)
{
    auto* second = StartServer();
    primary->Login().SetMccHosts({Host(primary).toStdString(), Host(second).toStdString()});
    primary->SetFault("/v1/tickets", FaultOf("status", 404));
    QVLoginService service;
    auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->error_message, QVLoginService::kConnectionMessage);
    EXPECT_EQ(Count(second, "POST"), 0);

    results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(Count(second, "POST /v1/tickets form"), 1);
    EXPECT_EQ(Count(primary, "GET /mcc.json"), 1);
}

TEST_F(LoginTest, EveryHostFailingGivesOneConnectionFailureAndStartsOver)
{
    auto* a = StartServer();
    auto* b = StartServer();
    auto* discovery2 = StartServer();
    for (auto* s : {a, b})
        s->SetFault("/v1/tickets", FaultOf("status", 500));
    for (auto* d : {primary, discovery2})
        d->Login().SetMccHosts({Host(a).toStdString(), Host(b).toStdString()});
    UseDiscovery({primary, discovery2});

    QVLoginService service;
    const auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->error_message, QVLoginService::kConnectionMessage);
    EXPECT_EQ(service.mccIndex(), 0);
    EXPECT_TRUE(service.udcURLArray().empty());
    EXPECT_EQ(Count(a, "POST /v1/tickets"), 2);
    EXPECT_EQ(Count(b, "POST /v1/tickets"), 2);
    EXPECT_EQ(Count(discovery2, "GET /mcc.json"), 1);
}

TEST_F(LoginTest, DiscoveryWithoutHostsTriesTheNextAddress)
{
    auto* discovery2 = StartServer();
    primary->SetFault("/mcc.json", FaultOf("body", 0, R"({"idcs":[]})"));
    discovery2->Login().SetMccHosts({Host(primary).toStdString()});
    UseDiscovery({primary, discovery2});
    QVLoginService service;
    const auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    EXPECT_EQ(service.mccIndex(), 1);
}

TEST_F(LoginTest, HospitalChoices)
{
    {
        QVLoginService service;
        const auto results = Login(service, QStringLiteral("twooffices"));
        ASSERT_EQ(results.size(), 1u);
        ASSERT_EQ(results[0]->resultType, 2u);
        EXPECT_EQ(results[0]->accountID, QStringLiteral("1002"));
        const auto& hospitals = results[0]->hospitalArray;
        ASSERT_EQ(hospitals.size(), 2u);
        ASSERT_EQ(hospitals[0]->offices.size(), 2u); // the stray office is under no hospital
        EXPECT_EQ(hospitals[0]->offices[1]->officeId, QStringLiteral("112"));
        EXPECT_TRUE(hospitals[1]->offices.empty());
        EXPECT_EQ(hospitals[1]->hospitalId, QStringLiteral("12"));
        EXPECT_FALSE(QVUserInfoManager::sharedInstance().userInfo());

        std::vector<std::shared_ptr<QVLoginResult>> after;
        service.loginAfterSelectedHospital(hospitals[0], hospitals[0]->offices[1],
                                           [&](const std::shared_ptr<QVLoginResult>& r) { after.push_back(r); });
        ASSERT_TRUE(WaitFor([&] { return !after.empty(); }));
        Settle();
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0]->resultType, 1u);
        EXPECT_EQ(Cookie(QStringLiteral("hid"), Host(primary)), QStringLiteral("11_112"));
        EXPECT_EQ(QVUserInfoManager::sharedInstance().selectedOffice()->officeId, QStringLiteral("112"));
    }
    {
        QVLoginService service;
        const auto results = Login(service, QStringLiteral("group"));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0]->resultType, 1u);
        EXPECT_EQ(Cookie(QStringLiteral("hid"), Host(primary)), QStringLiteral("501_"));
        const auto hospital = QVUserInfoManager::sharedInstance().selectedHospital();
        ASSERT_TRUE(hospital);
        EXPECT_EQ(hospital->parentHospitalId, QStringLiteral("500"));
        EXPECT_EQ(hospital->hospitalName, QStringLiteral("正畸联盟"));
        EXPECT_EQ(Count(primary, "GET /client/infoAfterSelectHospital.do?groupId=&hospitalId=501&parentHospitalId=500"), 1);
    }
}

TEST_F(LoginTest, RefusalsAndEmptyRepliesEndWithTheirTexts)
{
    struct Row {
        const char* user;
        QString message;
        qint64 udcIndex;
    };
    const Row rows[] = {
        {"refused", QStringLiteral("账号已停用"), 1},
        {"refusednomsg", QVLoginService::kConnectionMessage, 1},
        {"nohospital", QVLoginService::kConnectionMessage, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.user);
        QVLoginService service;
        const auto results = Login(service, QString::fromLatin1(row.user));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0]->resultType, 0u);
        EXPECT_EQ(results[0]->error_message, row.message);
        EXPECT_EQ(service.udcIndex(), row.udcIndex);
    }
}

TEST_F(LoginTest, ServiceListUnderListIsStoredAndAnEmptyOneKeepsTheOldText)
{
    QVLoginService service;
    auto results = Login(service, QStringLiteral("listkey"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->resultType, 1u);
    const QString text = platform::UserDefaults::Standard().Value(QStringLiteral("AllApplicationURL")).toString();
    const auto stored = QVDomainModel::FromText(text);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->currList.size(), 2u);
    EXPECT_EQ(stored->currList[0]->serivceType, 2);
    EXPECT_EQ(stored->currList[1]->ssoUrl, QStringLiteral("sso.other.example"));

    results = Login(service, QStringLiteral("nolist"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->error_message, QVLoginService::kConnectionMessage);
    EXPECT_EQ(platform::UserDefaults::Standard().Value(QStringLiteral("AllApplicationURL")).toString(), text);
}

// Each broken reply ends the attempt with one failure; a host that fails in the
// ticket stages is left for the next attempt.
TEST_F(LoginTest, BrokenRepliesEndTheAttemptOnce)
{
    struct Row {
        const char* path;
        standin::Fault fault;
        qint64 udcIndex;
    };
    const Row rows[] = {
        {"/v1/tickets", FaultOf("nolocation"), 1},
        {"/v1/tickets/*", FaultOf("status", 500), 1},
        {"/v1/tickets/*", FaultOf("login"), 1},
        {"/proxyValidate", FaultOf("badxml"), 1},
        {"/proxyValidate", FaultOf("body", 0, ""), 1},
        {"/proxyValidate", FaultOf("body", 0, "<cas:serviceResponse><cas:user></cas:user></cas:serviceResponse>"), 1},
        {"/proxyValidate", FaultOf("cut"), 1},
        {"/client/infosBeforSelectHospital.do", FaultOf("badjson"), 1},
        {"/client/infosBeforSelectHospital.do", FaultOf("login"), 1},
        {"/client/infoAfterSelectHospital.do", FaultOf("status", 503), 0},
        {"/client/queryServiceListByHospitalId.do", FaultOf("badjson"), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        primary->Reset();
        primary->SetFault(row.path, row.fault);
        QVLoginService service;
        const auto results = Login(service, QStringLiteral("doctor"));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0]->resultType, 0u);
        EXPECT_EQ(results[0]->error_message, QVLoginService::kConnectionMessage);
        EXPECT_EQ(service.udcIndex(), row.udcIndex);
    }
}

TEST_F(LoginTest, ReleasedServiceAndReplacedAttemptDropTheirReplies)
{
    primary->SetFault("/proxyValidate", [] {
        standin::Fault f;
        f.delayMs = 300;
        return f;
    }());
    int calls = 0;
    {
        QVLoginService service;
        QVUserInfoManager::sharedInstance().setUsername(QStringLiteral("doctor"));
        QVUserInfoManager::sharedInstance().setPassword(kPassword);
        service.startLoginWithCaptchId({}, {}, false, true, [&](const auto&) { ++calls; });
        ASSERT_TRUE(WaitFor([&] { return Count(primary, "GET /proxyValidate") == 1; }));
    }
    Settle(600);
    EXPECT_EQ(calls, 0);

    // A second start replaces the first: only its completion runs, once.
    primary->Reset();
    primary->SetFault("/mcc.json", [] {
        standin::Fault f;
        f.delayMs = 300;
        f.times = 1;
        return f;
    }());
    QVLoginService service;
    std::vector<int> seen;
    service.startLoginWithCaptchId({}, {}, false, true, [&](const auto&) { seen.push_back(1); });
    service.startLoginWithCaptchId({}, {}, false, true, [&](const auto& r) { seen.push_back(2 + int(r->resultType)); });
    ASSERT_TRUE(WaitFor([&] { return !seen.empty(); }));
    Settle(600);
    EXPECT_EQ(seen, std::vector<int>{3});
}

TEST_F(LoginTest, ReLoginAndTicketsForOtherHosts)
{
    QVLoginService service;
    ASSERT_EQ(Login(service, QStringLiteral("doctor"))[0]->resultType, 1u);
    const QString first = QVUserInfoManager::sharedInstance().cookie();

    int answer = -1;
    service.reLoginWithCompleteHandler([&](bool ok) { answer = ok; });
    ASSERT_TRUE(WaitFor([&] { return answer != -1; }));
    EXPECT_EQ(answer, 1);
    EXPECT_NE(QVUserInfoManager::sharedInstance().cookie(), first);
    EXPECT_EQ(Cookie(QStringLiteral("CASTGC"), Host(primary)), QVUserInfoManager::sharedInstance().cookie());

    auto* other = StartServer();
    service.reloadForUrl(Host(other));
    ASSERT_TRUE(WaitFor([&] { return !Cookie(QStringLiteral("CASTGC"), Host(other)).isEmpty(); }));
    EXPECT_EQ(Cookie(QStringLiteral("CASTGC"), Host(primary)).isEmpty(), false);

    QVUserInfoManager::sharedInstance().setPassword(QStringLiteral("wrong"));
    answer = -1;
    service.reLoginWithCompleteHandler([&](bool ok) { answer = ok; });
    ASSERT_TRUE(WaitFor([&] { return answer != -1; }));
    EXPECT_EQ(answer, 0);
}

// After a sign-in and a web sign-on, no log line holds the password or a ticket.
TEST_F(LoginTest, NoLogLineHoldsAPasswordOrTicket)
{
    static std::mutex mutex;
    static QStringList lines;
    lines.clear();
    const auto previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        std::lock_guard lock(mutex);
        lines.append(text);
    });
    QVLoginService service;
    const auto results = Login(service, QStringLiteral("doctor"));
    bool signedOn = false;
    QVWebLoginHandle::loginToUrl(Base(primary) + QStringLiteral("/rvmds"), Host(primary), [&] { signedOn = true; });
    WaitFor([&] { return signedOn; });
    // A failing stage logs too.
    primary->SetFault("/proxyValidate", FaultOf("status", 500));
    Login(service, QStringLiteral("doctor"));
    qInstallMessageHandler(previous);

    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0]->resultType, 1u);
    ASSERT_TRUE(signedOn);
    std::lock_guard lock(mutex);
    EXPECT_FALSE(lines.isEmpty());
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains(kPassword)) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("TGT-"))) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("ST-"))) << line.toStdString();
    }
    // The stand-in saw the tickets, so they were there to leak.
    for (const std::string& l : primary->Log()) {
        if (l.rfind("GET /proxyValidate", 0) == 0) {
            EXPECT_NE(l.find("ticket=ST-"), std::string::npos);
        }
    }
}

} // namespace
