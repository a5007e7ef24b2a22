// A private temporary folder per process, removed at exit.
#include "testlib/temp_dir.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// A plain array, still intact when the removal at exit runs after the statics are gone.
char gFolder[64];

}  // namespace

const std::string& privateTempDir(const char* prefix)
{
    static const std::string folder = [prefix] {
        std::snprintf(gFolder, sizeof gFolder, "/tmp/%s-XXXXXX", prefix);
        if (!mkdtemp(gFolder)) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(gFolder, ignored);
        });
        return std::string(gFolder);
    }();
    return folder;
}
