// zemrender's entry: the command line, then the picture.
#include <cstdio>
#include <exception>
#include <string>

#include "app/render_job.h"
#include "app/render_options.h"
#include "cli/version.h"
#include "cli/tool_messages.h"
#include "model/console.h"

namespace {

int run(int argc, char** argv)
{
    setToolName("zemrender");
    RenderOptions options;
    std::string problem;
    switch (parseRenderOptions(argc, argv, options, problem)) {
    case RenderCommand::help:
        printRenderUsage(stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case RenderCommand::version:
        writeLine(stdout, "zemrender " ZEM_VERSION);
        return 0;
    case RenderCommand::usageError:
        toolLine(problem);
        return 2;
    case RenderCommand::render:
        break;
    }
    return runRender(options);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception&) {
        // Only the command line's strings can throw here, and only when memory runs out.
        toolLine("out of memory");
        return 1;
    }
}
