// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted HTTP server on 127.0.0.1 for tests of the network code, running in the
// test's own process on a free port. Routes answer fixed replies or computed ones;
// faults (delay, status, bad JSON, a reply cut off mid-body, the login page) are
// replies like any other. Every request is logged.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace testing_http {

struct Reply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::chrono::milliseconds delay{0};
    bool cutMidBody = false; // announces the whole length, sends half, closes
    std::vector<std::pair<std::string, std::string>> headers;

    static Reply Make(int status, std::string type, std::string body)
    {
        Reply reply;
        reply.status = status;
        reply.contentType = std::move(type);
        reply.body = std::move(body);
        return reply;
    }
    static Reply Json(std::string body) { return Make(200, "application/json", std::move(body)); }
    static Reply Text(std::string body, std::string type) { return Make(200, std::move(type), std::move(body)); }
    static Reply Status(int status, std::string body = "{}") { return Make(status, "application/json", std::move(body)); }
    static Reply BadJson() { return Make(200, "application/json", "{\"status\": 200, \"data\": [1, 2"); }
    static Reply LoginPage()
    {
        return Make(200, "text/html; charset=utf-8",
                    "<html><body><form id=\"loginForm\" action=\"/cas/login\"></form></body></html>");
    }
    static Reply Delayed(std::chrono::milliseconds delay, std::string body = "{}")
    {
        Reply reply = Json(std::move(body));
        reply.delay = delay;
        return reply;
    }
    static Reply Cut(std::string body)
    {
        Reply reply = Json(std::move(body));
        reply.cutMidBody = true;
        return reply;
    }
};

struct LoggedPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string content;
};

struct LoggedRequest {
    std::string method;
    std::string path;   // decoded
    std::string target; // as sent: path and query, escapes kept
    std::string body;   // empty for a multipart body, which is in parts
    std::vector<LoggedPart> parts;
    std::multimap<std::string, std::string> headers;
    std::string Header(const std::string& name) const;
};

class LoopbackServer {
public:
    using Handler = std::function<Reply(const LoggedRequest& request)>;

    // Listens on 127.0.0.1 at a free port; Port() is 0 when that failed.
    LoopbackServer();
    // Wakes delayed replies and stops.
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;

    // A route by method ("GET", "POST", ...; "*" for any) and decoded path.
    // Unrouted requests answer 404.
    void Route(const std::string& method, const std::string& path, Reply reply);
    void Route(const std::string& method, const std::string& path, Handler handler);

    std::vector<LoggedRequest> Log() const;
    size_t Count(const std::string& path) const;
    void ClearLog();

private:
    Reply Answer(const LoggedRequest& request);
    void Sleep(std::chrono::milliseconds delay);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<std::pair<std::string, std::string>, Handler> m_routes;
    std::vector<LoggedRequest> m_log;
};

} // namespace testing_http
