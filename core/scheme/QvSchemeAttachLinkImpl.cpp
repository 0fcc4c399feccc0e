// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvSchemeAttachLinkImpl.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracketList.h"
#include "core/model/QvModel.h"
#include "core/scheme/QvSchemeLinks.h"

namespace {

class AttachLink : public QvSchemeAttachLink
{
public:
    QvToothBase* GetTooth(const QvAttachStepList& list) const override { return list.GetTooth(); }

    QvAttachStepList* CopyList(const QvAttachStepList& list) const override
    {
        std::vector<QvAttachment*> copies;
        for (const QvAttachment* source : list.GetAttachments())
        {
            if (!source)
                continue;
            auto* copy = new QvAttachment();
            copy->CopyFrom(*source);
            if (copy->GetGeometry())
                copy->SetVisible(false);
            copies.push_back(copy);
        }
        return new QvAttachStepList(list.GetTooth(), copies);
    }

    QvAttachStepList* CopyEndList(const QvAttachStepList& list, int finalStep) const override
    {
        std::vector<QvAttachment*> copies;
        for (const QvAttachment* source : list.GetAttachments())
        {
            if (!source || source->m_nLastStep < finalStep)
                continue;
            auto* copy = new QvAttachment();
            copy->CopyFrom(*source);
            copy->m_nFirstStep = 1;
            copy->m_nLastStep = 1;
            copies.push_back(copy);
        }
        if (copies.empty())
            return nullptr;
        return new QvAttachStepList(list.GetTooth(), copies);
    }

    void DestroyList(QvAttachStepList* list, QvModel* model) const override
    {
        if (!list)
            return;
        // An attachment listed twice is deleted once.
        std::vector<QvAttachment*> attachments = list->GetAttachments();
        std::sort(attachments.begin(), attachments.end());
        attachments.erase(std::unique(attachments.begin(), attachments.end()), attachments.end());
        list->Clear();
        for (QvAttachment* attachment : attachments)
            QvDestroySchemeAttachment(attachment, model);
        delete list;
    }

    QvBracketList* NewBracketList() const override { return new QvBracketList(); }
    void CopyBracketList(QvBracketList& to, const QvBracketList& from) const override { to.CopyFrom(from); }
    void DestroyBracketList(QvBracketList* list) const override { delete list; }
};

} // namespace

void QvInstallSchemeAttachLink() { QvSetSchemeAttachLink(std::make_unique<AttachLink>()); }

void QvDestroySchemeAttachment(QvAttachment* attachment, QvModel* model)
{
    if (!attachment)
        return;
    if (model)
    {
        // Unregistered without the model deleting it: an attachment that is not in
        // the model's list would otherwise be left to leak, and one whose id another
        // entity holds must not take that entity with it.
        if (model->FindEntity(attachment->GetID()) == attachment)
            model->RemoveEntity(attachment->GetID(), false);
        std::erase(model->m_attachments, static_cast<QvEntity*>(attachment));
    }
    delete attachment;
}
