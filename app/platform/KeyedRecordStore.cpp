// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/KeyedRecordStore.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace platform {
namespace {

constexpr quint32 kMagic = 0x52565243; // "RVRC"
constexpr quint32 kVersion = 1;

} // namespace

KeyedRecordStore::KeyedRecordStore(QString folder) : m_folder(std::move(folder)) {}

QString KeyedRecordStore::PathOf(const QString& key) const
{
    // Keys are URLs: hashed into a safe file name.
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Md5).toHex();
    return QDir(m_folder).filePath(QString::fromLatin1(hash) + QStringLiteral(".record"));
}

bool KeyedRecordStore::Write(const QString& key, const QVariantMap& record)
{
    std::lock_guard lock(m_mutex);
    if (!QDir().mkpath(m_folder))
        return false;
    QSaveFile file(PathOf(key));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kVersion << key << record;
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QVariantMap> KeyedRecordStore::Read(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    QFile file(PathOf(key));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, version = 0;
    QString storedKey;
    QVariantMap record;
    in >> magic >> version;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion)
        return std::nullopt;
    in >> storedKey >> record;
    // A hash collision or a damaged file must not hand back another key's record.
    if (in.status() != QDataStream::Ok || storedKey != key || !in.atEnd())
        return std::nullopt;
    return record;
}

bool KeyedRecordStore::Remove(const QString& key)
{
    std::lock_guard lock(m_mutex);
    return QFile::remove(PathOf(key));
}

} // namespace platform
