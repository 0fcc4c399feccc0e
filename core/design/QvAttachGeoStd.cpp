// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeoStd.h"

#include <istream>
#include <ostream>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"

std::ostream& QvAttachGeoStd::WriteStd(std::ostream& os, int version) const
{
    if (version > kQvAttachGeoVersion5)
        return os;
    WriteBase(os, version);
    m_frame.Write(os, true);
    // The two oldest forms kept two doubles that nothing reads.
    if (version <= kQvAttachGeoVersion2)
    {
        qvio::WriteF64(os, 0.0);
        qvio::WriteF64(os, 0.0);
    }
    qvio::WriteF64(os, m_dSize);
    if (version >= kQvAttachGeoVersion2 && version <= kQvAttachGeoVersion4)
        qvattach::WriteName(os, m_label);
    return os;
}

bool QvAttachGeoStd::ReadStd(std::istream& is, int version, QvModel* model)
{
    if (version > kQvAttachGeoVersion5)
        return false;
    if (!ReadBase(is, version, model))
        return false;
    QvFrame frame;
    if (!frame.Read(is, true))
        return false;
    if (version <= kQvAttachGeoVersion2)
    {
        double unused = 0.0;
        if (!qvio::ReadF64(is, unused) || !qvio::ReadF64(is, unused))
            return false;
    }
    double size = 0.0;
    if (!qvio::ReadF64(is, size))
        return false;
    std::string label = m_label;
    if (version >= kQvAttachGeoVersion2 && version <= kQvAttachGeoVersion4 && !qvattach::ReadName(is, label))
        return false;
    m_frame = frame;
    m_dSize = size;
    m_label = std::move(label);
    return true;
}

std::ostream& QvAttachGeoStd::Write(std::ostream& os, int version) const { return WriteStd(os, version); }

bool QvAttachGeoStd::Read(std::istream& is, int version, QvModel* model) { return ReadStd(is, version, model); }

void QvAttachGeoStd::GetAxes(const QvPlane& plane, const QvFrame& frame, QvVector& inPlane, QvVector& normal) const
{
    QvVector v = frame.m_dirZ;
    v.Negate();
    inPlane = plane.ProjectVector(v);
    normal = plane.GetNormal();
}

bool QvAttachGeoLowerDev::TestNameCode() const { return m_name.size() >= 6 && m_name[5] == '2'; }
