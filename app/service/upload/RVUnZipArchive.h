// SPDX-License-Identifier: GPL-3.0-or-later
// Entry names of the archives a CBCT upload may be: zip through minizip, RAR through
// libarchive. Names that are not UTF-8 are decoded leniently, so an ASCII extension
// such as "dcm" stays recognisable.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class RVUnZipArchive {
public:
    // None when minizip cannot open the archive.
    static std::unique_ptr<RVUnZipArchive> initWithFile(const QUrl& file);
    ~RVUnZipArchive();
    RVUnZipArchive(const RVUnZipArchive&) = delete;
    RVUnZipArchive& operator=(const RVUnZipArchive&) = delete;

    // The last path component of every entry that is not a folder, in archive order,
    // up to the first entry that cannot be read; none for an archive without entries.
    std::optional<QStringList> listFilenames();

private:
    explicit RVUnZipArchive(void* handle) : m_handle(handle) {}
    void* m_handle;
};

// The entry paths of a RAR archive; none when it cannot be opened or a header is
// damaged (a listing that stops halfway proves nothing).
std::optional<QStringList> RVListRarEntries(const QString& path);
