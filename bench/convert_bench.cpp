// Export benchmarks: the largest generated model exported to each format, against its load, with the
// goal checked as ratios of medians measured in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "bench/median_times.h"
#include "formats/export/export.h"
#include "model/shape.h"
#include "testlib/temp_dir.h"
#include "tools/sample_models.h"

namespace {

constexpr int kLargestVertices = 32767;  // every index a 16-bit value can name
constexpr int kLargestPolygons = 65534;

const std::string& largestFile()
{
    static const std::string path = [] {
        const std::string file = privateTempDir("zemconvert-bench") + "/largest.zem";
        std::ofstream(file, std::ios::binary) << randomModel(kLargestVertices, kLargestPolygons, 1);
        return file;
    }();
    return path;
}

const Shape& largestShape()
{
    static Shape shape;
    static const bool loaded = shape.load(largestFile().c_str());
    (void)loaded;
    return shape;
}

struct Target {
    const char* name;
    ExportFormat format;
    const char* output;  // names the companion files; nothing is written there
};

const Target kTargets[] = {
    {"obj", ExportFormat::Obj, "out.obj"},
    {"gltf", ExportFormat::Gltf, "out.gltf"},
    {"glb", ExportFormat::Glb, "out.glb"},
    {"ply-ascii", ExportFormat::PlyAscii, "out.ply"},
    {"ply-binary", ExportFormat::PlyBinary, "out.ply"},
    {"stl", ExportFormat::Stl, "out.stl"},
};

void BM_Load(benchmark::State& state)
{
    const std::string& path = largestFile();
    for (auto _ : state) {
        Shape shape;
        if (!shape.load(path.c_str())) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(shape.vertexNormals.get());
    }
}
BENCHMARK(BM_Load)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

// The whole export into memory, the shared view included; the files' write and sync are left out,
// as they measure the disk.
void BM_Export(benchmark::State& state)
{
    const Target& target = kTargets[state.range(0)];
    state.SetLabel(target.name);
    const Shape& shape = largestShape();
    std::size_t bytes = 0;
    for (auto _ : state) {
        ExportResult result;
        std::string error;
        if (!exportShape(shape, target.format, target.output, ExportOptions(), result, error))
            state.SkipWithError(error.c_str());
        bytes = 0;
        for (const ExportedFile& file : result.files) bytes += file.bytes.size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_Export)->DenseRange(0, 5)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    MedianTimes times;
    benchmark::RunSpecifiedBenchmarks(&times);
    const auto time = [&](const std::string& name) { return times.seconds(name); };
    const double load = time("BM_Load");
    if (load > 0) {
        std::printf("\nExport of the largest model (%d vertices, %d polygons) against its load (%.2f ms), "
                    "medians of this run (goal: 3 times the load at most):\n",
                    kLargestVertices, kLargestPolygons, load * 1e3);
        for (std::size_t i = 0; i < sizeof kTargets / sizeof kTargets[0]; ++i) {
            const double seconds = time("BM_Export/" + std::to_string(i) + "/");
            if (seconds <= 0) continue;
            std::printf("  %-10s %.2f times the load (%.2f ms)%s\n", kTargets[i].name, seconds / load, seconds * 1e3,
                        seconds > 3 * load ? "  over the goal" : "");
        }
    }
    benchmark::Shutdown();
    return 0;
}
