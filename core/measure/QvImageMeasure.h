// SPDX-License-Identifier: GPL-3.0-or-later
// The root of the 2-D measures a case carries on its photographs and radiographs:
// landmarks placed on an image, from which overlay points, lines and texts are
// derived. Subclasses are chosen by type code through QvImageMeasure::Create.
//
// Positions are image-relative (x in units of the image's width, y of its height);
// only the reference-line operations scale by the image's pixel size.
//
// Records choose their form by the version's family, tested in the order 0x400 (case
// documents), 0x200 (older files), 0x8000 (measurement files). Every Read reads the
// whole record before it changes anything: on a short or damaged stream it answers
// false and the measure is as it was.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/base/QvColor.h"
#include "core/geometry/QvPoint.h"
#include "core/measure/QvImageReference.h"
#include "core/geometry/QvKeyPoint.h"
#include "core/model/QvImage.h"

class QvModel;

// Type codes of the factory.
inline constexpr int kQvMeasureCep = 1;
inline constexpr int kQvMeasureFaceGall = 2;
inline constexpr int kQvMeasureFaceRatio = 3;
inline constexpr int kQvMeasureNoseVerticalLine = 4;
inline constexpr int kQvMeasurePan = 5;
inline constexpr int kQvMeasureBeautyLine = 6;
inline constexpr int kQvMeasureMiddleLine = 7;
inline constexpr int kQvMeasureJawBoneHeights = 8;
inline constexpr int kQvMeasureChinProminence = 9;

// Draw records of the overlay, in image-relative positions.
struct MeasurePoint
{
    QvPoint m_point;
    QvColor m_color;
};

struct MeasureLine
{
    QvPoint m_start;
    QvPoint m_end;
    QvColor m_color{255, 255, 0};
    bool m_bDash = false;
};

struct MeasureText
{
    QvPoint m_origin;
    QvColor m_color;
    std::string m_text;
    // The overlay shows the text with opacity m_nAlpha / 300.
    std::int32_t m_nAlpha = 100;
};

// Which family a version belongs to, tested in the order the records use.
enum class QvMeasureFamily
{
    None,
    CaseDocument, // 0x400
    Older,        // 0x200
    MeasureFile,  // 0x8000
};
QvMeasureFamily QvGetMeasureFamily(int version);

class QvImageMeasure
{
public:
    // No image, type 0, kind 0, no landmarks, empty name, flag false.
    QvImageMeasure();
    virtual ~QvImageMeasure();
    QvImageMeasure(const QvImageMeasure&) = delete;
    // Copies type, kind, landmarks and flag, and the image when the source holds one
    // that is not empty (otherwise the held image stays); never the name.
    QvImageMeasure& operator=(const QvImageMeasure& other);

    // A new measure of the factory's class for the code (a plain measure for any
    // other code); the caller owns it. Never null.
    static QvImageMeasure* Create(int type);

    // ---- Overlay ---------------------------------------------------------------

    // Angle in radians of the reference line in pixels; 0 without an image or line.
    virtual double GetReferenceAngle() const;
    // Each appends to out and never clears it. The base gives one red point per
    // landmark, no lines and no texts.
    virtual void GetPoints(std::vector<MeasurePoint>& out) const;
    virtual void GetLines(std::vector<MeasureLine>& out) const;
    virtual void GetTexts(std::vector<MeasureText>& out) const;
    // Empties the landmark list.
    virtual void Clear();
    // Position of the landmark at index; the origin for an index outside the list.
    virtual QvPoint GetKeyPoint(int index) const;
    // Whether an image is held.
    virtual bool IsComplete() const;

    // ---- Records ---------------------------------------------------------------

    // The record the version selects; nothing (and true) for a version of no family.
    // False when the stream failed.
    virtual bool Write(std::ostream& os, int version) const;
    // The record the version selects. False for a version of no family, a short
    // stream or a bad count; the measure is then unchanged. model is for subclasses.
    [[nodiscard]] virtual bool Read(std::istream& is, int version, QvModel* model);

    // type, kind, int32 name length 0, int32 count, landmarks.
    bool WriteNamedRecord(std::ostream& os, int version) const;
    // uint8 flag, type, kind, int32 count, landmarks.
    bool WriteFlaggedRecord(std::ostream& os, int version) const;
    // The stored name is skipped (length-checked); m_name keeps its value.
    [[nodiscard]] bool ReadNamedRecord(std::istream& is, int version);
    [[nodiscard]] bool ReadFlaggedRecord(std::istream& is, int version);

    // ---- Image and landmarks ---------------------------------------------------

    // Holds a copy of image, dropping the one held; null leaves no image held.
    void SetImage(const QvImage* image);
    const QvImage* GetImage() const { return m_pImage.get(); }
    // A copy of the first landmark with the key; false, out unchanged, when none.
    bool FindKeyPoint(int key, QvKeyPoint& out) const;
    void SetKeyPoints(const std::vector<QvKeyPoint>& points);

    // ---- Reference line ----------------------------------------------------------

    // The first entry of the process-wide list of the measure's (or the given) kind.
    QvImageReference* FindReference() const;
    static QvImageReference* FindImageReference(int kind);
    // Appends the two points of the reference line, unscaled; nothing without one.
    void GetReferencePoints(std::vector<QvPoint>& out) const;
    // p1 - p0, image-relative; zero without an image or line.
    QvVector GetReferenceDirection() const;
    // The direction turned a quarter in pixels, then image-relative again (as long
    // as the line in pixels); zero without an image of positive size or a line.
    QvVector GetReferenceNormal() const;

    // ---- Data -----------------------------------------------------------------------

    std::unique_ptr<QvImage> m_pImage;
    std::int32_t m_nType = 0;
    std::int32_t m_nImageKind = 0;
    std::vector<QvKeyPoint> m_keyPoints;
    // Set by the subclass; never stored, never copied.
    std::string m_name;
    // Measures whose flag is set are kept and stored but never shown.
    bool m_bFlag = false;

protected:
    // A base record read in full before it is applied.
    struct BaseRecord
    {
        bool hasFlag = false;
        bool flag = false;
        std::int32_t type = 0;
        std::int32_t kind = 0;
        std::vector<QvKeyPoint> keyPoints;
    };
    enum class RecordForm
    {
        None,
        Named,
        Flagged,
    };
    static RecordForm BaseForm(int version);

    // The base record the version selects (nothing, true, for no family).
    bool WriteBaseRecord(std::ostream& os, int version) const;
    // False for no family as well.
    [[nodiscard]] static bool ReadBaseRecord(std::istream& is, int version, BaseRecord& out);
    [[nodiscard]] static bool ReadNamedFields(std::istream& is, BaseRecord& out);
    [[nodiscard]] static bool ReadFlaggedFields(std::istream& is, BaseRecord& out);
    void ApplyBaseRecord(BaseRecord&& record);

    // The reference entry when it is a line (exactly two points), else null.
    const QvImageReference* ReferenceLine() const;
    // Image width and height in pixels; false without an image of positive size.
    bool GetImageSize(double& width, double& height) const;
};
