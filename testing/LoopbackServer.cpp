// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/LoopbackServer.h"

#include <httplib.h>

namespace testing_http {

std::string LoggedRequest::Header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

LoopbackServer::LoopbackServer() : m_server(std::make_unique<httplib::Server>())
{
    const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        LoggedRequest logged{request.method, request.path, request.target, request.body, {}, {}};
        for (const auto& [name, part] : request.files)
            logged.parts.push_back({part.name, part.filename, part.content_type, part.content});
        for (const auto& [key, value] : request.headers)
            logged.headers.emplace(key, value);
        {
            std::lock_guard lock(m_mutex);
            m_log.push_back(logged);
        }
        Reply reply = Answer(logged);
        if (reply.delay.count() > 0)
            Sleep(reply.delay);
        response.status = reply.status;
        for (const auto& [key, value] : reply.headers)
            response.set_header(key, value);
        if (reply.cutMidBody) {
            auto body = std::make_shared<std::string>(reply.body);
            response.set_content_provider(body->size(), reply.contentType,
                                          [body](size_t, size_t, httplib::DataSink& sink) {
                                              sink.write(body->data(), body->size() / 2);
                                              return false; // drops the connection
                                          });
        } else {
            response.set_content(reply.body, reply.contentType);
        }
    };
    m_server->Get(".*", handle);
    m_server->Post(".*", handle);
    m_server->Put(".*", handle);
    m_server->Patch(".*", handle);
    m_server->Delete(".*", handle);
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        m_port = 0;
        return;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::string LoopbackServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void LoopbackServer::Route(const std::string& method, const std::string& path, Reply reply)
{
    Route(method, path, [reply](const LoggedRequest&) { return reply; });
}

void LoopbackServer::Route(const std::string& method, const std::string& path, Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_routes[{method, path}] = std::move(handler);
}

std::vector<LoggedRequest> LoopbackServer::Log() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

size_t LoopbackServer::Count(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    size_t count = 0;
    for (const LoggedRequest& request : m_log)
        count += request.path == path ? 1 : 0;
    return count;
}

void LoopbackServer::ClearLog()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

Reply LoopbackServer::Answer(const LoggedRequest& request)
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_routes.find({request.method == "HEAD" ? "GET" : request.method, request.path});
        if (it == m_routes.end())
            it = m_routes.find({"*", request.path});
        if (it != m_routes.end())
            handler = it->second;
    }
    if (!handler)
        return Reply::Status(404, "{\"error\":\"no route\"}");
    return handler(request);
}

void LoopbackServer::Sleep(std::chrono::milliseconds delay)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, delay, [this] { return m_stopping; });
}

} // namespace testing_http
