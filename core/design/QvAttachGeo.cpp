// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeo.h"

#include <istream>
#include <ostream>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"

namespace qvattach {

bool ReadName(std::istream& is, std::string& s)
{
    std::string tmp;
    if (!qvio::ReadString(is, tmp))
        return false;
    const std::size_t zero = tmp.find('\0');
    if (zero != std::string::npos)
        tmp.resize(zero);
    s = std::move(tmp);
    return true;
}

void WriteName(std::ostream& os, const std::string& s) { qvio::WriteString(os, s); }

bool IsKindOfCode(QvTypeCode own, QvTypeCode code)
{
    return code == own || code == kQvTypeAttachment || code == kQvTypeObject || code == kQvTypeEntity ||
           code == kQvTypeMesh;
}

} // namespace qvattach

QvTypeCode QvAttachGeo::GetType() const { return kQvTypeAttachment; }

bool QvAttachGeo::IsKindOf(QvTypeCode code) const { return qvattach::IsKindOfCode(kQvTypeAttachment, code); }

std::ostream& QvAttachGeo::WriteBase(std::ostream& os, int version) const
{
    if (version > kQvAttachGeoVersion5)
        return os;
    QvMesh::Write(os, version);
    qvattach::WriteName(os, m_name);
    qvio::WriteI32(os, m_nValue1);
    if (version <= kQvAttachGeoVersion1)
        return os;
    qvio::WriteI32(os, m_nValue2);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_values.size()));
    for (std::int32_t v : m_values)
        qvio::WriteI32(os, v);
    qvattach::WriteName(os, m_text);
    return os;
}

bool QvAttachGeo::ReadBaseWithCount(std::istream& is, int version, QvModel* model, std::int32_t& count)
{
    std::int32_t stored = 0;
    if (!ReadBase(is, version, model) || !qvio::ReadI32(is, stored))
        return false;
    count = stored;
    return true;
}

bool QvAttachGeo::ReadBase(std::istream& is, int version, QvModel* model)
{
    if (version > kQvAttachGeoVersion5)
        return false;
    if (!QvMesh::Read(is, version, model))
        return false;
    std::string name;
    std::int32_t value1 = 0;
    if (!qvattach::ReadName(is, name) || !qvio::ReadI32(is, value1))
        return false;
    if (version <= kQvAttachGeoVersion1)
    {
        m_name = std::move(name);
        m_nValue1 = value1;
        return true;
    }
    std::int32_t value2 = 0;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, value2) || !qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 4))
        return false;
    std::vector<std::int32_t> values(static_cast<std::size_t>(count));
    for (std::int32_t& v : values)
        if (!qvio::ReadI32(is, v))
            return false;
    std::string text;
    if (!qvattach::ReadName(is, text))
        return false;
    m_name = std::move(name);
    m_nValue1 = value1;
    m_nValue2 = value2;
    m_values = std::move(values);
    m_text = std::move(text);
    return true;
}

std::ostream& QvAttachGeo::Write(std::ostream& os, int version) const { return WriteBase(os, version); }

bool QvAttachGeo::Read(std::istream& is, int version, QvModel* model) { return ReadBase(is, version, model); }

void QvAttachGeo::SetFrame(const QvFrame&) {}
QvFrame QvAttachGeo::GetFrame() const { return QvFrame(); }
void QvAttachGeo::SetSize(const double&) {}
double QvAttachGeo::GetSize() const { return 0.0; }
void QvAttachGeo::SetLabel(const std::string&) {}
std::string QvAttachGeo::GetLabel() const { return std::string(); }
bool QvAttachGeo::TestNameCode() const { return GetCategory() != 2; }
bool QvAttachGeo::IsOwnedByAttachment() const { return false; }
int QvAttachGeo::GetFixedValue() const { return 22; }
void QvAttachGeo::GetAxes(const QvPlane&, const QvFrame&, QvVector&, QvVector&) const {}
std::string QvAttachGeo::GetClassName() const { return "QvAttachGeo"; }
int QvAttachGeo::GetKindCode() const { return kQvAttachKindNone; }

bool QvAttachGeo::BuildGeometry(QvToothBase*, const std::vector<int>&, const double*) { return true; }

int QvAttachGeo::GetCategory() const
{
    if (m_name.size() == 4)
        return (m_name[0] == 'P' && m_name[1] == 'D') ? 2 : 1;
    if (m_name.empty())
        return 0;
    const char c = m_name[0];
    if (c >= 'A' && c <= 'H')
        return c - 'A' + 1;
    return 0;
}

bool QvAttachGeo::ContainsValue(int value) const
{
    for (std::int32_t v : m_values)
        if (v == value)
            return true;
    return false;
}
