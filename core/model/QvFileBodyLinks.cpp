// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvFileBodyLinks.h"

namespace {

std::unique_ptr<QvSchemeFileLink>& SchemeLink()
{
    static std::unique_ptr<QvSchemeFileLink> link;
    return link;
}

std::unique_ptr<QvMeasureFileLink>& MeasureLink()
{
    static std::unique_ptr<QvMeasureFileLink> link;
    return link;
}

std::unique_ptr<QvDesignFileLink>& DesignLink()
{
    static std::unique_ptr<QvDesignFileLink> link;
    return link;
}

} // namespace

void QvSetSchemeFileLink(std::unique_ptr<QvSchemeFileLink> link) { SchemeLink() = std::move(link); }
QvSchemeFileLink* QvGetSchemeFileLink() { return SchemeLink().get(); }

void QvSetMeasureFileLink(std::unique_ptr<QvMeasureFileLink> link) { MeasureLink() = std::move(link); }
QvMeasureFileLink* QvGetMeasureFileLink() { return MeasureLink().get(); }

void QvSetDesignFileLink(std::unique_ptr<QvDesignFileLink> link) { DesignLink() = std::move(link); }
QvDesignFileLink* QvGetDesignFileLink() { return DesignLink().get(); }
