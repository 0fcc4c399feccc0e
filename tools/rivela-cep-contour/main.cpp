// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the cephalometric contour template: outlines of the upper and lower central
// incisors and first molars and the mandibular border, each tied to the landmarks that
// carry it onto a case. Positions below are whole pixels of a 2000 x 2400 lateral
// radiograph counted in rows from the top, face to the right; the file holds them
// with y up from the bottom edge, as the tracing's image coordinates run.
//
//   rivela-cep-contour OUT.temp
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/geometry/QvStreamIO.h"

namespace {

constexpr std::int32_t kHeight = 2400;

struct Pt
{
    std::int32_t x;
    std::int32_t y;
};

struct Named
{
    const char* name;
    std::int32_t id;
    Pt at;
};

// Template positions of the landmarks the outlines are tied to.
const Named kNamed[] = {
    {"POINT_UI", 15, {1402, 1478}},  {"POINT_UIA", 16, {1318, 1236}}, {"POINT_LI", 17, {1384, 1462}},
    {"POINT_LIA", 18, {1292, 1714}}, {"POINT_U6", 48, {1156, 1488}},  {"POINT_U6D", 50, {1052, 1476}},
    {"POINT_L6", 49, {1150, 1502}},  {"POINT_L6D", 51, {1040, 1516}}, {"POINT_Gn", 12, {1372, 1880}},
    {"POINT_Me", 13, {1330, 1908}},  {"POINT_T2", 14, {842, 1752}},
};

Pt At(std::int32_t id)
{
    for (const Named& n : kNamed)
        if (n.id == id)
            return n.at;
    return {0, 0};
}

struct Curve
{
    std::vector<Pt> fit;
    std::vector<std::int32_t> driven;
    bool closed;
};

// A tooth outline around the axis from apex to tip: half-widths at fractions of the
// axis on one side, the tip, then back on the other side; apex and tip are the
// landmarks themselves, so the outline is tied to them.
Curve Tooth(std::int32_t apexId, std::int32_t tipId, const std::vector<std::pair<double, double>>& profile)
{
    const Pt apex = At(apexId);
    const Pt tip = At(tipId);
    const double ax = tip.x - apex.x;
    const double ay = tip.y - apex.y;
    const double len = std::sqrt(ax * ax + ay * ay);
    const double nx = -ay / len;
    const double ny = ax / len;
    const auto place = [&](double t, double w) {
        return Pt{static_cast<std::int32_t>(std::lround(apex.x + ax * t + nx * w)),
                  static_cast<std::int32_t>(std::lround(apex.y + ay * t + ny * w))};
    };
    Curve c{{apex}, {apexId, tipId}, true};
    for (const auto& [t, w] : profile)
        c.fit.push_back(place(t, w));
    c.fit.push_back(tip);
    for (auto it = profile.rbegin(); it != profile.rend(); ++it)
        c.fit.push_back(place(it->first, -it->second));
    return c;
}

// A molar: crown between the mesial cusp and the distal contact, two roots above
// (upper, sign -1) or below (lower, sign +1) the occlusal line.
Curve Molar(std::int32_t mesialId, std::int32_t distalId, int sign)
{
    const Pt m = At(mesialId);
    const Pt d = At(distalId);
    const auto p = [](std::int32_t x, std::int32_t y) { return Pt{x, y}; };
    const std::int32_t s = sign;
    Curve c{{m,
             p(m.x - 26, m.y + s * 8),
             p(m.x - 52, m.y - s * 2),
             p(d.x + 20, m.y + s * 6),
             d,
             p(d.x - 4, d.y - s * 60),
             p(d.x + 14, d.y - s * 150),
             p(d.x + 40, d.y - s * 80),
             p(m.x - 40, m.y - s * 90),
             p(m.x - 14, m.y - s * 160),
             p(m.x + 8, m.y - s * 60)},
            {mesialId, distalId},
            true};
    return c;
}

// The lower border of the mandible from the ramus tangent point over menton to gnathion
// and up the chin.
Curve MandibularBorder()
{
    const Pt t2 = At(14);
    const Pt me = At(13);
    const Pt gn = At(12);
    return Curve{{t2, {960, 1806}, {1090, 1850}, {1210, 1888}, me, gn, {1398, 1830}, {1404, 1770}}, {14, 13, 12},
                 false};
}

void Write(std::ostream& os, const std::vector<Curve>& curves)
{
    os << "Rivela cephalometric contour template 1\n";
    qvio::WriteI32(os, static_cast<std::int32_t>(std::size(kNamed)));
    for (const Named& n : kNamed)
    {
        const std::string name = n.name;
        qvio::WriteI32(os, static_cast<std::int32_t>(name.size()));
        os.write(name.data(), static_cast<std::streamsize>(name.size()));
        qvio::WriteI32(os, n.at.x);
        qvio::WriteI32(os, kHeight - n.at.y);
    }
    qvio::WriteI32(os, static_cast<std::int32_t>(curves.size()));
    for (const Curve& c : curves)
    {
        qvio::WriteI32(os, static_cast<std::int32_t>(c.fit.size()));
        for (const Pt& p : c.fit)
        {
            qvio::WriteI32(os, p.x);
            qvio::WriteI32(os, kHeight - p.y);
        }
        qvio::WriteI32(os, static_cast<std::int32_t>(c.driven.size()));
        for (const std::int32_t id : c.driven)
            qvio::WriteI32(os, id);
        qvio::WriteI32(os, c.closed ? 1 : 0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s OUT.temp\n", argv[0]);
        return 2;
    }
    const std::vector<std::pair<double, double>> upper = {{0.3, 20}, {0.6, 34}, {0.8, 40}, {0.93, 28}};
    const std::vector<std::pair<double, double>> lower = {{0.3, 16}, {0.6, 26}, {0.8, 30}, {0.93, 20}};
    const std::vector<Curve> curves = {Tooth(16, 15, upper), Tooth(18, 17, lower), Molar(48, 50, -1),
                                       Molar(49, 51, 1), MandibularBorder()};
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    Write(out, curves);
    out.close();
    if (!out)
    {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
