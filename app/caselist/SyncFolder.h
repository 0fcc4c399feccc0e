// SPDX-License-Identifier: GPL-3.0-or-later
// The synchronisation folder: where a case file lives below the root, which file of
// a case folder an upload means, and the root kept in the record store.
#pragma once

#include "app/service/RVFileModel.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace syncfolder {

// "yyyyMM/caseNo/PyyMMddSS" of the first save in local time (milliseconds cut to
// whole seconds toward zero; the stage has at least two digits). The case number is
// made safe as one path component.
QString CaseFolder(const RVFileModel& file);
// The first entry (in the order given) whose extension, with its dot, is one of the
// record's and one of whose "."-separated parts equals the record's name; exact case.
std::optional<QString> MatchEntry(const RVFileModel& file, const QStringList& entries);

// The root stored in the record store; none when none is stored.
std::optional<QString> StoredRoot();
[[nodiscard]] bool StoreRoot(const QString& folder);
// The store's folder (tests point it elsewhere; empty restores the default).
QString StoreFolder();
void SetStoreFolder(const QString& folder);

} // namespace syncfolder
