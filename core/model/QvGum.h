// SPDX-License-Identifier: GPL-3.0-or-later
// The gingiva mesh of one jaw.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/model/QvJawLink.h"

class QvJaw;

class QvGum : public QvMesh
{
public:
    QvGum() = default;
    // Mesh part (the copy is marked modified), jaw, flag, value and vertex list.
    QvGum(const QvGum& other) = default;
    QvGum& operator=(const QvGum& other) = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Oldest family: mesh, int32 jaw id, flag byte and, up to version 259, the list.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Up to version 259 reads what Write writes; 260 and later read nothing and
    // answer false. False on a short stream, the gum then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Case-document record: int32 id, int32 jaw id (-1 without jaw). No mesh.
    std::ostream& WriteRecord(std::ostream& os, int version) const;
    // Binds the jaw by id (null when none). False on a short stream, gum unchanged.
    [[nodiscard]] bool ReadRecord(std::istream& is, int version, QvModel* model);

    // Dental-model form: text mesh (an empty one up to 2053), int32 id, int32 jaw id.
    std::ostream& WriteModel(std::ostream& os, int version) const;
    // Up to 2053 the stored mesh replaces only the mesh data (the gum keeps the id
    // stored after the mesh); from 2054 the gum's own mesh with its entity part.
    // False on a short or broken stream; the gum is then unchanged.
    // With pending, a gum that takes its own mesh leaves the faces out and lists them
    // there, for InsertPendingFaces.
    [[nodiscard]] bool ReadModel(std::istream& is, int version, QvModel* model,
                                 std::vector<QvPendingFaces>* pending = nullptr);

    QvJaw* GetJaw() const { return m_jaw.Get(); }
    void SetJaw(QvJaw* jaw) { m_jaw.Reset(jaw); }
    bool HasJaw() const { return m_jaw.Get() != nullptr; }
    // The jaw's side; a gum without a jaw belongs to neither side and answers false.
    bool IsUpper() const;

    bool GetFlag() const { return m_bFlag; }
    void SetFlag(bool flag) { m_bFlag = flag; }
    const std::vector<std::int32_t>& GetVertexList() const { return m_vertexList; }
    void SetVertexList(const std::vector<std::int32_t>& list) { m_vertexList = list; }
    double GetValue() const { return m_value; }
    void SetValue(double value) { m_value = value; }

    QvJawLink m_jaw;
    bool m_bFlag = false;
    std::vector<std::int32_t> m_vertexList;
    double m_value = 0.0;
};
