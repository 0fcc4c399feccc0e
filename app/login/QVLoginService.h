// SPDX-License-Identifier: GPL-3.0-or-later
// Signs a doctor in against the central login service (CAS REST tickets), in
// stages: the login hosts of the environment, a ticket-granting ticket, a service
// ticket, its validation (the account id), the account's hospitals and offices, the
// choice of one, the profile and rights, and the list of services. Each attempt ends
// with exactly one QVLoginResult, on the GUI thread. A host that fails is skipped by
// the next attempt: the host list and both indices live as long as the service.
// Replies that arrive after the service is gone, or for an attempt that a newer one
// replaced, are dropped. Use on the GUI thread only.
#pragma once

#include "app/login/LoginRequests.h"
#include "app/login/QVDomainModel.h"
#include "app/login/QVUserRecords.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QVLoginResult {
public:
    static std::shared_ptr<QVLoginResult> failureWithError_message(const QString& message);
    static std::shared_ptr<QVLoginResult> success();
    static std::shared_ptr<QVLoginResult> selectedWithHospitalArray(std::vector<std::shared_ptr<QVHospitalItem>> hospitals);

    quint64 resultType = 0; // 0 failure, 1 success, 2 choose hospital and office
    QString accountID;
    QString error_message;
    bool needCode = false;
    bool isNeedCode() const { return needCode; }
    std::vector<std::shared_ptr<QVHospitalItem>> hospitalArray;

private:
    QVLoginResult() = default;
};

class QVLoginService {
public:
    using CompleteHandler = std::function<void(const std::shared_ptr<QVLoginResult>&)>;

    static const QString kConnectionMessage;  // "无法连接服务器，请联系管理员。"
    static const QString kCredentialsMessage; // "用户名或密码不正确，请重新输入"
    static const QString kCaptchaMessage;     // "验证码错误"

    QVLoginService();
    ~QVLoginService();
    QVLoginService(const QVLoginService&) = delete;
    QVLoginService& operator=(const QVLoginService&) = delete;

    // The user name and password come from QVUserInfoManager, set by the caller first.
    // Deletes every cookie, then runs the stages from the host list on.
    void startLoginWithCaptchId(const QString& captchId, const QString& captchCode, bool isSavePassword,
                                bool shouldAutoSelectedHospital, CompleteHandler completeHandler);
    // After a choice result: the profile and service-list stages for the chosen pair.
    void loginAfterSelectedHospital(std::shared_ptr<QVHospitalItem> hospital, std::shared_ptr<QVOfficeItem> office,
                                    CompleteHandler completeHandler);
    void hotChangedAfterSelectedHospital(std::shared_ptr<QVHospitalItem> hospital,
                                         std::shared_ptr<QVOfficeItem> office, const QString& accountId,
                                         CompleteHandler completeHandler);
    // A new captcha from the current login host: (id, image address), or ("", "").
    void updateCodeImage(std::function<void(const QString& captchId, const QString& imageUrl)> handler);
    // A fresh TGT for the current login host; the handler gets whether the request succeeded.
    void reLoginWithCompleteHandler(std::function<void(bool)> handler);
    // A TGT for another host, installed as that host's "CASTGC" cookie.
    void reloadForUrl(const QString& host);
    // The next login fetches the host list again.
    void setChangeAPI(bool changeAPI);

    // State, for callers and tests.
    bool changeAPI() const { return m_changeAPI; }
    bool isSavePassword() const { return m_savePassword; }
    qint64 mccIndex() const { return m_mccIndex; }
    qint64 udcIndex() const { return m_udcIndex; }
    const std::vector<std::shared_ptr<QVMCCItem>>& udcURLArray() const { return m_udcURLArray; }
    QString accountID() const { return m_accountID; }
    std::shared_ptr<QVHospitalItem> selectedHospital() const { return m_selectedHospital; }
    std::shared_ptr<QVOfficeItem> selectedOffice() const { return m_selectedOffice; }
    std::shared_ptr<QVGroupItem> groupItem() const { return m_groupItem; }

private:
    struct Life;

    void loadUdcURLIfNeed();
    void requestTGTFromUdc();
    void requestServiceTickets();
    void requestAccountID();
    void requestHospitalAndOfficeInfo();
    void requestUserAuth();
    void queryAllApplicationURL();

    // True, with the account id taken, when the validation reply names a user.
    bool parseValidation(const QByteArray& body);
    void finish(std::shared_ptr<QVLoginResult> result);
    void fail(const QString& message);
    // Sends for the current attempt; the handler is dropped when the service is gone or
    // the attempt has been replaced.
    void send(const QString& url, int method, const QVariantMap& param,
              std::function<void(QVLoginService&, const loginnet::Reply&)> handler);

    bool m_changeAPI = false;
    bool m_savePassword = false;
    bool m_isUsedCacheUdc = false;
    bool m_isAccountElement = false;
    bool m_shouldAutoSelectedHospital = false;
    QString m_captchId;
    QString m_captchCode;
    CompleteHandler m_completeHandler;
    std::vector<std::shared_ptr<QVMCCItem>> m_udcURLArray;
    qint64 m_mccIndex = 0;
    qint64 m_udcIndex = 0;
    QString m_tgt;
    QString m_st;
    QString m_accountID;
    std::shared_ptr<QVHospitalItem> m_selectedHospital;
    std::shared_ptr<QVOfficeItem> m_selectedOffice;
    std::shared_ptr<QVGroupItem> m_groupItem;

    std::shared_ptr<Life> m_life;
    quint64 m_attempt = 0;
};
