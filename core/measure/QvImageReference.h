// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide image-reference list: per image kind, the reference that the
// measures of that kind are drawn against (two points make a reference line). Read
// from measurement files; emptied whenever a case model clears its image measures.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvKeyPoint.h"

class QvImageReference
{
public:
    int GetImageKind() const { return m_nImageKind; }
    void SetImageKind(int kind) { m_nImageKind = kind; }
    const std::vector<QvKeyPoint>& GetKeyPoints() const { return m_keyPoints; }
    void SetKeyPoints(const std::vector<QvKeyPoint>& points);

    // int32 image kind, int32 count, then per point int32 key and the point.
    std::ostream& Write(std::ostream& os) const;
    // False on a short stream or a bad count; the entry is then unchanged.
    [[nodiscard]] bool Read(std::istream& is);

    std::int32_t m_nImageKind = 0;
    std::vector<QvKeyPoint> m_keyPoints;
};

// The one list of the process (not locked: used from the main thread only).
std::vector<QvImageReference>& GetImageReferences();
// Empties it (the case model's clearing and tests).
void ResetImageReferences();
