// SPDX-License-Identifier: GPL-3.0-or-later
// The body of a measurement file (versions 0x8001 to 0x8005), read into and written
// from a case model, in rows:
//   1, 2  int32 count and the process-wide image references
//   3, 4  int32 count, then per measure its int32 type code and its record
//   5     the mid-sagittal and aesthetic reference planes (flagged slots)
//   6     the point set (old layout up to 0x8002, new layout from 0x8003)
//   7     the point lists (0x8004 on)
//   8     the point lists with values (0x8005 on)
//
// A body is read whole before anything is kept: when a row fails (a measure whose
// record does not read included) the answer is false and the model and the image
// references are as they were. The model must hold its measures through the installed
// image-measure operations (QvRegisterImageMeasures); without them nothing is read.
#pragma once

#include <iosfwd>
#include <map>

class QvImageMeasure;
class QvModel;

class QvMeasureFile
{
public:
    // The rows the version holds.
    [[nodiscard]] static bool ReadRVM(std::istream& is, int version, QvModel& model);
    // False, nothing written, for a version that is not a measurement-file version;
    // otherwise the stream's state.
    static bool WriteRVM(std::ostream& os, int version, const QvModel& model);

    // Rows 1 to 6, 1 to 7 and 1 to 8 whatever the version says.
    [[nodiscard]] static bool ReadRVMBase(std::istream& is, int version, QvModel& model);
    [[nodiscard]] static bool ReadRVMWithLists(std::istream& is, int version, QvModel& model);
    [[nodiscard]] static bool ReadRVMWithListsEx(std::istream& is, int version, QvModel& model);
    static bool WriteRVMBase(std::ostream& os, int version, const QvModel& model);
    static bool WriteRVMWithLists(std::ostream& os, int version, const QvModel& model);
    static bool WriteRVMWithListsEx(std::ostream& os, int version, const QvModel& model);

    // Every measure of the model whose image kind is not 0, under its kind (a later
    // measure replaces an earlier one of the same kind).
    static void GetImageMeasuresByKind(const QvModel& model, std::map<int, QvImageMeasure*>& out);
    // Whether the model's file versions hold a case document, with firstVersionOnly
    // only one of version 0x401.
    static bool IsFromCaseDocument(const QvModel& model, bool firstVersionOnly);
};
