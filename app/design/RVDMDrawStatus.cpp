// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDMDrawStatus.h"

RVDMDrawStatus& RVDMDrawStatus::shared()
{
    static RVDMDrawStatus status;
    return status;
}

void RVDMDrawStatus::setScheme(QvScheme* scheme, int viewId)
{
    if (scheme)
        m_cacheSchemes[viewId] = scheme;
    else
        m_cacheSchemes.erase(viewId);
}

QvScheme* RVDMDrawStatus::schemeWithViewId(int viewId) const
{
    if (m_cacheSchemes.empty())
        return nullptr;
    const auto found = m_cacheSchemes.find(viewId);
    return found != m_cacheSchemes.end() ? found->second : m_cacheSchemes.begin()->second;
}

void RVDMDrawStatus::display()
{
    if (std::shared_ptr<RVDMDrawDelegate> d = delegate.lock())
        d->displayModel();
}

int RVDMDrawStatus::currentStep() const
{
    std::shared_ptr<RVDMDrawDelegate> d = delegate.lock();
    return d ? d->currentStep() : 0;
}

QvAuxRender* RVDMDrawStatus::auxRender() const
{
    std::shared_ptr<RVDMDrawDelegate> d = delegate.lock();
    return d ? d->auxRender() : nullptr;
}

void RVDMDrawStatus::ResetForTests()
{
    m_cacheSchemes.clear();
    drawJawType = 0;
    delegate.reset();
}
