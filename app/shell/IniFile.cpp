// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kLineSeparator = "\n";
const char* const kWhiteSpace = " \t\n\v\f\r";

// One whole line with its newline; 0 at the end of the file.
size_t ReadLine(FILE* file, std::string& line)
{
    char* buffer = nullptr;
    size_t capacity = 0;
    errno = 0;
    const ssize_t n = ::getline(&buffer, &capacity, file);
    if (n < 0) {
        const bool outOfMemory = errno == ENOMEM;
        std::free(buffer);
        if (outOfMemory) {
            std::fputs("no enough memory!exit!\n", stderr);
            std::exit(-1);
        }
        line.clear();
        return 0;
    }
    try {
        line.assign(buffer, static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        std::fputs("no enough memory!exit!\n", stderr);
        std::exit(-1);
    }
    std::free(buffer);
    return static_cast<size_t>(n);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

IniFile& IniFile::Instance()
{
    static IniFile instance;
    return instance;
}

IniFile::IniFile() : flags_{"#", ";"} {}

IniFile::~IniFile()
{
    std::lock_guard lock(m_mutex);
    if (!sections.empty() && !m_fileName.empty()) {
        for (const char* key : {"TicketUrl", "InfosBeforSelectHospitalUrl", "InfoAfterSelectHospitalUrl",
                                "ChangePasswordUrl", "RivelaWebUrl", "RivelaGetImagesUrl", "RivelaQueryProduct",
                                "RivelaUploadRVMFileUrl", "RivelaDownloadRVMFileUrl", "RivelaGetResourceFileUrl",
                                "RivelaReplacePictureUrl"})
            DeleteKey("Url", key);
    }
    ReleaseLocked();
}

std::string IniFile::Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::string IniFile::TrimRightChar(const std::string& text, char c)
{
    size_t end = text.size();
    while (end > 0 && text[end - 1] == c)
        --end;
    return text.substr(0, end);
}

std::string IniFile::TrimLeftChar(const std::string& text, char c)
{
    size_t begin = 0;
    while (begin < text.size() && text[begin] == c)
        ++begin;
    return text.substr(begin);
}

bool IniFile::IsCommentLine(const std::string& line) const
{
    std::lock_guard lock(m_mutex);
    for (const std::string& flag : flags_)
        if (!flag.empty() && line.compare(0, flag.size(), flag) == 0)
            return true;
    return false;
}

void IniFile::SplitKeyValue(const std::string& line, std::string* key, std::string* value)
{
    const size_t eq = line.find('=');
    *key = line.substr(0, eq);
    *value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int IniFile::ParseFile(const std::string& path, std::map<std::string, std::unique_ptr<IniSection>>& out) const
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    IniSection* current = (out[""] = std::make_unique<IniSection>()).get();
    std::string pending;
    std::string line;
    while (ReadLine(file, line) > 0) {
        line = Trim(TrimRightChar(TrimRightChar(line, '\n'), '\r'));
        if (!IsCommentLine(line)) {
            // A prefix opens a comment only at the start or after a blank, so values
            // such as "/index/#/planClient" survive.
            size_t cut = std::string::npos;
            for (const std::string& flag : flags_) {
                if (flag.empty())
                    continue;
                for (size_t at = line.find(flag); at != std::string::npos; at = line.find(flag, at + 1))
                    if (at == 0 || IsBlank(line[at - 1])) {
                        cut = std::min(cut, at);
                        break;
                    }
            }
            if (cut != std::string::npos) {
                pending += line.substr(cut);
                line = Trim(line.substr(0, cut));
            }
        }
        if (line.empty())
            continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string::npos) {
                std::fclose(file);
                std::fprintf(stderr, "没有找到匹配的]\n");
                return -1;
            }
            if (close == 1) {
                std::fprintf(stderr, "段为空\n");
                current = nullptr;
                continue;
            }
            const std::string name = line.substr(1, close - 1);
            if (out.count(name)) {
                std::fclose(file);
                std::fprintf(stderr, "此段已存在:%s\n", name.c_str());
                return -1;
            }
            auto section = std::make_unique<IniSection>();
            section->name = name;
            section->comment = pending;
            pending.clear();
            current = section.get();
            out[name] = std::move(section);
            continue;
        }
        if (IsCommentLine(line)) {
            pending = pending.empty() ? line : pending + kLineSeparator + line;
            continue;
        }
        if (line.find('=') == std::string::npos || !current) {
            // Also the items after an empty header: they belong to no section.
            std::fprintf(stderr, "解析参数失败[%s]\n", line.c_str());
        } else {
            IniItem item;
            SplitKeyValue(line, &item.key, &item.value);
            item.comment = pending;
            current->items.push_back(std::move(item));
        }
        pending.clear();
    }
    std::fclose(file);
    return 0;
}

int IniFile::Load(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    ReleaseLocked();
    m_fileName = path;
    if (ParseFile(path, sections) != 0)
        return -1;
    ApplyUserCopy();
    BuildUrlTable();
    return 0;
}

void IniFile::ApplyUserCopy()
{
    if (m_userFileName.empty() || ::access(m_userFileName.c_str(), F_OK) != 0)
        return;
    std::map<std::string, std::unique_ptr<IniSection>> copy;
    if (ParseFile(m_userFileName, copy) != 0) {
        std::fprintf(stderr, "忽略损坏的用户配置[%s]\n", m_userFileName.c_str());
        return;
    }
    for (const auto& [name, from] : copy) {
        // The derived addresses are rebuilt right after; old ones would only make
        // every start rewrite the copy once per changed key.
        if (name == "Url")
            continue;
        auto& to = sections[name];
        if (!to) {
            to = std::make_unique<IniSection>();
            to->name = name;
        }
        if (!from->comment.empty())
            to->comment = from->comment;
        for (const IniItem& item : from->items) {
            auto it = std::find_if(to->items.begin(), to->items.end(),
                                   [&](const IniItem& i) { return i.key == item.key; });
            if (it != to->items.end())
                *it = item;
            else
                to->items.push_back(item);
        }
    }
}

void IniFile::SetUserFile(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_userFileName = path;
}

std::string IniFile::UserFile() const
{
    std::lock_guard lock(m_mutex);
    return m_userFileName;
}

int IniFile::SaveAs(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    return SaveLocked(path);
}

int IniFile::Save()
{
    std::lock_guard lock(m_mutex);
    return SaveLocked(m_userFileName.empty() ? m_fileName : m_userFileName);
}

int IniFile::SaveCount() const
{
    std::lock_guard lock(m_mutex);
    return m_saveCount;
}

int IniFile::SaveLocked(const std::string& path)
{
    ++m_saveCount;
    std::string text;
    for (const auto& [name, section] : sections) {
        if (!section->comment.empty())
            text += section->comment + kLineSeparator;
        if (!name.empty())
            text += "[" + name + "]" + kLineSeparator;
        for (const IniItem& item : section->items) {
            if (!item.comment.empty())
                text += item.comment + kLineSeparator;
            text += item.key + "=" + item.value + kLineSeparator;
        }
    }
    // A temporary file beside the target, renamed over it: a failed write loses nothing.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    const auto fail = [&](int error) {
        if (fd >= 0)
            ::unlink(temp.c_str());
        std::fprintf(stderr, "保存配置失败[%s]: %s\n", path.c_str(), std::strerror(error));
        return -1;
    };
    if (fd < 0)
        return fail(errno);
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return fail(error);
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        return fail(errno);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return fail(errno);
    return 0;
}

const IniItem* IniFile::FindItem(const std::string& section, const std::string& key) const
{
    const auto it = sections.find(section);
    if (it == sections.end())
        return nullptr;
    for (const IniItem& item : it->second->items)
        if (item.key == key)
            return &item;
    return nullptr;
}

int IniFile::GetValueAndComment(const std::string& section, const std::string& key, std::string* value,
                                std::string* comment) const
{
    std::lock_guard lock(m_mutex);
    const IniItem* item = FindItem(section, key);
    if (!item)
        return -1;
    if (value)
        *value = item->value;
    if (comment)
        *comment = item->comment;
    return 0;
}

std::string IniFile::GetValue(const std::string& section, const std::string& key, int* ret) const
{
    std::string value;
    const int code = GetValueAndComment(section, key, &value, nullptr);
    if (ret)
        *ret = code;
    return value;
}

int IniFile::GetStringValue(const std::string& section, const std::string& key, std::string* value) const
{
    return GetValueAndComment(section, key, value, nullptr);
}

int IniFile::GetIntValue(const std::string& section, const std::string& key, int* ret) const
{
    return std::atoi(GetValue(section, key, ret).c_str());
}

double IniFile::GetDoubleValue(const std::string& section, const std::string& key, int* ret) const
{
    return std::atof(GetValue(section, key, ret).c_str());
}

int IniFile::GetValues(const std::string& section, const std::string& key, std::vector<std::string>* values) const
{
    return GetValuesAndComments(section, key, values, nullptr);
}

int IniFile::GetValuesAndComments(const std::string& section, const std::string& key,
                                  std::vector<std::string>* values, std::vector<std::string>* comments) const
{
    std::lock_guard lock(m_mutex);
    if (values)
        values->clear();
    if (comments)
        comments->clear();
    const auto it = sections.find(section);
    if (it == sections.end())
        return -1;
    bool found = false;
    for (const IniItem& item : it->second->items)
        if (item.key == key) {
            found = true;
            if (values)
                values->push_back(item.value);
            if (comments)
                comments->push_back(item.comment);
        }
    return found ? 0 : -1;
}

bool IniFile::HasSection(const std::string& section) const
{
    std::lock_guard lock(m_mutex);
    return sections.count(section) > 0;
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    return FindItem(section, key) != nullptr;
}

IniSection* IniFile::GetSection(const std::string& section)
{
    std::lock_guard lock(m_mutex);
    const auto it = sections.find(section);
    return it == sections.end() ? nullptr : it->second.get();
}

int IniFile::GetSectionComment(const std::string& section, std::string* comment) const
{
    std::lock_guard lock(m_mutex);
    comment->clear();
    const auto it = sections.find(section);
    if (it == sections.end())
        return -1;
    *comment = it->second->comment;
    return 0;
}

int IniFile::SetSectionComment(const std::string& section, const std::string& comment)
{
    std::lock_guard lock(m_mutex);
    const auto it = sections.find(section);
    if (it == sections.end())
        return -1;
    it->second->comment = comment;
    return 0;
}

int IniFile::SetValue(const std::string& section, const std::string& key, const std::string& value,
                      const std::string& comment)
{
    std::lock_guard lock(m_mutex);
    return SetValueLocked(section, key, value, comment);
}

int IniFile::SetValueLocked(const std::string& section, const std::string& key, const std::string& value,
                            const std::string& comment)
{
    const std::string stored = comment.empty() || flags_.empty() ? comment : flags_.front() + comment;
    auto& owner = sections[section];
    if (!owner) {
        owner = std::make_unique<IniSection>();
        owner->name = section;
    }
    for (IniItem& item : owner->items)
        if (item.key == key) {
            if (item.value != value || item.comment != stored) {
                item.value = value;
                item.comment = stored;
                // Nothing loaded and no copy set: there is no file to keep in step.
                const std::string& target = m_userFileName.empty() ? m_fileName : m_userFileName;
                if (!target.empty())
                    SaveLocked(target);
            }
            return 0;
        }
    owner->items.push_back({key, value, stored});
    return 0;
}

void IniFile::DeleteKey(const std::string& section, const std::string& key)
{
    std::lock_guard lock(m_mutex);
    const auto it = sections.find(section);
    if (it == sections.end())
        return;
    auto& items = it->second->items;
    const auto item = std::find_if(items.begin(), items.end(), [&](const IniItem& i) { return i.key == key; });
    if (item != items.end())
        items.erase(item);
}

void IniFile::DeleteSection(const std::string& section)
{
    std::lock_guard lock(m_mutex);
    sections.erase(section);
}

void IniFile::SetCommentFlags(const std::vector<std::string>& flags)
{
    std::lock_guard lock(m_mutex);
    flags_ = flags;
}

void IniFile::Release()
{
    std::lock_guard lock(m_mutex);
    ReleaseLocked();
}

void IniFile::ReleaseLocked()
{
    m_fileName.clear();
    sections.clear();
}

void IniFile::Print() const
{
    std::lock_guard lock(m_mutex);
    std::printf("filename:[%s]\n", m_fileName.c_str());
    std::printf("flags_:[");
    for (const std::string& flag : flags_)
        std::printf(" %s ", flag.c_str());
    std::printf("]\n");
    for (const auto& [name, section] : sections) {
        std::printf("section:[%s]\n", name.c_str());
        std::printf("comment:[%s]\n", section->comment.c_str());
        for (const IniItem& item : section->items) {
            std::printf("    comment:%s\n", item.comment.c_str());
            std::printf("    parm   :%s=%s\n", item.key.c_str(), item.value.c_str());
        }
    }
}
