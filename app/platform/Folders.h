// SPDX-License-Identifier: GPL-3.0-or-later
// The user's and the system's folders, and the application's resources. A null
// QString means "none" (not found, or could not be created).
#pragma once

#include <QString>

namespace platform {

// The system's temporary folder ($TMPDIR or /tmp).
QString TemporaryFolder();
// The user's caches folder ($XDG_CACHE_HOME or ~/.cache).
QString CachesFolder();
// The user's Downloads and Documents folders (not created).
QString DownloadsFolder();
QString DocumentsFolder();
// The application's own data folder (created; null when that fails).
QString AppDataFolder();

// The path when it is a folder already or could be created with its parents; null
// when it cannot be (a plain file in the way included).
QString EnsureFolder(const QString& path);

// Resources live in the folder "resources" beside the executable, as NAME.TYPE
// (a file or, for a bundle, a folder).
QString ResourceFolder();
void SetResourceFolder(const QString& folder); // tests; empty restores the default
// Path of the resource, or null when it is not there.
QString PathForResource(const QString& name, const QString& type);

} // namespace platform
