// SPDX-License-Identifier: GPL-3.0-or-later
// The core's process-wide logger: timestamped lines appended to one text file.
// Until a file is opened every line is formatted and dropped.
#pragma once

#include <ctime>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>

class QvLog
{
public:
    enum Level
    {
        DEBUG = 1,
        INFO = 2,
        WARN = 3,
        ERROR = 4,
    };

    // Broken-down local time of a line's stamp; replaceable so tests get fixed stamps.
    using Clock = std::function<std::tm()>;

    static QvLog& Instance();

    virtual ~QvLog();
    QvLog(const QvLog&) = delete;
    QvLog& operator=(const QvLog&) = delete;

    // Appends one line when level is not below the threshold; always answers 0.
    int Write(int level, const char* message, const char* function, int line);
    // Opens folder "//" name for appending (the folder is created when missing),
    // raises the threshold to INFO and writes a separator. False when the file
    // cannot be opened; the logger is then as it was.
    [[nodiscard]] bool Open(const std::string& folder, const std::string& name);
    // "DEBUG", "INFO", "WARN", "ERROR"; "" for any other level.
    static const char* GetLevelName(int level);

    // The line Write appends, without its line feed: level, "function(line)" label,
    // time stamp, message.
    std::string FormatLine(int level, const char* message, const char* function, int line) const;

    // Tests: a fixed clock (an empty one restores local time), and the state of a
    // newly created logger.
    void SetClock(Clock clock);
    void ResetForTests();

private:
    QvLog();
    std::tm Now() const;
    static std::string ComposeLine(int level, const char* message, const char* function, int line,
                                   const std::tm& now);

    mutable std::mutex m_mutex; // lines from two threads must not tear the stream
    std::string m_path;
    int m_threshold = 0;
    std::ofstream m_stream;
    Clock m_clock;
};
