// SPDX-License-Identifier: GPL-3.0-or-later
// Extraction of every file of a zip archive into a folder.
#pragma once

#include <string>
#include <vector>

class QvZipArchive
{
public:
    QvZipArchive() = default;
    virtual ~QvZipArchive() = default;

    // When not empty, every entry is opened with this password.
    void SetPassword(const std::string& password) { m_password = password; }
    const std::string& GetPassword() const { return m_password; }

    // Writes every file of the archive below folder (which ends with "/": a target is the
    // folder followed directly by the entry name) and appends each written file's
    // relative name to extracted (may be null), in archive order. Entries under
    // "__MACOSX" are skipped; the first "/\" of a name becomes "/"; missing folders are
    // created at every level. True when the walk reached the end of the entry list and
    // at least one file was written by this call.
    // The folder is made ours alone first (QvEnsurePrivateFolder); nothing is written when
    // it cannot be, when it lacks its "/", or when the archive has more entries or
    // declares more bytes than the bounds of QvInputBounds.h allow.
    // The walk stops with false, keeping the files written before, at an entry that cannot
    // be opened, whose name is absolute or climbs out of the folder (".."), whose path
    // inside the folder meets a link, whose data is damaged (read error, size or CRC
    // mismatch, more bytes than declared) or whose file cannot be written; a failed entry
    // leaves no file behind and an existing file at its place untouched.
    // Progress and errors go to standard output, as before.
    [[nodiscard]] bool Unzip(const std::string& archivePath, const std::string& folder,
                             std::vector<std::string>* extracted);

private:
    std::string m_password;
};
