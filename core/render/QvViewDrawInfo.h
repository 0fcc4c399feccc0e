// SPDX-License-Identifier: GPL-3.0-or-later
// What one view shows beyond the case model: extra placements (some of them
// translucent ghost copies), hidden entities, the gums of the shown step and the
// section clip planes. It points into the model and owns only its planes.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/geometry/QvMatrix.h"

class QvEntity;
class QvGum;
class QvPlane;

class QvViewDrawInfo
{
public:
    // Placements of one entity: ghost flag to 4 x 4 matrix, normal ones first, then
    // insertion order.
    using MatrixMap = std::multimap<bool, QvMatrix>;
    using Entry = std::pair<const bool, QvMatrix>;

    static constexpr std::size_t kMaxClipPlanes = 5;

    QvViewDrawInfo();
    // Deep copies: the planes are copied, the entities and gums shared.
    QvViewDrawInfo(const QvViewDrawInfo& other);
    QvViewDrawInfo& operator=(const QvViewDrawInfo& other);
    virtual ~QvViewDrawInfo();

    // Drops the placements and both gums, step -1; hidden set and clip planes stay.
    void Reset();
    void ShowAllEntities();

    // The entity's placements, created empty on first use. Empty: the entity is drawn
    // once at its own position.
    MatrixMap& GetEntityMatrices(QvEntity* entity);
    // The entity's placements, or null when it has no entry (nothing is created).
    const MatrixMap* FindEntityMatrices(const QvEntity* entity) const;
    // The first placement with that ghost flag, or null.
    const Entry* FindEntityMatrix(QvEntity* entity, bool ghost) const;
    // Replaces the first placement with that ghost flag, or adds one.
    void SetEntityMatrix(QvEntity* entity, const QvMatrix& matrix, bool ghost);
    // Erases the first placement with that ghost flag; nothing else changes. True.
    bool RemoveEntityMatrix(QvEntity* entity, bool ghost);
    // Erases every placement of the entity. True.
    bool ClearEntityMatrices(QvEntity* entity);
    const std::map<QvEntity*, MatrixMap>& GetAllEntityMatrices() const { return m_placements; }

    void SetGums(QvGum* upper, QvGum* lower);
    QvGum* GetGum(bool upper) const { return upper ? m_pUpperGum : m_pLowerGum; }

    void HideEntity(QvEntity* entity);
    void HideEntities(const std::vector<QvEntity*>& entities);
    void ShowEntity(QvEntity* entity);
    void ShowEntities(const std::vector<QvEntity*>& entities);
    bool IsEntityHidden(const QvEntity* entity) const;
    // False for an empty set or while nothing is hidden; true when every entity of the set is hidden.
    bool IsAllHidden(const std::set<QvEntity*>& entities) const;
    const std::set<QvEntity*>& GetHiddenEntities() const { return m_hidden; }

    // Replaces every plane by a copy of this one; null only removes them.
    void SetClipPlane(const QvPlane* plane);
    // Appends a copy; false (and nothing added) when five planes are set already.
    bool AddClipPlane(const QvPlane& plane);
    void ClearClipPlanes();
    const std::vector<QvPlane*>& GetClipPlanes() const { return m_clipPlanes; }

    std::int32_t GetStep() const { return m_step; }
    void SetStep(std::int32_t step) { m_step = step; }

    std::map<QvEntity*, MatrixMap> m_placements;
    QvGum* m_pUpperGum = nullptr;
    QvGum* m_pLowerGum = nullptr;
    std::int32_t m_step = -1;
    std::set<QvEntity*> m_hidden;
    std::vector<QvPlane*> m_clipPlanes; // owned, at most five
};
