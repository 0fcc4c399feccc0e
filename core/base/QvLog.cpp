// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvLog.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// snprintf into a string sized for the result: no line is ever cut short.
template <typename... Args>
std::string Format(const char* format, Args... args)
{
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, args...);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::tm LocalNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

} // namespace

QvLog& QvLog::Instance()
{
    static QvLog log;
    return log;
}

QvLog::QvLog() = default;

QvLog::~QvLog() = default; // the stream closes itself

const char* QvLog::GetLevelName(int level)
{
    switch (level)
    {
    case DEBUG:
        return "DEBUG";
    case INFO:
        return "INFO";
    case WARN:
        return "WARN";
    case ERROR:
        return "ERROR";
    default:
        return "";
    }
}

std::tm QvLog::Now() const { return m_clock ? m_clock() : LocalNow(); }

std::string QvLog::FormatLine(int level, const char* message, const char* function, int line) const
{
    std::tm now;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        now = Now();
    }
    return ComposeLine(level, message, function, line, now);
}

std::string QvLog::ComposeLine(int level, const char* message, const char* function, int line, const std::tm& now)
{
    const std::string stamp = Format("[%d-%02d-%02d %d:%d:%d]", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                                     now.tm_hour, now.tm_min, now.tm_sec);
    const std::string label = (function != nullptr && line > 0) ? Format("%s(%d)", function, line) : std::string();
    return Format("[%s][%s]%s%s", GetLevelName(level), label.c_str(), stamp.c_str(),
                  message != nullptr ? message : "");
}

int QvLog::Write(int level, const char* message, const char* function, int line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (level < m_threshold)
        return 0;
    // Formatted even while no file is open, as the closed stream would drop it.
    const std::string text = ComposeLine(level, message, function, line, Now());
    if (m_stream.is_open())
    {
        m_stream << text << '\n';
        m_stream.flush();
    }
    return 0;
}

bool QvLog::Open(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec))
        std::filesystem::create_directories(folder, ec); // a failure shows when the file is opened
    const std::string path = folder + "//" + name;
    std::ofstream stream(path, std::ios::out | std::ios::app);
    if (!stream.is_open())
        return false;

    std::lock_guard<std::mutex> lock(m_mutex);
    m_stream = std::move(stream);
    m_path = path;
    m_threshold = INFO;
    m_stream << '\n' << std::flush;
    m_stream << '\n' << std::flush;
    m_stream << "*****************************************" << '\n' << std::flush;
    return true;
}

void QvLog::SetClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = std::move(clock);
}

void QvLog::ResetForTests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stream.close();
    m_stream = std::ofstream();
    m_path.clear();
    m_threshold = 0;
    m_clock = nullptr;
}
