// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/PictureCache.h"

#include "app/platform/Folders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace platform {
namespace {

qsizetype CostOf(const QImage& image)
{
    // QCache counts in whole units: kibibytes keep large pictures within int range.
    return std::max<qsizetype>(1, image.sizeInBytes() / 1024);
}

} // namespace

PictureCache& PictureCache::Shared()
{
    static PictureCache cache(CachesFolder() + QStringLiteral("/Rivela/pictures"));
    return cache;
}

PictureCache::PictureCache(QString folder, qint64 memoryLimitBytes) : m_folder(std::move(folder))
{
    m_memory.setMaxCost(std::max<qint64>(1, memoryLimitBytes / 1024));
}

QString PictureCache::PathOf(const QString& key) const
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Md5).toHex();
    return QDir(m_folder).filePath(QString::fromLatin1(hash) + QStringLiteral(".png"));
}

std::optional<QImage> PictureCache::Picture(const QString& key)
{
    std::lock_guard lock(m_mutex);
    if (const QImage* held = m_memory.object(key))
        return *held;
    QImage fromDisk(PathOf(key));
    if (fromDisk.isNull())
        return std::nullopt;
    m_memory.insert(key, new QImage(fromDisk), CostOf(fromDisk));
    return fromDisk;
}

bool PictureCache::Store(const QString& key, const QImage& picture)
{
    if (picture.isNull())
        return false;
    std::lock_guard lock(m_mutex);
    m_memory.insert(key, new QImage(picture), CostOf(picture));
    if (!QDir().mkpath(m_folder))
        return false;
    QSaveFile file(PathOf(key));
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void PictureCache::Remove(const QString& key)
{
    std::lock_guard lock(m_mutex);
    m_memory.remove(key);
    QFile::remove(PathOf(key));
}

void PictureCache::ClearMemory()
{
    std::lock_guard lock(m_mutex);
    m_memory.clear();
}

void PictureCache::ClearDisk()
{
    std::lock_guard lock(m_mutex);
    QDir dir(m_folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files))
        dir.remove(name);
}

} // namespace platform
