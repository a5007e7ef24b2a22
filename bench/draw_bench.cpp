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
#include "render/scene.h"
#include "render/viewer.h"
#include "tests/draw_oracle.h"
#include "tools/sample_models.h"

namespace {

enum class View { litSmooth, litFlat, unlit, outline };
const View kViews[] = {View::litSmooth, View::litFlat, View::unlit, View::outline};
const char* const kViewNames[] = {"lit_smooth", "lit_flat", "unlit", "outline"};

struct Model {
    const char* name;
    std::string (*text)();
    int rotX, rotY;   // the terrain is tilted to be seen from above
    int solidFrames;  // frames timed per solid view and drawing
};
// At the start view most faces of the largest random model cover much of the window many times
// over: its solid frames take the rasteriser most of a second, so fewer of them are timed.
const Model kModels[] = {
    {"largest", [] { return randomModel(32767, 65534, 1); }, 0, 0, 5},
    {"terrain", [] { return terrainModel(); }, 35, -20, 21},
};

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
    resetViewState();
    gRotX = model.rotX;
    gRotY = model.rotY;
    gLighting = view != View::unlit;
    gSmooth = view != View::litFlat;
    gWireframe = view == View::outline;
    return true;
}

void compile(bool oracle)
{
    if (oracle)
        oracleCompileList(gShape, kShapeList, gLighting, gSmooth);
    else
        gShape.compileList(kShapeList, gLighting, gSmooth);
}

// Times each iteration itself, so that the summary can take the median rather than the mean.
template <typename Work>
void timeEach(benchmark::State& state, const std::string& key, Work work)
{
    std::vector<double> seconds;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        work();
        glFinish();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        seconds.push_back(took.count());
    }
    std::sort(seconds.begin(), seconds.end());
    if (!seconds.empty()) gMedians[key] = seconds[seconds.size() / 2];
}

std::string name(const char* what, const Model& model, View view, bool oracle)
{
    return std::string(what) + "/" + model.name + "/" + kViewNames[static_cast<int>(view)] +
           (oracle ? "/per_polygon" : "/batched");
}

// A frame, in the whole window or in a 1 x 1 viewport: the same primitives and vertex work with
// almost no pixels, which shows what the drawing costs apart from filling pixels.
void frameBenchmark(benchmark::State& state, const Model& model, View view, bool oracle, bool tiny)
{
    if (!useView(model, view)) return state.SkipWithError("model did not load");
    setProjection(kWindowWidth, kWindowHeight);
    if (tiny) glViewport(0, 0, 1, 1);  // the same projection, so that the same primitives are drawn
    if (view != View::outline) compile(oracle);
    const auto frame = [oracle, view] {
        if (oracle && view == View::outline)
            oracleOutlineFrame();
        else
            drawFrame();
    };
    frame();  // the first frame after a compile pays for more than drawing
    glFinish();
    timeEach(state, name(tiny ? "frame_1x1" : "frame", model, view, oracle), frame);
    setProjection(kWindowWidth, kWindowHeight);
}

// Each compile replaces list 1 with one of the same kind, as the "l" and "s" keys do, so it pays
// for freeing the list before it too.
void compileBenchmark(benchmark::State& state, const Model& model, View view, bool oracle)
{
    if (!useView(model, view)) return state.SkipWithError("model did not load");
    timeEach(state, name("compile", model, view, oracle), [oracle] { compile(oracle); });
}

void registerBenchmarks()
{
    for (const Model& model : kModels)
        for (View view : kViews)
            for (bool oracle : {true, false}) {
                const int frames = view == View::outline ? 21 : model.solidFrames;
                benchmark::RegisterBenchmark(name("frame", model, view, oracle).c_str(), frameBenchmark, model, view,
                                             oracle, false)
                    ->UseManualTime()
                    ->Iterations(frames)
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(name("frame_1x1", model, view, oracle).c_str(), frameBenchmark, model,
                                             view, oracle, true)
                    ->UseManualTime()
                    ->Iterations(21)
                    ->Unit(benchmark::kMillisecond);
                if (view == View::outline) continue;
                benchmark::RegisterBenchmark(name("compile", model, view, oracle).c_str(), compileBenchmark, model,
                                             view, oracle)
                    ->UseManualTime()
                    ->Iterations(9)
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
            const std::string key = std::string(model.name) + "/" + kViewNames[static_cast<int>(view)];
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
