// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "core/measure/QvCepMeasure.h"

namespace {

// A measure over a 100 x 100 pixel rectangle at the origin.
struct Square : QvCepMeasure
{
    Square() { m_imageRect = QvGDIRect(0, 0, 100, 100); }
};

// The ratio point of a pixel of the 100 x 100 rectangle (y counted from the bottom edge).
QvKeyPoint AtPixel(double x, double y, int key = 0) { return QvKeyPoint(QvPoint(x / 100.0, (100.0 - y) / 100.0, 0), key); }

TEST(CepGeometry, PixelsOfTheImageRectangle)
{
    QvCepMeasure m;
    m.m_imageRect = QvGDIRect(10, 20, 110, 220);
    const QvPoint p = m.ToPixel(QvPoint(0.5, 0.25, 0));
    EXPECT_DOUBLE_EQ(p[0], 60.0);
    EXPECT_DOUBLE_EQ(p[1], 170.0);
    EXPECT_EQ(p[2], 0.0);
}

TEST(CepGeometry, AngleItemsFoldAndRound)
{
    const QvPoint a(1, 0.5, 0);
    const QvPoint b(0.5, 0.5, 0);
    const QvPoint up(0.5, 1, 0);
    const QvPoint down(0.5, 0, 0);
    Square m;
    EXPECT_NEAR(m.AngleAtVertex(a, b, up), 90.0, 1e-9);
    EXPECT_NEAR(m.AngleAtVertex(a, b, down), 270.0, 1e-9);

    // A 350.04 degree angle: the vertex at the centre, c to the right, a just below it.
    const double r = 350.04 * 3.14159265359 / 180.0;
    const QvKeyPoint vertex = AtPixel(50, 50, 6);
    const QvKeyPoint c = AtPixel(90, 50, 7);
    const QvKeyPoint a350 = AtPixel(50 + 40 * std::cos(r), 50 + 40 * std::sin(r), 5);

    struct Row
    {
        int id;
        std::vector<QvKeyPoint> points;
        double stored;
        std::vector<int> storedKeys;
    };
    const std::vector<Row> rows = {
        {0, {QvKeyPoint(a, 1), QvKeyPoint(b, 2), QvKeyPoint(up, 3)}, 90.0, {1, 2, 3}},
        {0, {QvKeyPoint(a, 1), QvKeyPoint(b, 2), QvKeyPoint(down, 3)}, 90.0, {3, 2, 1}},
        {2, {QvKeyPoint(a, 1), QvKeyPoint(b, 2), QvKeyPoint(up, 3)}, 90.0, {1, 2, 3}},
        {2, {QvKeyPoint(a, 1), QvKeyPoint(b, 2), QvKeyPoint(down, 3)}, -90.0, {3, 2, 1}},
        {0, {a350, vertex, c}, 10.0, {7, 6, 5}},
        {2, {a350, vertex, c}, -10.0, {7, 6, 5}},
        {0, {QvKeyPoint(a, 1), QvKeyPoint(b, 2)}, 0.0, {1, 2}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "id " << row.id << ", stored " << row.stored);
        Square item;
        std::vector<QvKeyPoint> points = row.points;
        ASSERT_TRUE(item.AddAngleItem(row.id, points, 0, 3, 1.0, 2.0));
        ASSERT_EQ(item.m_items.size(), 1u);
        EXPECT_EQ(item.m_items[0].m_dValue, row.stored);
        std::vector<int> keys;
        for (const QvKeyPoint& p : item.m_items[0].m_keyPoints)
            keys.push_back(p.m_nKey);
        EXPECT_EQ(keys, row.storedKeys);
        EXPECT_EQ(item.m_items[0].m_nGroup, 3);
        EXPECT_EQ(item.m_items[0].m_dMax, 2.0);
    }
}

TEST(CepGeometry, DistanceItemsNeedAScale)
{
    Square m;
    m.m_imageRect = QvGDIRect(0, 0, 1000, 1000);
    const std::vector<QvKeyPoint> pair = {QvKeyPoint(QvPoint(0.1, 0.5, 0), 5), QvKeyPoint(QvPoint(0.2234, 0.5, 0), 6)};
    EXPECT_FALSE(m.AddDistanceItem(24, pair, 2, 3, 68, 74, 0.0));
    EXPECT_FALSE(m.AddDistanceItem(24, pair, 2, 3, 68, 74, 5e-8));
    EXPECT_TRUE(m.m_items.empty());
    ASSERT_TRUE(m.AddDistanceItem(24, pair, 2, 3, 68, 74, 0.1));
    ASSERT_EQ(m.m_items.size(), 1u);
    EXPECT_EQ(m.m_items[0].m_dValue, 12.3);
}

// Parallel lines have no crossing: the crossing-based formulas make nothing, never a
// value measured from the pixel origin.
TEST(CepGeometry, ParallelLinesMakeNothing)
{
    Square m;
    const QvKeyPoint a = AtPixel(10, 10, 1);
    const QvKeyPoint b = AtPixel(60, 10, 2);
    const QvKeyPoint c = AtPixel(90, 40, 3);
    const QvKeyPoint d = AtPixel(20, 40, 4);
    const QvKeyPoint e = AtPixel(50, 80, 5);
    EXPECT_FALSE(m.AngleAtCrossing(a.m_point, b.m_point, c.m_point, d.m_point, e.m_point));
    EXPECT_FALSE(m.DistanceToCrossing(a.m_point, b.m_point, c.m_point, d.m_point));
    EXPECT_FALSE(m.DistanceFromCrossing(a.m_point, b.m_point, c.m_point, d.m_point, e.m_point));
    std::vector<QvKeyPoint> five = {a, b, c, d, e};
    EXPECT_FALSE(m.AddAngleItem(21, five, 0, 3, 52, 55));
    EXPECT_FALSE(m.AddDistanceItem(26, {a, b, c, d}, 2, 3, 39, 49, 0.1));
    EXPECT_FALSE(m.AddDistanceItem(29, five, 2, 3, 72.5, 82.5, 0.1));
    EXPECT_TRUE(m.m_items.empty());

    // Crossing lines: O = (50, 10); e straight above it, a to its left.
    const QvKeyPoint vertical = AtPixel(50, 90, 4);
    EXPECT_NEAR(*m.AngleAtCrossing(a.m_point, b.m_point, e.m_point, vertical.m_point, e.m_point), 90.0, 1e-9);
    EXPECT_NEAR(*m.DistanceToCrossing(a.m_point, b.m_point, e.m_point, vertical.m_point), 40.0, 1e-9);
    EXPECT_NEAR(*m.DistanceFromCrossing(a.m_point, b.m_point, e.m_point, vertical.m_point, c.m_point), 50.0, 1e-9);
    EXPECT_NEAR(m.DistanceToLine(e.m_point, a.m_point, b.m_point), 70.0, 1e-9);
}

TEST(CepGeometry, ListHelpers)
{
    double v = 190.0;
    EXPECT_TRUE(QvCepMeasure::WrapAngle(v));
    EXPECT_EQ(v, -170.0);
    v = 180.0;
    EXPECT_FALSE(QvCepMeasure::WrapAngle(v));
    EXPECT_EQ(v, 180.0);

    for (const std::size_t n : {2u, 3u, 4u, 5u})
    {
        std::vector<QvKeyPoint> points;
        for (std::size_t i = 0; i < n; ++i)
            points.emplace_back(QvPoint(), static_cast<int>(i));
        QvCepMeasure::ReversePoints(points);
        EXPECT_EQ(points.front().m_nKey, n == 3 || n == 4 ? static_cast<int>(n) - 1 : 0) << n;
    }

    QvCepMeasure m;
    m.AddKeyPoint(QvKeyPoint(QvPoint(0.1, 0.2, 0), 58));
    m.AddKeyPoint(QvKeyPoint(QvPoint(0.3, 0.4, 0), 58));
    EXPECT_EQ(m.m_keyPoints.size(), 2u);
    m.AssignKeyPoints({QvKeyPoint(QvPoint(), 1)});
    ASSERT_EQ(m.m_keyPoints.size(), 1u);
    EXPECT_EQ(m.m_keyPoints[0].m_nKey, 1);

    const std::vector<QvCepMeasureItem> items = {QvCepMeasureItem(3, {}, 0, 3, 4.5, 0, 1),
                                                 QvCepMeasureItem(3, {}, 0, 3, 9.0, 0, 1)};
    double out = -1.0;
    EXPECT_TRUE(QvCepMeasure::FindItemValue(items, 3, out));
    EXPECT_EQ(out, 4.5);
    EXPECT_FALSE(QvCepMeasure::FindItemValue(items, 4, out));
    EXPECT_EQ(out, 4.5);
    EXPECT_EQ(QvCepMeasure::GetFaceHeightLandmarks(), (std::vector<int>{6, 13, 14, 30, 5, 31}));
}

// Builds a German locale (decimal comma) from the installed sources into a scratch
// folder; false when the sources are missing.
bool UseCommaLocale()
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "rivela-cep-locale";
    std::filesystem::create_directories(dir);
    const std::string target = (dir / "de_DE.UTF-8").string();
    if (!std::filesystem::exists(target))
    {
        const std::string command = "localedef -i de_DE -f UTF-8 -c " + target + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0 && !std::filesystem::exists(target))
            return false;
    }
    setenv("LOCPATH", dir.c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(CepGeometry, FormatValueIgnoresTheProcessLocale)
{
    if (!UseCommaLocale())
        GTEST_SKIP() << "no decimal-comma locale could be built";
    char probe[16];
    std::snprintf(probe, sizeof(probe), "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5"); // the locale is in force
    EXPECT_EQ(FormatValue("%.1f", 12.34), "12.3");
    EXPECT_EQ(FormatValue("%.2fmm", 3.456), "3.46mm");
    EXPECT_EQ(FormatValue("%1f", 3.0), "3.000000");
    // Items are rounded through the same text and read back whole.
    Square m;
    ASSERT_TRUE(m.AddDistanceItem(24, {AtPixel(0, 0), AtPixel(123.4, 0)}, 2, 3, 0, 1, 0.1));
    EXPECT_EQ(m.m_items[0].m_dValue, 12.3);
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

} // namespace
