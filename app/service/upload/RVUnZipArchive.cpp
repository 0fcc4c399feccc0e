// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/upload/RVUnZipArchive.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>
#include <minizip/unzip.h>

#include <vector>

std::unique_ptr<RVUnZipArchive> RVUnZipArchive::initWithFile(const QUrl& file)
{
    const QString path = file.isLocalFile() ? file.toLocalFile() : file.toString();
    unzFile handle = unzOpen64(QFile::encodeName(path).constData());
    if (!handle)
        return nullptr;
    return std::unique_ptr<RVUnZipArchive>(new RVUnZipArchive(handle));
}

RVUnZipArchive::~RVUnZipArchive()
{
    unzClose(static_cast<unzFile>(m_handle));
}

std::optional<QStringList> RVUnZipArchive::listFilenames()
{
    auto* zip = static_cast<unzFile>(m_handle);
    if (unzGoToFirstFile(zip) != UNZ_OK)
        return std::nullopt;
    QStringList names;
    std::vector<char> name;
    do {
        if (unzOpenCurrentFile(zip) != UNZ_OK)
            break;
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
            unzCloseCurrentFile(zip);
            break;
        }
        name.assign(info.size_filename + 1, '\0');
        if (unzGetCurrentFileInfo64(zip, &info, name.data(), uLong(name.size()), nullptr, 0, nullptr, 0) != UNZ_OK) {
            unzCloseCurrentFile(zip);
            break;
        }
        // Invalid UTF-8 becomes replacement characters; the ASCII around them stays.
        const QString text = QString::fromUtf8(name.data(), qsizetype(info.size_filename));
        if (!text.isEmpty() && !text.endsWith(u'/') && !text.endsWith(u'\\')) {
            const QString last = text.section(u'/', -1);
            if (!last.isEmpty())
                names.append(last);
        }
        unzCloseCurrentFile(zip);
    } while (unzGoToNextFile(zip) == UNZ_OK);
    unzGoToFirstFile(zip);
    return names;
}

std::optional<QStringList> RVListRarEntries(const QString& path)
{
    struct Free {
        void operator()(archive* a) const { archive_read_free(a); }
    };
    std::unique_ptr<archive, Free> a(archive_read_new());
    if (!a || archive_read_support_format_rar(a.get()) != ARCHIVE_OK ||
        archive_read_support_format_rar5(a.get()) != ARCHIVE_OK)
        return std::nullopt;
    if (archive_read_open_filename(a.get(), QFile::encodeName(path).constData(), 64 * 1024) != ARCHIVE_OK)
        return std::nullopt;
    QStringList names;
    archive_entry* entry = nullptr;
    for (;;) {
        const int rc = archive_read_next_header(a.get(), &entry);
        if (rc == ARCHIVE_EOF)
            return names;
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) // a warning is a name the locale cannot show
            return std::nullopt;
        const char* name = archive_entry_pathname_utf8(entry);
        if (!name)
            name = archive_entry_pathname(entry);
        if (name && *name)
            names.append(QString::fromUtf8(name));
        archive_read_data_skip(a.get());
    }
}
