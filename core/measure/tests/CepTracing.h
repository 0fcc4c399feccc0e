// SPDX-License-Identifier: GPL-3.0-or-later
// The synthetic tracing of data/cep_expected.py: its landmarks (ratio points on a
// 2000 x 2400 radiograph) and the measures worked out for it.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/measure/QvCepMeasure.h"

namespace qvceptest {

struct ExpectedItem
{
    int id = 0;
    double value = 0.0;
    double min = 0.0;
    double max = 0.0;
    int type = 0;
    int group = 0;
};

struct Tracing
{
    std::vector<QvKeyPoint> landmarks;
    std::map<std::string, std::vector<ExpectedItem>> analyses;
};

inline double Number(const std::string& text)
{
    double v = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

inline const Tracing& LoadTracing()
{
    static const Tracing tracing = [] {
        Tracing t;
        std::ifstream in(RIVELA_CEP_EXPECTED);
        EXPECT_TRUE(in) << RIVELA_CEP_EXPECTED;
        std::string line;
        while (std::getline(in, line))
        {
            std::vector<std::string> f;
            std::stringstream ss(line);
            for (std::string cell; std::getline(ss, cell, ',');)
                f.push_back(cell);
            if (f.size() == 4 && f[0] == "landmark")
                t.landmarks.emplace_back(QvPoint(Number(f[2]), Number(f[3]), 0.0), std::stoi(f[1]));
            else if (f.size() == 9 && f[0] == "item")
                t.analyses[f[1]].push_back(ExpectedItem{std::stoi(f[3]), Number(f[4]), Number(f[5]), Number(f[6]),
                                                        std::stoi(f[7]), std::stoi(f[8])});
        }
        return t;
    }();
    return tracing;
}

// A measure over the 2000 x 2400 rectangle holding the tracing's landmarks, less those
// left out.
inline void FillTracing(QvCepMeasure& m, const std::vector<int>& leftOut = {})
{
    m.m_imageRect = QvGDIRect(0, 0, 2000, 2400);
    m.m_keyPoints.clear();
    for (const QvKeyPoint& p : LoadTracing().landmarks)
        if (std::find(leftOut.begin(), leftOut.end(), p.m_nKey) == leftOut.end())
            m.m_keyPoints.push_back(p);
}

inline std::vector<int> Ids(const std::vector<QvCepMeasureItem>& items)
{
    std::vector<int> ids;
    for (const QvCepMeasureItem& item : items)
        ids.push_back(item.m_nId);
    return ids;
}

} // namespace qvceptest
