// SPDX-License-Identifier: GPL-3.0-or-later
// The central login service of the stand-in: host discovery ("/mcc.json"), CAS REST
// tickets ("/v1/tickets", "/v1/tickets/TGT"), ticket validation ("/proxyValidate"),
// the hospital, profile and service-list replies under "/client/", the password
// change, captchas ("/rs/captcha/") and the web application's ticket check
// ("/rvmds/j_spring_cas_security_check", which sets a "tsid" cookie).
//
// Accounts are fixed data sets chosen by user name, all with the password
// "Pa55-秘密" unless changed:
//   doctor      one hospital with one office
//   twooffices  a hospital with two offices, one without any, and a stray office
//   group       working groups only (product "RVM2B", role "RVM2C")
//   refused     "ERROR" "TRUE" with "ERRORMSG"; refusednomsg without
//   listkey     the service list under "list"; nolist an empty service list
//   nohospital  neither hospitals nor groups
// Fault paths: "/mcc.json", "/v1/tickets", "/v1/tickets/*", "/proxyValidate",
// "/client/<name>.do", "/rs/captcha/", "/j_spring_cas_security_check".
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace standin {

class LoginSide {
public:
    using Form = std::map<std::string, std::string>;
    // How the server logs a request and sends a reply (faults applied).
    struct Hooks {
        std::function<void(const httplib::Request&, const Form*)> record;
        std::function<void(const std::string& path, httplib::Response&, int status, std::string body,
                           std::string type)>
            reply;
        std::function<int()> port;
    };

    static constexpr const char* kPassword = "Pa55-秘密";

    LoginSide();
    ~LoginSide();

    void Routes(httplib::Server& http, Hooks hooks);

    // The hosts "/mcc.json" lists ("host" or "host:port"); empty: this server's own
    // host only. An empty list with SetMccEmpty answers "idcs":[].
    void SetMccHosts(std::vector<std::string> hosts);
    // The next ticket requests answer 406 until one carries the right captcha.
    void SetCaptchaDue(bool due);
    // The answer to every captcha this server hands out.
    static constexpr const char* kCaptchaAnswer = "7xk2";
    // Forgets tickets, captchas and password changes; the host list stays empty.
    void Reset();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace standin
