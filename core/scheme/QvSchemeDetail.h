// SPDX-License-Identifier: GPL-3.0-or-later
// Internal helpers shared by the step, step-list and saved-target records.
#pragma once

#include <cmath>
#include <cstdint>
#include <istream>

#include "core/geometry/QvMatrix.h"

namespace qvscheme {

// How a step record names its tooth.
enum class StepForm
{
    None,     // the version belongs to no family of this record
    Fdi,      // FDI number
    FdiState, // FDI number and tooth state
    Tagged,   // kind 0: FDI number and state; kind 1: entity id
};

inline constexpr int kFamilyScheme = 0x2000;
inline constexpr int kFamilyOlder = 0x200;

// Case document: the whole version number decides.
inline StepForm DocumentStepForm(int version)
{
    if (version <= 1026)
        return StepForm::Fdi;
    return version <= 1041 ? StepForm::FdiState : StepForm::Tagged;
}

// Stand-alone scheme family first, then the older family.
inline StepForm FileStepForm(int version)
{
    if (version & kFamilyScheme)
        return version <= 8197 ? StepForm::FdiState : StepForm::Tagged;
    if (version & kFamilyOlder)
    {
        if (version <= 515)
            return StepForm::Fdi;
        return version <= 528 ? StepForm::FdiState : StepForm::Tagged;
    }
    return StepForm::None;
}

// Whether a step-list record ends with the bite flag and the jaw matrix.
inline bool DocumentListHasJaw(int version) { return version > 1033; }
inline bool FileListHasJaw(int version)
{
    if (version & kFamilyScheme)
        return version >= 8196;
    if (version & kFamilyOlder)
        return version >= 521;
    return false;
}

// Bytes of the smallest step record of a form (a 4 x 4 matrix included), for the
// count checks before anything is allocated.
inline std::uint64_t MinStepRecordBytes(StepForm form)
{
    const std::uint64_t matrix = 8 + 16 * 8;
    switch (form)
    {
    case StepForm::Fdi:
        return 12 + matrix;
    case StepForm::FdiState:
        return 16 + matrix;
    case StepForm::Tagged:
        return 16 + matrix; // kind, step, type, id
    case StepForm::None:
        break;
    }
    return matrix;
}

inline bool IsFinitePlacement(const QvMatrix& m)
{
    if (m.m_row != 4 || m.m_col != 4)
        return false;
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m.m_pData[i]))
            return false;
    return true;
}

// Reads a matrix that must be a finite 4 x 4 placement; out is unchanged otherwise.
[[nodiscard]] inline bool ReadPlacement(std::istream& is, QvMatrix& out)
{
    QvMatrix m;
    if (!m.Read(is))
        return false;
    if (!IsFinitePlacement(m))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    out = m;
    return true;
}

inline QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

} // namespace qvscheme
