// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/MenuBar.h"

#include "BarsTestSupport.h"
#include "testing/QtScreens.h"

#include <QEnterEvent>
#include <QImage>
#include <QTemporaryDir>

#include <vector>

namespace {

class Recorder : public MenuBarDelegate {
public:
    std::vector<qint64> clicks;
    void menuBarDidSelectIconAtIndex(MenuBar&, qint64 index) override { clicks.push_back(index); }
};

// Three icons 24, 24 and 30 wide in a folder of their own, with their variants.
class IconBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const std::pair<const char*, int> icons[] = {{"a", 24}, {"b", 24}, {"c", 30}};
        for (const auto& [name, width] : icons)
            for (const char* suffix : {"", "_select", "_disable"}) {
                QImage image(width, 20, QImage::Format_ARGB32);
                image.fill(Qt::gray);
                ASSERT_TRUE(image.save(dir.filePath(QString::fromLatin1(name) + suffix + ".png")));
            }
        platform::SetResourceFolder(dir.path());
        bar.resize(200, 24);
        bar.setDelegate(&recorder);
        bar.configureIconItems(items());
    }
    void TearDown() override { platform::SetResourceFolder({}); }

    static QList<IconItem> items()
    {
        return {IconItem(QStringLiteral("a"), QStringLiteral("first")), IconItem(QStringLiteral("b"), {}),
                IconItem(QStringLiteral("c"), QStringLiteral("third"))};
    }
    std::vector<qint64> clickAt(double x)
    {
        recorder.clicks.clear();
        barstest::Press(bar, QPointF(x, 12));
        return recorder.clicks;
    }
    void enterAt(double x)
    {
        QEnterEvent enter(QPointF(x, 12), QPointF(x, 12), QPointF(x, 12));
        QApplication::sendEvent(&bar, &enter);
    }

    QTemporaryDir dir;
    MenuBar bar;
    Recorder recorder;
};

TEST_F(IconBarTest, IconsSitTenApartAndOnlyTheirOwnWidthAnswersAClick)
{
    bar.calculateImageData();
    EXPECT_DOUBLE_EQ(bar.iconRect(0).x(), 0);
    EXPECT_DOUBLE_EQ(bar.iconRect(1).x(), 34);
    EXPECT_DOUBLE_EQ(bar.iconRect(2).x(), 68);
    EXPECT_DOUBLE_EQ(bar.iconRect(2).y(), 2); // centred in 24
    EXPECT_DOUBLE_EQ(bar.iconOriginXAtIndex(2), 98);

    const struct {
        double x;
        std::vector<qint64> expected;
    } cases[] = {{30, {}}, {40, {1}}, {100, {}}, {10, {0}}, {70, {2}}, {250, {}}, {-1, {}}};
    for (const auto& c : cases)
        EXPECT_EQ(clickAt(c.x), c.expected) << "x " << c.x;
}

TEST_F(IconBarTest, DisabledIconsAreMatchedByNameAndDropTheirClicks)
{
    bar.updateIconItems({items()[0], items()[1]});
    EXPECT_FALSE(bar.considerSelected());
    EXPECT_EQ(std::vector<qint64>(bar.indexItems().begin(), bar.indexItems().end()), (std::vector<qint64>{0, 1}));
    EXPECT_EQ(clickAt(10), std::vector<qint64>{});
    EXPECT_EQ(clickAt(40), std::vector<qint64>{});
    EXPECT_EQ(clickAt(70), std::vector<qint64>{2});
    EXPECT_EQ(bar.imagePathAtIndex(0), QStringLiteral("a_disable"));
    EXPECT_EQ(bar.imagePathAtIndex(2), QStringLiteral("c"));
    EXPECT_EQ(bar.imagePathAtIndex(3), QString());

    // New objects of the same names stay disabled.
    bar.configureIconItems({IconItem(QStringLiteral("a"), {}), IconItem(QStringLiteral("b"), {}),
                            IconItem(QStringLiteral("c"), {})});
    EXPECT_EQ(clickAt(10), std::vector<qint64>{});
    EXPECT_EQ(bar.imagePathAtIndex(1), QStringLiteral("b_disable"));

    bar.setConsiderSelected(true);
    EXPECT_EQ(clickAt(10), std::vector<qint64>{0});
    EXPECT_EQ(bar.imagePathAtIndex(0), QStringLiteral("a"));
    EXPECT_EQ(bar.replaceItems().size(), 2);

    bar.setAllowedEnabled(false);
    EXPECT_EQ(clickAt(10), std::vector<qint64>{});
}

TEST_F(IconBarTest, TheIconUnderTheMouseAtEntryIsHighlightedUnlessDisabled)
{
    enterAt(75);
    EXPECT_TRUE(bar.highlighted());
    EXPECT_EQ(bar.imagePathAtIndex(2), QStringLiteral("c_select"));
    EXPECT_EQ(bar.imagePathAtIndex(1), QStringLiteral("b"));
    bar.updateIconItems({items()[2]});
    EXPECT_EQ(bar.imagePathAtIndex(2), QStringLiteral("c_disable"));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&bar, &leave);
    EXPECT_FALSE(bar.highlighted());
    bar.setConsiderSelected(true);
    EXPECT_EQ(bar.imagePathAtIndex(2), QStringLiteral("c"));

    enterAt(30); // between icons
    EXPECT_TRUE(bar.highlighted());
    EXPECT_EQ(bar.hightlightedIndex(), MenuBar::kNotFound);
}

TEST_F(IconBarTest, TooltipsComeFromTheIconUnderThePoint)
{
    bar.calculateImageData();
    EXPECT_EQ(bar.stringForToolTip(QPointF(10, 5)), QStringLiteral("first"));
    EXPECT_EQ(bar.stringForToolTip(QPointF(40, 5)), QStringLiteral(""));
    EXPECT_EQ(bar.stringForToolTip(QPointF(30, 5)), QStringLiteral(""));
    EXPECT_EQ(bar.stringForToolTip(QPointF(80, 5)), QStringLiteral("third"));
}

TEST_F(IconBarTest, DrawingKeepsTheSelectionWithinTheIcons)
{
    bar.setSelectedIndex(5);
    bar.grab();
    EXPECT_EQ(bar.selectedIndex(), 2);
    EXPECT_EQ(bar.dataArray().size(), 3u);
}

TEST_F(IconBarTest, AClickAfterTheIconsChangedSelectsOnlyAnIconThatIsThere)
{
    bar.grab(); // laid out for three icons
    bar.configureIconItems({items()[0]});
    EXPECT_EQ(clickAt(70), std::vector<qint64>{});
    EXPECT_EQ(clickAt(40), std::vector<qint64>{});
    EXPECT_EQ(clickAt(10), std::vector<qint64>{0});
}

} // namespace
