// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvSchemeFileLinkImpl.h"

#include <memory>
#include <ostream>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvModel.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeAttachLinkImpl.h"
#include "core/scheme/QvSchemeMgr.h"

namespace {

class SchemeFileLink : public QvSchemeFileLink
{
public:
    bool ReadDocumentSchemes(std::istream& is, int version, QvModel& model, QvModel* owner) override
    {
        QvSchemeMgr& mgr = QvEnsureSchemeMgr(model);
        // The section replaces the schemes: the teeth they placed were read anew.
        mgr.Clear();
        if (!mgr.Read(is, version, &model))
            return false;
        if (owner && owner != &model)
            for (QvScheme* scheme : mgr.GetSchemes())
                scheme->SetModel(owner);
        return true;
    }

    void WriteDocumentSchemes(std::ostream& os, int version, const QvModel& model) override
    {
        if (const QvSchemeMgr* mgr = QvGetSchemeMgr(model))
            mgr->Write(os, version);
        else
            qvio::WriteI32(os, 0);
    }

    bool AddDefaultScheme(QvModel& model) override
    {
        QvSchemeMgr& mgr = QvEnsureSchemeMgr(model);
        return mgr.CreateScheme(0, "default", true, true) != nullptr;
    }

    QvScheme* NewScheme(QvModel& model) override
    {
        auto* scheme = new QvScheme();
        scheme->SetModel(&model);
        return scheme;
    }

    bool ReadScheme(QvScheme& scheme, std::istream& is, int version, QvModel& model) override
    {
        return scheme.Read(is, version, &model);
    }

    void WriteScheme(const QvScheme& scheme, std::ostream& os, int version) override { scheme.Write(os, version); }

    void DeleteScheme(QvScheme* scheme) override { delete scheme; }
};

void EnsureAttachLink()
{
    if (!QvGetSchemeAttachLink())
        QvInstallSchemeAttachLink();
}

} // namespace

void QvInstallSchemeFileLink()
{
    EnsureAttachLink();
    QvSetSchemeFileLink(std::make_unique<SchemeFileLink>());
}

void QvEnsureSchemeFileLink()
{
    EnsureAttachLink();
    if (!QvGetSchemeFileLink())
        QvSetSchemeFileLink(std::make_unique<SchemeFileLink>());
}
