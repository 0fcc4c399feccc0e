// SPDX-License-Identifier: GPL-3.0-or-later
// The tracing's vocabulary: landmark ids and names, and the measure-name lists whose
// order is the order of the measure table's rows. Names of measures are UTF-8, for
// display only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Landmark ids; 0 and 1 (the calibration points), 20, 21, 25 and 26 have no name.
enum MEASURE_POINT : std::int32_t
{
    POINT_CM = 2,
    POINT_SN = 3,
    POINT_UL = 4,
    POINT_S = 5,
    POINT_N = 6,
    POINT_A = 7,
    POINT_B = 8,
    POINT_Po = 9,
    POINT_P = 10,
    POINT_O = 11,
    POINT_Gn = 12,
    POINT_Me = 13,
    POINT_T2 = 14,
    POINT_UI = 15,
    POINT_UIA = 16,
    POINT_LI = 17,
    POINT_LIA = 18,
    POINT_PNS = 19,
    POINT_Prn = 22,
    POINT_Pos = 23,
    POINT_LL = 24,
    POINT_Pt = 27,
    POINT_Ba = 28,
    POINT_Co = 29,
    POINT_Ar = 30,
    POINT_T1 = 31,
    POINT_ANS = 32,
    POINT_G = 33,
    POINT_Ns = 34,
    POINT_Bn = 35,
    POINT_STA = 36,
    POINT_Ss = 37,
    POINT_Si = 38,
    POINT_STB = 39,
    POINT_STG = 40,
    POINT_Mes = 41,
    POINT_K = 42,
    POINT_R1 = 43,
    POINT_R2 = 44,
    POINT_R3 = 45,
    POINT_R4 = 46,
    POINT_Dc = 47,
    POINT_U6 = 48,
    POINT_L6 = 49,
    POINT_U6D = 50,
    POINT_L6D = 51,
    POINT_Ld = 52,
    POINT_LIL = 53,
    POINT_Spr = 54,
    POINT_UIL = 55,
    // Derived by the tracing, never named in a template.
    POINT_BPoMid = 56,
    POINT_RamusCentre = 57,
    POINT_Go = 58,
};

// The 50 named landmarks: name to id, returned, and id to name into idToName (which
// is replaced). A name not in the table looks up as id 0.
std::map<std::string, MEASURE_POINT> LandmarkNameTable(std::map<MEASURE_POINT, std::string>& idToName);
std::map<std::string, MEASURE_POINT> LandmarkNameTable();

// (measure id, name) in row order.
using QvMeasureNameList = std::vector<std::pair<std::int32_t, std::string>>;
QvMeasureNameList MeasureNameList0(); // 29 rows: the standard analysis
QvMeasureNameList MeasureNameList1(); // 32 rows: the complex analysis
QvMeasureNameList MeasureNameList2(); // 23 rows: Ricketts' analysis
