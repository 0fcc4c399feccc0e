// SPDX-License-Identifier: GPL-3.0-or-later
// Downloaded pictures cached by URL, in memory and on disk, so a picture shown once
// shows again at once. Thread-safe.
#pragma once

#include <QCache>
#include <QImage>
#include <QString>

#include <mutex>
#include <optional>

namespace platform {

class PictureCache {
public:
    // The process-wide cache, on disk in <caches>/Rivela/pictures.
    static PictureCache& Shared();

    // memoryLimitBytes bounds the pictures held in memory (least recently used go).
    explicit PictureCache(QString folder, qint64 memoryLimitBytes = 128ll << 20);

    const QString& Folder() const { return m_folder; }

    // The picture from memory, else from disk (then kept in memory too); none when
    // neither holds it.
    std::optional<QImage> Picture(const QString& key);
    // Keeps the picture in memory and writes it to disk (PNG, replaced atomically);
    // a null picture is ignored. False when the disk copy could not be written.
    bool Store(const QString& key, const QImage& picture);
    void Remove(const QString& key);
    void ClearMemory();
    void ClearDisk();

private:
    QString PathOf(const QString& key) const;

    QString m_folder;
    std::mutex m_mutex;
    QCache<QString, QImage> m_memory;
};

} // namespace platform
