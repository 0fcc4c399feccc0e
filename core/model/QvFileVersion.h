// SPDX-License-Identifier: GPL-3.0-or-later
// File kinds, their version codes and the text line every data file starts with.
//
// A version code is a family bit naming the file kind (0x100 TSD, 0x200 OSD, 0x400 OS,
// 0x800 DM, 0x1000 RVT, 0x2000 RVS, 0x4000 ATT, 0x8000 RVM, 0x10000 BKT) plus a sequence
// number counted from 1; after 9 the count goes on at 0x10, so codes keep rising.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

// File types.
inline constexpr int kQvFileTSD = 2;
inline constexpr int kQvFileOSD = 3;
inline constexpr int kQvFileRVS = 4;
inline constexpr int kQvFileOS = 5;
inline constexpr int kQvFileRVM = 6;
inline constexpr int kQvFileATT = 7;
inline constexpr int kQvFileDM = 8;
inline constexpr int kQvFileRVT = 9;
inline constexpr int kQvFileBKT = 10;

// Family bits of the version codes.
inline constexpr int kQvVersionTSD = 0x100;
inline constexpr int kQvVersionOSD = 0x200;
inline constexpr int kQvVersionOS = 0x400;
inline constexpr int kQvVersionDM = 0x800;
inline constexpr int kQvVersionRVT = 0x1000;
inline constexpr int kQvVersionRVS = 0x2000;
inline constexpr int kQvVersionATT = 0x4000;
inline constexpr int kQvVersionRVM = 0x8000;
inline constexpr int kQvVersionBKT = 0x10000;

// The process-wide table of tags and version texts, and the version of the last case
// document or dental model read. The tables never change after construction.
class QvFileVersionMgr
{
public:
    static QvFileVersionMgr& Instance();

    QvFileVersionMgr(const QvFileVersionMgr&) = delete;
    QvFileVersionMgr& operator=(const QvFileVersionMgr&) = delete;
    virtual ~QvFileVersionMgr() = default;

    // Newest code for TSD, RVS, OS and DM; -1 for every other type.
    int GetLatestVersion(int fileType) const;
    // The code whose text is exactly text; 0 when none matches, for RVT and for unknown types.
    int GetVersionCode(int fileType, const std::string& text) const;
    // The text of exactly that code; empty when the table lacks it, for RVT and unknown types.
    std::string GetVersionText(int fileType, int code) const;
    // Three-letter (or two-letter) tag; empty for unknown types.
    std::string GetTag(int fileType) const;

    // Replaces the last-read record by the one pair.
    void SetReadVersion(int fileType, int code);
    // True, with the code, when the last-read record holds that type.
    [[nodiscard]] bool GetReadVersion(int fileType, int& code) const;

    // Newest text of OS and TSD; empty for the others.
    std::string GetLatestVersionText(int fileType) const;
    // Appends the TSD texts in ascending code order; nothing for other types.
    void GetVersionTexts(int fileType, std::vector<std::string>& out) const;

private:
    QvFileVersionMgr();
    // Null for RVT and types outside 2..10: those answer no lookup.
    const std::map<int, std::string>* LookupTable(int fileType) const;

    std::map<int, std::map<int, std::string>> m_tables;
    std::map<int, int> m_lastRead;
};

// The date the writers stamp into headers and saved targets.
struct QvDate
{
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
};
// Today: the fixed date when one is set, else the system clock's local date.
QvDate QvToday();
// Fixes the date QvToday answers (a year of 0 goes back to the system clock) and
// answers the previous setting. Generated cases fix it so that their bytes do not
// change from day to day; tests use it to stand on a given day.
QvDate QvSetFixedDate(const QvDate& date);

// The header text (without its line feed) "Rivela <tag> File #V<text>(B)@<y>/<m>/<d>",
// dated with QvToday().
std::string QvMakeHeader(int fileType, int code);
// The same with a given date (month 1 to 12, day 1 to 31), printed without leading zeros.
std::string QvMakeHeader(int fileType, int code, int year, int month, int day);

// The code of the up-to-three characters after the first "#V" for the requested type;
// 0 when there is no "#V" or the characters name no version of that type. The tag,
// letter and date are not checked.
int QvParseHeader(const std::string& line, int fileType);

// Reads the header line from the stream: the bytes up to the first line feed (consumed,
// not kept), cut at the first NUL. False, the stream failed, when no line feed comes
// within maxLength bytes: a real header is at most 111 characters, and a file without
// one must not be swallowed whole.
[[nodiscard]] bool QvReadHeaderLine(std::istream& is, std::string& line, std::size_t maxLength = 4096);
