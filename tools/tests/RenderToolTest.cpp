// SPDX-License-Identifier: GPL-3.0-or-later
// The render tool run on a generated case: every view of each layout shows the arch
// centred and filling it, and views are outlined only when there are several.
#include <gtest/gtest.h>

#ifdef RIVELA_RENDER_TOOL

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <lodepng.h>

#include "core/model/QvModel.h"
#include "testing/DemoCase.h"
#include "testing/OffscreenGL.h"

namespace {

namespace fs = std::filesystem;

struct Rect
{
    int x, y, w, h; // lower-left corner, GL's y upwards
};

struct Picture
{
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgba;
    // Pixel at column x, row y counted from the bottom.
    const unsigned char* At(int x, int y) const
    {
        return &rgba[(static_cast<std::size_t>(height - 1 - static_cast<unsigned>(y)) * width + static_cast<unsigned>(x)) * 4];
    }
};

// Lit teeth are light grey; the background gradient stays below 140 in red and
// green, and the outline's blue is 64.
bool IsTooth(const unsigned char* px) { return px[0] > 140 && px[1] > 140 && px[2] > 140; }
bool IsOutline(const unsigned char* px)
{
    return std::abs(px[0] - 255) <= 2 && std::abs(px[1] - 128) <= 2 && std::abs(px[2] - 64) <= 2;
}

int RunTool(const std::string& arguments)
{
    // Mesa keeps process-lifetime allocations that a sanitised tool would report.
    const std::string command = std::string("LSAN_OPTIONS=suppressions=") + RIVELA_LSAN_SUPPRESSIONS +
                                ":print_suppressions=0 " + RIVELA_RENDER_TOOL + " " + arguments + " >/dev/null";
    return std::system(command.c_str());
}

class RenderTool : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_folder = fs::temp_directory_path() / ("rivela-render-tool-" + std::to_string(::getpid()));
        fs::remove_all(s_folder);
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = 300;
        options.steps = 10;
        qvtest::DemoCase demo;
        ASSERT_TRUE(qvtest::BuildDemoCase(demo, options));
        std::string error;
        ASSERT_TRUE(qvtest::WriteDemoFiles(s_folder.string(), demo, options, &error)) << error;
    }
    static void TearDownTestSuite() { fs::remove_all(s_folder); }

    static fs::path s_folder;
};
fs::path RenderTool::s_folder;

TEST_F(RenderTool, EveryViewOfEveryLayoutShowsTheArchCentredAndLarge)
{
    constexpr int W = 320, H = 200;
    struct Case
    {
        int layout;
        std::vector<Rect> views;
    };
    // The view manager's rectangles for a 320 x 200 window.
    const Case cases[] = {
        {1, {{0, 0, 320, 200}}},
        {2, {{0, 0, 160, 200}, {160, 0, 160, 200}}},
        {4, {{0, 0, 240, 200}, {240, 133, 80, 66}, {240, 66, 80, 66}, {240, 0, 80, 66}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.layout);
        const fs::path png = s_folder / ("layout" + std::to_string(c.layout) + ".png");
        ASSERT_EQ(RunTool((s_folder / "demo.OS").string() + " " + png.string() + " --step 3 --layout " +
                      std::to_string(c.layout) + " --width 320 --height 200"),
                  0);
        Picture picture;
        ASSERT_EQ(lodepng::decode(picture.rgba, picture.width, picture.height, png.string()), 0u);
        ASSERT_EQ(picture.width, static_cast<unsigned>(W));
        ASSERT_EQ(picture.height, static_cast<unsigned>(H));

        int outline = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                outline += IsOutline(picture.At(x, y));
        if (c.layout == 1)
            EXPECT_EQ(outline, 0);
        else
            EXPECT_GT(outline, W + H);

        for (const Rect& r : c.views)
        {
            SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y));
            int x0 = r.x + r.w, x1 = -1, y0 = r.y + r.h, y1 = -1;
            for (int y = r.y + 2; y < r.y + r.h - 2; ++y)
                for (int x = r.x + 2; x < r.x + r.w - 2; ++x)
                    if (IsTooth(picture.At(x, y)))
                    {
                        x0 = std::min(x0, x);
                        x1 = std::max(x1, x);
                        y0 = std::min(y0, y);
                        y1 = std::max(y1, y);
                    }
            ASSERT_GE(x1, x0) << "no tooth in the view";
            // Centred within a few per cent of the view...
            EXPECT_NEAR((x0 + x1) / 2.0, r.x + r.w / 2.0, 0.06 * r.w);
            EXPECT_NEAR((y0 + y1) / 2.0, r.y + r.h / 2.0, 0.06 * r.h);
            // ... filling most of it along the side that limits it, clear of its edges.
            EXPECT_GT(std::max(double(x1 - x0) / r.w, double(y1 - y0) / r.h), 0.75);
            EXPECT_GT(x0, r.x + 2);
            EXPECT_LT(x1, r.x + r.w - 3);
            EXPECT_GT(y0, r.y + 2);
            EXPECT_LT(y1, r.y + r.h - 3);
        }
    }
}

// The occlusal orientations of one jaw: the upper arch with its incisors at the top of
// the picture, the lower with them at the bottom (the arch is narrow at the incisors).
TEST_F(RenderTool, OcclusalViewsTurnTheIncisorsUpOrDown)
{
    constexpr int W = 240, H = 240;
    for (const bool upper : {true, false})
    {
        SCOPED_TRACE(upper ? "upper" : "lower");
        const fs::path png = s_folder / (upper ? "occlusal6.png" : "occlusal7.png");
        ASSERT_EQ(RunTool((s_folder / "demo.OS").string() + " " + png.string() + " --orient " + (upper ? "6" : "7") +
                          " --jaw " + (upper ? "1" : "2") + " --width 240 --height 240"),
                  0);
        Picture picture;
        ASSERT_EQ(lodepng::decode(picture.rgba, picture.width, picture.height, png.string()), 0u);
        std::vector<int> lo(H, W), hi(H, -1);
        int y0 = H, y1 = -1;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (IsTooth(picture.At(x, y)))
                {
                    lo[y] = std::min(lo[y], x);
                    hi[y] = std::max(hi[y], x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
        ASSERT_GT(y1 - y0, H / 3);
        // Span of the rows a tenth of the way in from the top and from the bottom.
        const int top = y1 - (y1 - y0) / 10, bottom = y0 + (y1 - y0) / 10;
        const int topSpan = hi[top] - lo[top], bottomSpan = hi[bottom] - lo[bottom];
        if (upper)
            EXPECT_LT(2 * topSpan, bottomSpan);
        else
            EXPECT_LT(2 * bottomSpan, topSpan);
    }
}

// The gums are built for every step as opening the case builds them: a middle step
// shows pink gum beside the crowns of both jaws, and the picture matches the stored
// one (RIVELA_UPDATE_BASELINES=1 writes it anew). It is kept in screens/ for people
// to look at.
TEST_F(RenderTool, MiddleStepShowsTheGums)
{
    const fs::path png = s_folder / "gums5.png";
    ASSERT_EQ(RunTool((s_folder / "demo.OS").string() + " " + png.string() + " --step 5 --orient 2 --width 320 --height 240"), 0);
    Picture picture;
    ASSERT_EQ(lodepng::decode(picture.rgba, picture.width, picture.height, png.string()), 0u);
    int gum = 0;
    for (int y = 0; y < static_cast<int>(picture.height); ++y)
        for (int x = 0; x < static_cast<int>(picture.width); ++x)
        {
            const unsigned char* px = picture.At(x, y);
            if (px[0] > 150 && px[0] > px[1] + 15 && px[0] > px[2] + 15)
                ++gum;
        }
    EXPECT_GT(gum, static_cast<int>(picture.width * picture.height) / 50);
    fs::create_directories("screens");
    fs::copy_file(png, "screens/render-tool-gums-step5.png", fs::copy_options::overwrite_existing);

    const std::string baseline = std::string(RIVELA_TOOLS_BASELINE_DIR) + "/demo_gums_step5.png";
    rivela::testing::RgbaImage actual, expected;
    ASSERT_TRUE(rivela::testing::ReadPng(png.string(), actual));
    const char* update = std::getenv("RIVELA_UPDATE_BASELINES");
    if (update != nullptr && std::string(update) == "1")
    {
        fs::create_directories(RIVELA_TOOLS_BASELINE_DIR);
        ASSERT_TRUE(rivela::testing::WritePng(baseline, actual));
        GTEST_SKIP() << "baseline written to " << baseline;
    }
    ASSERT_TRUE(rivela::testing::ReadPng(baseline, expected)) << baseline;
    // Rasterisers may differ by a shade in lit colours and by a pixel along edges.
    const rivela::testing::ImageDiff diff = rivela::testing::CompareImages(actual, expected, 6);
    ASSERT_TRUE(diff.sizeMatches);
    if (diff.pixelsOverTolerance > 150)
    {
        rivela::testing::WritePng("screens/render-tool-gums-step5-diff.png", diff.diff);
        ADD_FAILURE() << diff.pixelsOverTolerance << " pixels differ (largest channel difference "
                      << diff.maxChannelDelta << "); see screens/render-tool-gums-step5-diff.png";
    }
}

TEST_F(RenderTool, RefusesBadOptions)
{
    const std::string input = (s_folder / "demo.OS").string() + " " + (s_folder / "bad.png").string();
    for (const char* options : {"--layout 3", "--layout", "--width 8", "--step x", "--colour 1", "--orient 8", "--orient -1",
                                "--grow-roots 2", "--jaw 3", "--tooth 19"})
    {
        SCOPED_TRACE(options);
        EXPECT_NE(RunTool(input + " " + options + " 2>/dev/null"), 0);
    }
    EXPECT_FALSE(fs::exists(s_folder / "bad.png"));
    EXPECT_NE(RunTool((s_folder / "missing.OS").string() + " " + (s_folder / "bad.png").string() + " 2>/dev/null"), 0);
}

} // namespace

#endif
