// SPDX-License-Identifier: GPL-3.0-or-later
// A curve drawn as a solid tube: a circle swept along a B-spline, kept as a mesh and
// drawn from its vertex buffers. Never picked.
#pragma once

#include <cstdint>

#include "core/render/aux/QvAuxObject.h"

class QvBSplineCurve;
class QvMesh;

class QvAuxPipeLine : public QvAuxObject
{
public:
    QvAuxPipeLine();
    explicit QvAuxPipeLine(QvBSplineCurve* curve);
    // Needs the GL context current when a tube exists (its buffers go).
    ~QvAuxPipeLine() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Replaces the tube by one along the curve (the caller keeps the curve); the old
    // tube's buffers leave the vertex-buffer manager before it is deleted. Null or a
    // failed sweep leaves no tube.
    void SetCurve(QvBSplineCurve* curve);
    void ClearMesh();

    // 0: 0.2, 1: 0.15, else 0.05.
    static double TubeRadius(std::int32_t style);
    // 0: 0.05, 1: 0.01, else 0.002.
    static double SampleStep(std::int32_t mode);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override { Draw(view); }

    QvMesh* m_pMesh = nullptr;
    std::int32_t m_tubeStyle = 2;
    std::int32_t m_stepMode = 1;

protected:
    void DrawPass(QvView* view, std::int32_t pass) override;
};
