// Drawing benchmarks: frame and list compile times of the per-polygon and the batched drawing, per view,
// in a real GLUT window, with the goals checked as ratios of medians measured in the same run.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "model/shape.h"
#include "render/framing.h"
#include "render/scene.h"
#include "render/viewer.h"
#include "testlib/views.h"
#include "tools/sample_models.h"

namespace {

struct Model {
    const char* name;
    std::string (*text)();
    int rotX, rotY;   // the terrain is tilted to be seen from above
    int solidBlocks;  // blocks of frames timed per solid view
    bool framed;      // placed as the web page opens it (zemrender --fit, unturned), then turned
};
// At the start view many faces of the largest random model cover much of the window, many times
// over: its solid frames take the rasteriser most of a second, so fewer of them are timed. The
// ball and the framed random model are the views the web benchmark compares the page's frames with.
const Model kModels[] = {
    {"largest", [] { return randomModel(32767, 65534, 1); }, 0, 0, 3, false},
    {"terrain", [] { return terrainModel(); }, 35, -20, 5, false},
    {"sphere", [] { return sphereModel(); }, 35, -20, 5, true},
    {"random_framed", [] { return randomModel(32767, 100000, 1); }, 35, -20, 3, true},
};

SceneView gScene;  // the view drawn: the model's turn and framing, the compared view's flags

// The projection of the whole window, and for a framed model its framing's place and depth range.
void setModelProjection(const Model& model)
{
    if (!model.framed) return setProjection(kWindowWidth, kWindowHeight);
    const Framing framing = frameShape(gShape, kWindowWidth, kWindowHeight, 0, 0);
    gScene.distance = framing.distance;
    setProjection(kWindowWidth, kWindowHeight, framing.nearPlane, framing.farPlane);
    shiftView(framing.shift);
}

// Median seconds of one frame or one compile, by benchmark name, for the summary.
std::map<std::string, double> gMedians;

// Puts the model in gShape (parsed once per model and kept while its benchmarks run) and sets the view.
bool useView(const Model& model, View view)
{
    static const Model* current = nullptr;
    if (current != &model) {
        const std::string text = model.text();
        gShape = Shape();
        if (!gShape.parse(text.data(), text.data() + text.size()) || !gShape.computeNormals()) return false;
        current = &model;
    }
    gScene = kStartView;
    gScene.rotX = model.rotX;
    gScene.rotY = model.rotY;
    setViewFlags(gScene, view);
    return true;
}

using Clock = std::chrono::steady_clock;

double secondsOf(void (*work)())
{
    const auto start = Clock::now();
    work();
    glFinish();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string name(const char* what, const Model& model, View view)
{
    return std::string(what) + "/" + model.name + "/" + viewName(view);
}

bool gOracle = false;  // which drawing the work functions below use
View gView = View::litSmooth;

void compile() { compileView(gScene, gView, gOracle); }

void frame() { drawView(gScene, gView, gOracle); }

// Frames of the per-polygon and the batched drawing in alternating blocks, so that a machine whose
// speed drifts weighs on both alike; the medians of each go to the summary. In the whole window,
// or in a 1 x 1 viewport: the same primitives and vertex work with almost no pixels, which shows
// what the drawing costs apart from filling them.
void frameBenchmark(benchmark::State& state, const Model& model, View view, bool tiny, int framesPerBlock)
{
    if (!useView(model, view)) return state.SkipWithError("model did not load");
    setModelProjection(model);
    if (tiny) glViewport(0, 0, 1, 1);  // the same projection, so that the same primitives are drawn
    gView = view;
    std::vector<double> seconds[2];
    for (auto _ : state) {
        double total = 0.0;
        for (bool oracle : {true, false}) {
            gOracle = oracle;
            if (view != View::outline) compile();
            secondsOf(frame);  // the first frame after a compile pays for more than drawing
            for (int i = 0; i < framesPerBlock; ++i) {
                seconds[oracle].push_back(secondsOf(frame));
                total += seconds[oracle].back();
            }
        }
        state.SetIterationTime(total);
    }
    const std::string key = name(tiny ? "frame_1x1" : "frame", model, view);
    gMedians[key + "/per_polygon"] = median(seconds[1]);
    gMedians[key + "/batched"] = median(seconds[0]);
    setProjection(kWindowWidth, kWindowHeight);
}

// List compiles of both drawings in turn. Each timed compile replaces a list of its own kind, as
// the "l" and "s" keys do, so it pays for freeing that list too.
void compileBenchmark(benchmark::State& state, const Model& model, View view)
{
    if (!useView(model, view)) return state.SkipWithError("model did not load");
    std::vector<double> seconds[2];
    for (auto _ : state) {
        double total = 0.0;
        for (bool oracle : {true, false}) {
            gOracle = oracle;
            secondsOf(compile);
            seconds[oracle].push_back(secondsOf(compile));
            total += seconds[oracle].back();
        }
        state.SetIterationTime(total);
    }
    gMedians[name("compile", model, view) + "/per_polygon"] = median(seconds[1]);
    gMedians[name("compile", model, view) + "/batched"] = median(seconds[0]);
}

void registerBenchmarks()
{
    for (const Model& model : kModels)
        for (View view : kViews) {
            const bool fillBound = view != View::outline && model.solidBlocks < 5;
            benchmark::RegisterBenchmark(name("frame", model, view).c_str(), frameBenchmark, model, view, false,
                                         fillBound ? 2 : 4)
                ->UseManualTime()
                ->Iterations(view == View::outline ? 5 : model.solidBlocks)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(name("frame_1x1", model, view).c_str(), frameBenchmark, model, view, true, 4)
                ->UseManualTime()
                ->Iterations(5)
                ->Unit(benchmark::kMillisecond);
            if (view == View::outline) continue;
            benchmark::RegisterBenchmark(name("compile", model, view).c_str(), compileBenchmark, model, view)
                ->UseManualTime()
                ->Iterations(7)
                ->Unit(benchmark::kMillisecond);
        }
}

void printGoals()
{
    const auto ratio = [](const char* what, const std::string& key, double goal) {
        const auto a = gMedians.find(key + "/per_polygon");
        const auto b = gMedians.find(key + "/batched");
        if (a == gMedians.end() || b == gMedians.end() || b->second <= 0) return;
        std::printf("  %-30s %8.1f -> %6.1f ms  %5.1fx", (what + ("/" + key.substr(key.find('/') + 1))).c_str(),
                    a->second * 1e3, b->second * 1e3, a->second / b->second);
        if (goal > 0) std::printf("  (goal: %.0fx or more)", goal);
        std::printf("\n");
    };
    std::printf("\nPer-polygon against batched drawing, medians measured in this run:\n");
    for (const Model& model : kModels)
        for (View view : kViews) {
            const std::string key = std::string(model.name) + "/" + viewName(view);
            ratio("frame", "frame/" + key, 4.0);
            if (view != View::outline) ratio("compile", "compile/" + key, 2.0);
            ratio("frame in 1x1 (no goal)", "frame_1x1/" + key, 0.0);
        }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    openViewerWindow(argv[0], "zemview drawing benchmark");
    glutDisplayFunc([] {});  // frames are drawn by the benchmarks; the toolkit insists on a callback
    for (int i = 0; i < 10; ++i) glutMainLoopEvent();
    initScene();
    setProjection(kWindowWidth, kWindowHeight);
    registerBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    printGoals();
    benchmark::Shutdown();
    return 0;
}
