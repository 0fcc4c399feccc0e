// SPDX-License-Identifier: GPL-3.0-or-later
// The triangle corners of an STL file, binary or text, three per facet in file order.
// The stored facet normals are never read: scans and segmented teeth often carry
// wrong ones, and the corner order is what orients a face.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry/QvPoint.h"

enum class QvStlForm
{
    Missing, // the file cannot be opened
    Binary,  // the size is exactly 84 + 50 x the facet count at offset 80
    Text,    // any other size
};

// Which form the file has, by its size alone (the count taken in 64 bits, so that no
// count wraps onto the size). count receives the stored facet count of a binary file.
QvStlForm QvDetectStlForm(const std::string& path, std::uint32_t& count);

// Appends the corners of a binary file (as doubles). False when the file is not a
// binary STL or runs short; corners is then unchanged.
[[nodiscard]] bool QvReadBinaryStlCorners(const std::string& path, std::vector<QvPoint>& corners);

// Appends the corners of a text file: the first line ("solid ...") is skipped; each
// facet is seven lines ("facet normal", "outer loop", three " vertex x y z" lines,
// "endloop", "endfacet"); the first line at a facet's place without "facet normal"
// ends the solid. Numbers are read in the "C" form whatever the locale. False when
// the file cannot be opened, a facet is cut off or a vertex line does not parse;
// corners is then unchanged. An empty file holds no facets and answers true.
[[nodiscard]] bool QvReadTextStlCorners(const std::string& path, std::vector<QvPoint>& corners);

// Either form, chosen by QvDetectStlForm.
[[nodiscard]] bool QvReadStlCorners(const std::string& path, std::vector<QvPoint>& corners);
