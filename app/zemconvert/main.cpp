// zemconvert's entry: the command line, then the export or the import.
#include "app/zemconvert/options.h"

int main(int argc, char** argv)
{
    ConvertOptions options;
    return toolMain(
        {"zemconvert", kConvertUsage},
        [&](std::string& error) { return parseConvertOptions(argc, argv, options, error); },
        [&] { return options.importing ? runImport(options) : runExport(options); });
}
