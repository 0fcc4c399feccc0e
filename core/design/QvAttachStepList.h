// SPDX-License-Identifier: GPL-3.0-or-later
// The attachments of one tooth within a scheme. The list does not own them: the
// scheme disposes of them through the case model.
#pragma once

#include <iosfwd>
#include <vector>

class QvAttachment;
class QvModel;
class QvToothBase;

class QvAttachStepList
{
public:
    QvAttachStepList() = default;
    QvAttachStepList(QvToothBase* tooth, const std::vector<QvAttachment*>& attachments);
    // Frees the list only; the attachments stay.
    virtual ~QvAttachStepList() = default;

    // The tooth's FDI number, the count, then each attachment's record.
    void Write(std::ostream& os, int version) const;
    // Binds the list to the model's tooth of the stored FDI number and appends the
    // attachments read. Records of a version without a form are skipped (nothing was
    // written for them). False for no model, an FDI number the model does not hold, a
    // negative or oversized count or a failed record; the attachments this call made
    // are then deleted and the list is as before.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    // Appends unless already listed; returns the attachment.
    QvAttachment* AddAttachment(QvAttachment* attachment);
    // Erases the first occurrence; deletes nothing.
    void RemoveAttachment(QvAttachment* attachment);
    // Empties the list; deletes nothing.
    void Clear() { m_attachments.clear(); }

    const std::vector<QvAttachment*>& GetAttachments() const { return m_attachments; }
    QvToothBase* GetTooth() const { return m_pTooth; }
    void SetTooth(QvToothBase* tooth) { m_pTooth = tooth; }

    std::vector<QvAttachment*> m_attachments;
    QvToothBase* m_pTooth = nullptr;
};
