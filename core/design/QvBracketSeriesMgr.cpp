// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvBracketSeriesMgr.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/QvText.h"
#include "core/design/QvBracketGeo.h"
#include "core/model/QvCompress.h"
#include "core/model/QvPrivateFolder.h"
#include "core/model/QvReadWriteFile.h"

namespace {

void Say(const char* utf8)
{
    const std::string bytes = Gb18030FromUtf8(utf8);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// A code names one file in the base folder: no path separators, no parent steps, and
// nothing that would cut the path short.
bool IsSafeCode(const std::string& code)
{
    return code.find('/') == std::string::npos && code.find("..") == std::string::npos &&
           code.find('\0') == std::string::npos;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The unpack folder must be ours alone: the series read from it are trusted, and the
// temporary folder is usually shared by every user of the machine.
bool EnsureUnpackFolder(const std::string& folder)
{
    std::optional<bool> made;
    const bool ok = QvEnsurePrivateFolder(folder, &made);
    if (made)
        Say(*made ? "\n创建BKT临时目录成功" : "\n创建BKT临时目录失败");
    return ok;
}

bool NotOlder(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

// An unpacked copy serves when it is a plain file at least as new as its packed file.
bool IsUpToDate(const std::string& unpacked, const std::string& packed)
{
    struct stat u, p;
    if (::lstat(unpacked.c_str(), &u) != 0 || !S_ISREG(u.st_mode) || ::stat(packed.c_str(), &p) != 0)
        return false;
    return NotOlder(u.st_mtim, p.st_mtim);
}

void HideBodies(QvBracketGeoSeries& series)
{
    for (QvBracketGeo* body : series.m_bodies)
        body->SetVisible(false);
}

// Distinct values, ascending byte-wise.
void SortUnique(std::vector<std::string>& out)
{
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

} // namespace

QvBracketSeriesMgr* QvBracketSeriesMgr::Instance()
{
    static QvBracketSeriesMgr instance;
    return &instance;
}

QvBracketSeriesMgr::~QvBracketSeriesMgr() { Clear(); }

std::string QvBracketSeriesMgr::GetUnpackFolder() const
{
    return m_tempFolder + "BKTTemp-" + std::to_string(::geteuid()) + "/";
}

QvBracketGeoSeries* QvBracketSeriesMgr::ReadSeries(const std::string& code)
{
    if (!IsSafeCode(code))
        return nullptr;
    const std::string packed = m_baseFolder + "/" + code + ".bkt";
    if (!IsRegularFile(packed))
        return nullptr;
    return LoadPacked(packed, code + ".bkt");
}

QvBracketGeoSeries* QvBracketSeriesMgr::LoadPacked(const std::string& packedPath, const std::string& fileName)
{
    std::string folder = GetUnpackFolder();
    folder.pop_back(); // a trailing "/" would make lstat follow a link
    if (!EnsureUnpackFolder(folder))
        return nullptr;
    const std::string unpacked = folder + "/" + fileName;

    // QvCompress writes to a fresh file beside the target and renames it into place, so
    // a failed unpack leaves no partial file behind.
    bool fresh = false;
    if (!IsUpToDate(unpacked, packedPath))
    {
        if (QvCompress::Decompress(packedPath, unpacked) != 0)
            return nullptr;
        fresh = true;
    }
    std::unique_ptr<QvBracketGeoSeries> series(ReadSeriesFile(unpacked));
    if (!series && !fresh)
    {
        // A damaged copy left from an earlier run: unpack once more.
        if (QvCompress::Decompress(packedPath, unpacked) != 0)
            return nullptr;
        series.reset(ReadSeriesFile(unpacked));
    }
    if (!series)
    {
        // Keep only readable copies, so that the next load unpacks afresh.
        std::remove(unpacked.c_str());
        return nullptr;
    }
    HideBodies(*series);
    m_series.push_back(series.release());
    return m_series.back();
}

QvBracketGeoSeries* QvBracketSeriesMgr::FindSeries(const std::string& name) const
{
    for (QvBracketGeoSeries* series : m_series)
        if (series->m_name == name)
            return series;
    return nullptr;
}

QvBracketGeo* QvBracketSeriesMgr::FindGeo(const std::string& name) const
{
    for (const QvBracketGeoSeries* series : m_series)
        for (QvBracketGeo* body : series->m_bodies)
            if (body->m_name == name)
                return body;
    return nullptr;
}

void QvBracketSeriesMgr::Clear()
{
    for (QvBracketGeoSeries* series : m_series)
        delete series;
    m_series.clear();
}

void QvBracketSeriesMgr::LoadAll()
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(m_baseFolder.c_str()), &::closedir);
    if (!dir)
        return;
    // Names first: loading writes nothing into the base folder, but the listing
    // should not depend on that.
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get()))
    {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN)
        {
            struct stat st;
            const std::string path = m_baseFolder + "/" + name;
            regular = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names.push_back(name);
    }
    dir.reset();
    for (const std::string& name : names)
        static_cast<void>(LoadPacked(m_baseFolder + "/" + name, name));
}

QvBracketGeoSeries* QvBracketSeriesMgr::ReadSeriesFile(const std::string& path) const
{
    QvEnsureBracketFileLink();
    QvReadWriteFile file(nullptr, 0);
    return file.ReadBKT(path);
}

void QvBracketSeriesMgr::ListAttribute6(int key, std::vector<std::string>& out) const
{
    for (const QvBracketGeoSeries* s : m_series)
        if (s->m_nKey == key)
            out.push_back(s->m_attributes[5]);
    SortUnique(out);
}

void QvBracketSeriesMgr::ListAttribute5(int key, const std::string& a6, std::vector<std::string>& out) const
{
    for (const QvBracketGeoSeries* s : m_series)
        if (s->m_nKey == key && s->m_attributes[5] == a6)
            out.push_back(s->m_attributes[4]);
    SortUnique(out);
}

void QvBracketSeriesMgr::ListAttribute1(int key, const std::string& a6, const std::string& a5,
                                        std::vector<std::string>& out) const
{
    for (const QvBracketGeoSeries* s : m_series)
        if (s->m_nKey == key && s->m_attributes[5] == a6 && s->m_attributes[4] == a5)
            out.push_back(s->m_attributes[0]);
    SortUnique(out);
}

void QvBracketSeriesMgr::ListAttribute2(int key, const std::string& a6, const std::string& a5, const std::string& a1,
                                        std::vector<std::string>& out) const
{
    for (const QvBracketGeoSeries* s : m_series)
        if (s->m_nKey == key && s->m_attributes[5] == a6 && s->m_attributes[4] == a5 && s->m_attributes[0] == a1)
            out.push_back(s->m_attributes[1]);
    SortUnique(out);
}

QvBracketGeoSeries* QvBracketSeriesMgr::FindSeriesByAttributes(const std::string& a6, const std::string& a5,
                                                               const std::string& a1, const std::string& a2,
                                                               int key) const
{
    for (QvBracketGeoSeries* s : m_series)
        if (s->m_nKey == key && s->m_attributes[5] == a6 && s->m_attributes[4] == a5 && s->m_attributes[0] == a1 &&
            s->m_attributes[1] == a2)
            return s;
    return nullptr;
}

QvBracketGeoSeries* QvBracketSeriesMgr::FindSeriesOfGeo(const QvBracketGeo* body) const
{
    if (!body)
        return nullptr;
    for (QvBracketGeoSeries* s : m_series)
        if (body->m_name.find(s->m_name) != std::string::npos)
            return s;
    return nullptr;
}

void QvBracketSeriesMgr::MarkAllModified()
{
    for (QvBracketGeoSeries* s : m_series)
        for (QvBracketGeo* body : s->m_bodies)
            body->m_bModified = true;
}

void QvBracketSeriesMgr::ResetForTests()
{
    Clear();
    m_baseFolder.clear();
    m_tempFolder.clear();
}
