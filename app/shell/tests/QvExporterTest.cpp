// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/GifAnimation.h"
#include "app/shell/QvExporter.h"
#include "app/shell/tests/GifDecode.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

TEST(QvExporter, ClipsTheWindowToTheScreen)
{
    const QSizeF screen(1440, 900);
    struct Case {
        QRectF window, kept;
    } cases[] = {
        {{-20, 100, 800, 600}, {1, 100, 780, 600}},
        {{840, 100, 600, 600}, {840, 100, 599, 600}}, // ends at the right edge: W - 1
        {{100, -50, 400, 300}, {100, 1, 400, 250}},
        {{100, 500, 400, 400}, {100, 500, 400, 399}},
        {{10, 10, 300, 200}, {10, 10, 300, 200}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QvExporter::clipWindowRect(c.window, screen), c.kept);
        const QRectF kept = QvExporter::clipWindowRect(c.window, screen);
        EXPECT_LT(kept.right(), screen.width());
    }
}

// A window of coloured bands and text, different at every step.
class StepWindow : public QWidget {
public:
    int step = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(240, 240, 240));
        for (int i = 0; i < 6; ++i)
            painter.fillRect(i * width() / 6, 0, width() / 6, height() / 2,
                             QColor::fromHsv((i * 50 + step * 40) % 360, 220, 230));
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, height() / 2, width(), height() / 2), Qt::AlignCenter,
                         QStringLiteral("第 %1 步").arg(step));
    }
};

TEST(QvExporter, TicksBecomeOneLoopingGifAndTheFolderGoes)
{
    QTemporaryDir out;
    StepWindow window;
    window.setGeometry(20, 20, 320, 200);
    window.show();
    QvExporter exporter;
    std::vector<QImage> captured;
    for (int step = 0; step < 3; ++step) {
        window.step = step;
        window.repaint();
        captured.push_back(window.grab().toImage().convertToFormat(QImage::Format_RGB32));
        ASSERT_TRUE(exporter.captureWindow(&window));
    }
    ASSERT_EQ(exporter.getArrImages().size(), 3);
    EXPECT_TRUE(QDir(QvExporter::exportFolder()).exists());
    EXPECT_TRUE(exporter.getArrImages()[2].endsWith("_2.png"));
    EXPECT_TRUE(QFileInfo(exporter.getArrImages()[0]).path().endsWith(
        "/rivela_export_" + QDate::currentDate().toString("yyyyMMdd")));

    const QString gifPath = out.filePath("case_20240101.gif");
    ASSERT_TRUE(exporter.stopExportAtPath(gifPath));
    EXPECT_FALSE(QDir(QvExporter::exportFolder()).exists());
    const gifcheck::Decoded gif = gifcheck::Read(gifPath);
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.loopCount, 0);
    EXPECT_EQ(gif.delaysCs, (std::vector<int>{70, 70, 70}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(gif.frames[i].size(), captured[i].size());
        EXPECT_LT(gifcheck::MeanError(gif.frames[i], captured[i]), 4.0) << i;
        if (i > 0) { // each its own capture
            EXPECT_GT(gifcheck::MeanError(gif.frames[i], captured[i - 1]), 20.0) << i;
        }
    }
    EXPECT_EQ(QFile(gifPath).permissions() & QFile::ReadOther, QFile::ReadOther);

    // A new exporter starts without frames of the same day.
    QvExporter again;
    ASSERT_TRUE(again.captureWindow(&window));
    QvExporter fresh;
    EXPECT_FALSE(QDir(QvExporter::exportFolder()).exists());
}

TEST(QvExporter, FailuresAnswerNoAndLeaveThePathAlone)
{
    QTemporaryDir out;
    StepWindow window;
    window.resize(120, 80);
    window.show();

    // No frame at all: NO, and no file.
    QvExporter none;
    EXPECT_FALSE(none.stopExportAtPath(out.filePath("none.gif")));
    EXPECT_FALSE(QFile::exists(out.filePath("none.gif")));

    // An unwritable path: NO, and the frames are gone all the same.
    QvExporter unwritable;
    ASSERT_TRUE(unwritable.captureWindow(&window));
    EXPECT_FALSE(unwritable.stopExportAtPath(out.filePath("missing/folder/x.gif")));
    EXPECT_FALSE(QDir(QvExporter::exportFolder()).exists());

    // A frame that cannot be read: NO, and an earlier file at the path is kept whole.
    const QString kept = out.filePath("kept.gif");
    {
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier export");
    }
    QvExporter broken;
    ASSERT_TRUE(broken.captureWindow(&window));
    ASSERT_TRUE(broken.captureWindow(&window));
    {
        QFile frame(broken.getArrImages()[1]);
        ASSERT_TRUE(frame.open(QIODevice::WriteOnly | QIODevice::Truncate));
        frame.write("garbage");
    }
    EXPECT_FALSE(broken.stopExportAtPath(kept));
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("earlier export"));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left

    EXPECT_FALSE(none.captureWindow(nullptr));
    EXPECT_TRUE(QvExporter::drawImage(QImage(10, 10, QImage::Format_RGB32), QRectF(20, 20, 5, 5)).isEmpty());
}

TEST(GifAnimation, FramesOfOtherSizesAndEmptyLists)
{
    QTemporaryDir out;
    QImage big(60, 40, QImage::Format_RGB32), small(30, 20, QImage::Format_RGB32), wide(90, 10, QImage::Format_RGB32);
    big.fill(Qt::red);
    small.fill(Qt::blue);
    wide.fill(Qt::green);
    const std::vector<QImage> frames{big, small, wide};
    const QString path = out.filePath("sizes.gif");
    ASSERT_TRUE(gif::WriteAnimatedGif(path, 3, [&](qsizetype i) { return frames[i]; }, 10));
    const gifcheck::Decoded gif = gifcheck::Read(path);
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.frames[0].size(), QSize(60, 40)); // the first frame sets the screen
    EXPECT_EQ(gif.frames[1].pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(gif.frames[2].pixelColor(50, 5), QColor(Qt::green)); // cut to the screen
    EXPECT_EQ(gif.delaysCs, (std::vector<int>{10, 10, 10}));
    EXPECT_FALSE(gif::WriteAnimatedGif(out.filePath("empty.gif"), QStringList{}, 70));
}

TEST(NSSavePanelEx, OneGifTypeAndTheNameFieldScripted)
{
    QTemporaryDir out;
    EXPECT_EQ(NSSavePanelEx::FileTypeOfTitle("Rivela(*.gif)"), QString("gif"));
    int completed = 0;
    NSSavePanelEx panel;
    ASSERT_NE(panel.panel(), nullptr);
    EXPECT_TRUE(panel.panel()->isVisible()); // opens at once, without a modal loop
    EXPECT_EQ(panel.arrFileExt(), QStringList{"Rivela(*.gif)"});
    EXPECT_EQ(panel.panel()->nameFilters(), QStringList{"Rivela(*.gif)"});
    EXPECT_EQ(panel.allowedFileType(), QString("gif"));
    EXPECT_EQ(panel.panel()->labelText(QFileDialog::FileType), QString("Save Type:"));
    panel.setPanelCompletionHandler([&] { ++completed; });
    EXPECT_TRUE(panel.GetPath().isEmpty());

    panel.panel()->setDirectory(out.path());
    panel.SetNameField("C1024_20240101");
    auto* name = panel.panel()->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QString("C1024_20240101"));
    QMetaObject::invokeMethod(panel.panel(), "accept"); // the doctor presses Save
    EXPECT_EQ(completed, 1);
    EXPECT_EQ(panel.GetPath(), out.filePath("C1024_20240101.gif"));

    // Cancelled: nothing runs.
    NSSavePanelEx cancelled;
    cancelled.setPanelCompletionHandler([&] { ++completed; });
    cancelled.panel()->reject();
    EXPECT_EQ(completed, 1);
    EXPECT_TRUE(cancelled.GetPath().isEmpty());
}

} // namespace
