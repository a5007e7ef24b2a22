// zemrender's entry: the command line, then the picture.
#include "app/zemrender/options.h"
#include "app/zemrender/render_job.h"

int main(int argc, char** argv)
{
    RenderOptions options;
    return toolMain(
        {"zemrender", kRenderUsage}, [&](std::string& error) { return parseRenderOptions(argc, argv, options, error); },
        [&] { return runRender(options); });
}
