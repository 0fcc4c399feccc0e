// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace defaults {
QString ShouldSaveLocalPasswordKey(unsigned long account)
{
    return QStringLiteral("ShouldSaveLocalPassword_%1").arg(account);
}
QString ShouldAutoLoginInKey(unsigned long account)
{
    return QStringLiteral("ShouldAutoLoginIn_%1").arg(account);
}
} // namespace defaults

namespace {

// The file holds remembered accounts: it is made owner-only before anything is
// written to it, and kept so.
void MakePrivateFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
}

QString DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/user-defaults.ini");
}

std::mutex g_standardMutex;
std::unique_ptr<UserDefaults> g_standard;

} // namespace

UserDefaults& UserDefaults::Standard()
{
    std::lock_guard lock(g_standardMutex);
    if (!g_standard)
        g_standard = std::make_unique<UserDefaults>(DefaultPath());
    return *g_standard;
}

void UserDefaults::UseFileForTesting(const QString& path)
{
    UserDefaults& standard = Standard();
    std::lock_guard lock(standard.m_mutex);
    standard.Open(path);
}

UserDefaults::UserDefaults(const QString& path)
{
    Open(path);
}

UserDefaults::~UserDefaults() = default;

void UserDefaults::Open(const QString& path)
{
    if (m_settings)
        m_settings->sync();
    MakePrivateFile(path);
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QString UserDefaults::FilePath() const
{
    std::lock_guard lock(m_mutex);
    return m_settings->fileName();
}

QVariant UserDefaults::Value(const QString& key, const QVariant& fallback) const
{
    std::lock_guard lock(m_mutex);
    return m_settings->value(key, fallback);
}

bool UserDefaults::Contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_settings->contains(key);
}

void UserDefaults::SetValue(const QString& key, const QVariant& value)
{
    std::lock_guard lock(m_mutex);
    m_settings->setValue(key, value);
}

void UserDefaults::Remove(const QString& key)
{
    std::lock_guard lock(m_mutex);
    m_settings->remove(key);
}

bool UserDefaults::Sync()
{
    std::lock_guard lock(m_mutex);
    m_settings->sync();
    // QSettings rewrites through a new file: keep it owner-only whatever it did.
    QFile::setPermissions(m_settings->fileName(), QFile::ReadOwner | QFile::WriteOwner);
    return m_settings->status() == QSettings::NoError;
}

} // namespace platform
