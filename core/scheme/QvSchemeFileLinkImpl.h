// SPDX-License-Identifier: GPL-3.0-or-later
// The schemes' side of the data-file layer: the scheme section of a case document,
// the scheme "default" of a dental model and the bodies of scheme files, reached by
// the file layer through its scheme link (core/model/QvFileBodyLinks.h). Install it
// once at start-up; it also installs the scheme attachment link when none is present,
// since schemes read from files own attachments.
#pragma once

// Installs the link in the file layer, replacing any present one.
void QvInstallSchemeFileLink();
// Installs it only when the file layer has no scheme link yet.
void QvEnsureSchemeFileLink();
