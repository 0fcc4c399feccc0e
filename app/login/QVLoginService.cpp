// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVLoginService.h"

#include "app/login/QVAPIManager.h"
#include "app/login/QVUserInfoManager.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/UserDefaults.h"

#include <QDebug>
#include <QJsonDocument>
#include <QNetworkCookie>
#include <QXmlStreamReader>

const QString QVLoginService::kConnectionMessage = QStringLiteral("无法连接服务器，请联系管理员。");
const QString QVLoginService::kCredentialsMessage = QStringLiteral("用户名或密码不正确，请重新输入");
const QString QVLoginService::kCaptchaMessage = QStringLiteral("验证码错误");

namespace {

QVUserInfoManager& User()
{
    return QVUserInfoManager::sharedInstance();
}

QVariantMap Credentials()
{
    return {{QStringLiteral("username"), User().username().isNull() ? QString(QLatin1String("")) : User().username()},
            {QStringLiteral("password"), User().password().isNull() ? QString(QLatin1String("")) : User().password()}};
}

QString ValidationService()
{
    return User().udcHost() + QStringLiteral("/client/infosBeforSelectHospital.do");
}

// The reply as a JSON object: none when it is not JSON; an empty object for JSON of
// another shape (it maps to a record without values).
std::optional<QJsonObject> JsonObject(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || doc.isNull())
        return std::nullopt;
    return doc.isObject() ? doc.object() : QJsonObject();
}

} // namespace

std::shared_ptr<QVLoginResult> QVLoginResult::failureWithError_message(const QString& message)
{
    std::shared_ptr<QVLoginResult> result(new QVLoginResult);
    result->resultType = 0;
    result->error_message = message;
    return result;
}

std::shared_ptr<QVLoginResult> QVLoginResult::success()
{
    std::shared_ptr<QVLoginResult> result(new QVLoginResult);
    result->resultType = 1;
    return result;
}

std::shared_ptr<QVLoginResult> QVLoginResult::selectedWithHospitalArray(std::vector<std::shared_ptr<QVHospitalItem>> hospitals)
{
    std::shared_ptr<QVLoginResult> result(new QVLoginResult);
    result->resultType = 2;
    result->hospitalArray = std::move(hospitals);
    return result;
}

struct QVLoginService::Life {
    QVLoginService* service;
};

QVLoginService::QVLoginService() : m_life(std::make_shared<Life>(Life{this})) {}

QVLoginService::~QVLoginService() = default;

void QVLoginService::send(const QString& url, int method, const QVariantMap& param,
                          std::function<void(QVLoginService&, const loginnet::Reply&)> handler)
{
    std::weak_ptr<Life> life = m_life;
    const quint64 attempt = m_attempt;
    loginnet::Send(url, method, param, [life, attempt, handler = std::move(handler)](const loginnet::Reply& reply) {
        const auto alive = life.lock();
        if (!alive || alive->service->m_attempt != attempt)
            return;
        handler(*alive->service, reply);
    });
}

void QVLoginService::finish(std::shared_ptr<QVLoginResult> result)
{
    // Whatever of this attempt is still in flight is dropped from now on.
    ++m_attempt;
    if (const CompleteHandler handler = m_completeHandler)
        handler(result);
}

void QVLoginService::fail(const QString& message)
{
    finish(QVLoginResult::failureWithError_message(message));
}

void QVLoginService::startLoginWithCaptchId(const QString& captchId, const QString& captchCode, bool isSavePassword,
                                            bool shouldAutoSelectedHospital, CompleteHandler completeHandler)
{
    ++m_attempt;
    m_captchId = captchId;
    m_captchCode = captchCode;
    m_savePassword = isSavePassword;
    m_shouldAutoSelectedHospital = shouldAutoSelectedHospital;
    m_completeHandler = std::move(completeHandler);
    User().clearHTTPCookie();
    loadUdcURLIfNeed();
}

void QVLoginService::loginAfterSelectedHospital(std::shared_ptr<QVHospitalItem> hospital,
                                                std::shared_ptr<QVOfficeItem> office, CompleteHandler completeHandler)
{
    ++m_attempt;
    m_selectedHospital = std::move(hospital);
    m_selectedOffice = std::move(office);
    m_completeHandler = std::move(completeHandler);
    requestUserAuth();
}

void QVLoginService::hotChangedAfterSelectedHospital(std::shared_ptr<QVHospitalItem> hospital,
                                                     std::shared_ptr<QVOfficeItem> office, const QString& accountId,
                                                     CompleteHandler completeHandler)
{
    m_accountID = accountId;
    loginAfterSelectedHospital(std::move(hospital), std::move(office), std::move(completeHandler));
}

void QVLoginService::setChangeAPI(bool changeAPI)
{
    m_changeAPI = changeAPI;
    m_udcURLArray.clear();
}

void QVLoginService::loadUdcURLIfNeed()
{
    if (!m_udcURLArray.empty()) {
        requestTGTFromUdc();
        return;
    }
    const QStringList addresses = QVAPIManager::sharedManager().mccArrays();
    if (m_mccIndex < 0 || m_mccIndex >= addresses.size()) {
        m_mccIndex = 0;
        qInfo().noquote() << "login: no discovery address gave login hosts";
        fail(kConnectionMessage);
        return;
    }
    send(addresses.at(m_mccIndex) + QStringLiteral("/mcc.json"), 0, {},
         [](QVLoginService& self, const loginnet::Reply& reply) {
             std::shared_ptr<QVMCCModel> model;
             if (reply.ok)
                 if (const auto json = JsonObject(reply.body))
                     model = QVMCCModel::FromJson(*json);
             if (model && !model->idcs.empty()) {
                 self.m_isUsedCacheUdc = false;
                 self.m_udcIndex = 0;
                 self.m_udcURLArray = model->idcs;
                 self.requestTGTFromUdc();
                 return;
             }
             ++self.m_mccIndex;
             self.loadUdcURLIfNeed();
         });
}

void QVLoginService::requestTGTFromUdc()
{
    if (m_udcIndex < 0 || m_udcIndex >= qint64(m_udcURLArray.size())) {
        m_udcURLArray.clear();
        ++m_mccIndex;
        loadUdcURLIfNeed();
        return;
    }
    const auto& host = m_udcURLArray[size_t(m_udcIndex)];
    User().setUdcDomain(host ? host->idcUrl : QString());
    QVariantMap param = Credentials();
    if (!m_captchId.isEmpty() && !m_captchCode.isEmpty()) {
        param.insert(QStringLiteral("captchaId"), m_captchId);
        param.insert(QStringLiteral("captchaAnswer"), m_captchCode);
    }
    send(User().udcHost() + QStringLiteral("/v1/tickets"), 1, param,
         [](QVLoginService& self, const loginnet::Reply& reply) {
             if (reply.ok) {
                 self.m_tgt = loginnet::TicketFromLocation(reply.response);
                 if (self.m_tgt.isEmpty()) {
                     // Without a ticket the next stage can only be refused; end as it would.
                     qInfo().noquote() << "login: ticket reply without a Location";
                     ++self.m_udcIndex;
                     self.fail(kConnectionMessage);
                     return;
                 }
                 self.requestServiceTickets();
                 return;
             }
             qInfo().noquote() << "login: ticket request to" << User().udcDomain() << "answered" << reply.status;
             switch (reply.status) {
             case 400:
             case 401:
                 self.fail(kCredentialsMessage);
                 return;
             case 404:
                 ++self.m_udcIndex;
                 self.fail(kConnectionMessage);
                 return;
             case 406: {
                 auto result = QVLoginResult::failureWithError_message(kCaptchaMessage);
                 result->needCode = true;
                 self.finish(result);
                 return;
             }
             default:
                 ++self.m_udcIndex;
                 self.requestTGTFromUdc();
             }
         });
}

void QVLoginService::requestServiceTickets()
{
    m_st.clear();
    send(User().udcHost() + QStringLiteral("/v1/tickets/") + m_tgt, 1,
         {{QStringLiteral("service"), ValidationService()}}, [](QVLoginService& self, const loginnet::Reply& reply) {
             if (!reply.ok) {
                 qInfo().noquote() << "login: service ticket refused, status" << reply.status;
                 ++self.m_udcIndex;
                 self.fail(kConnectionMessage);
                 return;
             }
             self.m_st = QString::fromUtf8(reply.body);
             self.requestAccountID();
         });
}

bool QVLoginService::parseValidation(const QByteArray& body)
{
    QXmlStreamReader xml(body);
    QString user;
    bool userClosed = false;
    m_isAccountElement = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (xml.qualifiedName() == QLatin1String("cas:user") && !userClosed)
                m_isAccountElement = true;
            break;
        case QXmlStreamReader::Characters:
            if (m_isAccountElement && !userClosed)
                user += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (xml.qualifiedName() == QLatin1String("cas:user") && m_isAccountElement)
                userClosed = true;
            break;
        default:
            break;
        }
    }
    const bool wellFormed = !xml.hasError() && !body.trimmed().isEmpty();
    m_isAccountElement = false;
    user = user.trimmed();
    if (!wellFormed || !userClosed || user.isEmpty())
        return false;
    m_accountID = user;
    return true;
}

void QVLoginService::requestAccountID()
{
    const QString url = User().udcHost() + QStringLiteral("/proxyValidate?ticket=") + m_st +
                        QStringLiteral("&service=") + ValidationService();
    send(url, 0, {}, [](QVLoginService& self, const loginnet::Reply& reply) {
        self.m_accountID.clear();
        if (!reply.ok || !self.parseValidation(reply.body)) {
            qInfo().noquote() << "login: ticket validation failed, status" << reply.status;
            ++self.m_udcIndex;
            self.fail(kConnectionMessage);
            return;
        }
        self.requestHospitalAndOfficeInfo();
    });
}

void QVLoginService::requestHospitalAndOfficeInfo()
{
    const QString host = User().udcDomain();
    loginnet::InstallTicket(host, m_tgt);
    send(User().udcHost() + QStringLiteral("/client/infosBeforSelectHospital.do?accountId=") + m_accountID, 0, {},
         [](QVLoginService& self, const loginnet::Reply& reply) {
             const auto json = reply.ok ? JsonObject(reply.body) : std::nullopt;
             if (!json) {
                 qInfo().noquote() << "login: hospital request failed, status" << reply.status;
                 ++self.m_udcIndex;
                 self.fail(kConnectionMessage);
                 return;
             }
             const auto info = QVWorkingInfo::FromJson(*json);
             if (info->isRefused()) {
                 ++self.m_udcIndex;
                 self.fail(info->ERRORMSG.isNull() ? kConnectionMessage : info->ERRORMSG);
                 return;
             }
             const bool hasGroups = !info->workingGroups.empty();
             const bool hasOffices = !info->workingHospitals.empty() && !info->workingOffices.empty();
             if (!hasGroups && !hasOffices) {
                 self.fail(kConnectionMessage);
                 return;
             }
             if (!hasOffices) {
                 const auto& group = info->workingGroups.front();
                 auto hospital = std::make_shared<QVHospitalItem>();
                 hospital->parentHospitalId = group->groupId;
                 hospital->hospitalId = group->phospitalId;
                 hospital->hospitalName = group->groupName;
                 self.m_selectedHospital = hospital;
                 self.requestUserAuth();
                 return;
             }
             if (hasGroups)
                 self.m_groupItem = info->workingGroups.front();
             std::vector<std::shared_ptr<QVHospitalItem>> hospitals;
             for (const auto& hospital : info->workingHospitals) {
                 hospital->offices.clear();
                 for (const auto& office : info->workingOffices)
                     if (office->hospitalId == hospital->hospitalId)
                         hospital->offices.push_back(office);
                 hospitals.push_back(hospital);
             }
             if (self.m_shouldAutoSelectedHospital && hospitals.size() == 1 && hospitals.front()->offices.size() == 1) {
                 self.m_selectedHospital = hospitals.front();
                 self.m_selectedOffice = hospitals.front()->offices.front();
                 self.requestUserAuth();
                 return;
             }
             auto result = QVLoginResult::selectedWithHospitalArray(std::move(hospitals));
             result->accountID = self.m_accountID;
             self.finish(result);
         });
}

void QVLoginService::requestUserAuth()
{
    const auto& hospital = m_selectedHospital;
    if (!hospital || hospital->parentHospitalId.isEmpty() || hospital->hospitalId.isEmpty()) {
        fail(kConnectionMessage);
        return;
    }
    auto& storage = platform::CookieStorage::Shared();
    for (const QNetworkCookie& c : storage.Cookies())
        if (c.name() == "hid")
            storage.DeleteCookie(c);
    const QString officeId = m_selectedOffice ? m_selectedOffice->officeId : QString();
    const QString host = User().udcDomain();
    if (!host.isEmpty())
        loginnet::AddSessionCookie(QStringLiteral("hid"), hospital->hospitalId + QLatin1Char('_') + officeId, host);
    const QString groupId = m_groupItem ? m_groupItem->groupId : QString();
    const QString url = User().udcHost() + QStringLiteral("/client/infoAfterSelectHospital.do?parentHospitalId=%1&hospitalId=%2&groupId=%3")
                                               .arg(hospital->parentHospitalId, hospital->hospitalId, groupId);
    send(url, 0, {}, [](QVLoginService& self, const loginnet::Reply& reply) {
        const auto json = reply.ok ? JsonObject(reply.body) : std::nullopt;
        if (!json) {
            qInfo().noquote() << "login: rights request failed, status" << reply.status;
            self.fail(kConnectionMessage);
            return;
        }
        User().updateHospital(self.m_selectedHospital);
        User().updateOffice(self.m_selectedOffice);
        User().updateUserInfo(QVUserInfoVo::FromJson(*json));
        self.queryAllApplicationURL();
    });
}

void QVLoginService::queryAllApplicationURL()
{
    if (!m_selectedHospital || m_selectedHospital->parentHospitalId.isEmpty()) {
        fail(kConnectionMessage);
        return;
    }
    QString keyId = m_selectedHospital->parentHospitalId;
    const auto profile = User().userInfo();
    if (m_groupItem && m_groupItem->productCode == QLatin1String("RVM2B") && profile && profile->roles) {
        for (const QString& role : *profile->roles)
            if (role.contains(QLatin1String("RVM2C"))) {
                keyId = m_groupItem->groupId;
                break;
            }
    }
    if (keyId.isEmpty())
        keyId = QStringLiteral("0");
    send(User().udcHost() + QStringLiteral("/client/queryServiceListByHospitalId.do"), 0,
         {{QStringLiteral("parentHospitalId"), keyId}}, [](QVLoginService& self, const loginnet::Reply& reply) {
             const auto json = reply.ok ? JsonObject(reply.body) : std::nullopt;
             const auto model = json ? QVDomainModel::FromJson(*json) : nullptr;
             if (!model || model->currList.empty()) {
                 qInfo().noquote() << "login: no service list, status" << reply.status;
                 self.fail(kConnectionMessage);
                 return;
             }
             auto& defaults = platform::UserDefaults::Standard();
             defaults.SetValue(platform::defaults::kAllApplicationURL, model->toText());
             if (!defaults.Sync())
                 qWarning().noquote() << "login: the service list could not be saved";
             auto result = QVLoginResult::success();
             result->accountID = self.m_accountID;
             self.finish(result);
         });
}

void QVLoginService::updateCodeImage(std::function<void(const QString&, const QString&)> handler)
{
    std::weak_ptr<Life> life = m_life;
    loginnet::Send(User().udcHost() + QStringLiteral("/rs/captcha/"), 1, {},
                   [life, handler = std::move(handler)](const loginnet::Reply& reply) {
                       if (!life.lock() || !handler)
                           return;
                       if (!reply.ok) {
                           handler(QStringLiteral(""), QStringLiteral(""));
                           return;
                       }
                       const QString location = QString::fromUtf8(reply.response.header("Location")).toLower();
                       const QString id = location.split(QStringLiteral("/rs/captcha/")).last();
                       if (id.isEmpty() || location.isEmpty())
                           handler(QStringLiteral(""), QStringLiteral(""));
                       else
                           handler(id, location);
                   });
}

void QVLoginService::reLoginWithCompleteHandler(std::function<void(bool)> handler)
{
    std::weak_ptr<Life> life = m_life;
    loginnet::Send(User().udcHost() + QStringLiteral("/v1/tickets"), 1, Credentials(),
                   [life, handler = std::move(handler)](const loginnet::Reply& reply) {
                       const auto alive = life.lock();
                       if (!alive)
                           return;
                       if (reply.ok) {
                           alive->service->m_tgt = loginnet::TicketFromLocation(reply.response);
                           loginnet::InstallTicket(User().udcDomain(), alive->service->m_tgt);
                       }
                       if (handler)
                           handler(reply.ok);
                   });
}

void QVLoginService::reloadForUrl(const QString& host)
{
    std::weak_ptr<Life> life = m_life;
    loginnet::Send(QVAPIManager::sharedManager().urlPrefix() + host + QStringLiteral("/v1/tickets"), 1, Credentials(),
                   [life, host](const loginnet::Reply& reply) {
                       if (!life.lock() || !reply.ok)
                           return;
                       loginnet::InstallTicket(host, loginnet::TicketFromLocation(reply.response));
                   });
}
