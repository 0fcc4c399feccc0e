// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures of the upload tests: archives built as bytes, files of given sizes, the
// stand-in in-process, a recorder of the page's scripts and a scripted file dialog.
#pragma once

#include "testing/QtWait.h"

#include "app/platform/FilePanels.h"
#include "app/service/upload/RVCBCTUploadCommand.h"
#include "tools/rivela-standin/Standin.h"
#include "tools/rivela-standin/StandinCbct.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <minizip/zip.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace uploadtest {

// Keeps the GUI thread's events flowing while a test waits.
inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 20000)
{
    return qtwait::WaitFor(done, milliseconds);
}

using qtwait::Settle;

// Bytes that differ from part to part, so a part sent twice or out of order shows.
inline QByteArray Pattern(qint64 size, int seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + (i >> 13) * 7 + seed) & 0xff);
    return bytes;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A file of the size with nothing written (sparse).
inline bool SparseFile(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size);
}

struct ZipEntry {
    std::string name; // a trailing "/" makes a folder
    std::string data;
};

inline bool WriteZip(const QString& path, const std::vector<ZipEntry>& entries)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const ZipEntry& e : entries) {
        zip_fileinfo info{};
        ok = ok && zipOpenNewFileInZip(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                       Z_DEFAULT_COMPRESSION) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, e.data.data(), unsigned(e.data.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

inline quint32 Crc32(const std::string& bytes)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        c = table[(c ^ b) & 0xff] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

inline void Le(std::string& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xff);
}

// A block whose header CRC (low 16 bits of CRC-32 over type .. end) leads it.
inline std::string RarBlock(const std::string& afterCrc)
{
    std::string block;
    Le(block, Crc32(afterCrc) & 0xffff, 2);
    return block + afterCrc;
}

// A stored RAR 4 archive: marker, archive header, one file header per entry (Unix
// host, "/" separators) with its data, end of archive.
inline std::string RarArchive(const std::vector<ZipEntry>& entries)
{
    std::string out("Rar!\x1a\x07\x00", 7);
    std::string main;
    Le(main, 0x73, 1);
    Le(main, 0, 2);
    Le(main, 13, 2);
    Le(main, 0, 2);
    Le(main, 0, 4);
    out += RarBlock(main);
    for (const ZipEntry& e : entries) {
        std::string h;
        Le(h, 0x74, 1);
        Le(h, 0x8000, 2);
        Le(h, 32 + e.name.size(), 2);
        Le(h, e.data.size(), 4);      // packed
        Le(h, e.data.size(), 4);      // unpacked
        Le(h, 3, 1);                  // Unix
        Le(h, Crc32(e.data), 4);
        Le(h, 0x5A8C0000, 4);         // DOS time
        Le(h, 20, 1);                 // version
        Le(h, 0x30, 1);               // stored
        Le(h, e.name.size(), 2);
        Le(h, 0100644, 4);
        h += e.name;
        out += RarBlock(h) + e.data;
    }
    std::string end;
    Le(end, 0x7b, 1);
    Le(end, 0x4000, 2);
    Le(end, 7, 2);
    return out + RarBlock(end);
}

// What the page was sent, in order, as the callback objects.
struct PageRecorder {
    std::mutex mutex;
    QStringList scripts;

    RVScriptEvaluator Evaluator(const std::shared_ptr<PageRecorder>& self)
    {
        return [self](const QString& script) {
            std::lock_guard lock(self->mutex);
            self->scripts.append(script);
        };
    }
    std::vector<QJsonObject> Messages()
    {
        std::lock_guard lock(mutex);
        std::vector<QJsonObject> out;
        for (QString s : scripts) {
            EXPECT_TRUE(s.startsWith(u"CBCTUploadCallback(") && s.endsWith(u')')) << s.toStdString();
            s = s.mid(19).chopped(1);
            out.push_back(QJsonDocument::fromJson(s.toUtf8()).object());
        }
        return out;
    }
    std::vector<int> Phases()
    {
        std::vector<int> out;
        for (const QJsonObject& m : Messages())
            out.push_back(m.value(u"data").toObject().value(u"uploadPhase").toInt(-99));
        return out;
    }
    size_t Count()
    {
        std::lock_guard lock(mutex);
        return size_t(scripts.size());
    }
};

// Answers the open panel with the queued choices (none: cancelled) and counts the panels.
struct ScriptedDialog {
    std::mutex mutex;
    std::vector<std::optional<QStringList>> answers;
    int shown = 0;

    void Install(const std::shared_ptr<ScriptedDialog>& self)
    {
        platform::SetFilePanelResponder([self](const platform::FilePanelRequest&) -> std::optional<QStringList> {
            std::lock_guard lock(self->mutex);
            ++self->shown;
            if (self->answers.empty())
                return std::nullopt;
            auto next = self->answers.front();
            self->answers.erase(self->answers.begin());
            return next;
        });
    }
    void Choose(const QString& path)
    {
        std::lock_guard lock(mutex);
        answers.push_back(QStringList{path});
    }
    int Shown()
    {
        std::lock_guard lock(mutex);
        return shown;
    }
};

} // namespace uploadtest
