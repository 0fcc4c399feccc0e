// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvPrivateFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

} // namespace

bool QvEnsurePrivateFolder(const std::string& folder, std::optional<bool>* tried)
{
    if (tried)
        tried->reset();
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
    {
        if (errno != ENOENT)
            return false;
        const bool created = ::mkdir(path.c_str(), 0700) == 0;
        const int err = errno;
        if (tried)
            *tried = created;
        errno = err;
        if (!created && errno != EEXIST)
            return false;
        if (::lstat(path.c_str(), &st) != 0)
            return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

bool QvMakeFoldersInside(const std::string& base, const std::string& relative)
{
    Fd at(::open(base.empty() ? "." : base.c_str(), kFolderFlags));
    if (at.Get() < 0)
        return false;
    std::size_t start = 0;
    while (start < relative.size())
    {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string level = relative.substr(start, end - start);
        start = end + 1;
        if (level.empty() || level == ".")
            continue;
        if (::mkdirat(at.Get(), level.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        // O_NOFOLLOW refuses a link in place of the folder, even one made meanwhile.
        const int next = ::openat(at.Get(), level.c_str(), kFolderFlags);
        if (next < 0)
            return false;
        at.Reset(next);
    }
    return true;
}
