// SPDX-License-Identifier: GPL-3.0-or-later
// Records kept on disk by key, one file per key in one folder (upload resume
// records by acquire-access URL, the sync-folder bookmark). A write replaces the
// record atomically: a failed or interrupted write leaves the old record whole.
// Thread-safe within the process.
#pragma once

#include <QString>
#include <QVariantMap>

#include <mutex>
#include <optional>

namespace platform {

class KeyedRecordStore {
public:
    // The folder is created on first write.
    explicit KeyedRecordStore(QString folder);

    const QString& Folder() const { return m_folder; }

    [[nodiscard]] bool Write(const QString& key, const QVariantMap& record);
    // None when no record is stored or the file is damaged.
    std::optional<QVariantMap> Read(const QString& key) const;
    // False when there was nothing to remove.
    bool Remove(const QString& key);

    // The file that holds the key's record.
    QString PathOf(const QString& key) const;

private:
    QString m_folder;
    mutable std::mutex m_mutex;
};

} // namespace platform
