// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvPoint.h"

#include "core/geometry/QvStreamIO.h"

namespace {

void WriteTriple(std::ostream& os, const double (&c)[3])
{
    qvio::WriteF64(os, c[0]);
    qvio::WriteF64(os, c[1]);
    qvio::WriteF64(os, c[2]);
}

bool ReadTriple(std::istream& is, double (&c)[3])
{
    double x = 0.0, y = 0.0, z = 0.0;
    if (!qvio::ReadF64(is, x) || !qvio::ReadF64(is, y) || !qvio::ReadF64(is, z))
        return false;
    c[0] = x;
    c[1] = y;
    c[2] = z;
    return true;
}

} // namespace

std::ostream& QvPoint::Write(std::ostream& os, bool) const
{
    WriteTriple(os, m_coord);
    return os;
}

bool QvPoint::Read(std::istream& is, bool) { return ReadTriple(is, m_coord); }

std::ostream& QvVector::Write(std::ostream& os, bool) const
{
    WriteTriple(os, m_coord);
    return os;
}

bool QvVector::Read(std::istream& is, bool) { return ReadTriple(is, m_coord); }
