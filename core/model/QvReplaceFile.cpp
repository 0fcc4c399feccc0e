// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvReplaceFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kGather = 1 << 16;

// A file the user marked read-only keeps its content even for a process that could
// replace it (root): the rename would otherwise bypass the mark.
bool IsReadOnlyTarget(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return true;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

} // namespace

QvReplaceFile::~QvReplaceFile()
{
    Discard();
}

bool QvReplaceFile::Open(const std::string& path)
{
    Discard();
    m_failed = false;
    if (path.empty() || IsReadOnlyTarget(path))
        return false;
    // Beside the target, so that the rename stays on one file system and is atomic.
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        std::string temp = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
        {
            m_path = path;
            m_tempPath = std::move(temp);
            m_fd = fd;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool QvReplaceFile::Write(const void* data, std::size_t size)
{
    if (m_fd < 0 || m_failed)
        return false;
    const char* bytes = static_cast<const char*>(data);
    if (m_pending.size() + size <= kGather)
    {
        m_pending.append(bytes, size);
        return true;
    }
    return Flush() && WriteThrough(bytes, size);
}

bool QvReplaceFile::Flush()
{
    const bool ok = WriteThrough(m_pending.data(), m_pending.size());
    m_pending.clear();
    return ok;
}

bool QvReplaceFile::WriteThrough(const char* bytes, std::size_t size)
{
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::write(m_fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            m_failed = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool QvReplaceFile::Commit()
{
    if (m_fd < 0)
        return false;
    if (!m_failed)
        (void)Flush(); // a failure is recorded in m_failed
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (m_failed || !closed || std::rename(m_tempPath.c_str(), m_path.c_str()) != 0)
    {
        std::remove(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void QvReplaceFile::Discard()
{
    m_pending.clear();
    if (m_fd >= 0)
    {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty())
    {
        std::remove(m_tempPath.c_str());
        m_tempPath.clear();
    }
}
