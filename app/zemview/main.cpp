// The program's entry: banner, command line, model load, and the hand-over to the viewer window.
#include <csignal>
#include <cstdio>

#include "app/zemview/input.h"
#include "model/console.h"
#include "model/shape.h"
#include "render/viewer.h"

int main(int argc, char** argv)
{
    // A console closed early, as in "zemview model.zem | head -1", must cost the lines that
    // cannot be written, not the run: the window still opens, and the other stream keeps its lines.
    std::signal(SIGPIPE, SIG_IGN);
    writeLine(stdout, "ZEM model editor/viewer, by the zemview authors");
    writeLine(stdout, "version 0.4, viewing only");
    const char* programPath = argc > 0 && argv[0] ? argv[0] : "zemview";
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <model file name>\n", programPath);
        std::fflush(stderr);
        return 0;
    }
    if (!gShape.load(argv[1])) {
        reportError("error while loading model file, aborting");
        return 0;
    }
    runViewer(programPath, InputCallbacks{onKeyboard, onMouse, onMotion});
    return 0;
}
