// Import benchmarks: the cost of the confined child, as the import with it against the import without it, on a
// 200,000-triangle model and on a 1 KB OBJ, as ratios of medians measured in the same run. Each import runs in a
// process of its own, as each run of the program does: repeated in one process, the reader would find its memory
// already mapped by the run before, which a real run never does, and the child always pays for.
#include <benchmark/benchmark.h>

#include <assimp/IOSystem.hpp>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/median_times.h"
#include "formats/import/confined_io.h"
#include "formats/import/confined_read.h"
#include "formats/import/fit/fit.h"
#include "formats/import/import.h"
#include "formats/import/texture/texture_read.h"
#include "model/shape_write.h"
#include "testlib/foreign_files.h"
#include "testlib/temp_dir.h"

namespace {

// A grid of 6 by 6 vertices and its 25 quads, in two materials: about a kilobyte of OBJ.
std::string smallObj()
{
    std::string text = "mtllib small.mtl\n";
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) text += "v " + std::to_string(x) + " " + std::to_string(y) + " 0\n";
    for (int y = 0; y < 5; ++y) {
        text += y % 2 ? "usemtl a\n" : "usemtl b\n";
        for (int x = 0; x < 5; ++x) {
            const int corner = 6 * y + x + 1;
            text += "f " + std::to_string(corner) + " " + std::to_string(corner + 1) + " " +
                    std::to_string(corner + 7) + " " + std::to_string(corner + 6) + "\n";
        }
    }
    return text;
}

struct Input {
    const char* name;
    std::string path;
};

const std::vector<Input>& inputs()
{
    static const std::vector<Input> files = [] {
        const std::string folder = privateTempDir("zem-import-bench");
        std::ofstream(folder + "/knot.ply", std::ios::binary) << binaryPly(torusKnot(1000, 100));
        std::ofstream(folder + "/small.obj") << smallObj();
        std::ofstream(folder + "/small.mtl") << "newmtl a\nKd 0.9 0.5 0.2\nnewmtl b\nKd 0.1 0.7 0.8\n";
        return std::vector<Input>{{"knot", folder + "/knot.ply"}, {"small", folder + "/small.obj"}};
    }();
    return files;
}

enum class Way { withChild, inProcess, plain };
const char* const kWayNames[] = {"with the child", "its work in this process", "no child, no checks"};

// The model read and fitted one of three ways: in the confined child, as the program does; the
// child's whole job (declared sizes, confined files, the answer encoded and checked) in this
// process; or the reader and the fit alone, as the import was before the child.
bool readAndFit(Way way, const std::string& path, ImportedModel& model, std::string& why)
{
    const ImportOptions options;
    const ConfinedFit fit = [&](const SourceModel& source, ImportedModel& fitted, std::vector<std::string>& notes,
                                std::string& error) { return fitModel(source, options, fitted, notes, error); };
    ReadAnswer answer;
    if (way == Way::withChild) {
        if (!readConfined(path, false, sandboxLimitsFor(0), sourceReader(SceneColourOptions()), fit, answer, why))
            return false;
    } else if (way == Way::inProcess) {
        const std::string bytes = confinedReadAnswer(path, false, sourceReader(SceneColourOptions()), fit);
        if (!decodeReadAnswer(bytes.data(), bytes.size(), answer, why) || answer.kind != ReadAnswer::Kind::fitted)
            return false;
    } else {
        SourceModel source;
        if (!readSourceModel(path, std::make_unique<ConfinedIOSystem>(path, false, answer.notes), SceneColourOptions(),
                             source, answer.notes, why) ||
            !fit(source, answer.fitted, answer.notes, why))
            return false;
    }
    model = std::move(answer.fitted);
    return true;
}

// The whole import but the file's write: read, fitted (simplified, for the knot), formatted.
void BM_Import(benchmark::State& state)
{
    const Input& input = inputs()[state.range(0)];
    const Way way = static_cast<Way>(state.range(1));
    state.SetLabel(std::string(input.name) + ", " + kWayNames[state.range(1)]);
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            ImportedModel model;
            std::string why;
            const bool done = readAndFit(way, input.path, model, why);
            benchmark::DoNotOptimize(formatModel("bench", model.vertices, model.polygons).size());
            _exit(done ? 0 : 1);
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("the import failed");
    }
}
BENCHMARK(BM_Import)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    MedianTimes times;
    benchmark::RunSpecifiedBenchmarks(&times);
    std::printf("\nThe import with the confined child against the import without it, each in a process of its own, "
                "medians of this run (goal: within 1.1 times and 10 ms):\n");
    for (std::size_t i = 0; i < inputs().size(); ++i) {
        const auto time = [&](int way) {
            return times.seconds("BM_Import/" + std::to_string(i) + "/" + std::to_string(way) + "/");
        };
        const double child = time(0);
        for (int way = 1; way <= 2; ++way) {
            const double without = time(way);
            if (child <= 0 || without <= 0) continue;
            std::printf("  %-6s %.2f ms against %.2f ms (%s): %.3f times, %+.2f ms\n", inputs()[i].name, child * 1e3,
                        without * 1e3, kWayNames[way], child / without, (child - without) * 1e3);
        }
    }
    // The files the child asked the parent for, each a round trip on the broker's socket.
    for (const Input& input : inputs()) {
        const SandboxOutcome outcome =
            runConfinedRead(input.path, false, sandboxLimitsFor(0), sourceReader(SceneColourOptions()));
        std::printf("  %-6s %llu round trips to the parent for its files\n", input.name,
                    static_cast<unsigned long long>(outcome.requests));
    }
    benchmark::Shutdown();
    return 0;
}
