// SPDX-License-Identifier: GPL-3.0-or-later
// The upper or the lower jaw: the side every tooth and gum asks for, and a frame.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvJawLink.h"

class QvJaw : public QvMesh
{
public:
    QvJaw();
    // Copies mesh, side, frame and labels; the parts bound to the source stay with it.
    QvJaw(const QvJaw& other);
    QvJaw& operator=(const QvJaw& other);
    // Clears every link still bound to this jaw.
    ~QvJaw() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Slot 4 is the plain mesh form (inherited); slot 5 reads the full form that
    // WriteFull writes: text mesh, frame, side byte, one int32 label per vertex.
    // False on a short stream; the jaw is then unchanged. Clears the selected bit.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // Mesh, frame, side byte, then one int32 per label (no count).
    virtual std::ostream& WriteFull(std::ostream& os, int version) const;

    // Case-document record: int32 id, side byte, frame (101 bytes). The version is not used.
    std::ostream& WriteRecord(std::ostream& os, int version) const;
    // False on a short stream; the jaw is then unchanged.
    [[nodiscard]] bool ReadRecord(std::istream& is);

    // The mesh, then the frame (an unset frame too: its zero axes stay zero).
    void Transform(const QvMatrix& matrix) override;

    bool IsUpper() const { return m_bUpper; }
    void SetUpper(bool upper) { m_bUpper = upper; }
    const QvFrame* GetFrame() const { return &m_frame; }
    void SetFrame(const QvFrame& frame) { m_frame = frame; }
    // One label -1 per vertex, replacing the list; nothing for a mesh without vertices.
    void InitLabels();

    bool m_bUpper = true;
    QvFrame m_frame;
    std::vector<std::int32_t> m_labels;

private:
    friend class QvJawLink;
    // Every link bound to this jaw (not owned). Teeth may be copied on worker tasks
    // (gap computation), so binding and unbinding are serialised.
    std::vector<QvJawLink*> m_links;
    std::mutex m_linksMutex;
};
