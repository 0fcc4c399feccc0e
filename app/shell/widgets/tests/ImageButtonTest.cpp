// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/ImageStrips.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "app/shell/widgets/tests/WidgetFixtures.h"

#include <QImageReader>

namespace {

using fixtures::Enter;
using fixtures::kFrameColours;
using fixtures::Leave;
using fixtures::Mouse;

TEST(ImageStrips, FourFramesOfAStripInOrder)
{
    fixtures::ResourceFolder resources;
    const QString path = resources.Write("tool.png", fixtures::Strip(120, 30));
    const QList<QImage> frames = widgets::imagesWithContentsOfFile(path);
    ASSERT_EQ(frames.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(frames[i].size(), QSize(30, 30));
        EXPECT_EQ(frames[i].pixelColor(3, 15), kFrameColours[i]) << i;
    }
    EXPECT_EQ(widgets::imagesWithContentsOfFile(path, 3).first().width(), 40);
    EXPECT_TRUE(widgets::imagesWithContentsOfFile(path, 0).isEmpty());

    // An unreadable strip gives four empty frames, which draw nothing.
    const QString broken = resources.WriteBytes("broken.png", "not a picture");
    const QList<QImage> empty = widgets::imagesWithContentsOfFile(broken);
    ASSERT_EQ(empty.size(), 4);
    for (const QImage& frame : empty)
        EXPECT_TRUE(frame.isNull());
}

TEST(ImageStrips, ResourceNamesAndLookups)
{
    struct Case {
        const char* name;
        const char* resource;
    } cases[] = {
        {"tool", "tool.png"},         {"tool.PNG", "tool.PNG"},     {"photo.JPG", "photo.JPG"},
        {"scan.jpeg", "scan.jpeg"},   {"icon.v2", "icon.v2.png"},   {"map.bmp", "map.bmp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(widgets::stripResourceName(c.name), QString(c.resource)) << c.name;

    fixtures::ResourceFolder resources;
    resources.Write("tool.png", fixtures::Strip(120, 30));
    EXPECT_EQ(widgets::imagesWithNamed("tool", 4).first().size(), QSize(30, 30));
    EXPECT_TRUE(widgets::imagesWithNamed("missing", 4).first().isNull());
}

TEST(ImageStrips, ThumbnailsKeepTheAspectWithTheLongerSide150)
{
    struct Case {
        QSizeF source, thumb;
    } cases[] = {{{300, 100}, {150, 50}}, {{100, 400}, {37.5, 150}}, {{64, 64}, {150, 150}}};
    for (const Case& c : cases) {
        EXPECT_EQ(widgets::thumbnailSize(c.source), c.thumb);
        QImage source(c.source.toSize(), QImage::Format_RGB32);
        source.fill(Qt::red);
        EXPECT_EQ(widgets::thumbnail(source).size(), c.thumb.toSize());
    }
}

TEST(ImageStrips, EncodedDataDecodesAndCompressionShrinksJpeg)
{
    QImage image(200, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 13) & 255, (x * y) & 255));
    const QByteArray full = widgets::imageDataWithType(image, widgets::BitmapType::JPEG);
    const QByteArray small = widgets::imageDataWithType(image, widgets::BitmapType::JPEG, true);
    EXPECT_LT(small.size(), full.size());
    const QByteArray png = widgets::imageDataWithType(image, widgets::BitmapType::PNG);
    EXPECT_EQ(QImage::fromData(png).convertToFormat(QImage::Format_RGB32), image);
}

TEST(NSButtonEx, FramesFollowHoverPressReleaseAndEnable)
{
    fixtures::ResourceFolder resources;
    NSButtonEx button;
    button.resize(30, 30);
    button.setImage(resources.Write("tool.png", fixtures::Strip(120, 30)));
    int actions = 0;
    button.setTarget([&](NSButtonEx* sender) {
        EXPECT_EQ(sender, &button);
        ++actions;
    });
    EXPECT_EQ(button.shownFrame(), 1);
    EXPECT_EQ(fixtures::PixelOf(button, {15, 3}), kFrameColours[1]);
    Enter(&button);
    EXPECT_EQ(button.shownFrame(), 2);
    Mouse(&button, QEvent::MouseButtonPress);
    EXPECT_EQ(button.shownFrame(), 3);
    EXPECT_EQ(fixtures::PixelOf(button, {15, 3}), kFrameColours[3]);
    Mouse(&button, QEvent::MouseButtonRelease);
    EXPECT_EQ(button.shownFrame(), 2);
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(button.m_nButtonText, 2u);

    // Released outside: still acts, and stays over until the mouse leaves.
    Mouse(&button, QEvent::MouseButtonPress);
    Mouse(&button, QEvent::MouseButtonRelease, {80, 80});
    EXPECT_EQ(actions, 2);
    EXPECT_EQ(button.shownFrame(), 2);
    Leave(&button);
    EXPECT_EQ(button.m_nButtonStatus, 0u); // no bit left: drawn as normal
    EXPECT_EQ(button.shownFrame(), 1);
    EXPECT_EQ(button.m_nButtonText, 1u);

    // Disabling twice changes nothing the second time; the mouse is ignored meanwhile.
    button.setEnable(false);
    EXPECT_EQ(button.m_nButtonStatus, 2u);
    EXPECT_EQ(button.shownFrame(), 0);
    EXPECT_EQ(fixtures::PixelOf(button, {15, 3}), kFrameColours[0]);
    button.setEnable(false);
    EXPECT_EQ(button.m_nButtonStatus, 2u);
    Mouse(&button, QEvent::MouseButtonPress);
    Mouse(&button, QEvent::MouseButtonRelease);
    EXPECT_EQ(actions, 2);
    EXPECT_FALSE(button.isEnable());
    button.setEnable(true);
    EXPECT_TRUE(button.isEnable());
    EXPECT_EQ(button.shownFrame(), 1);
}

TEST(NSButtonEx, StatusTableAndStyles)
{
    struct Case {
        unsigned status;
        int frame;
    } cases[] = {{1, 1}, {2, 0}, {3, 0}, {4, 2}, {5, 2}, {6, 0}, {8, 3}, {9, 1}, {12, 2}, {0, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(NSButtonEx::indexForStatus(c.status), c.frame) << c.status;

    fixtures::ResourceFolder resources;
    resources.Write("rotate.png", fixtures::Strip(120, 30));
    NSButtonEx item;
    item.resize(30, 50);
    item.setImageWithItem(IconItem(QStringLiteral("rotate"), QString()));
    EXPECT_EQ(item.m_nButtonStyle, 2u);
    Enter(&item);
    EXPECT_EQ(item.m_textColor, QColor(25, 168, 233)); // icon items colour their text state
    Leave(&item);
    EXPECT_EQ(item.m_textColor, QColor(153, 153, 153));
    EXPECT_EQ(item.m_arrImg.size(), 4);
    EXPECT_EQ(item.shownFrame(), -1); // the owner draws icon items
    item.setImageWithLine(resources.Path() + "/rotate.png");
    EXPECT_EQ(item.m_nButtonStyle, 3u);
    // Drawn ten pixels above the bottom edge: rows 10 to 39 of 50.
    const QImage drawn = item.grab().toImage();
    EXPECT_NE(drawn.pixelColor(15, 5), kFrameColours[1]);
    EXPECT_EQ(drawn.pixelColor(15, 25), kFrameColours[1]);
    EXPECT_NE(drawn.pixelColor(15, 45), kFrameColours[1]);

    // A strip that cannot be read: four empty frames, nothing drawn, no crash.
    NSButtonEx broken;
    broken.setImage(resources.WriteBytes("broken.png", "garbage"));
    EXPECT_EQ(broken.m_arrImg.size(), 4);
    broken.resize(30, 30);
    broken.grab();
}

TEST(NSCheckBoxEx, ActsOnThePressAndShowsCheckedAtOnce)
{
    fixtures::ResourceFolder resources;
    NSCheckBoxEx box;
    box.resize(30, 30);
    box.setImage(resources.Write("check.png", fixtures::Strip(120, 30)));
    std::vector<bool> seen;
    box.setTarget([&](NSButtonEx*) { seen.push_back(box.isChecked()); });
    Enter(&box);
    Mouse(&box, QEvent::MouseButtonPress);
    EXPECT_EQ(seen, std::vector<bool>{true});
    EXPECT_EQ(box.shownFrame(), 3);
    Mouse(&box, QEvent::MouseButtonRelease);
    EXPECT_EQ(box.shownFrame(), 3);
    EXPECT_EQ(seen.size(), 1u);
    Enter(&box);
    EXPECT_EQ(box.shownFrame(), 2);
    Leave(&box);
    EXPECT_EQ(box.shownFrame(), 3);

    // The look is the one computed before the action, even if it flips the flag back.
    box.setTarget([&](NSButtonEx*) { box.setChecked(!box.isChecked()); });
    Mouse(&box, QEvent::MouseButtonPress); // unchecks, the action checks again
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(box.m_nButtonStatus, 1u);

    box.setEnable(false);
    box.setChecked(false);
    EXPECT_EQ(box.m_nButtonStatus, 3u);
    EXPECT_EQ(box.shownFrame(), 0);
}

} // namespace
