// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvSchemeMgr.h"

#include <algorithm>
#include <istream>
#include <memory>
#include <ostream>

#include "core/base/QvText.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvScheme.h"

namespace {

// The smallest case-document section: three empty texts, the integer, the empty
// tooth sets, step and attachment lists, the kind pair and five absent records.
constexpr std::uint64_t kMinSectionBytes = 60;
// The smallest stand-alone body of the older family (513 with no step lists).
constexpr std::uint64_t kMinOldBodyBytes = 14;
constexpr int kOldFirstFormLast = 513;
constexpr int kOldSecondFormLast = 517;
constexpr std::int32_t kMaxOldGroupName = 200;

} // namespace

QvSchemeMgr::QvSchemeMgr() { ResetGroups(); }

QvSchemeMgr::~QvSchemeMgr() { Clear(); }

const std::string& QvSchemeMgr::DoctorGroupName()
{
    static const std::string name = Gb18030FromUtf8("医生方案");
    return name;
}

const std::string& QvSchemeMgr::ExpertGroupName()
{
    static const std::string name = Gb18030FromUtf8("专家方案");
    return name;
}

void QvSchemeMgr::ResetGroups()
{
    m_groups.clear();
    m_groups.push_back(QvSchemeGroup{DoctorGroupName(), {}});
    m_groups.push_back(QvSchemeGroup{ExpertGroupName(), {}});
}

void QvSchemeMgr::Clear()
{
    for (QvScheme* scheme : m_schemes)
        delete scheme;
    m_schemes.clear();
    ResetGroups();
    m_nCurIndex = -1;
    m_nCompareIndex = -1;
}

bool QvSchemeMgr::IsExtractedInCurrentScheme(const QvTooth* tooth) const
{
    const QvScheme* scheme = GetCurScheme();
    return scheme && scheme->IsExtracted(tooth);
}

void QvSchemeMgr::AppendCurrentVirtualTeeth(std::vector<QvEntity*>& out) const
{
    if (const QvScheme* scheme = GetCurScheme())
        for (QvToothBase* tooth : scheme->GetVirtualTeeth())
            out.push_back(tooth);
}

QvScheme* QvSchemeMgr::SchemeAtIndex(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_schemes.size()))
        return nullptr;
    return m_schemes[static_cast<std::size_t>(index)];
}

int QvSchemeMgr::IndexAt(int row, int col) const
{
    if (row < 0 || row >= static_cast<int>(m_groups.size()))
        return -1;
    const std::vector<int>& indices = m_groups[static_cast<std::size_t>(row)].indices;
    if (col < 0 || col >= static_cast<int>(indices.size()))
        return -1;
    return indices[static_cast<std::size_t>(col)];
}

void QvSchemeMgr::SetCurScheme(int row, int col)
{
    const int index = IndexAt(row, col);
    if (index >= 0)
        m_nCurIndex = index;
}

bool QvSchemeMgr::IsCurScheme(int row, int col) const
{
    const int index = IndexAt(row, col);
    return index >= 0 && index == m_nCurIndex;
}

QvScheme* QvSchemeMgr::GetScheme(int row, int col) const { return SchemeAtIndex(IndexAt(row, col)); }

QvSchemeMgr* QvSchemeMgr::AddScheme(int group, QvScheme* scheme, bool makeCurrent)
{
    if (!scheme || group < 0 || group > static_cast<int>(m_groups.size()))
        return nullptr;
    if (group == static_cast<int>(m_groups.size()))
        m_groups.push_back(QvSchemeGroup{});
    m_schemes.push_back(scheme);
    const int index = static_cast<int>(m_schemes.size()) - 1;
    m_groups[static_cast<std::size_t>(group)].indices.push_back(index);
    if (makeCurrent)
        m_nCurIndex = index;
    return this;
}

QvScheme* QvSchemeMgr::CreateScheme(int group, const std::string& name, bool initSteps, bool makeCurrent)
{
    auto scheme = std::make_unique<QvScheme>();
    scheme->SetName(name);
    scheme->SetModel(m_pModel);
    if (initSteps)
        scheme->CreateInitialSteps();
    if (!AddScheme(group, scheme.get(), makeCurrent))
        return nullptr;
    return scheme.release();
}

void QvSchemeMgr::RemoveScheme(QvScheme* scheme)
{
    for (std::size_t row = 0; row < m_groups.size(); ++row)
    {
        const std::vector<int>& indices = m_groups[row].indices;
        for (std::size_t col = 0; col < indices.size(); ++col)
            if (SchemeAtIndex(indices[col]) == scheme)
            {
                RemoveSchemeAt(static_cast<int>(row), static_cast<int>(col));
                return;
            }
    }
}

void QvSchemeMgr::RemoveSchemeAt(int row, int col)
{
    const int index = IndexAt(row, col);
    if (index < 0)
        return;
    std::vector<int>& indices = m_groups[static_cast<std::size_t>(row)].indices;
    indices.erase(indices.begin() + col);
    if (index < static_cast<int>(m_schemes.size()))
    {
        delete m_schemes[static_cast<std::size_t>(index)];
        m_schemes.erase(m_schemes.begin() + index);
    }
    if (m_nCurIndex >= index)
        --m_nCurIndex;
    // A comparison with the removed scheme ends; otherwise it follows its scheme.
    if (m_nCompareIndex == index)
        m_nCompareIndex = -1;
    else if (m_nCompareIndex > index)
        --m_nCompareIndex;
    for (QvSchemeGroup& group : m_groups)
        for (int& i : group.indices)
            if (i > index)
                --i;
}

void QvSchemeMgr::RenameGroup(int row, const std::string& name)
{
    if (row >= 0 && row < static_cast<int>(m_groups.size()))
        m_groups[static_cast<std::size_t>(row)].name = name;
}

void QvSchemeMgr::RenameScheme(int row, int col, const std::string& name)
{
    if (QvScheme* scheme = GetScheme(row, col))
        scheme->SetName(name);
}

void QvSchemeMgr::RemoveGroup(int row)
{
    if (row < 0 || row >= static_cast<int>(m_groups.size()))
        return;
    for (int col = static_cast<int>(m_groups[static_cast<std::size_t>(row)].indices.size()) - 1; col >= 0; --col)
        RemoveSchemeAt(row, col);
    m_groups.erase(m_groups.begin() + row);
}

QvScheme* QvSchemeMgr::CopyScheme(int row, int col, const std::string& name, int group)
{
    const QvScheme* source = GetScheme(row, col);
    if (!source)
        return nullptr;
    QvScheme* copy = CreateScheme(group, name, true, true);
    if (!copy)
        return nullptr;
    copy->CopyFrom(*source, true);
    copy->SetName(name);
    return copy;
}

// ---- Case document ---------------------------------------------------------------

void QvSchemeMgr::Write(std::ostream& os, int version) const
{
    const QvScheme* current = GetCurScheme();
    if (!current)
    {
        qvio::WriteI32(os, 0);
        return;
    }
    qvio::WriteI32(os, 1);
    current->WriteDocument(os, version);
}

bool QvSchemeMgr::Read(std::istream& is, int version, QvModel* model)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kMinSectionBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto scheme = std::make_unique<QvScheme>();
        if (!scheme->ReadDocument(is, version, model))
            return false;
        // Group 0 names only schemes that exist, also when a later one fails.
        AddScheme(0, scheme.release(), false);
    }
    m_nCurIndex = static_cast<int>(m_schemes.size()) - 1;
    return true;
}

bool QvSchemeMgr::ReadOldSchemes(std::istream& is, int version, QvModel* model)
{
    std::int32_t current = 0;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, current) || !qvio::ReadI32(is, count) || !qvio::CountFits(is, count, kMinOldBodyBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto scheme = std::make_unique<QvScheme>();
        if (!scheme->Read(is, version, model))
            return false;
        AddScheme(0, scheme.release(), false);
    }
    return true;
}

bool QvSchemeMgr::ReadOldForm(std::istream& is, int version, QvModel* model)
{
    if (version > kOldSecondFormLast)
        return false;
    bool ok = ReadOldSchemes(is, version, model);
    if (ok && version > kOldFirstFormLast)
    {
        std::int32_t groups = 0;
        ok = qvio::ReadI32(is, groups) && qvio::CountFits(is, groups, 8);
        std::vector<int> added;
        for (std::int32_t g = 0; ok && g < groups; ++g)
        {
            std::int32_t length = 0;
            std::int32_t n = 0;
            ok = qvio::ReadI32(is, length) && length >= 0 && length <= kMaxOldGroupName;
            // The names of this form are not kept.
            if (ok)
            {
                is.ignore(length);
                ok = is.gcount() == length && qvio::ReadI32(is, n) && qvio::CountFits(is, n, 4);
            }
            for (std::int32_t k = 0; ok && k < n; ++k)
            {
                std::int32_t index = 0;
                ok = qvio::ReadI32(is, index) && SchemeAtIndex(index) != nullptr;
                if (ok)
                    added.push_back(index);
            }
        }
        if (ok)
            m_groups[0].indices.insert(m_groups[0].indices.end(), added.begin(), added.end());
        else
            is.setstate(std::ios::failbit);
    }
    m_nCurIndex = -1;
    return ok;
}

bool QvSchemeMgr::ReadGroups(std::istream& is, int /*version*/)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 8))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<QvSchemeGroup> read;
    for (std::int32_t g = 0; g < count; ++g)
    {
        QvSchemeGroup group;
        std::int32_t n = 0;
        if (!qvio::ReadString(is, group.name) || group.name.size() > static_cast<std::size_t>(kMaxOldGroupName) ||
            !qvio::ReadI32(is, n) || !qvio::CountFits(is, n, 4))
        {
            is.setstate(std::ios::failbit);
            return false;
        }
        for (std::int32_t k = 0; k < n; ++k)
        {
            std::int32_t index = 0;
            if (!qvio::ReadI32(is, index) || !SchemeAtIndex(index))
            {
                is.setstate(std::ios::failbit);
                return false;
            }
            group.indices.push_back(index);
        }
        read.push_back(std::move(group));
    }
    for (std::size_t g = 0; g < read.size(); ++g)
    {
        if (g < m_groups.size())
            m_groups[g] = std::move(read[g]);
        else
            m_groups.push_back(std::move(read[g]));
    }
    return true;
}

// ---- Model access ----------------------------------------------------------------

QvSchemeMgr* QvGetSchemeMgr(const QvModel& model) { return dynamic_cast<QvSchemeMgr*>(model.GetSchemes()); }

QvSchemeMgr& QvEnsureSchemeMgr(QvModel& model)
{
    if (QvSchemeMgr* mgr = QvGetSchemeMgr(model))
        return *mgr;
    auto mgr = std::make_unique<QvSchemeMgr>();
    mgr->SetModel(&model);
    QvSchemeMgr& result = *mgr;
    model.SetSchemes(std::move(mgr));
    return result;
}
