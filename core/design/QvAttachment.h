// SPDX-License-Identifier: GPL-3.0-or-later
// An attachment placed on a tooth for a range of treatment steps. It refers to a
// geometry by the library name: shared kinds use the library template itself, owned
// kinds (pressure spot, pressure zone, cut instruction) hold a copy built on the tooth
// from the picked vertices and the three parameters, and delete it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/base/QvEntity.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"

class QvAttachGeo;
class QvModel;
class QvToothBase;

// Attachment record forms by the enclosing file's version word.
inline constexpr int kQvAttachRecordNone = 0;
inline constexpr int kQvAttachRecordForm1 = 1; // name, placement, steps, parameters
inline constexpr int kQvAttachRecordForm2 = 2; // + picked vertices
inline constexpr int kQvAttachRecordForm3 = 3; // + Power offset and angle

class QvAttachment : public QvEntity
{
public:
    QvAttachment();
    // With that geometry (shared, or owned when its kind is owned); pressure spots get
    // parameters (1, 1, 1), pressure zones (1.8, 0.2, 0.25), Power geometries their
    // offset value as Power offset.
    explicit QvAttachment(QvAttachGeo* geo);
    // Deletes the geometry when it is owned.
    ~QvAttachment() override;
    QvAttachment(const QvAttachment&) = delete;
    QvAttachment& operator=(const QvAttachment&) = delete;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // The record form of a version word; kQvAttachRecordNone when there is none.
    static int GetRecordForm(int version);

    // Reads the record of the version's form. False, with the attachment unchanged, for
    // a version without a form, a failed stream, a truncated record or a negative or
    // oversized length or count. Otherwise the geometry is looked up in the library by
    // name (null when the library has none) and an owned one is built on the tooth,
    // which must be set before; a failed build keeps the template's mesh.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // Writes the record of the version's form; nothing for a version without one. An
    // attachment whose geometry was not found keeps the name it was read with.
    void WriteRecord(std::ostream& os, int version) const;

    // Makes this a copy of other: box and state (not the id), placement, steps, tooth,
    // parameters, picked vertices and the Power values; the geometry again from the
    // library by name (owned kinds a fresh copy carrying other's built mesh).
    void CopyFrom(const QvAttachment& other);

    bool IsInStep(int step) const { return m_nFirstStep <= step && step <= m_nLastStep; }
    // The geometry's frame moved by the placement; a default frame without geometry.
    QvFrame GetWorldFrame() const;
    // The matrix that draws the second part of a Power geometry: a move along the
    // second frame's Y axis by offset / sin(geometry angle) (none when that sine is
    // zero) after a turn by the Power angle about the frame's Z axis. The identity when
    // the geometry is not a Power geometry.
    void GetDrawMatrix(QvMatrix& out) const;
    // The geometry's box, untransformed; nothing without geometry.
    void UpdateBBox() override;

    QvAttachGeo* GetGeometry() const { return m_pGeo; }
    // Replaces the geometry (deleting an owned old one) and updates the box.
    void SetGeometry(QvAttachGeo* geo);
    // The name the record holds: the geometry's, or the one read without a match.
    std::string GetGeometryName() const;
    // Whether one more vertex may be picked: pressure zone and cut instruction below
    // their maximum vertex count, a pressure spot with none; never for other kinds.
    bool CanAddVertex() const;
    // Appends the vertex when one may be picked and it is not listed yet.
    bool AddVertex(int vertex);
    // Parameter 0 to 2; 0 for any other index.
    double GetParameter(int index) const;
    // 4 x 4 identity with the lengths of the placement's first three columns on the diagonal.
    QvMatrix GetScaleMatrix() const;
    // The placement as 16 doubles column by column (identity padding for a smaller one).
    void GetPlacementColumns(double out[16]) const;
    // The geometry's value list and second value (empty and 0 without geometry).
    std::vector<std::int32_t> GetValueList() const;
    std::int32_t GetSecondValue() const;
    // Shift the placement along the geometry frame's Z axis so that the lowest (or
    // highest) extent of the geometry's vertices along that axis lies at the frame's
    // origin. Nothing without geometry or vertices.
    void AlignBottomToFrame();
    void AlignTopToFrame();

    QvAttachGeo* m_pGeo = nullptr;
    QvMatrix m_matrix;
    std::int32_t m_nFirstStep = 0;
    std::int32_t m_nLastStep = 0;
    QvToothBase* m_pTooth = nullptr;
    double m_params[3] = {1.0, 1.0, 1.0};
    std::vector<std::int32_t> m_vertices;
    std::int32_t m_nReserved = -1;
    double m_dPowerOffset = 0.0;
    double m_dPowerAngle = 0.0; // degrees

private:
    void ReleaseGeometry();
    void ShiftAlongFrameZ(bool bottom);

    // Kept only while no geometry matched it, so that saving does not lose it.
    std::string m_unresolvedName;
};
