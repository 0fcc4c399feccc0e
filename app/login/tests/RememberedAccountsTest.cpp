// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/tests/LoginTestSupport.h"

#include "app/login/QVUserSelectInfoModel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <sys/stat.h>

namespace {

using logintest::LoginTest;

std::shared_ptr<QVHospitalItem> Hospital(const char* id)
{
    auto h = std::make_shared<QVHospitalItem>();
    h->hospitalId = QString::fromLatin1(id);
    h->parentHospitalId = QStringLiteral("10");
    auto o = std::make_shared<QVOfficeItem>();
    o->officeId = QString::fromLatin1(id) + QStringLiteral("1");
    h->offices.push_back(o);
    return h;
}

QString StoredText()
{
    return platform::UserDefaults::Standard().Value(QStringLiteral("AllLoginAccountList")).toString();
}

class RememberedAccountsTest : public LoginTest {
protected:
    // Saves a sign-in into the stored list, as the login window does after success.
    bool Save(const char* id, const char* account, const QString& password, const char* hospital = "11")
    {
        auto model = QVUserSelectInfoModel::Stored();
        const auto h = Hospital(hospital);
        return model->saveSignIn(QString::fromLatin1(id), QString::fromLatin1(account), password,
                                 QStringLiteral("http://sso.example"), h, h->offices[0]);
    }
    static std::vector<std::string> Order()
    {
        std::vector<std::string> out;
        const auto model = QVUserSelectInfoModel::Stored();
        for (const auto& item : model->list)
            out.push_back(item->accountID.toStdString() + (item->isSelected ? "*" : ""));
        return out;
    }
};

TEST_F(RememberedAccountsTest, SaveAlgorithm)
{
    QVLoginSwitches::setShouldSaveLocalPassword(true);
    struct Step {
        const char* id;
        const char* account;
        const char* password;
        std::vector<std::string> order;
    };
    const Step steps[] = {
        {"1", "amy", "p1", {"1*"}},
        {"2", "bob", "p2", {"2*", "1"}},
        {"1", "AMY-renamed", "p1-new", {"2", "1*"}}, // a known account keeps its place and name
        {"3", "cat", "p3", {"3*", "2", "1"}},
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(Save(s.id, s.account, QString::fromUtf8(s.password)));
        EXPECT_EQ(Order(), s.order) << s.id;
    }
    const auto list = QVUserSelectInfoModel::Stored()->list;
    const auto& amy = *list[2];
    EXPECT_EQ(amy.account, QStringLiteral("amy"));
    EXPECT_EQ(amy.psdStr, QStringLiteral("p1-new"));
    EXPECT_EQ(amy.loginHost, QStringLiteral("http://sso.example"));
    ASSERT_TRUE(amy.loginHospital && amy.loginOffice);
    EXPECT_EQ(amy.loginOffice->officeId, QStringLiteral("111"));
    EXPECT_EQ(amy.loginHospital->offices.size(), 1u);

    // The stored text: plain "psdStr", no selection marks of hospital or office.
    const QJsonObject first = QJsonDocument::fromJson(StoredText().toUtf8()).object()[QStringLiteral("list")][0].toObject();
    EXPECT_EQ(first[QStringLiteral("psdStr")].toString(), QStringLiteral("p3"));
    EXPECT_EQ(first[QStringLiteral("isSelected")].toBool(), true);
    EXPECT_FALSE(first[QStringLiteral("loginHospital")].toObject().contains(QStringLiteral("isSelected")));

    // Readable by the owner only.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(platform::UserDefaults::Standard().FilePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RememberedAccountsTest, SwitchOffLeavesTheTextByteForByte)
{
    QVLoginSwitches::setShouldSaveLocalPassword(true);
    ASSERT_TRUE(Save("1", "amy", QStringLiteral("p1")));
    QVLoginSwitches::setShouldSaveLocalPassword(false);
    const QString before = StoredText();
    EXPECT_FALSE(Save("2", "bob", QStringLiteral("p2")));
    EXPECT_EQ(StoredText(), before);
    EXPECT_EQ(platform::UserDefaults::Standard().Value(QStringLiteral("ShouldSaveLocalPassword_4")).toBool(), false);
}

TEST_F(RememberedAccountsTest, SwitchesBelongToTheirEnvironment)
{
    QVAPIManager::sharedManager().setAPIType(1);
    EXPECT_FALSE(QVLoginSwitches::shouldSaveLocalPassword()); // missing counts as off
    QVLoginSwitches::setShouldSaveLocalPassword(true);
    EXPECT_TRUE(platform::UserDefaults::Standard().Contains(QStringLiteral("ShouldSaveLocalPassword_1")));
    QVAPIManager::sharedManager().setAPIType(4);
    EXPECT_FALSE(QVLoginSwitches::shouldSaveLocalPassword());
    EXPECT_FALSE(QVLoginSwitches::shouldAutoLoginIn());
    platform::UserDefaults::Standard().SetValue(QStringLiteral("ShouldAutoLoginIn_4"), QStringLiteral("anything"));
    EXPECT_TRUE(QVLoginSwitches::shouldAutoLoginIn());
    QVAPIManager::sharedManager().setAPIType(1);
    EXPECT_TRUE(QVLoginSwitches::shouldSaveLocalPassword());
    EXPECT_FALSE(QVLoginSwitches::shouldAutoLoginIn());
}

TEST_F(RememberedAccountsTest, ReadingAcceptsSubsetsAndRefusesOtherTexts)
{
    struct Row {
        const char* text;
        size_t entries;
    };
    const Row rows[] = {
        {"", 0},
        {"not json", 0},
        {"[1,2]", 0},
        {R"({"list":[]})", 0},
        {R"({"other":1})", 0},
        {R"({"list":[{"accountID":"7"},{"account":"x","isSelected":1,"loginOffice":{"officeId":3}}]})", 2},
    };
    for (const Row& row : rows) {
        const auto model = QVUserSelectInfoModel::FromText(QString::fromUtf8(row.text));
        ASSERT_EQ(model->list.size(), row.entries) << row.text;
    }
    const auto model = QVUserSelectInfoModel::FromText(QString::fromUtf8(rows[5].text));
    EXPECT_TRUE(model->list[1]->isSelected);
    EXPECT_EQ(model->list[1]->loginOffice->officeId, QStringLiteral("3"));
    EXPECT_FALSE(model->list[0]->loginHospital);
    model->removeAccount(QStringLiteral("7"));
    EXPECT_EQ(model->list.size(), 1u);
}

// The whole road: a sign-in through the service, then the save the login window runs.
TEST_F(RememberedAccountsTest, SignInThenSave)
{
    QVLoginSwitches::setShouldSaveLocalPassword(true);
    QVLoginService service;
    const auto results = Login(service, QStringLiteral("doctor"));
    ASSERT_EQ(results.at(0)->resultType, 1u);
    auto& user = QVUserInfoManager::sharedInstance();
    auto model = QVUserSelectInfoModel::Stored();
    ASSERT_TRUE(model->saveSignIn(results[0]->accountID, user.username(), user.password(), user.udcHost(),
                                  user.selectedHospital(), user.selectedOffice()));
    const auto stored = QVUserSelectInfoModel::Stored();
    ASSERT_EQ(stored->list.size(), 1u);
    EXPECT_EQ(stored->list[0]->psdStr, logintest::kPassword);
    EXPECT_EQ(stored->list[0]->loginHost, Base(primary));
    EXPECT_EQ(stored->list[0]->loginHospital->hospitalName, QStringLiteral("演示口腔医院"));
}

} // namespace
