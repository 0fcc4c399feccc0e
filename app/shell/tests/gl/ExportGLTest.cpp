// SPDX-License-Identifier: GPL-3.0-or-later
// The export captures what a window shows, GL content included: run under Xvfb.
#include "app/shell/QvExporter.h"
#include "app/shell/tests/GifDecode.h"
#include "testing/QtScreens.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QWindow>
#include <QLabel>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// Clears to a colour that depends on the step: pure GL content.
class StepGLView : public QOpenGLWidget, protected QOpenGLFunctions {
public:
    int step = 0;
    static QColor ColourOf(int step) { return QColor::fromHsv((step * 100) % 360, 255, 200); }

protected:
    void initializeGL() override { initializeOpenGLFunctions(); }
    void paintGL() override
    {
        const QColor c = ColourOf(step);
        glClearColor(c.redF(), c.greenF(), c.blueF(), 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

bool WaitExposed(QWidget& window)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return true;
    }
    return false;
}

bool Near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST(QvExporterGL, ThreeTicksOfAWindowWithAGLView)
{
    QTemporaryDir out;
    QWidget window;
    window.setWindowTitle("Rivela");
    auto* layout = new QVBoxLayout(&window);
    auto* title = new QLabel("步骤动画");
    auto* view = new StepGLView;
    view->setMinimumSize(300, 200);
    layout->addWidget(title);
    layout->addWidget(view);
    window.resize(340, 260);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(WaitExposed(window));

    QvExporter exporter;
    std::vector<QImage> captured;
    for (int step = 0; step < 3; ++step) {
        view->step = step;
        view->update();
        QApplication::processEvents();
        captured.push_back(window.grab().toImage().convertToFormat(QImage::Format_RGB32));
        exporter.startExport();
    }
    ASSERT_EQ(exporter.getArrImages().size(), 3);
    screens::Save(window, "export_gl_window");

    const QString path = out.filePath("steps.gif");
    ASSERT_TRUE(exporter.stopExportAtPath(path));
    EXPECT_FALSE(QDir(QvExporter::exportFolder()).exists());
    const gifcheck::Decoded gif = gifcheck::Read(path);
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.loopCount, 0);
    EXPECT_EQ(gif.delaysCs, (std::vector<int>{70, 70, 70}));
    const QPoint inView = view->mapTo(&window, view->rect().center());
    for (int i = 0; i < 3; ++i) {
        EXPECT_LT(gifcheck::MeanError(gif.frames[i], captured[i]), 4.0) << i;
        const QColor pixel = gif.frames[i].pixelColor(inView);
        EXPECT_TRUE(Near(pixel, StepGLView::ColourOf(i), 12))
            << i << ": " << pixel.name().toStdString() << " vs " << StepGLView::ColourOf(i).name().toStdString();
        gif.frames[i].save(screens::PathOf(QString("export_gif_frame_%1").arg(i)));
    }
}

} // namespace
