// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/tests/LoginTestSupport.h"

#include "app/login/QVDomainModel.h"
#include "app/login/QVUserRecords.h"
#include "app/platform/Folders.h"
#include "app/shell/IniFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkCookie>

namespace {

QJsonObject Json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

TEST(QVAPIManagerTest, EnvironmentsAndTheirSchemes)
{
    auto& api = QVAPIManager::sharedManager();
    EXPECT_EQ(api.APIType(), 1u); // at start
    struct Row {
        quint64 set;
        quint64 type;
        const char* name;
        const char* prefix;
        int addresses;
    };
    const Row rows[] = {{0, 1, "正式环境", "https://", 1}, {5, 1, "正式环境", "https://", 1},
                        {2, 2, "模测环境", "https://", 2}, {3, 3, "测试环境", "https://", 2},
                        {4, 4, "开发环境", "http://", 1}};
    for (const Row& r : rows) {
        api.setAPIType(r.set);
        EXPECT_EQ(api.APIType(), r.type);
        EXPECT_EQ(api.API_NAME(), QString::fromUtf8(r.name));
        EXPECT_EQ(api.urlPrefix(), QString::fromLatin1(r.prefix));
        EXPECT_EQ(api.mccArrays().size(), r.addresses);
        for (const QString& a : api.mccArrays())
            EXPECT_TRUE(a.startsWith(QString::fromLatin1(r.prefix)) && !a.endsWith(QLatin1Char('/')));
    }
    EXPECT_TRUE(api.API_URL().isEmpty());
    api.setAPIType(1);
}

TEST(QVAPIManagerTest, DiscoveryAddressesFromTheConfiguration)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Rivela.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Login]\nMccAddress_3=https://a.example/\nMccAddress_3=https://b.example\n");
    file.close();
    ASSERT_EQ(IniFile::Instance().Load(path.toStdString()), 0);
    auto& api = QVAPIManager::sharedManager();
    const QStringList before = [&] { api.setAPIType(4); return api.mccArrays(); }();
    api.loadAddressesFromConfiguration();
    api.setAPIType(3);
    EXPECT_EQ(api.mccArrays(), (QStringList{QStringLiteral("https://a.example"), QStringLiteral("https://b.example")}));
    api.setAPIType(4);
    EXPECT_EQ(api.mccArrays(), before); // not configured: unchanged
    api.setMccAddresses(3, {QStringLiteral("https://mcc-test.rivela-dental.com"), QStringLiteral("https://mcc-test2.rivela-dental.com")});
    api.setAPIType(1);
    IniFile::Instance().Release();
}

TEST(LoginRecordsTest, DomainListReadsEitherKeyAndWritesBack)
{
    const char* entry = R"({"serviceName":"RVM","url":"cases.example","ssoUrl":"sso.example","serivceType":"7",)"
                        R"("pk":12,"roomServiceId":"r","shellUrl":"s","serivceDesc":"d","createTime":"t","machineRoomId":"m",)"
                        R"("modifyTime":"mt","serviceCode":"c"})";
    const auto viaCurr = QVDomainModel::FromJson(Json((std::string(R"({"currList":[)") + entry + "]}").c_str()));
    const auto viaList = QVDomainModel::FromJson(Json((std::string(R"({"list":[)") + entry + "]}").c_str()));
    const auto both = QVDomainModel::FromJson(Json((std::string(R"({"currList":[],"list":[)") + entry + "]}").c_str()));
    ASSERT_EQ(viaCurr->currList.size(), 1u);
    EXPECT_TRUE(both->currList.empty()); // "list" only when "currList" is absent
    EXPECT_EQ(viaCurr->toJson(), viaList->toJson());
    const auto& item = *viaList->currList[0];
    EXPECT_EQ(item.pk, QStringLiteral("12"));
    EXPECT_EQ(item.serivceType, 7);
    const auto back = QVDomainModel::FromText(viaList->toText());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toJson(), viaList->toJson());
    EXPECT_EQ(back->currList[0]->toJson().keys(), Json(entry).keys());
    EXPECT_EQ(back->entryNamed(QStringLiteral("RVM"))->ssoUrl, QStringLiteral("sso.example"));
    EXPECT_FALSE(back->entryNamed(QStringLiteral("rvm")));
    // Fields without a value are left out.
    EXPECT_EQ(QVDomainItem::FromJson(Json(R"({"url":"u"})"))->toJson(), Json(R"({"url":"u"})"));
    EXPECT_FALSE(QVDomainModel::FromText(QStringLiteral("[1]")));
    EXPECT_TRUE(QVMCCModel::FromJson(Json(R"({"idcs":[]})"))->idcs.empty());
    EXPECT_TRUE(QVMCCModel::FromJson(Json(R"({})"))->idcs.empty());
    const auto mcc = QVMCCModel::FromJson(Json(R"({"idcs":[{"idcUrl":"h:1","center":true},{"idcUrl":"h2"}]})"));
    ASSERT_EQ(mcc->idcs.size(), 2u);
    EXPECT_TRUE(mcc->idcs[0]->center);
    EXPECT_EQ(mcc->idcs[1]->idcUrl, QStringLiteral("h2"));
}

TEST(LoginRecordsTest, ProfileHospitalOfficeAndGroupMapping)
{
    const auto profile = QVUserInfoVo::FromJson(Json(
        R"({"userInfo":{"userId":42,"userName":"王医生","needChangePwd":"true","userFlag":"3","accountId":"a"},"roles":["RVM2C","X"]})"));
    EXPECT_EQ(profile->userId, QStringLiteral("42"));
    EXPECT_EQ(profile->needChangePwd, true);
    EXPECT_EQ(profile->userFlag, 3);
    EXPECT_EQ(profile->roles, (QStringList{QStringLiteral("RVM2C"), QStringLiteral("X")}));
    EXPECT_EQ(QVUserInfoVo::FromJson(profile->toJson())->toJson(), profile->toJson());

    const auto noRoles = QVUserInfoVo::FromJson(Json(R"({"userInfo":{"userId":"1"}})"));
    EXPECT_FALSE(noRoles->roles);
    const auto noInfo = QVUserInfoVo::FromJson(Json(R"({"userId":"1","roles":[]})"));
    EXPECT_TRUE(noInfo->userId.isNull());
    EXPECT_TRUE(noInfo->roles && noInfo->roles->isEmpty());

    const auto hospital = QVHospitalItem::FromJson(
        Json(R"({"hospitalId":5,"hospitalName":"院","isSelected":true,"offices":[{"officeId":"9","isSelected":1}]})"));
    EXPECT_EQ(hospital->hospitalId, QStringLiteral("5"));
    EXPECT_FALSE(hospital->isSelected);
    ASSERT_EQ(hospital->offices.size(), 1u);
    EXPECT_FALSE(hospital->offices[0]->isSelected);
    hospital->isSelected = true;
    EXPECT_FALSE(hospital->toJson().contains(QStringLiteral("isSelected")));
    EXPECT_FALSE(hospital->toJson()[QStringLiteral("offices")].toArray()[0].toObject().contains(QStringLiteral("isSelected")));

    const auto working = QVWorkingInfo::FromJson(Json(R"({"ERROR":"True","ERRORMSG":"停用","workingGroups":[{"groupId":3}]})"));
    EXPECT_TRUE(working->isRefused());
    EXPECT_EQ(working->workingGroups.at(0)->groupId, QStringLiteral("3"));
    EXPECT_FALSE(QVWorkingInfo::FromJson(Json(R"({"ERROR":"false"})"))->isRefused());

    const auto app = QVUserPrivilegesModel::FromJson(Json(R"({"appName":"a","appPrivilegeList":["p",1]})"));
    EXPECT_EQ(app->appPrivilegeList, (QStringList{QStringLiteral("p"), QStringLiteral("1")}));
}

using logintest::LoginTest;

TEST_F(LoginTest, UserHostIsDerivedOnceAndSignOutKeepsTheCredentials)
{
    auto& user = QVUserInfoManager::sharedInstance();
    user.setUdcDomain(QStringLiteral("sso.example:8443"));
    EXPECT_EQ(user.udcHost(), QStringLiteral("http://sso.example:8443"));
    QVAPIManager::sharedManager().setAPIType(1);
    EXPECT_EQ(user.udcHost(), QStringLiteral("http://sso.example:8443"));
    user.setUdcDomain(QStringLiteral("sso.example"));
    EXPECT_EQ(user.udcHost(), QStringLiteral("https://sso.example"));

    QVLoginService service;
    QVAPIManager::sharedManager().setAPIType(4);
    ASSERT_EQ(Login(service, QStringLiteral("doctor")).at(0)->resultType, 1u);
    const QString cookieFolder = platform::AppDataFolder() + QStringLiteral("/Cookies");
    ASSERT_TRUE(QDir().mkpath(cookieFolder));
    int cleaned = 0;
    QVUserInfoManager::setWebDataCleaner([&] { ++cleaned; });
    user.clearData();
    QVUserInfoManager::setWebDataCleaner({});
    EXPECT_FALSE(user.userInfo() || user.selectedHospital() || user.selectedOffice());
    EXPECT_FALSE(user.isUdcLogin());
    EXPECT_TRUE(platform::CookieStorage::Shared().Cookies().isEmpty());
    EXPECT_EQ(cleaned, 1);
    EXPECT_FALSE(QDir(cookieFolder).exists());
    EXPECT_EQ(user.username(), QStringLiteral("doctor"));
    EXPECT_TRUE(user.password().isEmpty());
    EXPECT_EQ(user.udcDomain(), Host(primary));
    EXPECT_FALSE(user.cookie().isEmpty());
}

} // namespace
