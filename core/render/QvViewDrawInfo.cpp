// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvViewDrawInfo.h"

#include "core/geometry/QvPlane.h"

QvViewDrawInfo::QvViewDrawInfo() = default;

QvViewDrawInfo::QvViewDrawInfo(const QvViewDrawInfo& other)
    : m_placements(other.m_placements), m_pUpperGum(other.m_pUpperGum), m_pLowerGum(other.m_pLowerGum),
      m_step(other.m_step), m_hidden(other.m_hidden)
{
    m_clipPlanes.reserve(other.m_clipPlanes.size());
    for (const QvPlane* plane : other.m_clipPlanes)
        m_clipPlanes.push_back(new QvPlane(*plane));
}

QvViewDrawInfo& QvViewDrawInfo::operator=(const QvViewDrawInfo& other)
{
    if (this == &other)
        return *this;
    // Copy the planes first so that a failed allocation leaves this one as it was.
    std::vector<QvPlane*> planes;
    planes.reserve(other.m_clipPlanes.size());
    try
    {
        for (const QvPlane* plane : other.m_clipPlanes)
            planes.push_back(new QvPlane(*plane));
    }
    catch (...)
    {
        for (QvPlane* plane : planes)
            delete plane;
        throw;
    }
    m_placements = other.m_placements;
    m_pUpperGum = other.m_pUpperGum;
    m_pLowerGum = other.m_pLowerGum;
    m_step = other.m_step;
    m_hidden = other.m_hidden;
    ClearClipPlanes();
    m_clipPlanes = std::move(planes);
    return *this;
}

QvViewDrawInfo::~QvViewDrawInfo() { ClearClipPlanes(); }

void QvViewDrawInfo::Reset()
{
    m_placements.clear();
    m_pUpperGum = nullptr;
    m_pLowerGum = nullptr;
    m_step = -1;
}

void QvViewDrawInfo::ShowAllEntities() { m_hidden.clear(); }

QvViewDrawInfo::MatrixMap& QvViewDrawInfo::GetEntityMatrices(QvEntity* entity) { return m_placements[entity]; }

const QvViewDrawInfo::MatrixMap* QvViewDrawInfo::FindEntityMatrices(const QvEntity* entity) const
{
    const auto it = m_placements.find(const_cast<QvEntity*>(entity));
    return it == m_placements.end() ? nullptr : &it->second;
}

const QvViewDrawInfo::Entry* QvViewDrawInfo::FindEntityMatrix(QvEntity* entity, bool ghost) const
{
    const MatrixMap* matrices = FindEntityMatrices(entity);
    if (matrices == nullptr)
        return nullptr;
    const auto it = matrices->find(ghost); // the first of equal keys
    return it == matrices->end() ? nullptr : &*it;
}

void QvViewDrawInfo::SetEntityMatrix(QvEntity* entity, const QvMatrix& matrix, bool ghost)
{
    MatrixMap& matrices = m_placements[entity];
    const auto it = matrices.find(ghost);
    if (it != matrices.end())
        it->second = matrix;
    else
        matrices.emplace(ghost, matrix);
}

bool QvViewDrawInfo::RemoveEntityMatrix(QvEntity* entity, bool ghost)
{
    const auto entry = m_placements.find(entity);
    if (entry == m_placements.end())
        return true;
    const auto it = entry->second.find(ghost);
    if (it != entry->second.end())
        entry->second.erase(it);
    return true;
}

bool QvViewDrawInfo::ClearEntityMatrices(QvEntity* entity)
{
    m_placements.erase(entity);
    return true;
}

void QvViewDrawInfo::SetGums(QvGum* upper, QvGum* lower)
{
    m_pUpperGum = upper;
    m_pLowerGum = lower;
}

void QvViewDrawInfo::HideEntity(QvEntity* entity) { m_hidden.insert(entity); }

void QvViewDrawInfo::HideEntities(const std::vector<QvEntity*>& entities)
{
    m_hidden.insert(entities.begin(), entities.end());
}

void QvViewDrawInfo::ShowEntity(QvEntity* entity) { m_hidden.erase(entity); }

void QvViewDrawInfo::ShowEntities(const std::vector<QvEntity*>& entities)
{
    for (QvEntity* entity : entities)
        m_hidden.erase(entity);
}

bool QvViewDrawInfo::IsEntityHidden(const QvEntity* entity) const
{
    return m_hidden.count(const_cast<QvEntity*>(entity)) != 0;
}

bool QvViewDrawInfo::IsAllHidden(const std::set<QvEntity*>& entities) const
{
    if (entities.empty() || m_hidden.empty())
        return false;
    for (QvEntity* entity : entities)
        if (m_hidden.count(entity) == 0)
            return false;
    return true;
}

void QvViewDrawInfo::SetClipPlane(const QvPlane* plane)
{
    // Copy before clearing: the argument may be one of our own planes.
    QvPlane* copy = plane != nullptr ? new QvPlane(*plane) : nullptr;
    ClearClipPlanes();
    if (copy != nullptr)
        m_clipPlanes.push_back(copy);
}

bool QvViewDrawInfo::AddClipPlane(const QvPlane& plane)
{
    if (m_clipPlanes.size() >= kMaxClipPlanes)
        return false;
    m_clipPlanes.reserve(m_clipPlanes.size() + 1);
    m_clipPlanes.push_back(new QvPlane(plane));
    return true;
}

void QvViewDrawInfo::ClearClipPlanes()
{
    for (QvPlane* plane : m_clipPlanes)
        delete plane;
    m_clipPlanes.clear();
}
