// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace platform {
namespace {

std::mutex g_mutex;
QString g_resourceFolder;

} // namespace

QString TemporaryFolder()
{
    return QDir::tempPath();
}

QString CachesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
}

QString DownloadsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

QString DocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString AppDataFolder()
{
    return EnsureFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString EnsureFolder(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    if (info.isDir())
        return path;
    if (info.exists() || !QDir().mkpath(path))
        return {};
    return path;
}

QString ResourceFolder()
{
    std::lock_guard lock(g_mutex);
    if (!g_resourceFolder.isEmpty())
        return g_resourceFolder;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/resources");
}

void SetResourceFolder(const QString& folder)
{
    std::lock_guard lock(g_mutex);
    g_resourceFolder = folder;
}

QString PathForResource(const QString& name, const QString& type)
{
    if (name.isEmpty())
        return {};
    QString file = name;
    if (!type.isEmpty())
        file += QLatin1Char('.') + type;
    const QString path = QDir(ResourceFolder()).filePath(file);
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace platform
