// zemrender test support: running it through env with DISPLAY unset, fresh output folders, PNG read-back.
#include "tests/support/zemrender_support.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

RunResult runZemrender(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    std::vector<std::string> words = {"env", "-u", "DISPLAY"};
    words.insert(words.end(), environment.begin(), environment.end());
    words.push_back(ZEMRENDER_PATH);
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runProgram("/usr/bin/env", words);
}

std::string freshOutput(const std::string& folderName, const std::string& fileName)
{
    const std::string folder = tempDir() + "/" + folderName;
    EXPECT_EQ(mkdir(folder.c_str(), 0700), 0) << folder << " is used twice";
    return folder + "/" + fileName;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

DecodedPng readPng(const std::string& path)
{
    DecodedPng picture;
    std::string error;
    if (!decodePng(path, picture, error)) {
        ADD_FAILURE() << error;
        return DecodedPng();
    }
    return picture;
}

Box modelBox(const DecodedPng& picture)
{
    Box box;
    const unsigned char* corner = picture.rgba.data();
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const unsigned char* p = &picture.rgba[static_cast<std::size_t>((y * picture.width + x) * 4)];
            if (std::memcmp(p, corner, 4) == 0) continue;
            if (box.empty()) {
                box = {x, y, x, y};
                continue;
            }
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}
