// zemrender run for real with no display: the PNG it writes, framing and thumbnails, the sandbox, and its errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/zemrender/options.h"

#include "base/paths.h"
#include "model/shape_write.h"
#include "tests/support/zemrender_support.h"
#include "tools/sample_models.h"
#include "zem_version.h"

namespace {

const unsigned char* pixelAt(const DecodedPng& picture, int x, int y)
{
    return &picture.rgba[static_cast<std::size_t>((y * picture.width + x) * 4)];
}

std::vector<std::string> words(std::vector<std::string> options, const std::string& model, const std::string& output)
{
    options.push_back(model);
    options.push_back(output);
    return options;
}

// A cube of side 10000 whose nearest corner is 20000 units out on every axis: beyond the viewer's
// far plane and off its view axis, so that only framing can show it.
std::string farCubePath()
{
    std::vector<TextVertex> corners;
    for (int i = 0; i < 8; ++i)
        corners.push_back({i & 1 ? 30000 : 20000, i & 2 ? 30000 : 20000, i & 4 ? 30000 : 20000});
    const std::vector<TextPolygon> faces = {{9, {0, 1, 3, 2}},  {10, {4, 6, 7, 5}}, {11, {0, 4, 5, 1}},
                                            {12, {2, 3, 7, 6}}, {13, {0, 2, 6, 4}}, {14, {1, 5, 7, 3}}};
    static const std::string path = writeTempFile("far.zem", formatModel("far", corners, faces));
    return path;
}

// The largest model the format can address.
std::string largestModelPath()
{
    static const std::string path = writeTempFile("largest.zem", randomModel(32767, 65534, 7));
    return path;
}

// The picture holds the model whole and large: nothing on its outermost pixels, and the model's
// box spans at least the share given of the width or of the height.
void expectFramed(const DecodedPng& picture, double share, const std::string& what)
{
    const Box box = modelBox(picture);
    ASSERT_FALSE(box.empty()) << what << ": no model in the picture";
    EXPECT_GE(box.left, 1) << what;
    EXPECT_GE(box.top, 1) << what;
    EXPECT_LE(box.right, picture.width - 2) << what;
    EXPECT_LE(box.bottom, picture.height - 2) << what;
    const double across = double(box.right - box.left + 1) / picture.width;
    const double down = double(box.bottom - box.top + 1) / picture.height;
    EXPECT_GE(std::max(across, down), share) << what << ": the model spans " << across << " x " << down;
}

TEST(ZemrenderOutput, defaultIsAnOpaqueRgbPictureOfTheViewersWindowSize)
{
    const std::string output = freshOutput("default");
    const RunResult run = runZemrender({modelPath("cube.zem"), output});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    const DecodedPng picture = readPng(output);
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 480);
    EXPECT_TRUE(picture.colour);
    EXPECT_FALSE(picture.alpha) << "an opaque picture has no alpha channel";
    const unsigned char* corner = pixelAt(picture, 0, 0);
    EXPECT_EQ(corner[0] | corner[1] | corner[2], 0) << "black background";
    EXPECT_GT(pixelAt(picture, 320, 240)[1], 100) << "the green front face in the middle";
    EXPECT_EQ(folderEntries(tempDir() + "/default"), std::vector<std::string>{"out.png"}) << "no temporary left";
}

TEST(ZemrenderOutput, sizeSetsWidthAndHeightWithTheModelInTheMiddle)
{
    for (const std::vector<std::string>& size : {std::vector<std::string>{"--size", "320x200"}, {"-s", "320x200"}}) {
        const std::string output = freshOutput("size" + size[0]);
        const RunResult run = runZemrender(words(size, modelPath("cube.zem"), output));
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const DecodedPng picture = readPng(output);
        EXPECT_EQ(picture.width, 320);
        EXPECT_EQ(picture.height, 200);
        const Box box = modelBox(picture);
        EXPECT_NEAR((box.left + box.right) / 2.0, 160, 2);
        EXPECT_NEAR((box.top + box.bottom) / 2.0, 100, 2);
    }
}

TEST(ZemrenderOutput, transparentBackgroundIsTheBlackPictureWithAlpha)
{
    const std::string black = freshOutput("black");
    const std::string clear = freshOutput("transparent");
    ASSERT_EQ(runZemrender({"--background", "black", modelPath("torus.zem"), black}).exitStatus, 0);
    ASSERT_EQ(runZemrender({"--background", "transparent", modelPath("torus.zem"), clear}).exitStatus, 0);
    const DecodedPng opaque = readPng(black);
    const DecodedPng picture = readPng(clear);
    ASSERT_TRUE(picture.alpha) << "a transparent picture keeps its alpha channel";
    ASSERT_EQ(picture.rgba.size(), opaque.rgba.size());
    int see = 0;
    int covered = 0;
    for (std::size_t i = 0; i < picture.rgba.size(); i += 4) {
        ASSERT_EQ(picture.rgba[i] | (picture.rgba[i + 1] << 8) | (picture.rgba[i + 2] << 16),
                  opaque.rgba[i] | (opaque.rgba[i + 1] << 8) | (opaque.rgba[i + 2] << 16))
            << "the colours are the black picture's, at byte " << i;
        const int alpha = picture.rgba[i + 3];
        ASSERT_TRUE(alpha == 0 || alpha == 255) << "no half-transparent pixel, at byte " << i;
        (alpha == 0 ? see : covered) += 1;
        if (alpha == 0) {
            ASSERT_EQ(picture.rgba[i] | picture.rgba[i + 1] | picture.rgba[i + 2], 0);
        }
    }
    EXPECT_EQ(pixelAt(picture, 0, 0)[3], 0) << "the background is transparent";
    EXPECT_GT(covered, 10000) << "the model is opaque";
    EXPECT_GT(see, 100000);
}

TEST(ZemrenderOutput, standardOutputCarriesTheSamePng)
{
    const std::string output = freshOutput("stdout");
    ASSERT_EQ(runZemrender({modelPath("torus.zem"), output}).exitStatus, 0);
    const RunResult run = runZemrender({modelPath("torus.zem"), "-"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out == readFile(output)) << "standard output got " << run.out.size() << " bytes";
}

TEST(ZemrenderFraming, fitBringsAModelBeyondTheFarPlaneIntoTheMiddleWhole)
{
    const std::string plain = freshOutput("far-plain");
    ASSERT_EQ(runZemrender({farCubePath(), plain}).exitStatus, 0);
    EXPECT_TRUE(modelBox(readPng(plain)).empty()) << "without --fit the model lies beyond the far plane";

    const std::string fitted = freshOutput("far-fit");
    const RunResult run = runZemrender({"--fit", farCubePath(), fitted});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const DecodedPng picture = readPng(fitted);
    const Box box = modelBox(picture);
    EXPECT_NEAR((box.left + box.right) / 2.0, 319.5, 1) << "centred across";
    EXPECT_NEAR((box.top + box.bottom) / 2.0, 239.5, 1) << "centred down";
    expectFramed(picture, 0.6, "the far cube face on");
}

TEST(ZemrenderFraming, fitFramesTheSameShapeTheSameWhereverItIsAndWhateverItsSize)
{
    // The sample cube has side 200 around the origin; the far cube is it, 50 times larger and far
    // off the axis. Turned to a corner, perspective makes the picture lopsided, but the same.
    const std::vector<std::string> corner = {"--fit", "--rotate-x", "35", "--rotate-y", "45"};
    const std::string near = freshOutput("corner-near");
    const std::string far = freshOutput("corner-far");
    ASSERT_EQ(runZemrender(words(corner, modelPath("cube.zem"), near)).exitStatus, 0);
    ASSERT_EQ(runZemrender(words(corner, farCubePath(), far)).exitStatus, 0);
    const DecodedPng picture = readPng(far);
    expectFramed(picture, 0.8, "the far cube on its corner");
    const Box farBox = modelBox(picture);
    const Box nearBox = modelBox(readPng(near));
    EXPECT_NEAR(farBox.left, nearBox.left, 1);
    EXPECT_NEAR(farBox.right, nearBox.right, 1);
    EXPECT_NEAR(farBox.top, nearBox.top, 1);
    EXPECT_NEAR(farBox.bottom, nearBox.bottom, 1);
}

TEST(ZemrenderFraming, fitHoldsTheWholeModelAtEveryAngleAndShape)
{
    const std::vector<std::vector<std::string>> views = {
        {"--size", "200x200"},
        {"--size", "200x200", "--rotate-x", "90"},
        {"--size", "300x120", "--rotate-x", "-60", "--rotate-y", "170"},
        {"--size", "120x300", "--rotate-x", "30", "--rotate-y", "-20", "--outline"},
    };
    int n = 0;
    for (const std::string model : {"torus.zem", "segments.zem"}) {
        for (std::vector<std::string> view : views) {
            const std::string output = freshOutput("fit-" + std::to_string(n++));
            view.push_back("--fit");
            const RunResult run = runZemrender(words(view, modelPath(model), output));
            ASSERT_EQ(run.exitStatus, 0) << run.err;
            std::string what = model;
            for (const std::string& word : view) what += " " + word;
            expectFramed(readPng(output), 0.75, what);
        }
    }
}

TEST(ZemrenderThumbnail, aSquareTransparentFramedPicture)
{
    const std::string output = freshOutput("thumbnail");
    const RunResult run = runZemrender({"--thumbnail", "128", modelPath("dodecahedron.zem"), output});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const DecodedPng picture = readPng(output);
    EXPECT_EQ(picture.width, 128);
    EXPECT_EQ(picture.height, 128);
    EXPECT_TRUE(picture.alpha);
    for (const int at : {0, 127}) {
        EXPECT_EQ(pixelAt(picture, at, 0)[3], 0) << "transparent corner";
        EXPECT_EQ(pixelAt(picture, at, 127)[3], 0) << "transparent corner";
    }
    EXPECT_EQ(pixelAt(picture, 64, 64)[3], 255) << "the model is opaque";
    expectFramed(picture, 0.8, "thumbnail");
}

TEST(ZemrenderThumbnail, optionsGivenWithItStillApply)
{
    const std::string output = freshOutput("thumbnail-white");
    const RunResult run =
        runZemrender({"--background", "white", "--thumbnail", "64", modelPath("dodecahedron.zem"), output});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const DecodedPng picture = readPng(output);
    EXPECT_EQ(picture.width, 64);
    EXPECT_FALSE(picture.alpha);
    EXPECT_EQ(pixelAt(picture, 0, 0)[0] & pixelAt(picture, 0, 0)[1] & pixelAt(picture, 0, 0)[2], 255);
}

TEST(ZemrenderThumbnail, theLargestModelFinishesWithinItsTimeLimit)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers slow the drawing several times over: the time limit is the shipped "
                    "program's, checked by the plain build";
#endif
    const std::string output = freshOutput("thumbnail-largest");
    const RunResult run = runZemrender({"--thumbnail", "256", largestModelPath(), output});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    expectFramed(readPng(output), 0.75, "the largest model");
}

// The model's margins in the picture: left, right, top and bottom, in pixels.
struct Margins {
    int left, right, top, bottom;
};

Margins marginsOf(const DecodedPng& picture)
{
    const Box box = modelBox(picture);
    EXPECT_FALSE(box.empty()) << "no model in the picture";
    return {box.left, picture.width - 1 - box.right, box.top, picture.height - 1 - box.bottom};
}

TEST(ZemrenderFraming, theModelSeenInPerspectiveIsCentredWithEvenMarginsAndFillsThePicture)
{
    const std::vector<std::vector<std::string>> runs = {
        {"--thumbnail", "256", modelPath("cube.zem")},
        {"--thumbnail", "128", modelPath("torus.zem")},
        {"--thumbnail", "200", largestModelPath(), "--time-limit", "0"},
        {"--fit", "--size", "300x180", "--rotate-x", "-40", "--rotate-y", "60", modelPath("dodecahedron.zem")},
        {"--fit", "--size", "150x300", "--rotate-x", "35", "--rotate-y", "45", farCubePath()},
    };
    int n = 0;
    for (std::vector<std::string> words : runs) {
        std::string what;
        for (const std::string& word : words) what += " " + word;
        words.push_back(freshOutput("margins-" + std::to_string(n++)));
        const RunResult run = runZemrender(words);
        ASSERT_EQ(run.exitStatus, 0) << what << ": " << run.err;
        const DecodedPng picture = readPng(words.back());
        const Margins m = marginsOf(picture);
        EXPECT_LE(std::abs(m.left - m.right), 2) << what << ": left " << m.left << ", right " << m.right;
        EXPECT_LE(std::abs(m.top - m.bottom), 2) << what << ": top " << m.top << ", bottom " << m.bottom;
        EXPECT_GE(std::min({m.left, m.right, m.top, m.bottom}), 1) << what << ": the model touches an edge";
        // One way the model spans the picture but for a small margin on each side.
        const double across = 1.0 - double(m.left + m.right) / picture.width;
        const double down = 1.0 - double(m.top + m.bottom) / picture.height;
        EXPECT_GE(std::max(across, down), 0.92) << what << ": the model spans " << across << " x " << down;
    }
}

// Counts of a transparent picture's pixels by their alpha: none, part, whole.
struct Coverage {
    int clear = 0, part = 0, whole = 0;
};

Coverage coverageOf(const DecodedPng& picture)
{
    Coverage coverage;
    for (std::size_t i = 3; i < picture.rgba.size(); i += 4)
        ++(picture.rgba[i] == 0 ? coverage.clear : picture.rgba[i] == 255 ? coverage.whole : coverage.part);
    return coverage;
}

TEST(ZemrenderThumbnail, edgesArePartlyCoveredPixelsOfStraightColour)
{
    // The same drawing on the black clear, whose alpha is 0, read without alpha: its edge pixels are
    // the colours already mixed with black. The transparent picture put over black must give them.
    const std::string clear = freshOutput("smooth-clear");
    const std::string black = freshOutput("smooth-black");
    for (const std::string model : {"dodecahedron.zem", "torus.zem"}) {
        ASSERT_EQ(runZemrender({"--thumbnail", "128", modelPath(model), clear}).exitStatus, 0);
        ASSERT_EQ(runZemrender({"--thumbnail", "128", "--background", "black", modelPath(model), black}).exitStatus, 0);
        const DecodedPng picture = readPng(clear);
        const DecodedPng onBlack = readPng(black);
        ASSERT_TRUE(picture.alpha);
        ASSERT_FALSE(onBlack.alpha);
        ASSERT_EQ(picture.rgba.size(), onBlack.rgba.size());
        // The outline of a model about 120 pixels across is some 400 pixels long.
        const Coverage coverage = coverageOf(picture);
        EXPECT_GT(coverage.part, 200) << model << ": edge pixels only partly covered";
        EXPECT_GT(coverage.whole, 5 * coverage.part) << model;
        int mismatched = 0;
        for (std::size_t i = 0; i < picture.rgba.size(); i += 4) {
            const int alpha = picture.rgba[i + 3];
            for (std::size_t c = i; c < i + 3; ++c) {
                const double over = picture.rgba[c] * alpha / 255.0;
                if (std::abs(over - onBlack.rgba[c]) > 1.5) ++mismatched;
            }
            if (alpha == 0) {
                ASSERT_EQ(picture.rgba[i] | picture.rgba[i + 1] | picture.rgba[i + 2], 0);
            }
        }
        EXPECT_EQ(mismatched, 0) << model << ": colour channels that are not straight";
    }
    // A soup of random polygons covers its picture thousands of times over: multisampled, it would
    // take most of the time limit, so it is drawn with single samples.
    const std::string soup = freshOutput("smooth-soup");
    ASSERT_EQ(runZemrender({"--thumbnail", "128", "--time-limit", "0", largestModelPath(), soup}).exitStatus, 0);
    EXPECT_EQ(coverageOf(readPng(soup)).part, 0);
}

// The sandbox a file manager runs a thumbnailer in: /usr read-only, no /dev/dri, no network, no
// X socket and no DISPLAY, a private /tmp.
std::vector<std::string> sandbox(const std::vector<std::string>& binds)
{
    const std::string program = ZEMRENDER_PATH;
    const std::string programFolder = folderOf(program);
    const std::vector<std::vector<std::string>> settings = {
        {"--ro-bind", "/usr", "/usr"},
        {"--symlink", "usr/lib", "/lib"},
        {"--symlink", "usr/lib64", "/lib64"},
        {"--symlink", "usr/bin", "/bin"},
        {"--proc", "/proc"},
        {"--dev", "/dev"},
        {"--tmpfs", "/tmp"},
        {"--unshare-all", "--die-with-parent", "--unsetenv", "DISPLAY"},
        {"--ro-bind", programFolder, programFolder},
        {"--ro-bind", ZEM_MODELS_DIR, ZEM_MODELS_DIR},
    };
    std::vector<std::string> command = {"/usr/bin/bwrap"};
    for (const std::vector<std::string>& setting : settings)
        command.insert(command.end(), setting.begin(), setting.end());
    command.insert(command.end(), binds.begin(), binds.end());
    return command;
}

// Why bubblewrap cannot make its namespaces on this machine (a container or a chroot may forbid
// them), or empty when it can: the tests that need them skip with that reason.
std::string sandboxUnavailable()
{
    static const std::string why = [] {
        if (access("/usr/bin/bwrap", X_OK) != 0)
            return std::string("bubblewrap is missing: install-deps.sh test installs it");
        const RunResult probe = runProgram("/usr/bin/bwrap", {"bwrap", "--unshare-all", "--ro-bind", "/", "/", "true"});
        if (probe.exitStatus == 0) return std::string();
        return "this machine cannot make namespaces for bubblewrap: " + probe.err.substr(0, probe.err.find('\n'));
    }();
    return why;
}

#define SKIP_WITHOUT_NAMESPACES()                                                                                      \
    if (const std::string why = sandboxUnavailable(); !why.empty()) GTEST_SKIP() << why

RunResult runSandboxed(const std::vector<std::string>& binds, const std::vector<std::string>& arguments)
{
    std::vector<std::string> command = sandbox(binds);
    command.push_back(ZEMRENDER_PATH);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProgram(command[0], command);
}

TEST(ZemrenderSandbox, drawsWithNoDisplayNoDriAndNoNetwork)
{
    SKIP_WITHOUT_NAMESPACES();
    const RunResult inside = runProgram("/usr/bin/bwrap", [] {
        std::vector<std::string> c = sandbox({});
        c.insert(c.end(), {"/bin/sh", "-c",
                           "test ! -e /dev/dri && test ! -e /tmp/.X11-unix && test -z \"$DISPLAY\" && "
                           "test \"$(tail -n +3 /proc/net/dev | cut -d: -f1 | tr -d ' ')\" = lo"});
        return c;
    }());
    ASSERT_EQ(inside.exitStatus, 0) << "the sandbox has a device, a display or a network: " << inside.err;

    const std::string output = freshOutput("sandbox");
    const std::string folder = tempDir() + "/sandbox";
    const RunResult run =
        runSandboxed({"--bind", folder, folder}, {"--thumbnail", "128", modelPath("torus.zem"), output});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const DecodedPng picture = readPng(output);
    EXPECT_EQ(picture.width, 128);
    expectFramed(picture, 0.8, "thumbnail in the sandbox");
}

// Every failure: its exit status, exactly one line of ours last on standard error, nothing on
// standard output, and the folder as it was: an existing output untouched, no temporary file.
struct Failure {
    int status;
    std::string err;
};

Failure failWith(const std::vector<std::string>& options, const std::string& model, const std::string& name,
                 const std::vector<std::string>& environment = {})
{
    const std::string output = freshOutput("fail-" + name);
    writeTempFile("fail-" + name + "/out.png", "an earlier picture");
    const RunResult run = runZemrender(words(options, model, output), environment);
    EXPECT_EQ(run.out, "") << name;
    EXPECT_EQ(readFile(output), "an earlier picture") << name << ": the existing file was replaced";
    EXPECT_EQ(folderEntries(tempDir() + "/fail-" + name), std::vector<std::string>{"out.png"}) << name;
    return {run.exitStatus, run.err};
}

// The last line of text, without its line end, and how many lines come before it.
std::string lastLine(const std::string& text, int* before = nullptr)
{
    std::string body = text;
    if (!body.empty() && body.back() == '\n') body.pop_back();
    const std::size_t start = body.rfind('\n');
    if (before) *before = static_cast<int>(std::count(body.begin(), body.end(), '\n'));
    return start == std::string::npos ? body : body.substr(start + 1);
}

TEST(ZemrenderErrors, usageErrorsExitWithTwoAndOneLine)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--size", "0x480"}, "invalid size '0x480'"},
        {{"--size", "-5x10"}, "invalid size '-5x10'"},
        {{"--size", "640x-480"}, "invalid size '640x-480'"},
        {{"--size", "640"}, "invalid size '640'"},
        {{"--size", "640x"}, "invalid size '640x'"},
        {{"--size", "99999999999x10"}, "invalid size '99999999999x10'"},
        {{"--rotate-x", "1.5"}, "invalid angle '1.5'"},
        {{"--distance", "far"}, "invalid distance 'far'"},
        {{"--background", "pink"}, "invalid background 'pink'"},
        {{"--thumbnail", "0"}, "invalid thumbnail size '0'"},
        {{"--time-limit", "-1"}, "invalid time limit '-1'"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"-q"}, "unknown option '-q'"},
        {{"--thumbnail", "64", "--size", "64x64"}, "--thumbnail and --size exclude each other"},
        {{"--fit", "--distance", "-100"}, "--distance cannot be given with --fit"},
        {{"--size", "axb"}, "invalid size 'axb'"},
    };
    int n = 0;
    for (const auto& [options, message] : cases) {
        const std::string name = "usage-" + std::to_string(n++);
        const Failure failure = failWith(options, modelPath("cube.zem"), name);
        EXPECT_EQ(failure.status, 2) << options[0];
        int before = 0;
        EXPECT_EQ(lastLine(failure.err, &before).rfind("zemrender: " + message, 0), 0u) << failure.err;
        EXPECT_EQ(before, 0) << failure.err;
    }
    const RunResult alone = runZemrender({modelPath("cube.zem")});
    EXPECT_EQ(alone.exitStatus, 2);
    EXPECT_EQ(alone.err, "zemrender: a model and an output file are needed (see zemrender --help)\n");
    const RunResult three = runZemrender({modelPath("cube.zem"), "a.png", "b.png"});
    EXPECT_EQ(three.exitStatus, 2);
    EXPECT_EQ(three.err, "zemrender: unexpected argument 'b.png' (see zemrender --help)\n");
    const RunResult missingValue = runZemrender({modelPath("cube.zem"), "a.png", "--size"});
    EXPECT_EQ(missingValue.exitStatus, 2);
    EXPECT_EQ(missingValue.err, "zemrender: option '--size' needs a value (see zemrender --help)\n");
}

TEST(ZemrenderErrors, aModelThatDoesNotLoadKeepsTheLoadersLinesFirstUnderItsName)
{
    const std::string broken = writeTempFile("broken.zem", "SHAPE broken_shape = { 0, 3, 1 };\nVECTOR");
    for (const std::string& model : {tempDir() + "/missing.zem", broken}) {
        const Parsed loaded = loadFile(model);
        ASSERT_FALSE(loaded.ok);
        ASSERT_NE(loaded.messages, "");
        const Failure failure = failWith({}, model, model == broken ? "broken" : "missing");
        EXPECT_EQ(failure.status, 1);
        // The loader's lines under the program's name, without the blank line after the open failure.
        std::string expected;
        std::size_t start = 0;
        for (std::size_t end; (end = loaded.messages.find('\n', start)) != std::string::npos; start = end + 1)
            if (end > start) expected += "zemrender: " + loaded.messages.substr(start, end - start) + "\n";
        EXPECT_EQ(failure.err, expected + "zemrender: " + model + ": the model did not load\n");
    }
}

TEST(ZemrenderErrors, anOutputFolderThatDoesNotExist)
{
    const std::string output = tempDir() + "/no-such-folder/out.png";
    const RunResult run = runZemrender({modelPath("cube.zem"), output});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "zemrender: " + output + ": No such file or directory\n");
    struct stat info;
    EXPECT_NE(stat((tempDir() + "/no-such-folder").c_str(), &info), 0);
}

TEST(ZemrenderErrors, aFolderThatCannotBeWritten)
{
    SKIP_WITHOUT_NAMESPACES();
    // Read-only by a mount, which holds for root too.
    const std::string output = freshOutput("read-only");
    const std::string folder = tempDir() + "/read-only";
    writeTempFile("read-only/out.png", "an earlier picture");
    const RunResult run = runSandboxed({"--ro-bind", folder, folder}, {modelPath("cube.zem"), output});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "zemrender: " + output + ": Read-only file system\n");
    EXPECT_EQ(readFile(output), "an earlier picture");
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"out.png"});
}

TEST(ZemrenderErrors, aFullDiskLeavesTheEarlierFileAndNoPart)
{
    SKIP_WITHOUT_NAMESPACES();
    // A file system of 8 KiB that holds the earlier file but not the new picture.
    std::vector<std::string> command = sandbox({"--size", "8192", "--tmpfs", "/tmp/small"});
    command.insert(command.end(), {"/bin/sh", "-c",
                                   "echo earlier >/tmp/small/out.png; \"$0\" \"$1\" /tmp/small/out.png; "
                                   "echo status $?; ls -A /tmp/small; cat /tmp/small/out.png",
                                   ZEMRENDER_PATH, modelPath("torus.zem")});
    const RunResult run = runProgram(command[0], command);
    EXPECT_EQ(run.err, "zemrender: /tmp/small/out.png: No space left on device\n");
    EXPECT_EQ(run.out, "status 1\nout.png\nearlier\n");
}

TEST(ZemrenderErrors, aSizeBeyondTheRenderersLimit)
{
    for (const std::string size : {"100000x10", "10x100000"}) {
        const Failure failure = failWith({"--size", size}, modelPath("cube.zem"), "limit-" + size);
        EXPECT_EQ(failure.status, 1);
        int before = 0;
        EXPECT_EQ(
            lastLine(failure.err, &before).rfind("zemrender: size " + size + " is beyond the renderer's limit of ", 0),
            0u)
            << failure.err;
        EXPECT_EQ(before, 0) << failure.err;
    }
}

TEST(ZemrenderErrors, noEglDeviceNamesWhatToInstall)
{
    // No vendor library for EGL at all, then the vendor library without Mesa's drivers.
    const Failure noVendor =
        failWith({}, modelPath("cube.zem"), "no-egl", {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/egl.json"});
    EXPECT_EQ(noVendor.status, 1);
    EXPECT_EQ(noVendor.err, "zemrender: no EGL platform for drawing without a display: install the Mesa EGL driver "
                            "(Debian package libegl-mesa0)\n");
    const Failure noDriver = failWith({}, modelPath("cube.zem"), "no-driver", {"LIBGL_DRIVERS_PATH=/nonexistent"});
    EXPECT_EQ(noDriver.status, 1);
    EXPECT_EQ(noDriver.err,
              "zemrender: no EGL device for drawing without a display (EGL_NOT_INITIALIZED): install Mesa's drivers "
              "(Debian package libgl1-mesa-dri)\n");
}

TEST(ZemrenderErrors, theTimeLimitLeavesNothingBehind)
{
    const Failure failure = failWith({"--time-limit", "0.001"}, largestModelPath(), "time-limit");
    EXPECT_EQ(failure.status, 1);
    EXPECT_EQ(failure.err, "zemrender: " + largestModelPath() + ": gave up after the time limit of 0.001 seconds\n");
    const RunResult toOutput = runZemrender({"--time-limit", "0.001", largestModelPath(), "-"});
    EXPECT_EQ(toOutput.exitStatus, 1);
    EXPECT_EQ(toOutput.out, "") << "not a byte of a picture on standard output";
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A run with what it cost: its peak resident memory and the time it took.
struct Measured {
    int status = -1;  // -1 unless it exited
    std::string err;
    long peakKilobytes = 0;
    double seconds = 0;
};

// Runs zemrender with no display as a child of its own, standard error into a file, and takes the
// child's peak from wait4. Outside the sanitizer the child's address space has an outer bound of
// 4 GB, so that a run that does not keep to its own limits fails here instead of taking the
// machine's memory.
Measured runMeasured(const std::vector<std::string>& arguments, const std::string& name)
{
    const std::string errPath = tempDir() + "/" + name + ".err";
    std::vector<std::string> words = {ZEMRENDER_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = argumentVector(words);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = open("/dev/null", O_RDWR);
        if (err < 0 || null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(err, 2) < 0) _exit(126);
        const rlimit bound = {rlim_t(4) << 30, rlim_t(4) << 30};
        if (!kSanitized && setrlimit(RLIMIT_AS, &bound) != 0) _exit(126);
        unsetenv("DISPLAY");
        execv(argv[0], argv.data());
        _exit(127);
    }
    Measured measured;
    int status = 0;
    rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        ADD_FAILURE() << "zemrender could not be run";
        return measured;
    }
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.peakKilobytes = usage.ru_maxrss;
    if (WIFEXITED(status)) measured.status = WEXITSTATUS(status);
    measured.err = readFile(errPath);
    return measured;
}

// A file of the given length that takes no room on the disk: all one hole, read as zero bytes.
std::string sparseFile(const std::string& name, off_t length)
{
    const std::string path = writeTempFile(name, "");
    EXPECT_EQ(truncate(path.c_str(), length), 0) << path;
    return path;
}

TEST(ZemrenderThumbnail, aHugeSparseFileIsRefusedAtOnceInOneLine)
{
    // 20 GB that a file manager's user merely browses past: refused by its size, before any of it
    // is allocated or read, well within the thumbnail's time and memory.
    const std::string model = sparseFile("huge.zem", off_t(20) << 30);
    const std::string output = freshOutput("sparse");
    const Measured run = runMeasured({"--thumbnail", "256", model, output}, "sparse");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "zemrender: " + model + ": the file's 20 GB are more than the memory limit of 1 GB (see --max-memory)\n");
    EXPECT_LT(run.seconds, kThumbnailTimeLimit);
    EXPECT_LT(run.peakKilobytes, 100 * 1024) << "peak resident memory in KB";
    EXPECT_FALSE(exists(output));
    // A limit given on the command line holds for any run.
    const std::string large = sparseFile("large.zem", off_t(3) << 30);
    const Measured limited = runMeasured({"--max-memory", "2.5G", large, freshOutput("limited")}, "limited");
    EXPECT_EQ(limited.status, 1);
    EXPECT_EQ(limited.err, "zemrender: " + large +
                               ": the file's 3 GB are more than the memory limit of 2.5 GB (see --max-memory)\n");
    EXPECT_LT(limited.peakKilobytes, 100 * 1024);
}

TEST(ZemrenderThumbnail, itsMemoryIsCappedWhateverTheModelAsks)
{
    if (kSanitized) GTEST_SKIP() << "the address sanitizer's shadow memory leaves no room for a cap on address space";
    // A 40 MB file of 40 million vertex entries, each of them an opening brace alone, asks for a
    // table of 240 MB: without a cap it is allocated and the missing numbers are the fault; within
    // 150 MB it cannot be.
    const std::string model = writeTempFile("asks-much.zem", "SHAPE much_shape = { 0, 40000000, 1 };\nVECTOR { " +
                                                                 std::string(40000000, '{'));
    const Measured run =
        runMeasured({"--thumbnail", "128", "--max-memory", "150M", model, freshOutput("asks-much")}, "asks-much");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zemrender: error: out of memory: the model's 40000000 vertices need 240 MB\nzemrender: " +
                           model + ": the model did not load\n");
    EXPECT_LT(run.peakKilobytes, 150 * 1024);
}

TEST(ZemrenderCommandLine, helpAndVersion)
{
    const RunResult help = runZemrender({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: zemrender [OPTION]... MODEL OUTPUT.png\n", 0), 0u) << help.out;
    for (const char* option :
         {"--size", "--rotate-x", "--rotate-y", "--distance", "--background", "--no-lighting", "--flat", "--outline",
          "--fit", "--thumbnail", "--time-limit", "--max-memory", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " is not in --help";
    EXPECT_NE(help.out.find("time limit of 5 seconds"), std::string::npos) << "the thumbnail's time limit";
    EXPECT_NE(help.out.find("limit of 1 GB"), std::string::npos) << "the thumbnail's memory limit";
    const RunResult version = runZemrender({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "zemrender " ZEM_VERSION "\n");
}

}  // namespace
