// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/SyncFolder.h"

#include "app/caselist/PageText.h"
#include "app/platform/Folders.h"
#include "app/platform/KeyedRecordStore.h"

#include <QDateTime>
#include <QFileInfo>

#include <mutex>

namespace syncfolder {

namespace {

std::mutex g_mutex;
QString g_storeFolder;

const QString kKey = QStringLiteral("bookmarksPath");

} // namespace

QString CaseFolder(const RVFileModel& file)
{
    const QDateTime saved = QDateTime::fromSecsSinceEpoch(file.firstSaveTime / 1000, Qt::LocalTime);
    QString stage = QString::number(file.stage);
    if (stage.size() == 1)
        stage.prepend(QLatin1Char('0'));
    return saved.toString(QStringLiteral("yyyyMM")) + QLatin1Char('/') + pagetext::SafePathComponent(file.medicalCaseNo) +
           QStringLiteral("/P") + saved.toString(QStringLiteral("yyMMdd")) + stage;
}

std::optional<QString> MatchEntry(const RVFileModel& file, const QStringList& entries)
{
    for (const QString& entry : entries) {
        const QString suffix = QFileInfo(entry).suffix();
        if (!file.fileExtension.contains(QLatin1Char('.') + suffix))
            continue;
        if (entry.split(QLatin1Char('.')).contains(file.fileName))
            return entry;
    }
    return std::nullopt;
}

QString StoreFolder()
{
    std::lock_guard lock(g_mutex);
    if (!g_storeFolder.isEmpty())
        return g_storeFolder;
    return platform::AppDataFolder() + QStringLiteral("/org.rivela.Rivela");
}

void SetStoreFolder(const QString& folder)
{
    std::lock_guard lock(g_mutex);
    g_storeFolder = folder;
}

std::optional<QString> StoredRoot()
{
    const auto record = platform::KeyedRecordStore(StoreFolder()).Read(kKey);
    if (!record)
        return std::nullopt;
    const QString path = record->value(QStringLiteral("path")).toString();
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

bool StoreRoot(const QString& folder)
{
    return platform::KeyedRecordStore(StoreFolder()).Write(kKey, {{QStringLiteral("path"), folder}});
}

} // namespace syncfolder
