// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvFileVersion.h"

#include <cstdio>
#include <ctime>
#include <istream>
#include <mutex>

QvFileVersionMgr& QvFileVersionMgr::Instance()
{
    static QvFileVersionMgr instance;
    return instance;
}

QvFileVersionMgr::QvFileVersionMgr()
{
    // TSD has no 0x103 and no "2.2": that version was never released.
    m_tables[kQvFileTSD] = {{0x101, "2.0"}, {0x102, "2.1"}, {0x104, "2.3"},
                            {0x105, "3.0"}, {0x106, "3.1"}, {0x107, "3.2"}};
    m_tables[kQvFileOSD] = {{0x201, "2.0"}, {0x202, "2.1"}, {0x203, "2.2"}, {0x204, "2.3"},
                            {0x205, "2.4"}, {0x206, "3.0"}, {0x207, "3.1"}, {0x208, "3.2"},
                            {0x209, "3.3"}, {0x210, "3.4"}, {0x211, "3.5"}};
    m_tables[kQvFileRVS] = {{0x2001, "1.0"}, {0x2002, "1.1"}, {0x2003, "1.2"}, {0x2004, "1.3"},
                            {0x2005, "2.0"}, {0x2006, "2.1"}, {0x2007, "2.2"}};
    m_tables[kQvFileOS] = {{0x401, "1.0"}, {0x402, "2.0"}, {0x403, "2.1"}, {0x404, "2.2"}, {0x405, "2.3"},
                           {0x406, "3.0"}, {0x407, "3.1"}, {0x408, "3.2"}, {0x409, "3.3"}, {0x410, "3.4"},
                           {0x411, "3.5"}, {0x412, "3.6"}, {0x413, "3.7"}};
    m_tables[kQvFileRVM] = {{0x8001, "1.0"}, {0x8002, "2.0"}, {0x8003, "2.1"}, {0x8004, "2.2"}, {0x8005, "2.3"}};
    m_tables[kQvFileATT] = {{0x4001, "1.0"}, {0x4002, "2.0"}, {0x4003, "3.0"}, {0x4004, "4.0"}, {0x4005, "5.0"}};
    m_tables[kQvFileDM] = {{0x801, "1.0"}, {0x802, "1.1"}, {0x803, "2.0"},
                           {0x804, "2.1"}, {0x805, "2.2"}, {0x806, "2.3"}};
    m_tables[kQvFileRVT] = {{0x1001, "1.0"}, {0x1002, "1.1"}};
    m_tables[kQvFileBKT] = {{0x10001, "1.0"}};
}

const std::map<int, std::string>* QvFileVersionMgr::LookupTable(int fileType) const
{
    if (fileType == kQvFileRVT)
        return nullptr;
    const auto it = m_tables.find(fileType);
    return it == m_tables.end() ? nullptr : &it->second;
}

int QvFileVersionMgr::GetLatestVersion(int fileType) const
{
    switch (fileType)
    {
    case kQvFileTSD:
    case kQvFileRVS:
    case kQvFileOS:
    case kQvFileDM:
        return m_tables.at(fileType).rbegin()->first;
    default:
        return -1;
    }
}

int QvFileVersionMgr::GetVersionCode(int fileType, const std::string& text) const
{
    const auto* table = LookupTable(fileType);
    if (!table)
        return 0;
    for (const auto& [code, versionText] : *table)
    {
        if (versionText == text)
            return code;
    }
    return 0;
}

std::string QvFileVersionMgr::GetVersionText(int fileType, int code) const
{
    const auto* table = LookupTable(fileType);
    if (!table)
        return {};
    const auto it = table->find(code);
    return it == table->end() ? std::string() : it->second;
}

std::string QvFileVersionMgr::GetTag(int fileType) const
{
    switch (fileType)
    {
    case kQvFileTSD: return "TSD";
    case kQvFileOSD: return "OSD";
    case kQvFileRVS: return "RVS";
    case kQvFileOS: return "OS";
    case kQvFileRVM: return "RVM";
    case kQvFileATT: return "ATT";
    case kQvFileDM: return "DM";
    case kQvFileRVT: return "RVT";
    case kQvFileBKT: return "BKT";
    default: return {};
    }
}

void QvFileVersionMgr::SetReadVersion(int fileType, int code)
{
    m_lastRead.clear();
    m_lastRead[fileType] = code;
}

bool QvFileVersionMgr::GetReadVersion(int fileType, int& code) const
{
    const auto it = m_lastRead.find(fileType);
    if (it == m_lastRead.end())
        return false;
    code = it->second;
    return true;
}

std::string QvFileVersionMgr::GetLatestVersionText(int fileType) const
{
    if (fileType != kQvFileOS && fileType != kQvFileTSD)
        return {};
    return m_tables.at(fileType).rbegin()->second;
}

void QvFileVersionMgr::GetVersionTexts(int fileType, std::vector<std::string>& out) const
{
    if (fileType != kQvFileTSD)
        return;
    for (const auto& entry : m_tables.at(fileType))
        out.push_back(entry.second);
}

std::string QvMakeHeader(int fileType, int code, int year, int month, int day)
{
    const QvFileVersionMgr& mgr = QvFileVersionMgr::Instance();
    const std::string text = mgr.GetVersionText(fileType, code);
    const std::string tag = mgr.GetTag(fileType);
    // %d never depends on the locale; snprintf sizes the date exactly.
    char date[48];
    std::snprintf(date, sizeof(date), "%d/%d/%d", year, month, day);
    return "Rivela " + tag + " File #V" + text + "(B)@" + date;
}

namespace {

std::mutex g_dateMutex;
QvDate g_fixedDate;

} // namespace

QvDate QvToday()
{
    {
        const std::lock_guard<std::mutex> lock(g_dateMutex);
        if (g_fixedDate.year != 0)
            return g_fixedDate;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return QvDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

QvDate QvSetFixedDate(const QvDate& date)
{
    const std::lock_guard<std::mutex> lock(g_dateMutex);
    const QvDate previous = g_fixedDate;
    g_fixedDate = date.year != 0 ? date : QvDate{};
    return previous;
}

std::string QvMakeHeader(int fileType, int code)
{
    const QvDate today = QvToday();
    return QvMakeHeader(fileType, code, today.year, today.month, today.day);
}

int QvParseHeader(const std::string& line, int fileType)
{
    const std::size_t at = line.find("#V");
    if (at == std::string::npos)
        return 0;
    return QvFileVersionMgr::Instance().GetVersionCode(fileType, line.substr(at + 2, 3));
}

bool QvReadHeaderLine(std::istream& is, std::string& line, std::size_t maxLength)
{
    std::string text;
    for (;;)
    {
        const int c = is.get();
        if (c == std::char_traits<char>::eof())
            return false; // get() has set failbit
        if (c == '\n')
            break;
        if (text.size() >= maxLength)
        {
            is.setstate(std::ios::failbit);
            return false;
        }
        text.push_back(static_cast<char>(c));
    }
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    line = std::move(text);
    return true;
}
