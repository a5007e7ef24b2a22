// zemrender's work: time limit, model load, off-screen drawing with the viewer's scene code, PNG, output file.
#include "app/zemrender/render_job.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/words.h"
#include "cli/output_file.h"
#include "cli/temporary_files.h"
#include "cli/tool_messages.h"
#include "image/png.h"
#include "model/shape.h"
#include "render/framing.h"
#include "render/offscreen.h"
#include "render/scene.h"

namespace {

// The time limit's line, made before the timer starts: the signal handler may only write and exit.
char gTimeLimitLine[512];
std::size_t gTimeLimitLineLength = 0;

void onTimeLimit(int)
{
    removeTemporaryFiles();
    const ssize_t ignored = write(STDERR_FILENO, gTimeLimitLine, gTimeLimitLineLength);
    (void)ignored;
    _exit(1);
}

// Until the picture is written: a write that waits (a pipe that is not read, a stalled disk) is
// timed too, and its temporary file goes when the limit strikes.
void startTimeLimit(const RenderOptions& options)
{
    if (options.timeLimit <= 0) return;
    const int length = std::snprintf(gTimeLimitLine, sizeof gTimeLimitLine,
                                     "zemrender: %s: gave up after the time limit of %g seconds\n",
                                     options.model.c_str(), options.timeLimit);
    gTimeLimitLineLength = std::min(static_cast<std::size_t>(std::max(length, 0)), sizeof gTimeLimitLine - 1);
    if (length >= static_cast<int>(sizeof gTimeLimitLine)) gTimeLimitLine[gTimeLimitLineLength - 1] = '\n';
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onTimeLimit;
    sigaction(SIGALRM, &action, nullptr);
    itimerval timer;
    std::memset(&timer, 0, sizeof timer);
    const double whole = std::floor(options.timeLimit);
    timer.it_value.tv_sec = static_cast<time_t>(whole);
    timer.it_value.tv_usec = static_cast<suseconds_t>((options.timeLimit - whole) * 1e6);
    if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
    setitimer(ITIMER_REAL, &timer, nullptr);
}

void stopTimeLimit()
{
    itimerval off;
    std::memset(&off, 0, sizeof off);
    setitimer(ITIMER_REAL, &off, nullptr);
}

// The address sanitizer reserves terabytes of address space for its shadow memory when the program
// starts, so that no cap on the address space can hold under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// The line for a fault under the memory cap, made before the cap is set: Mesa does not check every
// allocation it makes, so running out within the cap may end in a fault or an abort rather than an
// error. The handler runs on a stack of its own, since the fault may be the main stack's growth.
char gMemoryFaultLine[512];
std::size_t gMemoryFaultLineLength = 0;
char gFaultStack[1 << 16];

void onMemoryFault(int)
{
    const ssize_t ignored = write(STDERR_FILENO, gMemoryFaultLine, gMemoryFaultLineLength);
    (void)ignored;
    _exit(1);
}

void catchMemoryFaults(const RenderOptions& options)
{
    std::string line = "zemrender: " + options.model + ": the drawing failed, out of memory within the limit of " +
                       memoryWords(options.maxMemory) + " (see --max-memory)";
    line.resize(std::min(line.size(), sizeof gMemoryFaultLine - 1));
    line += '\n';
    std::memcpy(gMemoryFaultLine, line.data(), line.size());
    gMemoryFaultLineLength = line.size();
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = gFaultStack;
    stack.ss_size = sizeof gFaultStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onMemoryFault;
    action.sa_flags = SA_ONSTACK;
    for (const int signal : {SIGSEGV, SIGBUS, SIGABRT}) sigaction(signal, &action, nullptr);
}

// Caps the run's address space, its libraries and the renderer's threads included, so that an
// allocation beyond it fails rather than taking the machine's memory. Each thread's allocation
// arena would reserve 64 MB of address space that holds nothing; two arenas serve the renderer's
// threads as well. Under the address sanitizer only the file's size is limited (the cap is skipped).
void capMemory(const RenderOptions& options)
{
    if (options.maxMemory == 0 || kAddressSanitizer) return;
    mallopt(M_ARENA_MAX, 2);
    catchMemoryFaults(options);
    rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) != 0) return;
    // A lower limit set from outside stays.
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= options.maxMemory) return;
    limit.rlim_cur = static_cast<rlim_t>(options.maxMemory);
    setrlimit(RLIMIT_AS, &limit);
}

// A model file larger than the memory limit cannot load within it: refused by its size alone, in
// one line, before anything is allocated. What is no regular file the loader reads within the
// same limit.
bool withinFileLimit(const RenderOptions& options)
{
    struct stat info;
    if (options.maxMemory == 0 || stat(options.model.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) <= options.maxMemory)
        return true;
    reportFailure(options.model, "the file's " + memoryWords(static_cast<std::uint64_t>(info.st_size)) +
                                     " are more than the memory limit of " + memoryWords(options.maxMemory) +
                                     " (see --max-memory)");
    return false;
}

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// Multisampling costs each covered sample: a model whose faces cover the picture many times over (a
// soup of random polygons, such as the largest model the generator writes) would take two and a
// half times as long to draw with it, most of a thumbnail's time limit. It is drawn with single
// samples; models of real things cover their picture a few times at most.
constexpr double kMostSmoothCoverage = 64.0;

int samplesFor(const RenderOptions& options, const Framing& framing)
{
    if (options.samples == 0 || !options.fit) return options.samples;
    const double coverage =
        pictureCoverage(gShape, framing, options.width, options.height, options.view.rotX, options.view.rotY);
    return coverage <= kMostSmoothCoverage ? options.samples : 0;
}

// The viewer's start-up and first frame: scene, display list 1, projection, frame. --fit only moves
// the eye and the depth range, and shifts the turned model onto the view axis; the light is
// directional, so the shift leaves the shading as it is.
void drawPicture(const RenderOptions& options, const Framing& framing)
{
    SceneView view = options.view;
    initScene();
    gShape.compileList(kShapeList, view.lighting, view.smooth);
    if (!options.fit) {
        setProjection(options.width, options.height);
    } else {
        view.distance = framing.distance;
        setProjection(options.width, options.height, framing.nearPlane, framing.farPlane);
        shiftView(framing.shift);
    }
    drawFrame(view);
}

bool writeOutput(const std::string& path, const PngBytes& png)
{
    OutputFile output;
    std::string error;
    if (!output.open(path, error) || !output.write(png.data.get(), png.size, error) || !output.commit(error)) {
        toolLine(error);
        return false;
    }
    return true;
}

bool openCanvas(OffscreenCanvas& canvas, const RenderOptions& options, int samples)
{
    std::string error;
    // The size is checked against the renderer's limit before anything of that size is allocated.
    if (canvas.open(error, samples) && canvas.allocate(options.width, options.height, error)) return true;
    toolLine(error);
    return false;
}

// The drawn picture, read back and encoded.
bool encodePicture(const OffscreenCanvas& canvas, const RenderOptions& options, PngBytes& png)
{
    const int channels = options.transparent ? 4 : 3;
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[canvas.pictureBytes(channels)]);
    if (!pixels) {
        toolLine("out of memory for a picture of " + sizeText(options.width, options.height));
        return false;
    }
    canvas.readPicture(pixels.get(), channels);
    PixelRows rows;
    rows.pixels = pixels.get();
    rows.width = options.width;
    rows.height = options.height;
    rows.channels = channels;
    rows.bottomUp = true;
    std::string error;
    if (encodePng(rows, png, error)) return true;
    toolLine(error);
    return false;
}

}  // namespace

int runRender(const RenderOptions& options)
{
    std::string error;
    if (!refuseInputAsOutput(options.model, options.output, error) || !checkOutputPath(options.output, error)) {
        toolLine(error);
        return 1;
    }
    startTimeLimit(options);
    capMemory(options);
    if (!withinFileLimit(options)) return 1;
    // The loader's own lines come first, under the program's name; ours follows them.
    const std::size_t maxBytes = options.maxMemory ? static_cast<std::size_t>(options.maxMemory) : SIZE_MAX;
    if (!gShape.load(options.model.c_str(), maxBytes)) return reportFailure(options.model, "the model did not load");
    const Framing framing =
        options.fit ? frameShape(gShape, options.width, options.height, options.view.rotX, options.view.rotY)
                    : Framing();
    OffscreenCanvas canvas;
    if (!openCanvas(canvas, options, samplesFor(options, framing))) return 1;
    drawPicture(options, framing);
    PngBytes png;
    if (!encodePicture(canvas, options, png)) return 1;
    const bool written = writeOutput(options.output, png);
    stopTimeLimit();
    return written ? 0 : 1;
}
