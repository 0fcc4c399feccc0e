// SPDX-License-Identifier: GPL-3.0-or-later
// The reference planes of a case, owned by its model: up to one each of the
// mid-sagittal, aesthetic, back boundary and porion-orbitale planes.
//
// Stored as plane slots: int32 flag (1 when present), then the plane's record. The
// version selects the slots (mid-sagittal, back boundary, aesthetic, porion-orbitale):
//   three-plane  mid, back, aesthetic
//   two-plane    mid, aesthetic
//   porion       mid, aesthetic, porion-orbitale
//   legacy       three-plane, then two occlusal-plane and two arch-form slots read and dropped
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvRefPlane.h"

class QvModel;

class QvJawRef
{
public:
    QvJawRef() = default;
    QvJawRef(const QvJawRef&) = delete;
    QvJawRef& operator=(const QvJawRef&) = delete;
    virtual ~QvJawRef();

    // The plane's frame and size; false, outputs unchanged, when it is absent.
    [[nodiscard]] bool GetMiddlePlane(QvFrame& frame, double& size) const;
    [[nodiscard]] bool GetBackBoundaryPlane(QvFrame& frame, double& size) const;
    [[nodiscard]] bool GetBackBoundaryPoints(std::vector<QvPoint>& out) const;
    [[nodiscard]] bool GetMiddlePoints(std::vector<QvPoint>& out) const;
    // The horizontal (porion-orbitale) plane in model coordinates, derived from the
    // aesthetic plane's four points and landmarks 11 and 10 of the model's tracing.
    // False, out unchanged, when a prerequisite is missing or a denominator is zero.
    [[nodiscard]] bool GetViewFrame(const QvModel* model, QvPlane& out) const;

    // The form the version selects (case documents, dental models, old case files). A
    // slot with flag 1 replaces that plane; other flags keep it. False for versions
    // without a form and on a short or damaged stream; the set is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);
    void Write(std::ostream& os, int version) const;
    // The measurement file: the two-plane form whatever the version.
    [[nodiscard]] bool ReadRVM(std::istream& is, int version, QvModel* model);
    void WriteRVM(std::ostream& os, int version) const;

    // Deletes every plane.
    void Clear();

    // Each creates its plane when absent, then sets it.
    void SetBeautyPlane(const QvFrame& frame, const std::vector<QvPoint>& points,
                        const std::vector<QvPoint>& lipPoints, double size);
    void SetMiddlePlane(const QvFrame& frame, const std::vector<QvPoint>& points, double size);
    void SetBackBoundaryPlane(const QvFrame& frame, const std::vector<QvPoint>& points, double size);
    void DeleteBeautyPlane();
    void DeleteBackBoundaryPlane();
    void DeleteMiddlePlane();
    void DeleteOpPlane();
    // False when there is no mid-sagittal plane.
    bool IsMiddlePlaneEqual(const QvMiddlePlane& plane) const;

    // Owned; null while absent.
    QvBeautyPlane* m_pBeautyPlane = nullptr;
    QvBackBoundaryPlane* m_pBackBoundaryPlane = nullptr;
    QvMiddlePlane* m_pMiddlePlane = nullptr;
    QvOpPlane* m_pOpPlane = nullptr;
};
