// SPDX-License-Identifier: GPL-3.0-or-later
// The user's stored preferences (remembered accounts, the application list of the
// last login, per-account flags), in one settings file readable by its owner only.
// Thread-safe.
#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <mutex>

class QSettings;

namespace platform {

namespace defaults {
inline const QString kAllApplicationURL = QStringLiteral("AllApplicationURL");
inline const QString kAllLoginAccountList = QStringLiteral("AllLoginAccountList");
inline const QString kInitialToolTipDelay = QStringLiteral("NSInitialToolTipDelay");
// "ShouldSaveLocalPassword_%lu" and "ShouldAutoLoginIn_%lu" of an account number.
QString ShouldSaveLocalPasswordKey(unsigned long account);
QString ShouldAutoLoginInKey(unsigned long account);
} // namespace defaults

class UserDefaults {
public:
    // The process-wide store; its file is <app config folder>/user-defaults.ini
    // unless a test has pointed it elsewhere.
    static UserDefaults& Standard();

    // Points the standard store at another file (tests: one per test); the file is
    // created when missing. Values of the old file are written out first.
    static void UseFileForTesting(const QString& path);

    explicit UserDefaults(const QString& path);
    ~UserDefaults();

    QString FilePath() const;
    QVariant Value(const QString& key, const QVariant& fallback = {}) const;
    bool Contains(const QString& key) const;
    void SetValue(const QString& key, const QVariant& value);
    void Remove(const QString& key);
    // Writes pending changes; false when the file could not be written.
    [[nodiscard]] bool Sync();

private:
    void Open(const QString& path);

    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace platform
