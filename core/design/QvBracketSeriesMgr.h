// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide library of loaded bracket series. The packed series files (LZMA,
// one per bracket code, "<code>.bkt") lie in the base folder; each is unpacked into a
// folder of this user under the temporary folder and read from there. The unpacked
// files are kept and serve later loads of the same code until their packed file is
// replaced by a newer one.
//
// Loading, clearing and lookups run one at a time (the case document loads while it
// opens a case and clears when it closes it); there is no lock.
#pragma once

#include <string>
#include <vector>

class QvBracketGeo;
class QvBracketGeoSeries;

class QvBracketSeriesMgr
{
public:
    // Created on first use, destroyed at exit.
    static QvBracketSeriesMgr* Instance();

    QvBracketSeriesMgr() = default;
    QvBracketSeriesMgr(const QvBracketSeriesMgr&) = delete;
    QvBracketSeriesMgr& operator=(const QvBracketSeriesMgr&) = delete;
    ~QvBracketSeriesMgr();

    // Loads the series of a bracket code: unpacks base folder "/" code ".bkt" into the
    // unpack folder unless an unpacked copy at least as new is there, reads it, hides
    // its bodies and appends it. Null, with the library unchanged, when the code holds
    // "/", ".." or a NUL byte, the packed file does not exist, the unpack folder cannot
    // be made safe, the unpacking fails or the file does not read.
    QvBracketGeoSeries* ReadSeries(const std::string& code);
    // First loaded series of exactly that name; null when none.
    QvBracketGeoSeries* FindSeries(const std::string& name) const;
    // First body of exactly that name over the series in load order; null when none.
    QvBracketGeo* FindGeo(const std::string& name) const;
    // Deletes every series with its bodies; the folders stay.
    void Clear();

    // Loads every regular file of the base folder, in directory order, as ReadSeries
    // does (files that do not unpack or read are skipped).
    void LoadAll();
    // An unpacked BKT file as a new series owned by the caller (not added); null when
    // it does not read.
    [[nodiscard]] QvBracketGeoSeries* ReadSeriesFile(const std::string& path) const;

    // The staged selection: distinct values, sorted byte-wise, appended to out (which
    // is then sorted and de-duplicated as a whole).
    void ListAttribute6(int key, std::vector<std::string>& out) const;
    void ListAttribute5(int key, const std::string& a6, std::vector<std::string>& out) const;
    void ListAttribute1(int key, const std::string& a6, const std::string& a5, std::vector<std::string>& out) const;
    void ListAttribute2(int key, const std::string& a6, const std::string& a5, const std::string& a1,
                        std::vector<std::string>& out) const;
    // First series matching all five; null when none.
    QvBracketGeoSeries* FindSeriesByAttributes(const std::string& a6, const std::string& a5, const std::string& a1,
                                               const std::string& a2, int key) const;
    // First series whose name occurs in the body's name (an empty name always does);
    // null when none or for a null body.
    QvBracketGeoSeries* FindSeriesOfGeo(const QvBracketGeo* body) const;
    // Sets the modified flag of every body so that the drawers rebuild their buffers.
    void MarkAllModified();

    // temporary folder + "BKTTemp-<user id>/": the folder the series are unpacked into.
    std::string GetUnpackFolder() const;

    // Tests: Clear() and both folders emptied.
    void ResetForTests();

    // Owned, in load order.
    std::vector<QvBracketGeoSeries*> m_series;
    // Holds the packed ".bkt" files; "/" goes between it and a file name.
    std::string m_baseFolder;
    // Where the unpack folder is made; set to the system's temporary path, which ends
    // with a separator.
    std::string m_tempFolder;

private:
    // Unpacks (when needed) and reads one packed file; appends the series.
    QvBracketGeoSeries* LoadPacked(const std::string& packedPath, const std::string& fileName);
};
