// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh folder per test for the file readers and writers, removed afterwards, and
// whole-file helpers.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace qvtest {

class ScratchFolder
{
public:
    ScratchFolder()
    {
        static int counter = 0;
        m_path = std::filesystem::temp_directory_path() /
                 ("rivela_scratch_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        // Tests may leave read-only entries behind.
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_path, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Path of name inside the folder.
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    // The folder with a trailing "/".
    std::string Slash() const { return m_path.string() + "/"; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    os.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    os.close();
    return static_cast<bool>(os);
}

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream is(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
}

inline std::string AllOf(std::istream& is)
{
    return std::string((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
}

} // namespace qvtest
