// SPDX-License-Identifier: GPL-3.0-or-later
// The login tests' world: stand-in login services on 127.0.0.1, environment 4, the
// user defaults in a temporary folder, no cookies and a fresh signed-in user.
#pragma once

#include "app/login/QVAPIManager.h"
#include "app/login/QVLoginService.h"
#include "app/login/QVUserInfoManager.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/UserDefaults.h"
#include "app/service/QVHttpManager.h"
#include "app/service/QVNetworkAgent.h"
#include "app/service/tests/NetTestSupport.h"
#include "tools/rivela-standin/Standin.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace logintest {

using nettest::Settle;
using nettest::WaitFor;

inline const QString kPassword = QString::fromUtf8(standin::LoginSide::kPassword);

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        platform::UserDefaults::UseFileForTesting(folder.filePath(QStringLiteral("defaults.ini")));
        platform::CookieStorage::Shared().DeleteAll();
        QVUserInfoManager::sharedInstance().resetForTesting();
        QVHttpManager::setUp();
        QVNetworkAgent::sharedInstance().setTimeoutInterval(2);
        QVAPIManager::sharedManager().setAPIType(4);
        primary = StartServer();
        UseDiscovery({primary});
    }
    void TearDown() override
    {
        servers.clear();
        QVAPIManager::sharedManager().setAPIType(1);
        platform::CookieStorage::Shared().DeleteAll();
    }

    standin::Server* StartServer()
    {
        servers.push_back(std::make_unique<standin::Server>(folder.path().toStdString()));
        EXPECT_GT(servers.back()->Start(), 0);
        return servers.back().get();
    }
    static QString Host(const standin::Server* server) { return QStringLiteral("127.0.0.1:%1").arg(server->Port()); }
    static QString Base(const standin::Server* server) { return QStringLiteral("http://") + Host(server); }
    void UseDiscovery(const std::vector<standin::Server*>& list)
    {
        QStringList addresses;
        for (const auto* s : list)
            addresses.append(Base(s));
        QVAPIManager::sharedManager().setMccAddresses(4, addresses);
    }
    static int Count(const standin::Server* server, const std::string& prefix)
    {
        const auto log = server->Log();
        return int(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }

    // Starts a login as the window does (choosing alone) and waits for its first
    // result, then a little longer so that a second one would be seen.
    std::vector<std::shared_ptr<QVLoginResult>> Login(QVLoginService& service, const QString& user,
                                                      const QString& password = kPassword,
                                                      const QString& captchId = {}, const QString& code = {})
    {
        QVUserInfoManager::sharedInstance().setUsername(user);
        QVUserInfoManager::sharedInstance().setPassword(password);
        auto results = std::make_shared<std::vector<std::shared_ptr<QVLoginResult>>>();
        service.startLoginWithCaptchId(captchId, code, false, true,
                                       [results](const std::shared_ptr<QVLoginResult>& r) {
                                           EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                                           results->push_back(r);
                                       });
        EXPECT_TRUE(WaitFor([&] { return !results->empty(); }));
        Settle();
        return *results;
    }

    QTemporaryDir folder;
    std::vector<std::unique_ptr<standin::Server>> servers;
    standin::Server* primary = nullptr;
};

} // namespace logintest
