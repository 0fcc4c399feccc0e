// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvDesignFileLinks.h"

#include <string>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/model/QvFileBodyLinks.h"

namespace {

std::unique_ptr<QvBracketFileLink>& BracketLink()
{
    static std::unique_ptr<QvBracketFileLink> link;
    return link;
}

class DesignFileLink final : public QvDesignFileLink
{
public:
    QvAttachGeo* CreateAttachGeoByClassName(const std::string& className) override
    {
        return QvAttachGeoMgr::CreateByClassName(className);
    }
    QvAttachGeo* CreateAttachGeoByKindCode(int kindCode) override { return QvAttachGeoMgr::CreateByKindCode(kindCode); }
    bool ReadAttachGeo(QvAttachGeo& geo, std::istream& is, int version, QvModel* model) override
    {
        return geo.Read(is, version, model);
    }
    void DeleteAttachGeo(QvAttachGeo* geo) override { delete geo; }

    QvBracketGeoSeries* NewBracketSeries() override
    {
        QvBracketFileLink* link = QvGetBracketFileLink();
        return link ? link->NewSeries() : nullptr;
    }
    bool ReadBracketSeries(QvBracketGeoSeries& series, std::istream& is, int version, QvModel* model) override
    {
        QvBracketFileLink* link = QvGetBracketFileLink();
        return link && link->ReadSeries(series, is, version, model);
    }
    void WriteBracketSeries(const QvBracketGeoSeries& series, std::ostream& os, int version) override
    {
        if (QvBracketFileLink* link = QvGetBracketFileLink())
            link->WriteSeries(series, os, version);
    }
    void DeleteBracketSeries(QvBracketGeoSeries* series) override
    {
        if (QvBracketFileLink* link = QvGetBracketFileLink())
            link->DeleteSeries(series);
    }
};

} // namespace

void QvSetBracketFileLink(std::unique_ptr<QvBracketFileLink> link) { BracketLink() = std::move(link); }

QvBracketFileLink* QvGetBracketFileLink() { return BracketLink().get(); }

void QvInstallDesignFileLink() { QvSetDesignFileLink(std::make_unique<DesignFileLink>()); }

void QvEnsureDesignFileLink()
{
    if (!QvGetDesignFileLink())
        QvInstallDesignFileLink();
}
