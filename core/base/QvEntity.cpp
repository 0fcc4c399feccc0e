// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvEntity.h"

#include <atomic>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvStreamIO.h"

namespace {

constexpr std::int32_t kFirstEntityId = 100;

// Atomic so that an entity made on the main thread while a case loads on the
// work queue cannot tear the counter; the ordering of ids between threads is free.
std::atomic<std::int32_t> g_nextEntityId{kFirstEntityId};

} // namespace

QvEntity::QvEntity() : m_id(NextId()) {}

QvTypeCode QvEntity::GetType() const { return kQvTypeEntity; }

bool QvEntity::IsKindOf(QvTypeCode code) const { return code == kQvTypeEntity || QvObject::IsKindOf(code); }

std::ostream& QvEntity::Write(std::ostream& os, int version) const
{
    QvObject::Write(os, version);
    m_bbox.m_minPoint.Write(os);
    m_bbox.m_maxPoint.Write(os);
    qvio::WriteI32(os, m_id);
    return os;
}

bool QvEntity::Read(std::istream& is, int version, QvModel* model)
{
    // Read into a scratch copy so that a short record changes nothing.
    QvObject state;
    QvPoint minPoint;
    QvPoint maxPoint;
    std::int32_t id = 0;
    if (!state.QvObject::Read(is, version, model) || !minPoint.Read(is) || !maxPoint.Read(is) ||
        !qvio::ReadI32(is, id))
        return false;
    m_state = state.m_state;
    m_bbox.m_minPoint = minPoint;
    m_bbox.m_maxPoint = maxPoint;
    m_id = id;
    return true;
}

void QvEntity::UpdateBBox() {}

std::int32_t QvEntity::NextId() { return g_nextEntityId.fetch_add(1, std::memory_order_relaxed); }

std::int32_t QvEntity::PeekNextId() { return g_nextEntityId.load(std::memory_order_relaxed); }

void QvEntity::SetNextId(std::int32_t value)
{
    g_nextEntityId.store(value > kFirstEntityId ? value : kFirstEntityId, std::memory_order_relaxed);
}

bool QvEntity::IsHitByLine(const QvLine& ray, const QvMatrix& placement) const
{
    const std::int32_t n = placement.Rows();
    QvMatrix inverse(placement);
    if ((n == 3 || n == 4) && placement.Cols() == n && inverse.Invert())
    {
        const QvPoint point = inverse * ray.m_point;
        const QvVector direction = inverse * ray.m_direction;
        return !m_bbox.IsLineOutside(QvLine(point, direction));
    }
    return !m_bbox.IsLineOutside(ray);
}

bool QvEntity::IsHitByLine(const QvLine& ray) const { return !m_bbox.IsLineOutside(ray); }
