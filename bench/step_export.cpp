// SPDX-License-Identifier: GPL-3.0-or-later
// The step-animation export: one tick (capture and PNG frame of a 1600 x 1000
// window; the step timer allows 0.5 s) and the GIF of 60 such frames, beside a
// minimal program that quantises and writes the same frames with giflib alone.
// Run under Xvfb with a screen larger than the window:
//   xvfb-run -a -s "-screen 0 1920x1200x24" bench_step_export
#include "app/shell/GifAnimation.h"
#include "app/shell/QvExporter.h"
#include "bench/BenchMain.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <vector>

namespace {

// Something like the design window: a gradient, shaded crowns that move per step, text.
class StepWindow : public QWidget {
public:
    int step = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient background(0, 0, 0, height());
        background.setColorAt(0, QColor(70, 80, 100));
        background.setColorAt(1, QColor(20, 24, 32));
        painter.fillRect(rect(), background);
        for (int i = 0; i < 14; ++i) {
            const double angle = 3.14159 * (i + 0.5) / 14;
            const QPointF centre(width() / 2 - 500 * std::cos(angle) + step * (i % 3 - 1),
                                 height() / 2 + 80 - 300 * std::sin(angle));
            QRadialGradient shade(centre - QPointF(12, 12), 60);
            shade.setColorAt(0, QColor(250, 248, 240));
            shade.setColorAt(1, QColor(170, 160, 140));
            painter.setBrush(shade);
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(centre, 42, 50);
        }
        painter.setPen(Qt::white);
        painter.drawText(20, 30, QStringLiteral("第 %1 步 / 60").arg(step));
    }
};

StepWindow& Window()
{
    static StepWindow* window = [] {
        auto* w = new StepWindow;
        w->setGeometry(10, 10, 1600, 1000);
        w->show();
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

void BM_ExportTick(benchmark::State& state)
{
    StepWindow& window = Window();
    QvExporter exporter;
    for (auto _ : state) {
        window.step = (window.step + 1) % 60;
        if (!exporter.captureWindow(&window))
            state.SkipWithError("no frame");
    }
    state.counters["frame_kB"] = QFileInfo(exporter.getArrImages().value(0)).size() / 1024.0;
    (void)exporter.stopExportAtPath(QDir::temp().filePath("rivela_bench_tick.gif"));
}
BENCHMARK(BM_ExportTick)->Unit(benchmark::kMillisecond)->Iterations(20);

// Sixty frames of the window as PNG files.
const QStringList& Frames()
{
    static QTemporaryDir dir;
    static QStringList paths = [] {
        QStringList list;
        for (int i = 0; i < 60; ++i) {
            Window().step = i;
            const QString path = dir.filePath(QStringLiteral("frame_%1.png").arg(i));
            Window().grab().toImage().save(path);
            list << path;
        }
        return list;
    }();
    return paths;
}

void BM_ExportGif60(benchmark::State& state)
{
    const QStringList& frames = Frames();
    const QString path = QDir::temp().filePath("rivela_bench_export.gif");
    for (auto _ : state)
        if (!gif::WriteAnimatedGif(path, frames, gif::kExportDelayCs))
            state.SkipWithError("GIF not written");
    state.counters["gif_MB"] = QFileInfo(path).size() / 1048576.0;
    QFile::remove(path);
}
BENCHMARK(BM_ExportGif60)->Unit(benchmark::kMillisecond)->Iterations(1);

// The peer: decode, quantise and write each frame with giflib's own calls only.
void BM_GiflibAlone60(benchmark::State& state)
{
    const QStringList& frames = Frames();
    const QByteArray path = QDir::temp().filePath("rivela_bench_peer.gif").toLocal8Bit();
    for (auto _ : state) {
        int error = 0;
        GifFileType* file = EGifOpenFileName(path.constData(), false, &error);
        bool first = true;
        for (const QString& framePath : frames) {
            const QImage image = QImage(framePath).convertToFormat(QImage::Format_RGB888);
            const int w = image.width(), h = image.height();
            std::vector<GifByteType> r(size_t(w) * h), g(r.size()), b(r.size()), out(r.size());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uchar* p = image.constScanLine(y) + 3 * x;
                    r[size_t(y) * w + x] = p[0];
                    g[size_t(y) * w + x] = p[1];
                    b[size_t(y) * w + x] = p[2];
                }
            GifColorType palette[256];
            int size = 256;
            GifQuantizeBuffer(w, h, &size, r.data(), g.data(), b.data(), out.data(), palette);
            ColorMapObject* map = GifMakeMapObject(256, palette);
            if (first)
                EGifPutScreenDesc(file, w, h, 8, 0, map);
            first = false;
            GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 70, NO_TRANSPARENT_COLOR};
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, ext);
            EGifPutImageDesc(file, 0, 0, w, h, false, map);
            EGifPutLine(file, out.data(), w * h);
            GifFreeMapObject(map);
        }
        EGifCloseFile(file, &error);
    }
    QFile::remove(QString::fromLocal8Bit(path));
}
BENCHMARK(BM_GiflibAlone60)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The application keeps freed heap too (see main); without it every frame pays
    // for fresh pages.
    return benchmain::RunWithKeptHeap(argc, argv);
}
