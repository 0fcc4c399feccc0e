// SPDX-License-Identifier: GPL-3.0-or-later
// The scheme's link over the attachment library's own records (QvAttachStepList,
// QvAttachment, QvBracketList). Install it once at start-up, before any scheme holds
// attachments or brackets.
#pragma once

class QvAttachment;
class QvModel;

// Installs the link, replacing any present one.
void QvInstallSchemeAttachLink();

// Takes the attachment out of the model's attachment list and id map (only this very
// object; model may be null) and deletes it. The scheme owns its attachments, so this
// also deletes one the model never listed.
void QvDestroySchemeAttachment(QvAttachment* attachment, QvModel* model);
