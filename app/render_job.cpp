// zemrender's work: time limit, model load, off-screen drawing with the viewer's scene code, PNG, output file.
#include "app/render_job.h"

#include <GL/gl.h>
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
#include "image/png.h"
#include "cli/tool_messages.h"
#include "model/shape.h"
#include "render/offscreen.h"
#include "render/scene.h"

namespace {

// The time limit's line, made before the timer starts: the signal handler may only write and exit.
char gTimeLimitLine[512];
std::size_t gTimeLimitLineLength = 0;

void onTimeLimit(int)
{
    const ssize_t ignored = write(STDERR_FILENO, gTimeLimitLine, gTimeLimitLineLength);
    (void)ignored;
    _exit(1);
}

// Until the picture's bytes are ready: nothing has been written by then, so stopping leaves nothing
// behind. Writing the finished bytes is not timed.
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

// Where --fit puts the model: the centre of its vertices' bounding box, at a distance from which the
// sphere around them fits the narrower field of view, with the near and far planes close around it.
struct Framing {
    double centre[3] = {0.0, 0.0, 0.0};
    double distance = kStartView.distance;
    double nearPlane = kNearPlane;
    double farPlane = kFarPlane;
};

Framing frameShape(const Shape& shape, int width, int height)
{
    Framing framing;
    double low[3] = {0.0, 0.0, 0.0};
    double high[3] = {0.0, 0.0, 0.0};
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const double p[3] = {double(shape.vertices[i].x), double(shape.vertices[i].y), double(shape.vertices[i].z)};
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = i == 0 ? p[axis] : std::min(low[axis], p[axis]);
            high[axis] = i == 0 ? p[axis] : std::max(high[axis], p[axis]);
        }
    }
    for (int axis = 0; axis < 3; ++axis) framing.centre[axis] = (low[axis] + high[axis]) / 2.0;
    double radius = 0.0;
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const double dx = shape.vertices[i].x - framing.centre[0];
        const double dy = shape.vertices[i].y - framing.centre[1];
        const double dz = shape.vertices[i].z - framing.centre[2];
        radius = std::max(radius, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    // A single point still gets a finite view volume.
    radius = std::max(radius, 1.0);
    const double pi = std::acos(-1.0);
    const double halfHeight = kFieldOfView / 2.0 * pi / 180.0;
    const double halfWidth = std::atan(std::tan(halfHeight) * width / height);
    // A little room, so that no vertex lands on the picture's last pixel.
    const double distance = 1.02 * radius / std::sin(std::min(halfHeight, halfWidth));
    framing.distance = -distance;
    framing.nearPlane = distance - 1.01 * radius;
    framing.farPlane = distance + 1.01 * radius;
    return framing;
}

// Rotation about X, then about Y, of a point, as drawFrame turns the model.
void rotate(const double point[3], int rotX, int rotY, double out[3])
{
    const double pi = std::acos(-1.0);
    const double ax = rotX * pi / 180.0;
    const double ay = rotY * pi / 180.0;
    const double x1 = point[0] * std::cos(ay) + point[2] * std::sin(ay);
    const double z1 = -point[0] * std::sin(ay) + point[2] * std::cos(ay);
    out[0] = x1;
    out[1] = point[1] * std::cos(ax) - z1 * std::sin(ax);
    out[2] = point[1] * std::sin(ax) + z1 * std::cos(ax);
}

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
        const Framing framing = frameShape(gShape, options.width, options.height);
        gDistance = framing.distance;
        setProjection(options.width, options.height, framing.nearPlane, framing.farPlane);
        double turned[3];
        rotate(framing.centre, gRotX, gRotY, turned);
        glTranslated(-turned[0], -turned[1], -turned[2]);
    }
    drawFrame();
}

bool writeOutput(const std::string& path, const PngBytes& png)
{
    OutputFile output;
    if (!output.open(path) || !output.write(png.data.get(), png.size) || !output.commit()) {
        toolLine(output.error());
        return false;
    }
    return true;
}

int render(const RenderOptions& options)
{
    startTimeLimit(options);
    if (!gShape.load(options.model.c_str())) {
        toolLine(options.model + ": the model did not load");
        return 1;
    }
    OffscreenCanvas canvas;
    if (!canvas.open()) {
        toolLine(canvas.error());
        return 1;
    }
    // The size is checked against the renderer's limit before anything of that size is allocated.
    if (!canvas.allocate(options.width, options.height)) {
        toolLine(canvas.error());
        return 1;
    }
    drawPicture(options);
    const int channels = options.transparent ? 4 : 3;
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[canvas.pictureBytes(channels)]);
    if (!pixels) {
        toolLine("out of memory for a picture of " + sizeText(options.width, options.height));
        return 1;
    }
    canvas.readPicture(pixels.get(), channels);
    PixelRows rows;
    rows.pixels = pixels.get();
    rows.width = options.width;
    rows.height = options.height;
    rows.channels = channels;
    rows.bottomUp = true;
    PngBytes png;
    std::string problem;
    if (!encodePng(rows, png, problem)) {
        toolLine(problem);
        return 1;
    }
    stopTimeLimit();
    return writeOutput(options.output, png) ? 0 : 1;
}

}  // namespace

int runRender(const RenderOptions& options)
{
    // The loader's own lines come first, under the program's name; ours follows them.
    try {
        return render(options);
    } catch (const std::bad_alloc&) {
        toolLine("out of memory");
    } catch (const std::exception& e) {
        toolLine(e.what());
    }
    return 1;
}
