// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement of a case's dental model at one treatment step (crown sizes, axis
// measures, midlines, curve of Spee, Bolton sums, arch widths, overlaps and jaw
// relations) and the per-scheme store of such measures, one per step.
//
// Every tooth is placed at the measured step through the model's current scheme
// (QvScheme::FindStep), unless m_bInitial is set: then teeth stay where the case
// model holds them and extraction is ignored. A value that cannot be computed leaves
// its map entry absent (or as an earlier run left it), never an error code.
//
// Source files: QvDentalMeasure.cpp (data model, records, store), QvDentalGeometry.cpp
// (tooth geometry at a step), QvDentalToothMeasures.cpp (crown sizes, axis and
// position measures), QvDentalJawMeasures.cpp (midlines, Spee, Bolton, relations,
// overlaps, arch widths, incisor and aesthetic measures).
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/QvPoint.h"
#include "core/scheme/QvSchemeLinks.h"

class QvArchForm;
class QvBBox;
class QvGapInfo;
class QvLine;
class QvModel;
class QvOcclusalPlane;
class QvPlane;
class QvScheme;
class QvTooth;
class QvTreatStep;

struct QvToothMeasure
{
    double m_dCrownHeight = 0.0;
    double m_dCrownThickness = 0.0;
    double m_dCrownWidth = 0.0;
    double m_dTorque = 0.0;
    double m_dArchOffset = 0.0;
    double m_dOcclusalHeight = 0.0;
    double m_dTip = 0.0;
    double m_dRotation = 0.0;
    double m_dContactOffset = 0.0;
    // Cross distance, refined distance and cut-line distance to the next tooth.
    std::array<double, 3> m_contacts{0.0, 0.0, 0.0};

    double GetCrownHeight() const { return m_dCrownHeight; }
    void SetCrownHeight(double v) { m_dCrownHeight = v; }
    double GetCrownThickness() const { return m_dCrownThickness; }
    void SetCrownThickness(double v) { m_dCrownThickness = v; }
    double GetCrownWidth() const { return m_dCrownWidth; }
    void SetCrownWidth(double v) { m_dCrownWidth = v; }
    double GetTorque() const { return m_dTorque; }
    void SetTorque(double v) { m_dTorque = v; }
    double GetArchOffset() const { return m_dArchOffset; }
    void SetArchOffset(double v) { m_dArchOffset = v; }
    double GetOcclusalHeight() const { return m_dOcclusalHeight; }
    void SetOcclusalHeight(double v) { m_dOcclusalHeight = v; }
    double GetTip() const { return m_dTip; }
    void SetTip(double v) { m_dTip = v; }
    double GetRotation() const { return m_dRotation; }
    void SetRotation(double v) { m_dRotation = v; }
    double GetContactOffset() const { return m_dContactOffset; }
    void SetContactOffset(double v) { m_dContactOffset = v; }
    const std::array<double, 3>& GetContacts() const { return m_contacts; }
    void SetContacts(const double contacts[3]) { m_contacts = {contacts[0], contacts[1], contacts[2]}; }

    // Twelve doubles in field order.
    void Write(std::ostream& os) const;
    // False on a short stream; the record is then unchanged.
    [[nodiscard]] bool Read(std::istream& is);
};

struct QvMidlineDeviation
{
    double m_dDeviation = 0.0;
    std::int32_t m_nStatus = -1; // 1 normal, 2 deviated
    std::int32_t m_nSide = -1;   // 1 normal, 2 and 3 the two directions
    QvPoint m_contactPoint;
    QvPoint m_projection;
    double m_dPlaneValue = 0.0;
    bool m_bUpper = true;
};

struct QvIncisorOverlap
{
    QvPoint m_point;
    QvVector m_direction;
    QvTooth* m_pTooth = nullptr; // not owned
    bool m_bReverse = false;
    double m_dValue = 0.1;
    std::int32_t m_nStatus = -1;
    std::int32_t m_nKind = -1;
};

struct QvTransverseRelation
{
    std::int32_t m_nKind = -1;
    std::int32_t m_nGrade = -1;
    bool m_bLingual = false;
};

struct QvCanineRelation
{
    std::int32_t m_nClass = -1;
    std::int32_t m_nGrade = -1;
};

struct QvMolarRelation
{
    std::int32_t m_nClass = -1;
    std::int32_t m_nGrade = -1;
    std::vector<double> m_values;
};

struct QvSpeeCurve
{
    QvSpeeCurve() = default;
    // Side 0 is the right side; the depth is classified: below 0 reverse (2, 3),
    // above 2.0 deep (2, 2), else normal (1, 1).
    QvSpeeCurve(int side, const QvPoint& first, const QvPoint& last, const QvPoint& foot, const QvPoint& deepest,
                double depth);

    double m_dDepth = 0.0;
    std::int32_t m_nStatus = -1; // 1 normal, 2 abnormal
    std::int32_t m_nKind = -1;   // 1 normal, 2 deep, 3 reverse
    QvPoint m_first;
    QvPoint m_last;
    QvPoint m_foot;
    QvPoint m_deepest;
    bool m_bRight = true;
};

struct QvBoltonRatio
{
    double m_dUpperSum = 1.0;
    double m_dLowerSum = 0.0;
    bool m_bOverall = true;
    std::int32_t m_nStatus = -1; // 1 normal, 2 abnormal
    std::int32_t m_nKind = -1;   // 1 normal, 2 lower sum too small, 3 too large
};

struct QvIncisorAngles
{
    double m_dFirst = 0.0;
    double m_dSecond = 0.0;
    std::int32_t m_nStatus = -1;
    std::int32_t m_nKind = -1;
};

struct QvAestheticDistance
{
    double m_dDistance = 0.0;
    bool m_bFirst = true;
    std::int32_t m_nStatus = -1;
    std::int32_t m_nKind = -1;
};

struct QvMidlineOffset
{
    double m_dOffset = 0.0;
    std::int32_t m_nStatus = -1;
    std::int32_t m_nKind = -1;
    bool m_bUpper = true;
};

struct QvInterincisalAngle
{
    double m_dAngle = 0.0;
    std::int32_t m_nStatus = -1;
    std::int32_t m_nKind = -1;
};

struct QvMidlineDiscrepancy
{
    double m_dUpper = 0.0;
    double m_dLower = 0.0;
    std::int32_t m_nStatus = -1;
    std::int32_t m_nKind = -1;
};

struct QvArchWidth
{
    double m_dWidth = 0.0;
    QvPoint m_first;
    QvPoint m_second;
};

// The thirteen result maps, keyed as their comments say.
struct QvDentalMeasureResult
{
    std::map<int, QvIncisorOverlap> m_overjets;                // upper anterior FDI
    std::map<int, QvIncisorOverlap> m_overbites;               // upper anterior FDI
    std::map<int, QvTransverseRelation> m_transverseRelations; // upper posterior FDI
    std::map<int, QvCanineRelation> m_canineRelations;         // upper canine FDI
    std::map<int, QvMolarRelation> m_molarRelations;           // 16, 26
    std::map<int, QvSpeeCurve> m_speeCurves;                   // 0 right, 1 left
    std::map<int, QvBoltonRatio> m_boltonRatios;               // 0 anterior, 1 overall
    std::map<int, QvIncisorAngles> m_lowerIncisorAngles;       // 31, 41
    std::map<int, QvAestheticDistance> m_aestheticDistances;   // 0, 1
    std::map<int, QvMidlineOffset> m_midlineOffsets;           // 0 upper, 1 lower
    std::map<int, QvInterincisalAngle> m_interincisalAngles;   // 11, 21
    std::map<int, QvMidlineDiscrepancy> m_midlineDiscrepancies; // 0
    std::map<int, QvArchWidth> m_archWidths; // 0/1 upper anterior/posterior, 2/3 lower

    void Clear();
};

class QvDentalMeasure
{
public:
    QvDentalMeasure();
    QvDentalMeasure(QvModel* model, int step);
    // Maps, name, step and model are copied, planes and arch forms deeply; m_bInitial
    // is not: a copy starts false, an assigned object keeps its own.
    QvDentalMeasure(const QvDentalMeasure& other);
    QvDentalMeasure& operator=(const QvDentalMeasure& other);
    ~QvDentalMeasure();

    // Empties the per-tooth, midline and result maps; everything else stays.
    void Reset();
    // m_bInitial false, Reset, then crown sizes, the seven per-tooth measures,
    // midlines, Spee, Bolton, overlaps, canine and transverse relations, molar relation.
    void ComputeAll();
    // m_bInitial true, then midlines, overlaps, Spee, Bolton, canine, molar, transverse.
    void ComputeInitialSet();
    // Aesthetic distances, midline offsets and discrepancy, Bolton, overlaps,
    // interincisal angles, canine, lower incisor angles, molar, transverse, Spee.
    void ComputeExtendedSet();

    // ---- Result maps -------------------------------------------------------------
    const std::map<int, QvToothMeasure>& GetToothMeasures() const { return m_toothMeasures; }
    const std::map<int, QvMidlineDeviation>& GetMidlines() const { return m_midlines; }
    const QvDentalMeasureResult& GetResult() const { return m_result; }
    const std::map<int, QvIncisorOverlap>& GetOverjets() const { return m_result.m_overjets; }
    const std::map<int, QvIncisorOverlap>& GetOverbites() const { return m_result.m_overbites; }
    const std::map<int, QvTransverseRelation>& GetTransverseRelations() const { return m_result.m_transverseRelations; }
    const std::map<int, QvCanineRelation>& GetCanineRelations() const { return m_result.m_canineRelations; }
    const std::map<int, QvMolarRelation>& GetMolarRelations() const { return m_result.m_molarRelations; }
    const std::map<int, QvSpeeCurve>& GetSpeeCurves() const { return m_result.m_speeCurves; }
    const std::map<int, QvBoltonRatio>& GetBoltonRatios() const { return m_result.m_boltonRatios; }
    const std::map<int, QvIncisorAngles>& GetLowerIncisorAngles() const { return m_result.m_lowerIncisorAngles; }
    const std::map<int, QvAestheticDistance>& GetAestheticDistances() const { return m_result.m_aestheticDistances; }
    const std::map<int, QvMidlineOffset>& GetMidlineOffsets() const { return m_result.m_midlineOffsets; }
    const std::map<int, QvInterincisalAngle>& GetInterincisalAngles() const { return m_result.m_interincisalAngles; }
    const std::map<int, QvMidlineDiscrepancy>& GetMidlineDiscrepancies() const
    {
        return m_result.m_midlineDiscrepancies;
    }
    const std::map<int, QvArchWidth>& GetArchWidths() const { return m_result.m_archWidths; }

    // Insert operations: the entry of the key (created with its defaults) takes every
    // field of the record.
    void SetMidline(int key, const QvMidlineDeviation& v) { m_midlines[key] = v; }
    void SetOverjet(int key, const QvIncisorOverlap& v) { m_result.m_overjets[key] = v; }
    void SetOverbite(int key, const QvIncisorOverlap& v) { m_result.m_overbites[key] = v; }
    void SetTransverseRelation(int key, const QvTransverseRelation& v) { m_result.m_transverseRelations[key] = v; }
    void SetCanineRelation(int key, const QvCanineRelation& v) { m_result.m_canineRelations[key] = v; }
    void SetMolarRelation(int key, const QvMolarRelation& v) { m_result.m_molarRelations[key] = v; }
    void SetSpeeCurve(int key, const QvSpeeCurve& v) { m_result.m_speeCurves[key] = v; }
    void SetBoltonRatio(int key, const QvBoltonRatio& v) { m_result.m_boltonRatios[key] = v; }
    void SetLowerIncisorAngles(int key, const QvIncisorAngles& v) { m_result.m_lowerIncisorAngles[key] = v; }
    void SetAestheticDistance(int key, const QvAestheticDistance& v) { m_result.m_aestheticDistances[key] = v; }
    void SetMidlineOffset(int key, const QvMidlineOffset& v) { m_result.m_midlineOffsets[key] = v; }
    void SetInterincisalAngle(int key, const QvInterincisalAngle& v) { m_result.m_interincisalAngles[key] = v; }
    void SetMidlineDiscrepancy(int key, const QvMidlineDiscrepancy& v) { m_result.m_midlineDiscrepancies[key] = v; }
    void SetArchWidth(int key, const QvArchWidth& v) { m_result.m_archWidths[key] = v; }
    // The tooth's entry, created zeroed when missing.
    QvToothMeasure& GetToothMeasure(int fdi) { return m_toothMeasures[fdi]; }

    // ---- Crown sizes, axis and position measures (QvDentalToothMeasures.cpp) ------
    // Mode 0: width across the mid curve, thickness across the FACC plane, height the
    // FACC's length; other modes: extents along the tooth frame's axes. Always true.
    bool ComputeCrownSizes(int mode);
    bool ComputeTorques();
    bool ComputeArchOffsets();
    bool ComputeOcclusalHeights();
    bool ComputeTips();
    bool ComputeRotations();
    bool ComputeContactOffsets();
    bool ComputeContacts();

    // ---- Jaw measures (QvDentalJawMeasures.cpp) -----------------------------------
    // False without jaw reference, mid-sagittal plane or a valid lower (upper for
    // Spee) jaw frame; Spee also when a present tooth has no cusp point.
    bool ComputeMidlines();
    bool ComputeSpeeCurves();
    // Always true; computes crown widths first when none of the 28 teeth has one.
    bool ComputeBoltonRatios();
    // False without a lower anterior plane.
    bool ComputeIncisorOverlaps();
    void ComputeOverjet(QvTooth* upper, const std::vector<QvTooth*>& lower, const QvPlane* plane);
    void ComputeOverbite(QvTooth* upper, const std::vector<QvTooth*>& lower, const QvPlane* plane);
    bool ComputeCanineRelations();
    bool ComputeTransverseRelations();
    bool ComputeMolarRelation();
    void ComputeArchWidths();
    bool ComputeAestheticDistances();
    bool ComputeMidlineOffsets();
    bool ComputeMidlineDiscrepancy();
    bool ComputeInterincisalAngles();
    bool ComputeLowerIncisorAngles();

    // ---- Grading rules of the jaw measures (QvDentalJawMeasures.cpp) -------------------
    // Deviation, status and side of a midline offset signed along the lower jaw's Y.
    static void ClassifyMidline(double signedDistance, QvMidlineDeviation& entry);
    // The deepest inner cusp from the chord of the first and last (cusps in the
    // mid-sagittal plane), positive when the curve sags below the chord along up.
    static QvSpeeCurve SpeeCurveOfCusps(int side, const std::vector<QvPoint>& cusps, const QvVector& up);
    static int GradeOverjet(const QvIncisorOverlap& overlap);
    static int GradeOverbite(const QvIncisorOverlap& overlap);
    // r: where the upper canine cusp falls between the two lower cusps (0 at the first).
    static QvCanineRelation ClassifyCanine(double r);
    // Class from the mesial (da) and distal (db) offsets of the upper cusp; 0 for neither.
    static int ClassifyMolar(double da, double db);
    static std::size_t MolarValueCount(int molarClass);
    static void ClassifyInterincisal(QvInterincisalAngle& entry);

    // ---- Tooth geometry at a step (QvDentalGeometry.cpp) ----------------------------
    // Objects returned by pointer are new and owned by the caller; null on failure.
    bool IsToothExcluded(const QvTooth* tooth) const;
    QvTreatStep* GetToothStep(int step, const QvTooth* tooth) const;
    static bool IsToothAbsent(const QvTooth* tooth);
    // Appends the crown-face vertices (each once) or all vertices, placed at step.
    // False for a null tooth or state 4.
    bool GetCrownPoints(int step, const QvTooth* tooth, std::vector<QvPoint>& out, bool crownOnly) const;
    QvBBox* GetToothBox(const QvTooth* tooth) const;
    bool GetIncisalPoint(int step, const QvTooth* tooth, QvPoint& out) const;
    bool GetCuspPoint(int step, const QvTooth* tooth, QvPoint& out) const;
    QvLine* GetFaccAxis(const QvTooth* tooth) const;
    QvPlane* GetLabialPlane(const QvTooth* tooth) const;
    QvPlane* GetFaccPlane(const QvTooth* tooth) const;
    QvPlane* GetBuccalPlane(int step, bool right) const;
    QvLine* GetBuccalLine(int step, bool right) const;
    QvPlane* GetLowerAnteriorPlane() const;
    static bool SelectPointsNearPlane(const QvPlane& plane, const std::vector<QvPoint>& points,
                                      std::vector<QvPoint>& out);
    static bool FindClosestPoint(const std::vector<QvPoint>& searched, const std::vector<QvPoint>& queries,
                                 double& distance, QvPoint& found, QvPoint& query);
    // Vertex pairs of the two meshes (unplaced) that are mutual nearest under a
    // running minimum carried from vertex to vertex, closer than 5.0.
    static void FindContactPairs(const QvTooth* a, const QvTooth* b, std::map<int, int>& out);
    // The pairs by the literal all-pairs comparison: the reference for the search above.
    static void FindContactPairsBruteForce(const QvTooth* a, const QvTooth* b, std::map<int, int>& out);
    // The collision contact of the two teeth at m_nStep, copied out (null otherwise).
    bool GetToothContact(QvTooth* a, QvTooth* b, std::unique_ptr<QvGapInfo>& out) const;

    // Placement at a step (the rule above): identity when nothing places the tooth.
    QvPoint PlacePoint(int step, const QvTooth* tooth, const QvPoint& p) const;
    QvVector PlaceVector(int step, const QvTooth* tooth, const QvVector& v) const;

    // ---- Streams and owned members --------------------------------------------------
    // Full record: count, entries (FDI, twelve doubles), 64-byte name, then each of
    // the two occlusal planes and the two arch forms behind an int32 presence flag.
    void Write(std::ostream& os, int version) const;
    // False on a short stream, a duplicate FDI number or a failed member read; what
    // was read stays (the failed member is null).
    [[nodiscard]] bool Read(std::istream& is, int version);
    // The four members without flags. A missing member fails the write (the stream's
    // failbit is set, nothing of the record written): the reader expects all four.
    void WritePlanesAndArchForms(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadPlanesAndArchForms(std::istream& is, int version);
    void ClearPlanesAndArchForms();
    void SetFirstOcclusalPlane(const QvOcclusalPlane& plane);
    void SetSecondOcclusalPlane(const QvOcclusalPlane& plane);
    void SetFirstArchForm(const QvArchForm& form);
    void SetSecondArchForm(const QvArchForm& form);

    // ---- Data ---------------------------------------------------------------------
    std::map<int, QvToothMeasure> m_toothMeasures;
    std::map<int, QvMidlineDeviation> m_midlines;
    QvDentalMeasureResult m_result;
    std::string m_name;
    std::int32_t m_nStep = 0;
    QvModel* m_pModel = nullptr;
    QvOcclusalPlane* m_pOcclusalPlane1 = nullptr;
    QvOcclusalPlane* m_pOcclusalPlane2 = nullptr;
    QvArchForm* m_pArchForm1 = nullptr;
    QvArchForm* m_pArchForm2 = nullptr;
    bool m_bInitial = false;

private:
    QvScheme* CurrentScheme() const;
    void CopyMembers(const QvDentalMeasure& other);
};

// Bytes of a name kept in the 64-byte field: at most 63, cut before a GB18030
// character that would not fit whole.
std::string QvCutMeasureName(const std::string& name);

class QvDentalMeasureMgr : public QvSchemeStore
{
public:
    QvDentalMeasureMgr() = default;
    QvDentalMeasureMgr(const QvDentalMeasureMgr&) = delete;
    QvDentalMeasureMgr& operator=(const QvDentalMeasureMgr&) = delete;
    ~QvDentalMeasureMgr() override;

    // The measure of the step (the store keeps it), null when none.
    QvDentalMeasure* GetMeasure(int step) const;
    // Stores the measure (taking it) in place of the step's, which is deleted. Storing
    // the measure that is already there changes nothing.
    void SetMeasure(int step, QvDentalMeasure* measure);
    // False when the step has none.
    bool RemoveMeasure(int step);
    void Clear() override;
    const std::map<int, QvDentalMeasure*>& GetMeasures() const { return m_measures; }

    // int32 count, then per entry in step order the int32 step and the record in the
    // full (Write) or short (WritePlanesAndArchForms) form.
    void Write(std::ostream& os, int version) const;
    // Empties the store first. False on a short stream, a duplicate step or a record
    // that fails; the measures read before stay.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);
    void WritePlanesAndArchForms(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadPlanesAndArchForms(std::istream& is, int version, QvModel* model);

private:
    [[nodiscard]] bool ReadEntries(std::istream& is, int version, QvModel* model, bool full);

    std::map<int, QvDentalMeasure*> m_measures;
};

// The scheme's measure store, installed on first use. It stays when the scheme is
// cleared and does not travel with copies of the scheme.
QvDentalMeasureMgr& QvGetDentalMeasureMgr(QvScheme& scheme);
