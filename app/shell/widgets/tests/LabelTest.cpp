// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVLabel.h"
#include "app/shell/widgets/tests/WidgetFixtures.h"

#include <QFontMetricsF>

namespace {

TEST(RVLabel, DefaultsAndTheCentredBand)
{
    RVLabel label;
    EXPECT_EQ(label.font().pixelSize(), 14);
    EXPECT_EQ(label.textColor(), QColor(Qt::black));
    EXPECT_TRUE(label.string().isNull());
    EXPECT_EQ(label.numberOfLines(), 1);
    EXPECT_EQ(label.drawnAlignment(), Qt::AlignLeft);
    label.setTextColor(QColor());
    EXPECT_EQ(label.textColor(), QColor(Qt::black));

    const QFontMetricsF metrics(label.font());
    const double line = metrics.ascent() + metrics.descent();
    label.setString("Rivela 方案");
    label.resize(200, 60);
    EXPECT_DOUBLE_EQ(label.textHeight(), line + 2);
    EXPECT_EQ(label.textBand(), QRectF(0, (60 - (line + 2)) / 2, 200, line + 2));
    label.resize(200, 20);
    EXPECT_DOUBLE_EQ(label.textBand().y(), (20 - (line + 2)) / 2);

    for (qint64 lines : {0, 2, 1}) {
        label.setNumberOfLines(lines);
        EXPECT_EQ(label.wraps(), lines != 1) << lines;
        EXPECT_EQ(label.hasHeightForWidth(), lines != 1);
    }
}

TEST(RVLabel, AlignmentCodes)
{
    struct Case {
        qint64 code;
        Qt::Alignment drawn;
    } cases[] = {{2, Qt::AlignHCenter}, {1, Qt::AlignRight}, {3, Qt::AlignJustify}, {4, Qt::AlignLeading},
                 {7, Qt::AlignLeading}, {-1, Qt::AlignLeading}, {0, Qt::AlignLeft}};
    RVLabel label;
    for (const Case& c : cases) {
        label.setAlignment(c.code);
        EXPECT_EQ(label.alignment(), c.code);
        EXPECT_EQ(label.drawnAlignment(), c.drawn) << c.code; // unknown codes keep the last one
    }
}

TEST(RVLabel, SizesFromItsText)
{
    RVLabel label;
    const QFontMetricsF metrics(label.font());
    const double line = metrics.ascent() + metrics.descent();
    EXPECT_EQ(label.sizeHint(), QSize(0, int(std::ceil(line + 2)))); // no text: no width
    label.setString("short");
    const int oneLine = label.sizeHint().width();
    EXPECT_EQ(oneLine, int(std::ceil(metrics.horizontalAdvance("short"))));
    label.setString("a somewhat longer text");
    EXPECT_GT(label.sizeHint().width(), oneLine); // the width follows the string

    // Wrapping: the height of the wrapped text, never less than one line.
    label.setNumberOfLines(0);
    label.setString(QString(60, QChar(u'齿')));
    const int narrow = label.heightForWidth(100);
    const int wide = label.heightForWidth(1000);
    EXPECT_GT(narrow, 3 * wide);
    EXPECT_GE(wide, int(std::ceil(line + 2))); // one line (a CJK fallback face may be taller)
    EXPECT_LT(wide, 2 * line + 2);
    label.setString(QString());
    EXPECT_EQ(label.heightForWidth(100), int(std::ceil(line + 2)));
}

TEST(NSLabel, CentredTextAndClicksThroughWhenDisabled)
{
    QWidget below;
    below.resize(200, 80);
    auto* label = new NSLabel(&below);
    label->setGeometry(0, 0, 200, 80);
    QFont font;
    font.setPixelSize(15);
    label->setText("方案内容", font, 2);
    EXPECT_EQ(label->textAlignment(), 2);
    EXPECT_EQ(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_EQ(label->font().pixelSize(), 15);
    label->setText("x", font, 9); // unknown codes draw left
    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);

    EXPECT_EQ(below.childAt(100, 40), label);
    label->setEnabled(false);
    EXPECT_EQ(below.childAt(100, 40), nullptr); // the click reaches the view below
    label->setEnabled(true);
    EXPECT_EQ(below.childAt(100, 40), label);
}

} // namespace
