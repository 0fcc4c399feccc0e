// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvZipArchive.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <system_error>

#include "core/model/QvInputBounds.h"
#include "core/model/QvPrivateFolder.h"
#include "core/model/QvReplaceFile.h"

namespace {

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kEndRecord = 22;        // end-of-central-directory record without its comment
constexpr std::size_t kCryptHeader = 12;      // traditional encryption header before the data
constexpr unsigned kFlagEncrypted = 1;
constexpr unsigned kFlagDataDescriptor = 8;

// The end record and its comment close the archive. minizip accepts a file whose last
// bytes are missing; a download cut short must not pass for a whole archive.
bool HasCompleteEnd(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    if (size < static_cast<long>(kEndRecord))
        return false;
    const std::size_t tailSize = static_cast<std::size_t>(std::min<long>(size, kEndRecord + 0xFFFF));
    std::string tail(tailSize, '\0');
    if (std::fseek(file.get(), size - static_cast<long>(tailSize), SEEK_SET) != 0 ||
        std::fread(tail.data(), 1, tailSize, file.get()) != tailSize)
        return false;
    for (std::size_t at = tailSize - kEndRecord + 1; at-- > 0;)
    {
        if (tail.compare(at, 4, "PK\x05\x06") != 0)
            continue;
        const std::size_t comment = static_cast<unsigned char>(tail[at + 20]) |
                                    (static_cast<std::size_t>(static_cast<unsigned char>(tail[at + 21])) << 8);
        if (at + kEndRecord + comment == tailSize)
            return true;
    }
    return false;
}

// Absolute names and ".." components would write outside the folder. Backslashes count
// as separators here too: archives made on Windows use them.
bool IsSafeName(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return false;
    std::size_t start = 0;
    while (start <= name.size())
    {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (end - start == 2 && name.compare(start, 2, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

// The entries' declared sizes and their number, before anything is written: an archive
// that would write more than a real model needs is refused whole. The sizes are held to
// while writing (WriteEntry), so a header that understates its entry cannot pass either.
bool FitsBounds(unzFile zip, const std::string& archivePath)
{
    std::error_code ec;
    const std::uintmax_t archiveBytes = std::filesystem::file_size(archivePath, ec);
    if (ec)
        return false;
    const std::uint64_t limit = QvUnpackLimit(archiveBytes, kQvZipMaxRatio, kQvZipFloorBytes);
    std::uint64_t entries = 0;
    std::uint64_t total = 0;
    for (int at = unzGoToFirstFile(zip); at == UNZ_OK; at = unzGoToNextFile(zip))
    {
        unz_file_info64 info;
        // A damaged record ends the walk there as well; what lies before it counts.
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        if (++entries > kQvZipMaxEntries || info.uncompressed_size > limit - total)
            return false;
        total += info.uncompressed_size;
    }
    return true;
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The plain bytes of the open current entry.
class EntrySource
{
public:
    virtual ~EntrySource() = default;
    // > 0: bytes delivered; 0: the end; < 0: damaged data.
    virtual int Read(char* data, unsigned size) = 0;
    // After the end: true when the data matched its CRC.
    [[nodiscard]] virtual bool Verify() = 0;
};

class PlainSource final : public EntrySource
{
public:
    explicit PlainSource(unzFile zip) : m_zip(zip) {}
    int Read(char* data, unsigned size) override { return unzReadCurrentFile(m_zip, data, size); }
    // minizip compares the CRC on closing, once the whole promised size was read.
    bool Verify() override { return unzCloseCurrentFile(m_zip) == UNZ_OK; }

private:
    unzFile m_zip;
};

// Traditional PKWARE decryption, which minizip as packaged leaves out, over an entry
// opened raw; stored and deflated data.
class DecryptingSource final : public EntrySource
{
public:
    DecryptingSource(unzFile zip, const unz_file_info64& info) : m_zip(zip), m_info(info) {}
    ~DecryptingSource() override
    {
        if (m_inflating)
            inflateEnd(&m_stream);
    }

    // False for a wrong password (the header's check byte differs), a short header or an
    // unsupported method.
    [[nodiscard]] bool Start(const std::string& password)
    {
        for (const char c : password)
            UpdateKeys(static_cast<unsigned char>(c));
        unsigned char header[kCryptHeader];
        std::size_t got = 0;
        while (got < kCryptHeader)
        {
            const int n = unzReadCurrentFile(m_zip, header + got, static_cast<unsigned>(kCryptHeader - got));
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
        Decrypt(header, kCryptHeader);
        // Writers that stream (data descriptor) check against the time, others the CRC.
        const unsigned check = (m_info.flag & kFlagDataDescriptor) != 0 ? (m_info.dosDate >> 8) & 0xFF
                                                                          : (m_info.crc >> 24) & 0xFF;
        if (header[kCryptHeader - 1] != check)
            return false;
        if (m_info.compression_method == Z_DEFLATED)
        {
            m_stream = z_stream{};
            if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK)
                return false;
            m_inflating = true;
            return true;
        }
        return m_info.compression_method == 0;
    }

    int Read(char* data, unsigned size) override
    {
        if (!m_inflating)
        {
            const int n = unzReadCurrentFile(m_zip, data, size);
            if (n > 0)
            {
                Decrypt(reinterpret_cast<unsigned char*>(data), static_cast<std::size_t>(n));
                m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
            }
            return n;
        }
        if (m_ended)
            return 0;
        m_stream.next_out = reinterpret_cast<Bytef*>(data);
        m_stream.avail_out = size;
        while (m_stream.avail_out == size)
        {
            if (m_stream.avail_in == 0)
            {
                const int n = unzReadCurrentFile(m_zip, m_input, sizeof m_input);
                if (n <= 0)
                    return -1; // damaged, or the deflate stream never ended
                Decrypt(m_input, static_cast<std::size_t>(n));
                m_stream.next_in = m_input;
                m_stream.avail_in = static_cast<uInt>(n);
            }
            const int ret = inflate(&m_stream, Z_NO_FLUSH);
            if (ret == Z_STREAM_END)
            {
                m_ended = true;
                break;
            }
            if (ret != Z_OK && ret != Z_BUF_ERROR)
                return -1;
        }
        const unsigned produced = size - m_stream.avail_out;
        m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(data), produced);
        return static_cast<int>(produced);
    }

    bool Verify() override
    {
        const bool ended = !m_inflating || m_ended;
        return unzCloseCurrentFile(m_zip) == UNZ_OK && ended && m_crc == m_info.crc;
    }

private:
    static std::uint32_t Crc(std::uint32_t crc, unsigned char byte)
    {
        static const z_crc_t* const table = get_crc_table();
        return static_cast<std::uint32_t>(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
    }

    void UpdateKeys(unsigned char plain)
    {
        m_keys[0] = Crc(m_keys[0], plain);
        m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
        m_keys[2] = Crc(m_keys[2], static_cast<unsigned char>(m_keys[1] >> 24));
    }

    void Decrypt(unsigned char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i)
        {
            const std::uint32_t t = (m_keys[2] | 2) & 0xFFFF;
            data[i] = static_cast<unsigned char>(data[i] ^ ((t * (t ^ 1)) >> 8));
            UpdateKeys(data[i]);
        }
    }

    unzFile m_zip;
    unz_file_info64 m_info;
    std::uint32_t m_keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};
    z_stream m_stream{};
    bool m_inflating = false;
    bool m_ended = false;
    uLong m_crc = 0;
    unsigned char m_input[kChunk];
};

enum class EntryResult
{
    Written,
    Skipped,
    Failed
};

// Streams the entry into target; the file appears only when the data came out whole:
// every byte its header promised, with a matching CRC.
EntryResult WriteEntry(EntrySource& source, const unz_file_info64& info, const std::string& target,
                       std::vector<char>& buffer)
{
    QvReplaceFile out;
    if (!out.Open(target))
    {
        std::printf("unzip Error occurs");
        return EntryResult::Failed;
    }
    std::uint64_t total = 0;
    for (;;)
    {
        const int n = source.Read(buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n == 0)
            break;
        if (n < 0)
        {
            std::printf("Failed to reading zip file");
            return EntryResult::Failed;
        }
        total += static_cast<std::uint64_t>(n);
        // More than the header promised is damage, and what the bounds were checked on.
        if (total > info.uncompressed_size)
        {
            std::printf("Failed to reading zip file");
            return EntryResult::Failed;
        }
        if (!out.Write(buffer.data(), static_cast<std::size_t>(n)))
        {
            std::printf("unzip Error occurs");
            return EntryResult::Failed;
        }
    }
    if (total != info.uncompressed_size || !source.Verify())
    {
        std::printf("Failed to reading zip file");
        return EntryResult::Failed;
    }
    if (!out.Commit())
    {
        std::printf("unzip Error occurs");
        return EntryResult::Failed;
    }
    return EntryResult::Written;
}

// Handles the open current entry named stored; name receives the cleaned relative name.
EntryResult ExtractEntry(EntrySource& source, const unz_file_info64& info, const std::string& stored,
                         const std::string& folder, std::vector<char>& buffer, std::string& name)
{
    if (stored.rfind("__MACOSX", 0) == 0)
        return EntryResult::Skipped;
    name = stored;
    const std::size_t odd = name.find("/\\");
    if (odd != std::string::npos)
        name.erase(odd + 1, 1); // drop the backslash
    if (!IsSafeName(name))
    {
        std::printf("unzip Error occurs");
        return EntryResult::Failed;
    }
    const std::string target = folder + name;
    // Folders are made inside the folder without following a link found there.
    if (stored.back() == '/' || stored.back() == '\\')
    {
        if (QvMakeFoldersInside(folder, name))
            return EntryResult::Skipped;
        std::printf("unzip Error occurs");
        return EntryResult::Failed;
    }
    const std::size_t slash = name.rfind('/');
    if ((slash != std::string::npos && !QvMakeFoldersInside(folder, name.substr(0, slash))) || IsLink(target))
    {
        std::printf("unzip Error occurs");
        return EntryResult::Failed;
    }
    return WriteEntry(source, info, target, buffer);
}

} // namespace

bool QvZipArchive::Unzip(const std::string& archivePath, const std::string& folder,
                         std::vector<std::string>* extracted)
{
    unzFile zip = HasCompleteEnd(archivePath) ? unzOpen64(archivePath.c_str()) : nullptr;
    unz_global_info64 global;
    if (zip != nullptr && unzGetGlobalInfo64(zip, &global) == UNZ_OK)
        std::printf("\n%ld entries in the zip file\n", static_cast<long>(global.number_entry));
    // Nothing is written for an archive past the bounds or into a folder not ours alone.
    const bool folderNamed = !folder.empty() && folder.back() == '/';
    if (zip != nullptr && (!folderNamed || !FitsBounds(zip, archivePath) || !QvEnsurePrivateFolder(folder)))
    {
        std::printf("unzip Error occurs");
        unzClose(zip);
        return false;
    }
    // With no archive or no entry, opening the entry below fails and ends the walk.
    if (unzGoToFirstFile(zip) != UNZ_OK)
        std::printf("unzip failed");

    std::vector<char> buffer(kChunk);
    int written = 0;
    bool endedNormally = false;
    for (;;)
    {
        // Encrypted entries are read raw and decrypted here; without a password they
        // cannot be read at all.
        unz_file_info64 info;
        const bool encrypted = zip != nullptr &&
                               unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
                               (info.flag & kFlagEncrypted) != 0;
        int method = 0;
        int level = 0;
        const int opened = !encrypted             ? unzOpenCurrentFile(zip)
                           : !m_password.empty() ? unzOpenCurrentFile2(zip, &method, &level, 1)
                                                 : UNZ_PARAMERROR;
        if (opened != UNZ_OK)
        {
            std::printf("unzip Error occurs");
            break;
        }
        bool haveInfo = unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK;
        // The stored name length is a 16-bit field, so this buffer stays small.
        std::vector<char> nameBuffer(haveInfo ? info.size_filename + 1 : 1, '\0');
        haveInfo = haveInfo && unzGetCurrentFileInfo64(zip, &info, nameBuffer.data(),
                                                       static_cast<uLong>(nameBuffer.size()), nullptr, 0,
                                                       nullptr, 0) == UNZ_OK;
        if (!haveInfo)
        {
            std::printf("unzip Error occurs while getting file info");
            unzCloseCurrentFile(zip);
            break;
        }

        std::unique_ptr<EntrySource> source;
        if (encrypted)
        {
            auto decrypting = std::make_unique<DecryptingSource>(zip, info);
            if (!decrypting->Start(m_password))
            {
                std::printf("unzip Error occurs");
                unzCloseCurrentFile(zip);
                break;
            }
            source = std::move(decrypting);
        }
        else
            source = std::make_unique<PlainSource>(zip);

        std::string name;
        const EntryResult result = ExtractEntry(*source, info, std::string(nameBuffer.data()), folder, buffer, name);
        unzCloseCurrentFile(zip); // a written entry was closed already, to learn its CRC verdict
        if (result == EntryResult::Failed)
            break;
        if (result == EntryResult::Written)
        {
            ++written;
            if (extracted != nullptr)
                extracted->push_back(name);
        }
        // Anything but the end of the list (a damaged directory record) stops the walk too.
        const int next = unzGoToNextFile(zip);
        if (next == UNZ_END_OF_LIST_OF_FILE)
            endedNormally = true;
        if (next != UNZ_OK)
            break;
    }
    if (zip != nullptr)
        unzClose(zip);
    return endedNormally && written > 0;
}
