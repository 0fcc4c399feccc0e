// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rivela-standin/StandinLogin.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>

namespace standin {

namespace {

// A small striped picture standing in for a captcha.
const unsigned char kCaptchaPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x40, 0x00, 0x00, 0x00, 0x18, 0x08, 0x02, 0x00, 0x00, 0x00, 0xc5, 0xd6, 0x6c, 0x13, 0x00, 0x00, 0x00,
    0x46, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xed, 0xd6, 0xa1, 0x0d, 0x00, 0x20, 0x0c, 0x04, 0xc0, 0xee, 0x3f,
    0x19, 0x9a, 0x19, 0x08, 0x0a, 0x8b, 0x67, 0x81, 0xe2, 0x69, 0xb8, 0xe4, 0xe5, 0x8b, 0x9e, 0xfa, 0x46, 0xeb,
    0x23, 0xcd, 0x5c, 0x3b, 0xcd, 0x6b, 0xfd, 0x00, 0x00, 0x00, 0x28, 0x0e, 0xa8, 0x72, 0xe8, 0xad, 0x0f, 0x00,
    0x00, 0x50, 0x1d, 0x60, 0x07, 0x00, 0x00, 0x00, 0xfc, 0x42, 0x86, 0x0c, 0x00, 0xe0, 0x63, 0xc0, 0x01, 0xa6,
    0xcc, 0xcf, 0xe2, 0x37, 0x2d, 0x5d, 0x53, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60,
    0x82};

struct Account {
    const char* username;
    const char* accountId;
    const char* working;  // reply of infosBeforSelectHospital.do
    const char* roles;    // JSON list
    const char* listKey;  // "currList", "list" or "" for an empty list
};

const std::vector<Account>& Accounts()
{
    static const std::vector<Account> accounts = {
        {"doctor", "1001",
         R"({"workingHospitals":[{"hospitalId":"11","hospitalName":"演示口腔医院","parentHospitalId":"10","isSelected":true}],)"
         R"("workingOffices":[{"hospitalId":"11","officeId":"111","officeName":"正畸科"}],"workingGroups":[]})",
         R"(["RVM2C"])", "currList"},
        {"twooffices", "1002",
         R"({"workingHospitals":[{"hospitalId":"11","hospitalName":"演示口腔医院","parentHospitalId":"10"},)"
         R"({"hospitalId":12,"hospitalName":"分院","parentHospitalId":"10"}],)"
         R"("workingOffices":[{"hospitalId":"11","officeId":"111","officeName":"正畸科"},)"
         R"({"hospitalId":"99","officeId":"991","officeName":"无主科室"},)"
         R"({"hospitalId":"11","officeId":"112","officeName":"修复科"}]})",
         R"(["DOCTOR"])", "currList"},
        {"group", "1003",
         R"({"workingHospitals":[],"workingOffices":[],"workingGroups":[{"groupId":"500","phospitalId":"501",)"
         R"("groupName":"正畸联盟","productCode":"RVM2B","isShare":"1"},{"groupId":"600","phospitalId":"601"}]})",
         R"(["DOCTOR","RVM2C-LEAD"])", "currList"},
        {"refused", "1004", R"({"ERROR":"TRUE","ERRORNAME":"locked","ERRORMSG":"账号已停用"})", R"([])", "currList"},
        {"refusednomsg", "1005", R"({"ERROR":"TRUE"})", R"([])", "currList"},
        {"listkey", "1006",
         R"({"workingHospitals":[{"hospitalId":"11","hospitalName":"演示口腔医院","parentHospitalId":"10"}],)"
         R"("workingOffices":[{"hospitalId":"11","officeId":"111","officeName":"正畸科"}]})",
         R"(["RVM2C"])", "list"},
        {"nolist", "1007",
         R"({"workingHospitals":[{"hospitalId":"11","hospitalName":"演示口腔医院","parentHospitalId":"10"}],)"
         R"("workingOffices":[{"hospitalId":"11","officeId":"111","officeName":"正畸科"}]})",
         R"(["RVM2C"])", ""},
        {"nohospital", "1008", R"({"workingHospitals":[],"workingOffices":[]})", R"([])", "currList"},
    };
    return accounts;
}

const Account* FindAccount(const std::string& name)
{
    for (const auto& a : Accounts())
        if (name == a.username || name == a.accountId)
            return &a;
    return nullptr;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string CookieValue(const httplib::Request& req, const std::string& name)
{
    const std::string header = req.get_header_value("Cookie");
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos)
            end = header.size();
        std::string pair = header.substr(pos, end - pos);
        pair.erase(0, pair.find_first_not_of(' '));
        const size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == name)
            return pair.substr(eq + 1);
        pos = end + 1;
    }
    return {};
}

LoginSide::Form ReadForm(const httplib::Request& req)
{
    httplib::Params params;
    httplib::detail::parse_query_text(req.body, params);
    LoginSide::Form form;
    for (const auto& [k, v] : params)
        form[k] = v;
    return form;
}

std::string Value(const LoginSide::Form& form, const char* key)
{
    const auto it = form.find(key);
    return it == form.end() ? std::string() : it->second;
}

} // namespace

struct LoginSide::Impl {
    std::mutex mutex;
    std::vector<std::string> mccHosts;
    bool captchaDue = false;
    std::map<std::string, std::string> tgts;                            // TGT -> account id
    std::map<std::string, std::pair<std::string, std::string>> sts;     // ST -> account id, service
    std::map<std::string, std::string> passwords;                       // changed passwords by account id
    std::vector<std::string> captchas;                                  // ids handed out, lower case
    std::string lastAccount;                                            // of the last validated ticket
    int next = 1;
    Hooks hooks;

    std::string Host() const { return "127.0.0.1:" + std::to_string(hooks.port()); }

    std::string Password(const Account& a)
    {
        const auto it = passwords.find(a.accountId);
        return it == passwords.end() ? std::string(kPassword) : it->second;
    }

    // The account whose ticket-granting ticket the request carries, else the last one validated.
    const Account* Caller(const httplib::Request& req)
    {
        std::lock_guard lock(mutex);
        const auto it = tgts.find(CookieValue(req, "CASTGC"));
        return FindAccount(it != tgts.end() ? it->second : lastAccount);
    }

    std::string ServiceList(const Account& a) const
    {
        const std::string host = Host();
        std::string entries;
        if (*a.listKey)
            entries = R"({"serviceName":"RVM","url":")" + host + R"(","ssoUrl":")" + host +
                      R"(","serivceType":2,"pk":"p1","roomServiceId":"r1","createTime":"2024-03-07"},)"
                      R"({"serviceName":"OTHER","url":"other.example","ssoUrl":"sso.other.example"})";
        return std::string("{\"") + (*a.listKey ? a.listKey : "currList") + "\":[" + entries + "]}";
    }
};

LoginSide::LoginSide() : m_impl(std::make_unique<Impl>()) {}
LoginSide::~LoginSide() = default;

void LoginSide::SetMccHosts(std::vector<std::string> hosts)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->mccHosts = std::move(hosts);
}

void LoginSide::SetCaptchaDue(bool due)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->captchaDue = due;
}

void LoginSide::Reset()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->mccHosts.clear();
    m_impl->captchaDue = false;
    m_impl->tgts.clear();
    m_impl->sts.clear();
    m_impl->passwords.clear();
    m_impl->captchas.clear();
    m_impl->lastAccount.clear();
}

void LoginSide::Routes(httplib::Server& http, Hooks hooks)
{
    using httplib::Request;
    using httplib::Response;
    Impl* d = m_impl.get();
    d->hooks = std::move(hooks);
    const auto json = [d](const std::string& path, Response& res, int status, const std::string& body) {
        d->hooks.reply(path, res, status, body, "application/json;charset=UTF-8");
    };

    http.Get("/mcc.json", [d, json](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        std::vector<std::string> hosts;
        {
            std::lock_guard lock(d->mutex);
            hosts = d->mccHosts;
        }
        if (hosts.empty())
            hosts.push_back(d->Host());
        std::string list;
        for (size_t i = 0; i < hosts.size(); ++i)
            list += std::string(i ? "," : "") + R"({"idcUrl":")" + hosts[i] + R"(","center":)" + (i ? "false" : "true") + "}";
        json("/mcc.json", res, 200, "{\"idcs\":[" + list + "]}");
    });

    http.Post("/v1/tickets", [d](const Request& req, Response& res) {
        const Form form = ReadForm(req);
        d->hooks.record(req, &form);
        const Account* account = FindAccount(Value(form, "username"));
        int status = 201;
        std::string body;
        {
            std::lock_guard lock(d->mutex);
            const std::string id = Lower(Value(form, "captchaId"));
            const bool captchaOk = std::find(d->captchas.begin(), d->captchas.end(), id) != d->captchas.end() &&
                                   Value(form, "captchaAnswer") == kCaptchaAnswer;
            if (d->captchaDue && !captchaOk) {
                status = 406;
                body = "captcha required";
            } else if (!account || Value(form, "password") != d->Password(*account)) {
                status = 401;
                body = "bad credentials";
            } else {
                d->captchaDue = false;
                const std::string tgt = "TGT-" + std::to_string(d->next++) + "-standin";
                d->tgts[tgt] = account->accountId;
                res.set_header("Location", "http://" + d->Host() + "/v1/tickets/" + tgt);
                body = "<html><body>TGT created</body></html>";
            }
        }
        d->hooks.reply("/v1/tickets", res, status, body, "text/html;charset=UTF-8");
    });

    http.Post(R"(/v1/tickets/([^/]+))", [d](const Request& req, Response& res) {
        const Form form = ReadForm(req);
        d->hooks.record(req, &form);
        const std::string tgt = req.matches[1];
        int status = 200;
        std::string body;
        {
            std::lock_guard lock(d->mutex);
            const auto it = d->tgts.find(tgt);
            if (it == d->tgts.end() || Value(form, "service").empty()) {
                status = 400;
                body = "unknown ticket";
            } else {
                body = "ST-" + std::to_string(d->next++) + "-standin";
                d->sts[body] = {it->second, Value(form, "service")};
            }
        }
        d->hooks.reply("/v1/tickets/*", res, status, body, "text/plain;charset=UTF-8");
    });

    http.Get("/proxyValidate", [d](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        std::string body;
        {
            std::lock_guard lock(d->mutex);
            const auto it = d->sts.find(req.get_param_value("ticket"));
            if (it != d->sts.end() && it->second.second == req.get_param_value("service")) {
                d->lastAccount = it->second.first;
                // The account id split over an entity, as parsers may hand it over in pieces.
                std::string id = it->second.first;
                const std::string tail = id.substr(1);
                body = "<cas:serviceResponse xmlns:cas=\"http://www.yale.edu/tp/cas\">\n  <cas:authenticationSuccess>\n"
                       "    <cas:user>" +
                       id.substr(0, 1) + "&#" + std::to_string(int(tail[0])) + ";" + tail.substr(1) +
                       "</cas:user>\n  </cas:authenticationSuccess>\n</cas:serviceResponse>\n";
                d->sts.erase(it);
            } else {
                body = "<cas:serviceResponse xmlns:cas=\"http://www.yale.edu/tp/cas\">\n"
                       "  <cas:authenticationFailure code=\"INVALID_TICKET\">ticket not recognized</cas:authenticationFailure>\n"
                       "</cas:serviceResponse>\n";
            }
        }
        d->hooks.reply("/proxyValidate", res, 200, body, "application/xml;charset=UTF-8");
    });

    http.Get("/client/infosBeforSelectHospital.do", [d, json](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        const Account* account = FindAccount(req.get_param_value("accountId"));
        json("/client/infosBeforSelectHospital.do", res, 200,
             account ? account->working : R"({"ERROR":"true","ERRORMSG":"账号不存在"})");
    });

    http.Get("/client/infoAfterSelectHospital.do", [d, json](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        const Account* account = d->Caller(req);
        if (!account) {
            json("/client/infoAfterSelectHospital.do", res, 401, R"({"ERROR":"true"})");
            return;
        }
        const std::string body = std::string(R"({"userInfo":{"userId":)") + account->accountId +
                                 R"(0,"accountId":")" + account->accountId +
                                 R"(","userName":"演示医生","needChangePwd":false,"userFlag":"3","parentHospitalId":")" +
                                 req.get_param_value("parentHospitalId") + R"("},"roles":)" + account->roles + "}";
        json("/client/infoAfterSelectHospital.do", res, 200, body);
    });

    http.Get("/client/queryServiceListByHospitalId.do", [d, json](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        const Account* account = d->Caller(req);
        json("/client/queryServiceListByHospitalId.do", res, 200,
             account ? d->ServiceList(*account) : std::string(R"({"currList":[]})"));
    });

    http.Post("/client/changePasswd.do", [d, json](const Request& req, Response& res) {
        const Form form = ReadForm(req);
        d->hooks.record(req, &form);
        std::string body;
        {
            std::lock_guard lock(d->mutex);
            const auto it = d->tgts.find(CookieValue(req, "CASTGC"));
            const Account* account = it == d->tgts.end() ? nullptr : FindAccount(it->second);
            if (!account) {
                body = R"({"status":1,"errorMsg":"请先登录"})";
            } else if (Value(form, "prePassword") != d->Password(*account)) {
                body = R"({"status":1,"errorMsg":"原密码不正确"})";
            } else {
                d->passwords[account->accountId] = Value(form, "newPassword1");
                body = R"({"status":0})";
            }
        }
        json("/client/changePasswd.do", res, 200, body);
    });

    http.Post("/rs/captcha/", [d](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        std::string id;
        {
            std::lock_guard lock(d->mutex);
            id = "CAPTCHA-" + std::to_string(d->next++) + "X";
            d->captchas.push_back(Lower(id));
        }
        res.set_header("Location", "http://" + d->Host() + "/rs/captcha/" + id);
        d->hooks.reply("/rs/captcha/", res, 201, "", "text/plain");
    });

    http.Get(R"(/rs/captcha/([^/]+))", [d](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        bool known;
        {
            std::lock_guard lock(d->mutex);
            known = std::find(d->captchas.begin(), d->captchas.end(), Lower(req.matches[1])) != d->captchas.end();
        }
        d->hooks.reply("/rs/captcha/", res, known ? 200 : 404,
                       known ? std::string(reinterpret_cast<const char*>(kCaptchaPng), sizeof kCaptchaPng) : "not found",
                       known ? "image/png" : "text/plain");
    });

    // The web application's ticket check: a valid ticket for this address signs it on.
    http.Get("/rvmds/j_spring_cas_security_check", [d](const Request& req, Response& res) {
        d->hooks.record(req, nullptr);
        bool valid;
        {
            std::lock_guard lock(d->mutex);
            const auto it = d->sts.find(req.get_param_value("ticket"));
            valid = it != d->sts.end() &&
                    it->second.second == "http://" + d->Host() + "/rvmds/j_spring_cas_security_check";
            if (valid)
                d->sts.erase(it);
        }
        if (valid)
            res.set_header("Set-Cookie", "rvm_tsid=s-" + std::to_string(d->next++) + "; Path=/; HttpOnly");
        d->hooks.reply("/j_spring_cas_security_check", res, valid ? 200 : 401, valid ? "signed on" : "bad ticket",
                       "text/plain;charset=UTF-8");
    });
}

} // namespace standin
