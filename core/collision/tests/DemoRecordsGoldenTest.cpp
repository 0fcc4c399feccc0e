// SPDX-License-Identifier: GPL-3.0-or-later
// Every collision and gap record of the demo case's steps, against a stored dump of
// the same case: a change of the trees, the meshes or the manager that is meant to be
// faster must not change a single result.
//
// Numbers that are counts, kinds, teeth or element indices must match exactly;
// distances, points and matrices within 1e-12 of their magnitude (at least 1).
// RIVELA_UPDATE_GOLDEN=1 rewrites the stored dump from the code as it stands.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/design/QvOBBTreeMgr.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvModel.h"
#include "core/model/QvToothBase.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"

namespace {

std::string Real(double v)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// Tooth number, with a v for a virtual tooth.
std::string ToothName(const QvToothBase* tooth)
{
    if (!tooth)
        return "-";
    return std::to_string(tooth->GetPositionFdi()) + (dynamic_cast<const QvVirtualTooth*>(tooth) ? "v" : "");
}

int FaceIndex(const QvFace* face) { return face ? face->m_index : -1; }

void DumpRecord(std::ostream& os, const QvGapInfo& r)
{
    os << "record " << r.m_nKind << ' ' << ToothName(r.m_pFirst) << ' ' << ToothName(r.m_pSecond) << " d "
       << Real(r.m_dDistance) << " p " << Real(r.m_point[0]) << ' ' << Real(r.m_point[1]) << ' ' << Real(r.m_point[2])
       << '\n';
    for (const QvMatrix* m : {&r.m_firstMatrix, &r.m_secondMatrix})
    {
        os << " matrix " << m->Rows() << ' ' << m->Cols();
        for (int i = 0; i < m->Rows(); ++i)
            for (int j = 0; j < m->Cols(); ++j)
                os << ' ' << Real((*m)[i][j]);
        os << '\n';
    }
    for (const std::vector<QvFace*>* faces : {&r.m_firstFaces, &r.m_secondFaces})
    {
        os << " faces " << faces->size();
        for (const QvFace* f : *faces)
            os << ' ' << FaceIndex(f);
        os << '\n';
    }
    for (const QvGapInfo::ContactMap* map : {&r.m_firstContacts, &r.m_secondContacts})
    {
        // Keyed by address, so listed in vertex order to be comparable across runs.
        std::vector<std::pair<int, double>> byIndex;
        for (const auto& [vertex, value] : *map)
            byIndex.emplace_back(vertex ? vertex->m_index : -1, value);
        std::sort(byIndex.begin(), byIndex.end());
        os << " contacts " << byIndex.size();
        for (const auto& [index, value] : byIndex)
            os << ' ' << index << ' ' << Real(value);
        os << '\n';
    }
    os << " segments " << r.m_segments.size() << '\n';
    for (const QvGapSegment& s : r.m_segments)
        os << "  " << FaceIndex(s.m_pFirst) << ' ' << FaceIndex(s.m_pSecond) << ' ' << Real(s.m_start[0]) << ' '
           << Real(s.m_start[1]) << ' ' << Real(s.m_start[2]) << ' ' << Real(s.m_end[0]) << ' ' << Real(s.m_end[1])
           << ' ' << Real(s.m_end[2]) << ' ' << s.m_bFlag << '\n';
}

std::string DumpDemoRecords()
{
    QvOBBTreeMgr::Instance()->Clear();
    qvtest::DemoOptions options;
    // Coarse crowns keep the run short; the benchmark covers the 20k-face case.
    options.dentition.facesPerTooth = 1000;
    options.steps = 30;
    qvtest::DemoCase demo;
    if (!qvtest::BuildDemoCase(demo, options) || !demo.pontic)
        return {};
    demo.pontic->m_nKind = 1;
    QvScheme& scheme = *demo.scheme;
    QvCollisionDetectMgr& mgr = QvGetCollisionDetectMgr(scheme);
    mgr.SetScheme(&scheme);
    mgr.BuildAttCandidates();

    std::ostringstream os;
    for (int s = 0; s < scheme.GetStepCount(); ++s)
    {
        std::vector<QvGapInfo*> out;
        mgr.GetStepContacts(s, true, true, out);
        os << "step " << s << " teeth " << out.size() << '\n';
        for (const QvGapInfo* r : out)
            DumpRecord(os, *r);
        std::vector<QvGapInfo*> att;
        mgr.GetStepAttContacts(s, att);
        os << "step " << s << " attachments " << att.size() << '\n';
        for (const QvGapInfo* r : att)
            DumpRecord(os, *r);
    }
    QvOBBTreeMgr::Instance()->Clear();
    return os.str();
}

// Whitespace-separated words; numbers with a point or an exponent are reals.
std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool IsReal(const std::string& w) { return w.find_first_of(".eE") != std::string::npos && w != "-"; }

bool SameWord(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    if (!IsReal(a) || !IsReal(b))
        return false;
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(a.c_str(), &endA);
    const double y = std::strtod(b.c_str(), &endB);
    if (*endA != '\0' || *endB != '\0')
        return false;
    return std::abs(x - y) <= 1e-12 * std::max({1.0, std::abs(x), std::abs(y)});
}

const std::string kGolden = std::string(RIVELA_COLLISION_GOLDEN_DIR) + "/demo_records.txt";

TEST(DemoCaseRecords, EveryStepMatchesTheStoredDump)
{
    const std::string actual = DumpDemoRecords();
    ASSERT_FALSE(actual.empty()) << "the demo case was not built";

    const char* update = std::getenv("RIVELA_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1")
    {
        std::ofstream out(kGolden, std::ios::binary);
        out << actual;
        ASSERT_TRUE(out.good()) << kGolden;
        GTEST_SKIP() << "dump written to " << kGolden;
    }
    std::ifstream in(kGolden, std::ios::binary);
    ASSERT_TRUE(in.good()) << kGolden << " (RIVELA_UPDATE_GOLDEN=1 writes it)";
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const std::vector<std::string> got = Words(actual);
    const std::vector<std::string> want = Words(expected);
    // The first difference, with the line it stands on, says more than a count.
    std::size_t line = 1;
    std::istringstream lines(actual);
    std::string current;
    std::getline(lines, current);
    std::size_t lineWordsLeft = Words(current).size();
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
    {
        while (lineWordsLeft == 0 && std::getline(lines, current))
        {
            ++line;
            lineWordsLeft = Words(current).size();
        }
        ASSERT_TRUE(SameWord(got[i], want[i]))
            << "word " << i << " on line " << line << ": got " << got[i] << ", stored " << want[i] << "\n  "
            << current;
        --lineWordsLeft;
    }
    EXPECT_EQ(got.size(), want.size()) << "the dumps differ in length";
}

} // namespace
