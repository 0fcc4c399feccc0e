// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/CaseHostile.h"

#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvGum.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvTooth.h"

namespace qvtest {

namespace {

constexpr int kNewestOS = 0x413;
constexpr int kNewestDM = 0x806;

// Header line, patient information and next id.
void WriteStart(std::ostream& os, int fileType, int version, int nextId)
{
    os << QvMakeHeader(fileType, version) << '\n';
    QvPatientInfo().Write(os, version);
    qvio::WriteI32(os, nextId);
}

// The records' bytes once, repeated: the files hold the same record many times.
std::string Repeat(const std::string& record, int times)
{
    std::string out;
    out.reserve(record.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i)
        out += record;
    return out;
}

// No jaw bones, hinge axis, airway or jaw reference set.
void WriteNoParts(std::ostream& os)
{
    for (int i = 0; i < 4; ++i)
        qvio::WriteI32(os, 0);
}

} // namespace

std::string HostileGumsDocument(int gums)
{
    std::ostringstream os;
    WriteStart(os, kQvFileOS, kNewestOS, gums + 1);
    qvio::WriteI32(os, 0); // jaws
    qvio::WriteI32(os, 0); // teeth
    qvio::WriteI32(os, gums);
    for (int i = 1; i <= gums; ++i)
    {
        qvio::WriteI32(os, i);
        qvio::WriteI32(os, -1); // no jaw
    }
    WriteNoParts(os);
    qvio::WriteI32(os, 0); // schemes
    return os.str();
}

std::string HostileTeethModel(int teeth)
{
    std::ostringstream record;
    QvTooth tooth;
    tooth.SetFdi(11);
    tooth.WriteRecord(record, kNewestDM);

    std::ostringstream os;
    WriteStart(os, kQvFileDM, kNewestDM, teeth + 1);
    qvio::WriteI32(os, 0); // jaws
    qvio::WriteI32(os, teeth);
    os << Repeat(record.str(), teeth);
    qvio::WriteI32(os, 0); // gums
    WriteNoParts(os);
    return os.str();
}

std::string HostileGumsModel(int gums)
{
    std::ostringstream os;
    WriteStart(os, kQvFileDM, kNewestDM, gums + 1);
    qvio::WriteI32(os, 0); // jaws
    qvio::WriteI32(os, 0); // teeth
    qvio::WriteI32(os, gums);
    QvGum gum;
    for (int i = 1; i <= gums; ++i)
    {
        gum.m_id = i;
        gum.WriteModel(os, kNewestDM);
    }
    WriteNoParts(os);
    return os.str();
}

} // namespace qvtest
