// SPDX-License-Identifier: GPL-3.0-or-later
// The Power shape: a standard geometry of two separate parts. The part holding face 0
// stays the geometry's own mesh; the other is drawn moved along and turned about its
// own frame by the placed attachment's offset and angle.
#pragma once

#include <memory>

#include "core/design/QvAttachGeoStd.h"

class QvAttachGeoStdPower : public QvAttachGeoStd
{
public:
    QvAttachGeoStdPower() = default;
    // Copies the second mesh too, so the copy owns one of its own.
    QvAttachGeoStdPower(const QvAttachGeoStdPower& other);
    ~QvAttachGeoStdPower() override;

    // Answers as the CZ shape to the scene machinery.
    QvTypeCode GetType() const override { return kQvTypeAttachGeoStdCZ; }
    bool IsKindOf(QvTypeCode code) const override { return qvattach::IsKindOfCode(kQvTypeAttachGeoStdCZ, code); }
    std::string GetClassName() const override { return "QvAttachGeoStdPower"; }
    int GetKindCode() const override { return kQvAttachKindPower; }

    std::ostream& Write(std::ostream& os, int version) const override;
    // The standard form, the three doubles, then SplitParts. False when any of it fails
    // to read; the geometry is then to be discarded.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Keeps the edge-connected part holding face 0 as this mesh and makes the next part
    // the second mesh, with its frame at that part's centre and the standard frame's
    // X and Y axes. A mesh of a single part keeps all its faces and gets no second mesh
    // (the second frame is then left as it was).
    void SplitParts();

    QvMesh* GetSecondMesh() const { return m_pSecondMesh.get(); }

    double m_dAngle = 0.0; // degrees
    double m_dSecondValue = 0.5;
    double m_dOffsetValue = 0.2;
    std::unique_ptr<QvMesh> m_pSecondMesh;
    QvFrame m_secondFrame;
};
