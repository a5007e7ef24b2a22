// The files a model names, for its reader: asked for by name, handed over as descriptors of regular files inside the
// model's folder.
#pragma once

#include <assimp/IOSystem.hpp>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "formats/import/file_broker.h"
#include "formats/import/texture/texture_read.h"

// Hand it to the importer (Assimp::Importer::SetIOHandler, which takes ownership) before reading.
// Every file the reader opens, the model included, is asked of files (file_broker.h), and is read
// from the descriptor that comes back; the reader names no file to the system itself. A file
// outside the model's folder or that is not a regular file, or whose content cannot be what it
// declares, is refused with one note, once per file: "ignored material file ../secret.txt: outside
// the model's folder". A texture found by another name (file_broker.h) is noted too: "texture
// TEST.PNG: using test.png".
class ConfinedIOSystem : public Assimp::IOSystem, public NamesTextures {
public:
    ConfinedIOSystem(const std::string& modelPath, FileSource files, std::vector<std::string>& notes);
    // The files opened in this process by a ModelFiles of its own (file_broker.h), as the parent
    // opens them for the child: for the tests and the benchmarks.
    ConfinedIOSystem(const std::string& modelPath, bool allowOutside, std::vector<std::string>& notes);

    bool Exists(const char* path) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;
    void Close(Assimp::IOStream* stream) override;
    void askingForTexture(bool texture) override { texture_ = texture; }

private:
    void note(const std::string& path, const std::string& why);
    std::string asWritten(const std::string& path) const;

    std::string modelPath_;
    std::string folderGiven_;          // the model's folder as given, "" for the working folder
    std::string kind_;                 // what the files it names are to the user: "material file"
    bool texture_ = false;             // a texture is being asked for
    std::shared_ptr<ModelFiles> own_;  // the files' opener, when it is in this process
    FileSource files_;
    std::vector<std::string>& notes_;
    std::set<std::string> noted_;
};

// A stream over a descriptor of a regular file, which it closes: read at its own position, so that
// descriptors that share one (the model's, handed over twice) do not disturb each other.
Assimp::IOStream* descriptorStream(int fd);
