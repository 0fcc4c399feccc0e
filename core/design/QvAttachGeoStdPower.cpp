// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeoStdPower.h"

#include <istream>
#include <map>
#include <ostream>
#include <vector>

#include "core/geometry/QvStreamIO.h"

QvAttachGeoStdPower::QvAttachGeoStdPower(const QvAttachGeoStdPower& other)
    : QvAttachGeoStd(other), m_dAngle(other.m_dAngle), m_dSecondValue(other.m_dSecondValue),
      m_dOffsetValue(other.m_dOffsetValue), m_secondFrame(other.m_secondFrame)
{
    if (other.m_pSecondMesh)
        m_pSecondMesh = std::make_unique<QvMesh>(*other.m_pSecondMesh);
}

QvAttachGeoStdPower::~QvAttachGeoStdPower() = default;

std::ostream& QvAttachGeoStdPower::Write(std::ostream& os, int version) const
{
    if (version > kQvAttachGeoVersion5)
        return os;
    WriteStd(os, version);
    qvio::WriteF64(os, m_dAngle);
    qvio::WriteF64(os, m_dSecondValue);
    qvio::WriteF64(os, m_dOffsetValue);
    return os;
}

bool QvAttachGeoStdPower::Read(std::istream& is, int version, QvModel* model)
{
    if (!ReadStd(is, version, model))
        return false;
    double angle = 0.0;
    double second = 0.0;
    double offset = 0.0;
    if (!qvio::ReadF64(is, angle) || !qvio::ReadF64(is, second) || !qvio::ReadF64(is, offset))
        return false;
    m_dAngle = angle;
    m_dSecondValue = second;
    m_dOffsetValue = offset;
    SplitParts();
    return true;
}

void QvAttachGeoStdPower::SplitParts()
{
    const int faceCount = static_cast<int>(m_faces.size());
    if (faceCount == 0)
        return;
    std::vector<int> all(static_cast<std::size_t>(faceCount));
    for (int f = 0; f < faceCount; ++f)
        all[static_cast<std::size_t>(f)] = f;
    std::vector<std::vector<int>> parts;
    SplitFaceComponents(all, parts);
    if (parts.size() < 2)
        return;

    std::map<int, int> newToOld;
    std::unique_ptr<QvMesh> mainPart = ExtractFaces(parts[0], newToOld);
    newToOld.clear();
    std::unique_ptr<QvMesh> otherPart = ExtractFaces(parts[1], newToOld);
    if (!mainPart || !otherPart)
        return;

    // Elements only: this geometry keeps its colours and recomputes its box.
    m_vertices = std::move(mainPart->m_vertices);
    m_edges = std::move(mainPart->m_edges);
    m_faces = std::move(mainPart->m_faces);
    if (m_colors.size() != m_vertices.size())
        m_colors.clear();
    m_bModified = true;
    UpdateFaceNormals();
    UpdateBBox();

    otherPart->UpdateFaceNormals();
    otherPart->UpdateBBox();
    otherPart->m_bModified = true;

    m_secondFrame.m_centre = otherPart->GetCenter();
    m_secondFrame.SetAxes(m_frame.m_dirX, m_frame.m_dirY);
    m_pSecondMesh = std::move(otherPart);
}
