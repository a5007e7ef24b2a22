// Load and normal benchmarks, with the goals checked as ratios of times measured in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench/median_times.h"
#include "model/shape.h"
#include "tools/sample_models.h"
#include "testlib/crafted_positions.h"
#include "testlib/normals_oracle.h"
#include "testlib/temp_dir.h"

namespace {

constexpr int kLargestVertices = 32767;  // every index a 16-bit value can name
constexpr int kLargestPolygons = 65534;

// Generated model files, written once per size into a private folder: vertices with twice as many
// polygons, or the largest vertex table with the given number of polygons.
const std::string& modelFile(int vertices, int polygons = 0)
{
    static std::map<std::pair<int, int>, std::string> files;
    if (polygons == 0) polygons = 2 * vertices;
    const std::string& folder = privateTempDir("zemview-bench");
    std::string& path = files[{vertices, polygons}];
    if (path.empty()) {
        path = folder + "/model-" + std::to_string(vertices) + "-" + std::to_string(polygons) + ".zem";
        std::ofstream(path, std::ios::binary) << randomModel(vertices, polygons, static_cast<uint32_t>(vertices));
    }
    return path;
}

long fileSize(const std::string& path)
{
    return static_cast<long>(std::ifstream(path, std::ios::binary | std::ios::ate).tellg());
}

Shape parsedLargest()
{
    const std::string text = randomModel(kLargestVertices, kLargestPolygons, 1);
    Shape shape;
    shape.parse(text.data(), text.data() + text.size());
    return shape;
}

void BM_Load(benchmark::State& state)
{
    const std::string& path = modelFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Shape shape;
        if (!shape.load(path.c_str())) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(shape.vertexNormals.get());
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
}
BENCHMARK(BM_Load)
    ->Arg(1024)
    ->Arg(2048)
    ->Arg(4096)
    ->Arg(8192)
    ->Arg(16384)
    ->Arg(kLargestVertices)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// A file of over 200 MB: the largest vertex table with almost five million polygons.
void BM_LoadHuge(benchmark::State& state)
{
    const std::string& path = modelFile(kLargestVertices, 4900000);
    for (auto _ : state) {
        Shape shape;
        if (!shape.load(path.c_str())) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
}
BENCHMARK(BM_LoadHuge)->Iterations(3)->Unit(benchmark::kMillisecond);

// The file read alone, one fread into one buffer: the floor under any load.
void BM_ReadOnly(benchmark::State& state)
{
    const std::string& path = modelFile(kLargestVertices);
    const long size = fileSize(path);
    std::string buffer(static_cast<std::size_t>(size), '\0');
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(&buffer[0], 1, buffer.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ReadOnly)->Unit(benchmark::kMillisecond);

void BM_NormalsLinear(benchmark::State& state)
{
    Shape shape = parsedLargest();
    for (auto _ : state) {
        shape.computeNormals();
        benchmark::DoNotOptimize(shape.vertexNormals.get());
    }
}
BENCHMARK(BM_NormalsLinear)->Unit(benchmark::kMillisecond);

void BM_NormalsLiteral(benchmark::State& state)
{
    Shape shape = parsedLargest();
    for (auto _ : state) benchmark::DoNotOptimize(literalNormals(shape).vertex.data());
}
BENCHMARK(BM_NormalsLiteral)->Iterations(1)->Unit(benchmark::kSecond);

// A model of vertices alone, the largest cost a file can put on the grouping by position.
Shape vertexOnlyShape(const std::vector<ShapeVertex>& positions)
{
    Shape shape;
    shape.vertexCount = static_cast<int32_t>(positions.size());
    shape.vertices = allocateArray<ShapeVertex>(positions.size(), "the vertices");
    std::copy(positions.begin(), positions.end(), shape.vertices.get());
    shape.polygons = allocateArray<ShapePolygon>(0, "the polygons");
    return shape;
}

int slotBitsFor(int64_t count)
{
    int bits = 4;
    while ((int64_t(1) << bits) < 2 * count) ++bits;
    return bits;
}

void BM_NormalsCraftedPositions(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    Shape shape = vertexOnlyShape(positionsCollidingInAHash(count, slotBitsFor(count)));
    for (auto _ : state) {
        shape.computeNormals();
        benchmark::DoNotOptimize(shape.vertexNormals.get());
    }
}
BENCHMARK(BM_NormalsCraftedPositions)->Arg(131072)->Arg(524288)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_NormalsRandomPositions(benchmark::State& state)
{
    Shape shape = vertexOnlyShape(randomPositions(static_cast<int>(state.range(0)), 9));
    for (auto _ : state) {
        shape.computeNormals();
        benchmark::DoNotOptimize(shape.vertexNormals.get());
    }
}
BENCHMARK(BM_NormalsRandomPositions)->Arg(131072)->Arg(524288)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    MedianTimes times;
    benchmark::RunSpecifiedBenchmarks(&times);
    const auto time = [&](const std::string& name) { return times.seconds(name); };
    const std::string largest = "BM_Load/" + std::to_string(kLargestVertices);
    std::printf("\nGoals on the largest model (%d vertices, %d polygons, %.2f MB of text), measured in this run:\n",
                kLargestVertices, kLargestPolygons, static_cast<double>(fileSize(modelFile(kLargestVertices))) / 1e6);
    if (time("BM_NormalsLinear") > 0 && time("BM_NormalsLiteral") > 0)
        std::printf("  normals: linear %.0f times faster than the literal loop (goal: 1000 or more)\n",
                    time("BM_NormalsLiteral") / time("BM_NormalsLinear"));
    if (time(largest) > 0) {
        const double bytes = static_cast<double>(fileSize(modelFile(kLargestVertices)));
        std::printf("  load: %.0f MB of model text per second (goal: 300 or more), %.2f times the time of reading the "
                    "file alone\n",
                    bytes / time(largest) / 1e6, time(largest) / time("BM_ReadOnly"));
    }
    if (time("BM_LoadHuge") > 0)
        std::printf("  a %.0f MB model loads at %.0f MB per second\n",
                    static_cast<double>(fileSize(modelFile(kLargestVertices, 4900000))) / 1e6,
                    static_cast<double>(fileSize(modelFile(kLargestVertices, 4900000))) / time("BM_LoadHuge") / 1e6);
    for (const char* count : {"131072", "524288"}) {
        const double crafted = time(std::string("BM_NormalsCraftedPositions/") + count);
        const double random = time(std::string("BM_NormalsRandomPositions/") + count);
        if (crafted > 0 && random > 0)
            std::printf("  %s vertices at positions crafted against a hash: %.2f times the time of random positions "
                        "(goal: 2 at most)\n",
                        count, crafted / random);
    }
    std::printf("  doubling the model multiplies the load time by:");
    for (int v = 1024; v < kLargestVertices; v *= 2) {
        const int next = v * 2 > kLargestVertices ? kLargestVertices : v * 2;
        const double before = time("BM_Load/" + std::to_string(v));
        const double after = time("BM_Load/" + std::to_string(next));
        if (before > 0 && after > 0) std::printf(" %.2f", after / before);
    }
    std::printf(" (goal: about 2 at most)\n");
    benchmark::Shutdown();
    return 0;
}
