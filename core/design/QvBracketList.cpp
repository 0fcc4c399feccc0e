// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvBracketList.h"

#include <algorithm>
#include <istream>
#include <memory>
#include <ostream>

#include "core/design/QvBracket.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvTooth.h"

namespace {

// FDI number, an empty name, a 4 x 4 matrix with its two counts, three scale values.
constexpr std::uint64_t kMinBracketRecordBytes = 4 + 4 + 8 + 16 * 8 + 3 * 8;

} // namespace

QvBracketList::QvBracketList(const std::vector<QvBracket*>& brackets)
{
    for (QvBracket* b : brackets)
        AddBracket(b);
}

QvBracketList::~QvBracketList() { Clear(); }

void QvBracketList::AddBracket(QvBracket* bracket)
{
    if (bracket && std::find(m_brackets.begin(), m_brackets.end(), bracket) == m_brackets.end())
        m_brackets.push_back(bracket);
}

QvBracket* QvBracketList::FindBracket(const QvToothBase* tooth) const
{
    for (QvBracket* b : m_brackets)
        if (static_cast<const QvToothBase*>(b->m_pTooth) == tooth)
            return b;
    return nullptr;
}

void QvBracketList::RemoveBracket(QvBracket* bracket)
{
    const auto it = std::find(m_brackets.begin(), m_brackets.end(), bracket);
    if (it == m_brackets.end())
        return;
    m_brackets.erase(it);
    delete bracket;
}

void QvBracketList::CopyFrom(const QvBracketList& src)
{
    if (&src == this)
        return;
    Clear();
    for (const QvBracket* source : src.m_brackets)
    {
        auto copy = std::make_unique<QvBracket>();
        copy->CopyFrom(*source);
        if (!copy->m_pGeo)
            continue;
        copy->SetVisible(false);
        m_brackets.push_back(copy.release());
    }
}

void QvBracketList::Clear()
{
    for (QvBracket* b : m_brackets)
        delete b;
    m_brackets.clear();
}

std::ostream& QvBracketList::Write(std::ostream& os, int version) const
{
    qvio::WriteI32(os, static_cast<std::int32_t>(m_brackets.size()));
    for (const QvBracket* b : m_brackets)
        b->Write(os, version);
    return os;
}

bool QvBracketList::Read(std::istream& is, int version, QvModel* model)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, kMinBracketRecordBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<std::unique_ptr<QvBracket>> read;
    read.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto b = std::make_unique<QvBracket>();
        if (!b->Read(is, version, model))
            return false;
        b->SetVisible(false);
        read.push_back(std::move(b));
    }
    for (auto& b : read)
        m_brackets.push_back(b.release());
    return true;
}
