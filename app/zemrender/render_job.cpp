// zemrender's work: time limit, model load, off-screen drawing with the viewer's scene code, PNG, output file.
#include "app/zemrender/render_job.h"

#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

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

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// The viewer's start-up and first frame: scene, display list 1, projection, frame. --fit only moves
// the eye and the depth range, and shifts the turned model's centre onto the view axis; the light is
// directional, so the shift leaves the shading as it is.
void drawPicture(const RenderOptions& options)
{
    setViewState(options.view);
    initScene();
    gShape.compileList(kShapeList, gLighting, gSmooth);
    if (!options.fit) {
        setProjection(options.width, options.height);
    } else {
        const Framing framing = frameShape(gShape, options.width, options.height, gRotX, gRotY);
        gDistance = framing.distance;
        setProjection(options.width, options.height, framing.nearPlane, framing.farPlane);
        shiftView(framing.shift);
    }
    drawFrame();
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

bool openCanvas(OffscreenCanvas& canvas, const RenderOptions& options)
{
    std::string error;
    // The size is checked against the renderer's limit before anything of that size is allocated.
    if (canvas.open(error) && canvas.allocate(options.width, options.height, error)) return true;
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
    if (!refuseInputAsOutput(options.model, options.output, error)) {
        toolLine(error);
        return 1;
    }
    startTimeLimit(options);
    // The loader's own lines come first, under the program's name; ours follows them.
    if (!gShape.load(options.model.c_str())) return reportFailure(options.model, "the model did not load");
    OffscreenCanvas canvas;
    if (!openCanvas(canvas, options)) return 1;
    drawPicture(options);
    PngBytes png;
    if (!encodePicture(canvas, options, png)) return 1;
    const bool written = writeOutput(options.output, png);
    stopTimeLimit();
    return written ? 0 : 1;
}
