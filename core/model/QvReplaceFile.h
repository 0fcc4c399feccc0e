// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file that may replace another: the bytes go to a fresh file beside the
// target, which is renamed over the target only once everything was written, so a
// failed or abandoned write leaves the old file (or no file) behind.
#pragma once

#include <cstddef>
#include <string>

class QvReplaceFile
{
public:
    QvReplaceFile() = default;
    // Removes the temporary file unless it was committed.
    ~QvReplaceFile();

    QvReplaceFile(const QvReplaceFile&) = delete;
    QvReplaceFile& operator=(const QvReplaceFile&) = delete;

    // False when the target exists and is read-only (no write permission bit set, or not
    // writable to this process) or the temporary file cannot be created.
    [[nodiscard]] bool Open(const std::string& path);
    // False once any write has failed; later writes do nothing. Small writes are
    // gathered, so callers may stream in small chunks.
    [[nodiscard]] bool Write(const void* data, std::size_t size);
    // Closes and renames over the target; false, with the temporary file removed and the
    // target untouched, when writing, closing or renaming failed.
    [[nodiscard]] bool Commit();
    // Drops what was written; the target is untouched.
    void Discard();

private:
    bool WriteThrough(const char* data, std::size_t size);
    bool Flush();

    std::string m_path;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_failed = false;
    std::string m_pending;
};
