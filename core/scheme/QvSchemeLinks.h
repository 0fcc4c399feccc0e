// SPDX-License-Identifier: GPL-3.0-or-later
// How a scheme reaches the records it holds whose classes live in other libraries:
// the per-tooth attachment lists and the bracket list, and the per-scheme stores of
// the libraries above the schemes (collision candidates, dental measurements).
#pragma once

#include <map>
#include <memory>

class QvAttachStepList;
class QvBracketList;
class QvModel;
class QvScheme;
class QvToothBase;

// What a scheme needs of its attachment and bracket records. The attachment library
// installs it once (QvSetSchemeAttachLink); until then no scheme can hold attachment
// lists or a bracket list.
class QvSchemeAttachLink
{
public:
    virtual ~QvSchemeAttachLink() = default;

    virtual QvToothBase* GetTooth(const QvAttachStepList& list) const = 0;
    // A new list for the same tooth holding copies of the list's attachments; a copy
    // that has a geometry is hidden. The copies are registered in no model.
    virtual QvAttachStepList* CopyList(const QvAttachStepList& list) const = 0;
    // A new list for the same tooth holding copies of the attachments whose last step
    // is finalStep or later, each with first and last step 1; null when none is.
    virtual QvAttachStepList* CopyEndList(const QvAttachStepList& list, int finalStep) const = 0;
    // Takes every attachment out of the list and out of the model (model may be null),
    // deleting it, then deletes the list.
    virtual void DestroyList(QvAttachStepList* list, QvModel* model) const = 0;

    virtual QvBracketList* NewBracketList() const = 0;
    // Replaces to's brackets by copies of from's.
    virtual void CopyBracketList(QvBracketList& to, const QvBracketList& from) const = 0;
    virtual void DestroyBracketList(QvBracketList* list) const = 0;
};

// Installs the link (replacing any present one); null removes it.
void QvSetSchemeAttachLink(std::unique_ptr<QvSchemeAttachLink> link);
// The installed link, or null.
const QvSchemeAttachLink* QvGetSchemeAttachLink();

// Virtual teeth of a copied scheme mapped to their clones in the copy.
using QvToothCloneMap = std::map<const QvToothBase*, QvToothBase*>;

// A store that a library above the schemes keeps per scheme. The scheme owns it; the
// library installs it in the schemes it works on.
class QvSchemeStore
{
public:
    virtual ~QvSchemeStore() = default;
    // Empties the store; called when its scheme is cleared.
    virtual void Clear() {}
    // A copy of the store for target, with every tooth that clones maps replaced by
    // its clone (clones may be null: the copy keeps the teeth). Null: a store that
    // does not travel with its scheme.
    virtual std::unique_ptr<QvSchemeStore> CloneFor(QvScheme& /*target*/, const QvToothCloneMap* /*clones*/) const
    {
        return nullptr;
    }
};
