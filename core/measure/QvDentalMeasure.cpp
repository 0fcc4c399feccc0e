// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvDentalMeasure.h"

#include <cstring>
#include <istream>
#include <ostream>

#include "core/geometry/QvStreamIO.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"

using namespace qvio;

namespace {

constexpr std::size_t kNameField = 64;

template <typename T>
T* CopyOf(const T* p)
{
    return p ? new T(*p) : nullptr;
}

template <typename T>
void Replace(T*& member, const T& value)
{
    delete member;
    member = new T(value);
}

template <typename T>
void Drop(T*& member)
{
    delete member;
    member = nullptr;
}

// Reads a new member in place of the present one; on failure the member is null.
template <typename T>
bool ReadMember(std::istream& is, int version, T*& member)
{
    Drop(member);
    member = new T();
    if (member->Read(is, version) && is)
        return true;
    Drop(member);
    return false;
}

} // namespace

// ---- Value records ------------------------------------------------------------------

void QvToothMeasure::Write(std::ostream& os) const
{
    for (double v : {m_dCrownHeight, m_dCrownThickness, m_dCrownWidth, m_dTorque, m_dArchOffset, m_dOcclusalHeight,
                     m_dTip, m_dRotation, m_dContactOffset, m_contacts[0], m_contacts[1], m_contacts[2]})
        WriteF64(os, v);
}

bool QvToothMeasure::Read(std::istream& is)
{
    double v[12];
    for (double& x : v)
        if (!ReadF64(is, x))
            return false;
    m_dCrownHeight = v[0];
    m_dCrownThickness = v[1];
    m_dCrownWidth = v[2];
    m_dTorque = v[3];
    m_dArchOffset = v[4];
    m_dOcclusalHeight = v[5];
    m_dTip = v[6];
    m_dRotation = v[7];
    m_dContactOffset = v[8];
    m_contacts = {v[9], v[10], v[11]};
    return true;
}

QvSpeeCurve::QvSpeeCurve(int side, const QvPoint& first, const QvPoint& last, const QvPoint& foot,
                         const QvPoint& deepest, double depth)
    : m_dDepth(depth), m_first(first), m_last(last), m_foot(foot), m_deepest(deepest), m_bRight(side == 0)
{
    if (depth < 0.0)
    {
        m_nStatus = 2;
        m_nKind = 3;
    }
    else if (depth > 2.0)
    {
        m_nStatus = 2;
        m_nKind = 2;
    }
    else
    {
        m_nStatus = 1;
        m_nKind = 1;
    }
}

void QvDentalMeasureResult::Clear()
{
    m_overjets.clear();
    m_overbites.clear();
    m_transverseRelations.clear();
    m_canineRelations.clear();
    m_molarRelations.clear();
    m_speeCurves.clear();
    m_boltonRatios.clear();
    m_lowerIncisorAngles.clear();
    m_aestheticDistances.clear();
    m_midlineOffsets.clear();
    m_interincisalAngles.clear();
    m_midlineDiscrepancies.clear();
    m_archWidths.clear();
}

// ---- Measure: lifecycle --------------------------------------------------------------

QvDentalMeasure::QvDentalMeasure() = default;

QvDentalMeasure::QvDentalMeasure(QvModel* model, int step) : m_nStep(step), m_pModel(model) {}

QvDentalMeasure::QvDentalMeasure(const QvDentalMeasure& other)
{
    CopyMembers(other);
}

QvDentalMeasure& QvDentalMeasure::operator=(const QvDentalMeasure& other)
{
    if (this != &other)
    {
        ClearPlanesAndArchForms();
        CopyMembers(other);
    }
    return *this;
}

QvDentalMeasure::~QvDentalMeasure()
{
    ClearPlanesAndArchForms();
}

void QvDentalMeasure::CopyMembers(const QvDentalMeasure& other)
{
    m_toothMeasures = other.m_toothMeasures;
    m_midlines = other.m_midlines;
    m_result = other.m_result;
    m_name = other.m_name;
    m_nStep = other.m_nStep;
    m_pModel = other.m_pModel;
    m_pOcclusalPlane1 = CopyOf(other.m_pOcclusalPlane1);
    m_pOcclusalPlane2 = CopyOf(other.m_pOcclusalPlane2);
    m_pArchForm1 = CopyOf(other.m_pArchForm1);
    m_pArchForm2 = CopyOf(other.m_pArchForm2);
}

void QvDentalMeasure::Reset()
{
    m_toothMeasures.clear();
    m_result.Clear();
    m_midlines.clear();
}

void QvDentalMeasure::ComputeAll()
{
    m_bInitial = false;
    Reset();
    ComputeCrownSizes(0);
    ComputeTorques();
    ComputeArchOffsets();
    ComputeOcclusalHeights();
    ComputeTips();
    ComputeRotations();
    ComputeContactOffsets();
    ComputeContacts();
    ComputeMidlines();
    ComputeSpeeCurves();
    ComputeBoltonRatios();
    ComputeIncisorOverlaps();
    ComputeCanineRelations();
    ComputeTransverseRelations();
    ComputeMolarRelation();
}

void QvDentalMeasure::ComputeInitialSet()
{
    m_bInitial = true;
    Reset();
    ComputeMidlines();
    ComputeIncisorOverlaps();
    ComputeSpeeCurves();
    ComputeBoltonRatios();
    ComputeCanineRelations();
    ComputeMolarRelation();
    ComputeTransverseRelations();
}

void QvDentalMeasure::ComputeExtendedSet()
{
    Reset();
    ComputeAestheticDistances();
    ComputeMidlineOffsets();
    ComputeMidlineDiscrepancy();
    ComputeBoltonRatios();
    ComputeIncisorOverlaps();
    ComputeInterincisalAngles();
    ComputeCanineRelations();
    ComputeLowerIncisorAngles();
    ComputeMolarRelation();
    ComputeTransverseRelations();
    ComputeSpeeCurves();
}

// ---- Measure: owned members and streams ------------------------------------------------

void QvDentalMeasure::ClearPlanesAndArchForms()
{
    Drop(m_pOcclusalPlane1);
    Drop(m_pOcclusalPlane2);
    Drop(m_pArchForm1);
    Drop(m_pArchForm2);
}

void QvDentalMeasure::SetFirstOcclusalPlane(const QvOcclusalPlane& plane)
{
    Replace(m_pOcclusalPlane1, plane);
}

void QvDentalMeasure::SetSecondOcclusalPlane(const QvOcclusalPlane& plane)
{
    Replace(m_pOcclusalPlane2, plane);
}

void QvDentalMeasure::SetFirstArchForm(const QvArchForm& form)
{
    Replace(m_pArchForm1, form);
}

void QvDentalMeasure::SetSecondArchForm(const QvArchForm& form)
{
    Replace(m_pArchForm2, form);
}

std::string QvCutMeasureName(const std::string& name)
{
    const std::size_t limit = kNameField - 1;
    std::size_t at = 0;
    while (at < name.size())
    {
        const auto lead = static_cast<unsigned char>(name[at]);
        std::size_t width = 1;
        if (lead >= 0x81 && lead <= 0xFE && at + 1 < name.size())
        {
            const auto second = static_cast<unsigned char>(name[at + 1]);
            width = second >= 0x30 && second <= 0x39 ? 4 : 2;
        }
        if (at + width > limit)
            break;
        at += width;
    }
    return name.substr(0, std::min(at, name.size()));
}

void QvDentalMeasure::Write(std::ostream& os, int version) const
{
    WriteI32(os, static_cast<std::int32_t>(m_toothMeasures.size()));
    for (const auto& [fdi, record] : m_toothMeasures)
    {
        WriteI32(os, fdi);
        record.Write(os);
    }
    char field[kNameField] = {};
    const std::string name = QvCutMeasureName(m_name);
    std::memcpy(field, name.data(), name.size());
    os.write(field, kNameField);
    auto flagged = [&](const auto* member) {
        WriteI32(os, member ? 1 : 0);
        if (member)
            member->Write(os, version);
    };
    flagged(m_pOcclusalPlane1);
    flagged(m_pOcclusalPlane2);
    flagged(m_pArchForm1);
    flagged(m_pArchForm2);
}

bool QvDentalMeasure::Read(std::istream& is, int version)
{
    m_toothMeasures.clear();
    std::int32_t count = 0;
    if (!ReadI32(is, count))
        return false;
    if (count > 0 && !CountFits(is, count, 100))
        return false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::int32_t fdi = 0;
        QvToothMeasure record;
        if (!ReadI32(is, fdi) || m_toothMeasures.count(fdi) || !record.Read(is))
            return false;
        m_toothMeasures.emplace(fdi, record);
    }
    char field[kNameField];
    if (!is.read(field, kNameField))
        return false;
    field[kNameField - 1] = '\0';
    m_name = std::string(field, strnlen(field, kNameField));
    auto flagged = [&](auto*& member) {
        std::int32_t flag = 0;
        if (!ReadI32(is, flag))
            return false;
        return flag != 1 || ReadMember(is, version, member);
    };
    return flagged(m_pOcclusalPlane1) && flagged(m_pOcclusalPlane2) && flagged(m_pArchForm1) &&
           flagged(m_pArchForm2);
}

void QvDentalMeasure::WritePlanesAndArchForms(std::ostream& os, int version) const
{
    if (!m_pOcclusalPlane1 || !m_pOcclusalPlane2 || !m_pArchForm1 || !m_pArchForm2)
    {
        os.setstate(std::ios::failbit);
        return;
    }
    m_pOcclusalPlane1->Write(os, version);
    m_pOcclusalPlane2->Write(os, version);
    m_pArchForm1->Write(os, version);
    m_pArchForm2->Write(os, version);
}

bool QvDentalMeasure::ReadPlanesAndArchForms(std::istream& is, int version)
{
    return ReadMember(is, version, m_pOcclusalPlane1) && ReadMember(is, version, m_pOcclusalPlane2) &&
           ReadMember(is, version, m_pArchForm1) && ReadMember(is, version, m_pArchForm2);
}

// ---- Store --------------------------------------------------------------------------------

QvDentalMeasureMgr::~QvDentalMeasureMgr()
{
    Clear();
}

QvDentalMeasure* QvDentalMeasureMgr::GetMeasure(int step) const
{
    const auto it = m_measures.find(step);
    return it == m_measures.end() ? nullptr : it->second;
}

void QvDentalMeasureMgr::SetMeasure(int step, QvDentalMeasure* measure)
{
    QvDentalMeasure*& slot = m_measures[step];
    if (slot == measure)
        return;
    delete slot;
    slot = measure;
}

bool QvDentalMeasureMgr::RemoveMeasure(int step)
{
    const auto it = m_measures.find(step);
    if (it == m_measures.end())
        return false;
    delete it->second;
    m_measures.erase(it);
    return true;
}

void QvDentalMeasureMgr::Clear()
{
    for (auto& [step, measure] : m_measures)
        delete measure;
    m_measures.clear();
}

void QvDentalMeasureMgr::Write(std::ostream& os, int version) const
{
    WriteI32(os, static_cast<std::int32_t>(m_measures.size()));
    for (const auto& [step, measure] : m_measures)
    {
        WriteI32(os, step);
        measure->Write(os, version);
    }
}

void QvDentalMeasureMgr::WritePlanesAndArchForms(std::ostream& os, int version) const
{
    WriteI32(os, static_cast<std::int32_t>(m_measures.size()));
    for (const auto& [step, measure] : m_measures)
    {
        WriteI32(os, step);
        measure->WritePlanesAndArchForms(os, version);
    }
}

bool QvDentalMeasureMgr::Read(std::istream& is, int version, QvModel* model)
{
    return ReadEntries(is, version, model, true);
}

bool QvDentalMeasureMgr::ReadPlanesAndArchForms(std::istream& is, int version, QvModel* model)
{
    return ReadEntries(is, version, model, false);
}

bool QvDentalMeasureMgr::ReadEntries(std::istream& is, int version, QvModel* model, bool full)
{
    Clear();
    std::int32_t count = 0;
    if (!ReadI32(is, count))
        return false;
    // The smallest record: a step, a count and the name field, or four planes.
    if (count > 0 && !CountFits(is, count, full ? 4 + 4 + kNameField + 16 : 4))
        return false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::int32_t step = 0;
        if (!ReadI32(is, step) || m_measures.count(step))
            return false;
        auto* measure = new QvDentalMeasure(model, step);
        if (!(full ? measure->Read(is, version) : measure->ReadPlanesAndArchForms(is, version)))
        {
            delete measure;
            return false;
        }
        m_measures.emplace(step, measure);
    }
    return true;
}

QvDentalMeasureMgr& QvGetDentalMeasureMgr(QvScheme& scheme)
{
    if (auto* mgr = dynamic_cast<QvDentalMeasureMgr*>(scheme.GetMeasureStore()))
        return *mgr;
    auto mgr = std::make_unique<QvDentalMeasureMgr>();
    QvDentalMeasureMgr& installed = *mgr;
    scheme.SetMeasureStore(std::move(mgr));
    return installed;
}
