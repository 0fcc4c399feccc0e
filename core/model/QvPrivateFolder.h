// SPDX-License-Identifier: GPL-3.0-or-later
// Folders that files from outside are unpacked into. The temporary folder is shared by
// every user of the machine, and what is unpacked is read back as trusted: such a folder
// must be ours alone, and nothing unpacked may be led out of it by a link.
#pragma once

#include <optional>
#include <string>

// The folder (a trailing "/" is allowed) is made with mode 0700 when missing; one found
// there must be a real folder, not a link, owned by this user, and is closed to others
// (0700) when it is not yet. False otherwise, the folder left as it was. `tried`, when
// given, is set when this call tried to make the folder, to whether that succeeded.
[[nodiscard]] bool QvEnsurePrivateFolder(const std::string& folder, std::optional<bool>* tried = nullptr);

// Creates the folders of relative ("a/b/c", separators "/") inside base, level by level,
// never following a link: false when a level is a link or not a folder or cannot be made.
[[nodiscard]] bool QvMakeFoldersInside(const std::string& base, const std::string& relative);
