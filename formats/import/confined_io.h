// The files a model names, opened for its reader only inside the model's folder and only when they are regular files.
#pragma once

#include <assimp/IOSystem.hpp>
#include <set>
#include <string>
#include <vector>

// Hand it to the importer (Assimp::Importer::SetIOHandler, which takes ownership) before reading.
// Every file the reader opens, the model included, goes through Open: a file outside the model's
// folder and below it (after "..", symbolic links and absolute paths are resolved) is refused
// unless allowOutside; anything that is not a regular file (a FIFO, a device, a folder) always is,
// and is never waited on. Each refusal adds one note, once per file: "ignored material file
// ../secret.txt: outside the model's folder".
class ConfinedIOSystem : public Assimp::IOSystem {
public:
    ConfinedIOSystem(const std::string& modelPath, bool allowOutside, std::vector<std::string>& notes);

    bool Exists(const char* path) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;
    void Close(Assimp::IOStream* stream) override;

private:
    void note(const std::string& path, const char* why);
    std::string intended(const std::string& path) const;
    bool inside(const std::string& resolved) const;

    std::string modelPath_;
    std::string modelResolved_;  // the model's own real path
    std::string folderGiven_;    // the model's folder as given, "" for the working folder
    std::string folder_;         // its real path
    std::string kind_;           // what the files it names are to the user: "material file"
    bool allowOutside_;
    std::vector<std::string>& notes_;
    std::set<std::string> noted_;
};
