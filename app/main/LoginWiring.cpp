// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/LoginWiring.h"

#include "app/login/QVAPIManager.h"
#include "app/login/QVDomainModel.h"
#include "app/login/QVLoginController.h"
#include "app/login/QVUserInfoManager.h"
#include "app/login/QVUserRecords.h"
#include "app/login/QVWebLoginHandle.h"
#include "app/login/UpdatePasswordWindowController.h"
#include "app/shell/window/ShellSubsystems.h"

void RegisterLoginWithShell()
{
    RVLoginSubsystem login;
    login.createLoginWindow = []() -> std::unique_ptr<QWidget> { return std::make_unique<QVLoginWindow>(); };
    login.createUpdatePasswordWindow = []() -> std::unique_ptr<QWidget> {
        return std::make_unique<UpdatePasswordWindowController>();
    };
    login.clearHTTPCookie = [] { QVUserInfoManager::sharedInstance().clearHTTPCookie(); };
    login.clearData = [] { QVUserInfoManager::sharedInstance().clearData(); };
    login.username = []() -> std::optional<QString> {
        const QString name = QVUserInfoManager::sharedInstance().username();
        if (name.isNull())
            return std::nullopt;
        return name;
    };
    login.password = [] { return QVUserInfoManager::sharedInstance().password(); };
    login.udcHost = [] { return QVUserInfoManager::sharedInstance().udcHost(); };
    login.roles = [] {
        const auto info = QVUserInfoManager::sharedInstance().userInfo();
        return info && info->roles ? *info->roles : QStringList();
    };
    login.APIType = [] { return static_cast<int>(QVAPIManager::sharedManager().APIType()); };
    login.urlPrefix = [] { return QVAPIManager::sharedManager().urlPrefix(); };
    login.domainModelFromJson = [](const QString& json) -> std::optional<QList<RVDomainEntry>> {
        if (json.isEmpty())
            return QList<RVDomainEntry>();
        const std::shared_ptr<QVDomainModel> model = QVDomainModel::FromText(json);
        if (!model)
            return std::nullopt;
        QList<RVDomainEntry> entries;
        for (const auto& item : model->currList)
            if (item)
                entries.append(RVDomainEntry{item->serviceName, item->url, item->ssoUrl});
        return entries;
    };
    login.loginToUrl = [](const QString& url, const QString& udcDomain, std::function<void()> complete) {
        QVWebLoginHandle::loginToUrl(url, udcDomain, std::move(complete));
    };
    ShellSubsystems::RegisterLogin(std::move(login));
}
