// SPDX-License-Identifier: GPL-3.0-or-later
// Scene objects that the case model lists: an id from the process-wide entity
// counter and a bounding box.
#pragma once

#include <cstdint>

#include "core/base/QvObject.h"
#include "core/geometry/QvBBox.h"

class QvLine;
class QvMatrix;

class QvEntity : public QvObject
{
public:
    // Draws the next id from the entity counter.
    QvEntity();
    // Copies share the source's id: no id is drawn.
    QvEntity(const QvEntity& other) = default;
    QvEntity& operator=(const QvEntity& other) = default;
    ~QvEntity() override = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // The 56-byte record: state word, box minimum and maximum corners, id.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False when the stream runs short; the entity is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Meshes recompute their box here; a bare entity has nothing to recompute.
    virtual void UpdateBBox();

    std::int32_t GetID() const { return m_id; }
    void SetID(std::int32_t id) { m_id = id; }

    // The counter's value; the counter advances past it.
    static std::int32_t NextId();
    // The id NextId would give now, not drawn.
    static std::int32_t PeekNextId();
    // The counter never goes below 100; SetNextId(100) is also the reset for tests.
    static void SetNextId(std::int32_t value);

    // Picking: whether the infinite line, brought into the entity's own frame by the
    // inverse of its placement, meets the box. A placement that is not an invertible
    // 3 x 3 or 4 x 4 matrix leaves the ray as given.
    bool IsHitByLine(const QvLine& ray, const QvMatrix& placement) const;
    bool IsHitByLine(const QvLine& ray) const;

    std::int32_t m_id;
    QvBBox m_bbox;
};
