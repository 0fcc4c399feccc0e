// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvCepTables.h"

namespace {

struct NamedLandmark
{
    const char* name;
    MEASURE_POINT id;
};

constexpr NamedLandmark kLandmarks[] = {
    {"POINT_P", POINT_P},     {"POINT_O", POINT_O},     {"POINT_Pt", POINT_Pt},   {"POINT_S", POINT_S},
    {"POINT_N", POINT_N},     {"POINT_Ba", POINT_Ba},   {"POINT_G", POINT_G},     {"POINT_Ns", POINT_Ns},
    {"POINT_Bn", POINT_Bn},   {"POINT_Prn", POINT_Prn}, {"POINT_CM", POINT_CM},   {"POINT_SN", POINT_SN},
    {"POINT_STA", POINT_STA}, {"POINT_UL", POINT_UL},   {"POINT_Ss", POINT_Ss},   {"POINT_Si", POINT_Si},
    {"POINT_LL", POINT_LL},   {"POINT_STB", POINT_STB}, {"POINT_Pos", POINT_Pos}, {"POINT_STG", POINT_STG},
    {"POINT_Mes", POINT_Mes}, {"POINT_K", POINT_K},     {"POINT_B", POINT_B},     {"POINT_Po", POINT_Po},
    {"POINT_Gn", POINT_Gn},   {"POINT_Me", POINT_Me},   {"POINT_T2", POINT_T2},   {"POINT_T1", POINT_T1},
    {"POINT_R1", POINT_R1},   {"POINT_R2", POINT_R2},   {"POINT_R3", POINT_R3},   {"POINT_R4", POINT_R4},
    {"POINT_Ar", POINT_Ar},   {"POINT_Co", POINT_Co},   {"POINT_Dc", POINT_Dc},   {"POINT_A", POINT_A},
    {"POINT_ANS", POINT_ANS}, {"POINT_PNS", POINT_PNS}, {"POINT_U6", POINT_U6},   {"POINT_L6", POINT_L6},
    {"POINT_U6D", POINT_U6D}, {"POINT_L6D", POINT_L6D}, {"POINT_Ld", POINT_Ld},   {"POINT_LI", POINT_LI},
    {"POINT_LIA", POINT_LIA}, {"POINT_LIL", POINT_LIL}, {"POINT_Spr", POINT_Spr}, {"POINT_UI", POINT_UI},
    {"POINT_UIA", POINT_UIA}, {"POINT_UIL", POINT_UIL},
};

} // namespace

std::map<std::string, MEASURE_POINT> LandmarkNameTable(std::map<MEASURE_POINT, std::string>& idToName)
{
    std::map<std::string, MEASURE_POINT> nameToId;
    idToName.clear();
    for (const NamedLandmark& l : kLandmarks)
    {
        nameToId[l.name] = l.id;
        idToName[l.id] = l.name;
    }
    return nameToId;
}

std::map<std::string, MEASURE_POINT> LandmarkNameTable()
{
    std::map<MEASURE_POINT, std::string> unused;
    return LandmarkNameTable(unused);
}

QvMeasureNameList MeasureNameList0()
{
    return {
        {0, "SNA角"},          {1, "SNB角"},           {2, "ANB角"},           {3, "NP-FH面角"},
        {4, "Y轴角"},          {5, "MP-FH下颌平面角"}, {6, "NA-PoA颌凸角"},    {7, "上1-SN角"},
        {8, "上1-NA距"},       {9, "上1-NA角"},        {10, "下1-MP角"},       {11, "下1-NB距"},
        {12, "下1-NB角"},      {14, "NLA角"},          {18, "NSAr蝶鞍角"},     {19, "SArGo关节角"},
        {20, "ArGoMe下颌角"},  {21, "ArGoN下颌角上角"}, {22, "NGoMe下颌角"},   {23, "总角"},
        {24, "SN前颅底长"},    {25, "SAr后颅底长"},    {26, "ArGo升支长"},     {27, "GoMe下颌体长"},
        {28, "NMe前面高"},     {29, "SGo后面高"},      {30, "SAr : ArGo"},     {31, "SN : GoMe"},
        {32, "SGo : NMe"},
    };
}

QvMeasureNameList MeasureNameList1()
{
    return {
        {18, "NSAr蝶鞍角"},   {24, "SN前颅底长"},     {25, "SAr后颅底长"},     {20, "ArGoMe下颌角"},
        {27, "GoMe下颌体长"}, {21, "ArGoN下颌角上角"}, {22, "NGoMe下颌角"},     {26, "ArGo升支长"},
        {0, "SNA角"},         {1, "SNB角"},           {2, "ANB角"},            {6, "NA-PoA颌凸角"},
        {19, "SArGo关节角"},  {23, "总角"},           {31, "SN : GoMe"},       {60, "SN平面-MP平面角"},
        {61, "面深"},         {62, "面长"},           {63, "NP平面-SN平面角"}, {29, "SGo后面高"},
        {28, "NMe前面高"},    {32, "SGo : NMe"},      {64, "Y轴-SN平面角"},    {10, "下1-MP角"},
        {65, "L1-FH平面角"},  {66, "U1-NP平面距"},    {67, "L1-NP平面距"},     {7, "上1-SN角"},
        {68, "OP平面-MP平面角"}, {13, "上1-下1角"},   {69, "上唇-E平面"},      {70, "下唇-E平面"},
    };
}

QvMeasureNameList MeasureNameList2()
{
    return {
        {45, "磨牙关系-头影颌平面"}, {46, "切牙覆盖-头影颌平面"}, {47, "切牙覆颌-头影⊥颌平面"},
        {48, "L1-颌平面距"},         {77, "上1-下1角"},           {49, "U1突度距"},
        {50, "L1突度距"},            {51, "U1轴倾角"},            {52, "L1轴倾角"},
        {53, "OccP-FH面角"},         {75, "U6-PTV面距"},          {54, "A-突度距"},
        {72, "下面高度角"},          {5, "MP-FH下颌平面角"},      {55, "FH-NA上颌深度。。"},
        {56, "面轴角"},              {57, "面部深度角"},          {58, "面部倾斜角"},
        {76, "耳点位置"},            {59, "颅骨倾斜度"},          {73, "下颌升支轴线角"},
        {74, "下颌体弧度角"},        {71, "下唇-E平面"},
    };
}
