// zemconvert's entry: the command line, then the export or the import.
#include "app/zemconvert/options.h"

int main(int argc, char** argv)
{
    ConvertOptions options;
    return toolMain(
        {"zemconvert", kConvertUsage},
        [&](std::string& problem) { return parseConvertOptions(argc, argv, options, problem); },
        [&] { return options.importing ? runImport(options) : runExport(options); });
}
