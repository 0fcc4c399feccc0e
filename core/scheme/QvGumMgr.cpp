// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvGumMgr.h"

#include "core/model/QvGum.h"

QvGumMgr::QvGumMgr() = default;

QvGumMgr& QvGumMgr::operator=(const QvGumMgr& other)
{
    m_upperFrame = other.m_upperFrame;
    m_lowerFrame = other.m_lowerFrame;
    return *this;
}

QvGumMgr::~QvGumMgr() { Clear(); }

void QvGumMgr::Clear()
{
    for (QvGumEntry& entry : m_entries)
    {
        delete entry.m_pUpper;
        entry.m_pUpper = nullptr;
        delete entry.m_pLower;
        entry.m_pLower = nullptr;
    }
    m_entries.clear();
}

void QvGumMgr::SetGumFrame(const QvFrame& frame, bool upper)
{
    if (upper)
        m_upperFrame = frame;
    else
        m_lowerFrame = frame;
}

QvGum* QvGumMgr::FindGum(int step, bool upper) const
{
    for (const QvGumEntry& entry : m_entries)
        if (entry.m_nStep == step)
            return upper ? entry.m_pUpper : entry.m_pLower;
    return nullptr;
}

void QvGumMgr::AddGums(const QvGumEntry& entry) { m_entries.push_back(entry); }

void QvGumMgr::KeepStepZero()
{
    std::size_t kept = m_entries.size();
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].m_nStep == 0)
            kept = i;
    QvGumEntry keptEntry{nullptr, nullptr, -1};
    for (std::size_t i = 0; i < m_entries.size(); ++i)
    {
        if (i == kept)
        {
            keptEntry = m_entries[i];
            continue;
        }
        delete m_entries[i].m_pUpper;
        delete m_entries[i].m_pLower;
    }
    m_entries.assign(1, keptEntry);
}
