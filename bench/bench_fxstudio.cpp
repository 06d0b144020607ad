// fxstudio's responsiveness on a 24 MP picture in a 1500 x 1000 window: how long from a slider
// move (a key press on the Exposure slider, sent by QTest) or a brush dab (a mouse move with the
// button held) until the canvas has rendered the result and painted it, against the engine's own pass over
// the same view without any widget. Moves come a frame apart, as from a hand on a mouse (the
// canvas renders at most once a frame, so faster ones would time the wait for the frame). Ten
// moves per repetition, five repetitions: the median of all fifty is printed at the end with
// the 50 ms goal.

#include "benchratio.h"
#include "canvasview.h"
#include "mainwindow.h"
#include "masktools.h"
#include "session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <tfxstack.h>
#include <tparamfloat.h>
#include <vector>

namespace {
constexpr int width = 6000;
constexpr int height = 4000;

void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

struct Studio {
    std::unique_ptr<MainWindow> window;
    QSlider *slider = nullptr;
    bool ok = false;
};

// The window with the sample picture and one Exposure, shown and rendered once.
Studio &studio()
{
    static Studio s = [] {
        Studio result;
        result.window = std::make_unique<MainWindow>();
        result.window->setQuiet(true);
        result.window->resize(1500, 1000);
        result.window->show();
        QString error;
        if (!result.window->openSample(width, height)
            || !result.window->session()->addEffect(QStringLiteral("Exposure"), error))
            return result;
        result.slider = result.window->findChild<QSlider *>(QStringLiteral("exposure"));
        result.window->canvas()->render();
        result.ok = result.slider != nullptr;
        return result;
    }();
    return s;
}

// Runs the event loop until the canvas has rendered once more and painted that on screen; the
// time since start.
double untilRendered(CanvasView *canvas, const QElapsedTimer &start)
{
    const int before = canvas->renderCount();
    while (canvas->renderCount() == before)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const int painted = canvas->paintCount();
    while (canvas->paintCount() == painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(start.nsecsElapsed()) / 1e6;
}

std::vector<double> &moveTimes()
{
    static std::vector<double> times;
    return times;
}

std::vector<double> &dabTimes()
{
    static std::vector<double> times;
    return times;
}

void sliderMove(benchmark::State &state)
{
    Studio &s = studio();
    if (!s.ok) {
        state.SkipWithError("the window could not be set up");
        return;
    }
    int step = 0;
    for (auto _ : state) {
        // Up five steps, then down five, so that every move changes the value.
        const Qt::Key key = (step++ / 5) % 2 == 0 ? Qt::Key_Right : Qt::Key_Left;
        QTest::qWait(CanvasView::frameMs);
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(s.slider, key);
        const double ms = untilRendered(s.window->canvas(), timer);
        moveTimes().push_back(ms);
        state.SetIterationTime(ms / 1e3);
    }
}

// The baseline: the same change straight to the parameter and one engine pass over the view
// the canvas shows, converted for the screen, with no widget involved.
void enginePass(benchmark::State &state)
{
    Studio &s = studio();
    if (!s.ok) {
        state.SkipWithError("the window could not be set up");
        return;
    }
    Session *session = s.window->session();
    auto *param = session->stack()->tfxPtr(0)->findChild<TParamFloat *>(QStringLiteral("exposure"));
    const TRoi roi = s.window->canvas()->visibleRegion();
    int step = 0;
    QImage image;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        param->setValue(param->value() + ((step++ / 5) % 2 == 0 ? 0.02f : -0.02f));
        session->renderView(roi, false, image);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["level_width"] = roi.width();
    state.counters["dec"] = roi.dec();
}

// A brush dab: a mouse move with the button held, until the masked result is on the canvas.
void brushDab(benchmark::State &state)
{
    Studio &s = studio();
    if (!s.ok) {
        state.SkipWithError("the window could not be set up");
        return;
    }
    CanvasView *canvas = s.window->canvas();
    s.window->maskTools()->setTool(MaskTools::Brush);
    s.window->session()->setMasked(0, true);
    const QPoint start = canvas->rect().center() - QPoint(200, 0);
    QMouseEvent press(
        QEvent::MouseButtonPress, start, canvas->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &press);
    untilRendered(canvas, QElapsedTimer());
    int step = 0;
    for (auto _ : state) {
        const QPoint at = start + QPoint(8 * (++step % 50), 0);
        QTest::qWait(CanvasView::frameMs);
        QElapsedTimer timer;
        timer.start();
        QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        const double ms = untilRendered(canvas, timer);
        dabTimes().push_back(ms);
        state.SetIterationTime(ms / 1e3);
    }
    QMouseEvent release(
        QEvent::MouseButtonRelease, start, canvas->mapToGlobal(start), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &release);
    s.window->maskTools()->setTool(MaskTools::Pan);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}
}

BENCHMARK(enginePass)
    ->Name("engine/view_pass/6000x4000")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(sliderMove)
    ->Name("fxstudio/slider_move/6000x4000")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(brushDab)
    ->Name("fxstudio/brush_dab/6000x4000")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// Google Benchmark names runs of a fixed iteration count and manual time with this suffix.
#define FX_RUN(name) name "/iterations:10/manual_time"
FX_BENCH_RATIO(FX_RUN("fxstudio/slider_move/6000x4000"), FX_RUN("engine/view_pass/6000x4000"), 0.0)
FX_BENCH_RATIO(FX_RUN("fxstudio/brush_dab/6000x4000"), FX_RUN("engine/view_pass/6000x4000"), 0.0)

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropDebug);
    QApplication application(argc, argv);
    const int result = BenchRatio::main(argc, argv);
    if (!moveTimes().empty())
        printf("slider move to canvas: median %.1f ms over %zu moves (goal <= 50 ms)\n", median(moveTimes()),
            moveTimes().size());
    if (!dabTimes().empty())
        printf("brush dab to canvas:   median %.1f ms over %zu dabs (goal <= 50 ms)\n", median(dabTimes()),
            dabTimes().size());
    studio().window.reset();
    return result;
}
