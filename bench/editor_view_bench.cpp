// The editor's work area: a full repaint (from an expose or a crop drag) of a 24-megapixel picture at the zoom levels users
// pick, against a plain QPainter::drawImage of an image already scaled to the viewport (the
// least any repaint can cost); and the time from OpenImagePath of a 24-megapixel JPEG to its
// first paint, against djpeg decoding the same file.
//
// Run: QT_QPA_PLATFORM=offscreen bench/editor_view_bench

#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "FrmMain.h"
#include "Memory.h"
#include "WorkArea.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/qt/Display.h"
#include "kivo/platform/Fakes.h"

namespace {

constexpr int PictureW = 6000;
constexpr int PictureH = 4000;
const QSize Viewport(1280, 800);

BitmapHandle MakePicture() {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, PictureW, PictureH, 24);
    for (int y = 0; y < PictureH; ++y) {
        uint8_t* row = b.Row(y);
        for (int x = 0; x < PictureW; ++x) {
            uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
            row[x * 3 + 0] = uint8_t(x / 24 + (h & 15));
            row[x * 3 + 1] = uint8_t(y / 16 + ((h >> 4) & 15));
            row[x * 3 + 2] = uint8_t((x + y) / 40 + ((h >> 8) & 15));
        }
    }
    return b;
}

struct Editor {
    kivo::platform::FakePlatform Fakes;
    std::unique_ptr<TMainForm> Form;
    QTemporaryDir Dir;
    QString JpegPath;

    Editor() {
        Form = std::make_unique<TMainForm>(QStringList{"kivoEditor"});
        Form->show();
        Form->setWindowState(Qt::WindowNoState);
        Form->resize(Viewport + QSize(200, 250));
        QApplication::processEvents();
        BitmapHandle picture = MakePicture();
        JpegPath = Dir.filePath("24mp.jpg");
        L_SaveBitmap(JpegPath.toStdString(), &picture, FILE_LEAD1JFIF, 24, 20);
        Form->WorkBitmap = std::move(picture);
        Form->RefreshWorkArea();
    }
    static Editor& Get() {
        static Editor editor;
        return editor;
    }
};

QImage Target() {
    QImage target(Viewport, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::black);
    return target;
}

void BM_RepaintWorkArea(benchmark::State& state) {
    Editor& e = Editor::Get();
    e.Form->SetZoom(int(state.range(0)));
    // Scroll to the middle, where a user looks.
    for (QScrollBar* bar : {e.Form->ScrollPaintBox->horizontalScrollBar(),
                            e.Form->ScrollPaintBox->verticalScrollBar()})
        bar->setValue(bar->maximum() / 2);
    QImage target = Target();
    QRect clip(QPoint(0, 0), e.Form->ScrollPaintBox->viewport()->size());
    for (auto _ : state) {
        QPainter p(&target);
        e.Form->ScrollPaintBoxPaint(p, clip);
    }
    state.counters["viewport_w"] = clip.width();
    state.counters["viewport_h"] = clip.height();
}
BENCHMARK(BM_RepaintWorkArea)
    ->Arg(20)->Arg(33)->Arg(50)->Arg(100)->Arg(300)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The first repaint after the zoom, the scroll position or the picture changed: the visible part
// is scaled again.
void BM_FirstRepaintAtZoom(benchmark::State& state) {
    Editor& e = Editor::Get();
    e.Form->SetZoom(int(state.range(0)));
    for (QScrollBar* bar : {e.Form->ScrollPaintBox->horizontalScrollBar(),
                            e.Form->ScrollPaintBox->verticalScrollBar()})
        bar->setValue(bar->maximum() / 2);
    QImage target = Target();
    QRect clip(QPoint(0, 0), e.Form->ScrollPaintBox->viewport()->size());
    for (auto _ : state) {
        e.Form->RefreshWorkArea();
        QPainter p(&target);
        e.Form->ScrollPaintBoxPaint(p, clip);
    }
}
BENCHMARK(BM_FirstRepaintAtZoom)
    ->Arg(20)->Arg(33)->Arg(50)->Arg(100)->Arg(300)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawPrescaledViewport(benchmark::State& state) {
    Editor& e = Editor::Get();
    QSize size = e.Form->ScrollPaintBox->viewport()->size();
    QImage prescaled(size, QImage::Format_RGB32);
    prescaled.fill(Qt::gray);
    QImage target = Target();
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(0, 0, prescaled);
    }
}
BENCHMARK(BM_DrawPrescaledViewport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenToFirstPaint(benchmark::State& state) {
    Editor& e = Editor::Get();
    QImage target = Target();
    QRect clip(QPoint(0, 0), e.Form->ScrollPaintBox->viewport()->size());
    for (auto _ : state) {
        e.Form->OpenImagePath(e.JpegPath);
        QPainter p(&target);
        e.Form->ScrollPaintBoxPaint(p, clip);
    }
}
BENCHMARK(BM_OpenToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The decode alone, to tell the library's share of the open from the editor's.
void BM_LoadBitmapOnly(benchmark::State& state) {
    Editor& e = Editor::Get();
    for (auto _ : state) {
        BitmapHandle b;
        L_LoadBitmap(e.JpegPath.toStdString(), &b);
        benchmark::DoNotOptimize(b.Data());
    }
}
BENCHMARK(BM_LoadBitmapOnly)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_Djpeg(benchmark::State& state) {
    Editor& e = Editor::Get();
    std::string command = "djpeg -outfile /dev/null '" + e.JpegPath.toStdString() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("djpeg failed (libjpeg-turbo-progs installed?)");
            break;
        }
    }
}
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    KeepPictureMemory();
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
