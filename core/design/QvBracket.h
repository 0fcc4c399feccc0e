// SPDX-License-Identifier: GPL-3.0-or-later
// A bracket placed on a tooth: a body of a loaded bracket series, the tooth, a 4 x 4
// placement and a scale. Stored records name the tooth by FDI number and the body by
// name and are bound to both again when read.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/base/QvEntity.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"

class QvBracketGeo;
class QvModel;
class QvTooth;

class QvBracket : public QvEntity
{
public:
    // No body, no tooth, identity placement, scale (1, 1, 1).
    QvBracket();
    explicit QvBracket(QvBracketGeo* geo);
    // Copies go through CopyFrom, which binds the body again by name.
    QvBracket(const QvBracket&) = delete;
    QvBracket& operator=(const QvBracket&) = delete;
    // Body and tooth are not owned.
    ~QvBracket() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Box, state word, placement, tooth and scale; the body becomes the library's body
    // of the source body's name (null when none is loaded), and stays as it is when
    // the source has none. The id is not copied.
    void CopyFrom(const QvBracket& src);

    // The body's frame moved by the placement. Without a body: a default frame, whose
    // zero axes make it invalid (QvFrame::IsValid).
    QvFrame GetWorldFrame() const;
    // With a body: the body's box recomputed and copied (body coordinates, no
    // placement). Without one nothing changes.
    void UpdateBBox() override;

    // FDI number of the tooth (0 without one), the body's name (empty without one),
    // the placement's binary form, the three scale values.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Reads that form; the tooth is the model's tooth of the number (null without a
    // model or such a tooth), the body the library's body of the name upper-cased in
    // its ASCII letters (null when none is loaded). False on a short stream, a negative
    // or oversized name count or a placement that is not 4 x 4; the bracket is then
    // unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Sets the body, then UpdateBBox.
    void SetGeometry(QvBracketGeo* geo);
    // 4 x 4 identity with the lengths of the placement's first three columns on the
    // diagonal.
    QvMatrix GetScaleMatrix() const;
    // The placement column by column: element [r][c] to out[4c + r].
    void GetColumnMajor(double out[16]) const;
    // Scale value i (0 to 2); 0 for any other i.
    double GetScale(int i) const;
    // The body's FDI number; null without a body.
    std::int32_t* GetGeoFdi() const;

    QvBracketGeo* m_pGeo = nullptr;
    QvMatrix m_matrix;
    QvTooth* m_pTooth = nullptr;
    double m_scale[3] = {1.0, 1.0, 1.0};
};

// Upper-cases the single-byte (ASCII) letters of a GB18030 text; the bytes of
// multi-byte characters, whose trail bytes may look like letters, stay as they are.
std::string QvUpperAsciiGb18030(const std::string& text);
