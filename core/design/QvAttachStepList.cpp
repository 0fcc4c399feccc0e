// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachStepList.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "core/design/QvAttachment.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"

namespace {
// The shortest record: name length, empty placement, two steps, three parameters.
constexpr std::uint64_t kMinRecordBytes = 4 + 8 + 8 + 24;
} // namespace

QvAttachStepList::QvAttachStepList(QvToothBase* tooth, const std::vector<QvAttachment*>& attachments)
    : m_attachments(attachments), m_pTooth(tooth)
{
}

void QvAttachStepList::Write(std::ostream& os, int version) const
{
    qvio::WriteI32(os, m_pTooth ? m_pTooth->GetPositionFdi() : -1);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_attachments.size()));
    for (const QvAttachment* attachment : m_attachments)
        attachment->WriteRecord(os, version);
}

bool QvAttachStepList::Read(std::istream& is, int version, QvModel* model)
{
    if (!model)
        return false;
    std::int32_t fdi = 0;
    if (!qvio::ReadI32(is, fdi))
        return false;
    QvToothBase* tooth = model->FindTooth(fdi);
    if (!tooth)
        return false;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || count < 0)
        return false;
    // A version without a record form wrote no records: nothing to read or keep.
    if (QvAttachment::GetRecordForm(version) == kQvAttachRecordNone)
    {
        m_pTooth = tooth;
        return true;
    }
    if (!qvio::CountFits(is, count, kMinRecordBytes))
        return false;

    std::vector<QvAttachment*> read;
    read.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto* attachment = new QvAttachment;
        attachment->m_pTooth = tooth;
        if (!attachment->Read(is, version, model))
        {
            delete attachment;
            for (QvAttachment* done : read)
                delete done;
            return false;
        }
        read.push_back(attachment);
    }
    m_pTooth = tooth;
    // Made just now, so none is listed yet: no search per record.
    m_attachments.insert(m_attachments.end(), read.begin(), read.end());
    return true;
}

QvAttachment* QvAttachStepList::AddAttachment(QvAttachment* attachment)
{
    if (std::find(m_attachments.begin(), m_attachments.end(), attachment) == m_attachments.end())
        m_attachments.push_back(attachment);
    return attachment;
}

void QvAttachStepList::RemoveAttachment(QvAttachment* attachment)
{
    auto it = std::find(m_attachments.begin(), m_attachments.end(), attachment);
    if (it != m_attachments.end())
        m_attachments.erase(it);
}
