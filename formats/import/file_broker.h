// The files of a model for its confined reader: opened by the parent beneath the model's folder, in one step, and
// passed to the child, which opens nothing itself.
#pragma once

#include <functional>
#include <string>

#include "sandbox/sandbox.h"

// What became of a file the reader asked for.
enum class FileAnswer : char {
    given = 'g',       // here it is: a regular file open for reading
    absent = 'a',      // not there, or it could not be opened
    outside = 'o',     // outside the model's folder
    notRegular = 'n',  // a FIFO, a device, a folder...
    refused = 'r',     // its content cannot be what it declares; why says so
};

struct HandedFile {
    FileAnswer answer = FileAnswer::absent;
    int fd = -1;      // given and asked to open: the receiver's to close
    std::string why;  // refused: in the tool's words
};

// What the reader asks for: the model itself, whether a file is there, or the file; the last two
// also for a texture, whose name is looked for further when it is not found as written.
enum class FileAsk : char { model = 'm', exists = 'e', open = 'o', textureExists = 'x', texture = 't' };
bool asksExistence(FileAsk ask);

// Answers a reader's ask for a file named as the reader names it (the model's folder put before
// it, or not). exists never opens more than it must to tell, and passes no descriptor.
using FileSource = std::function<HandedFile(FileAsk ask, const std::string& name)>;

// The parent's side. A name is opened beneath the model's folder with openat2 (RESOLVE_BENEATH,
// RESOLVE_NO_MAGICLINKS) on the folder's descriptor, so that no "..", absolute name or link leads
// out of it, and no swap of names between a check and the open can; with allowOutside, anywhere.
// Only regular files are given, after the checks of declared sizes (declared_sizes.h) on what was
// opened. The model itself is the file the user named, opened and checked once.
// A texture that is not there as written (after the file anywhere, with allowOutside) is looked for
// beneath the folder, again one step an open: the same path in any letter case, then the last name
// of a Windows or absolute path ("C:\maps\a.png", "Q:/a.png", "//host/a.png") in the folder
// itself, in any case. Where several names match, the one written, else the first in byte order.
// A name with ".." is never looked for further. The file taken, relative to the folder, is the why
// of the answer given.
class ModelFiles {
public:
    ModelFiles(const std::string& modelPath, bool allowOutside);
    ~ModelFiles();
    ModelFiles(const ModelFiles&) = delete;
    ModelFiles& operator=(const ModelFiles&) = delete;

    HandedFile answer(FileAsk ask, const std::string& name);
    // The broker of runSandboxed: a request from parentFiles, answered.
    SandboxReply serve(const std::string& request);

private:
    HandedFile model(bool existsOnly);
    HandedFile named(const std::string& name, bool existsOnly, bool texture);
    // The texture looked for further, as the class says: given, refused... or absent when not found.
    HandedFile likeNamed(const std::string& written, const std::string& beneath, const std::string& name,
                         bool existsOnly);
    HandedFile opened(int fd, const std::string& name, bool existsOnly);  // name: as the reader asked

    std::string modelPath_;
    std::string folderGiven_;  // the model's folder as given, with its slash; "" for the working folder
    std::string folderReal_;   // its real path
    bool allowOutside_;
    int folderFd_ = -1;
    int modelFd_ = -1;
    bool modelLooked_ = false;
    HandedFile modelAnswer_;  // once looked at: given (modelFd_) or why not
};

// The child's side: each ask sent to the parent's ModelFiles::serve (sandboxAsk). Absent when the
// exchange fails.
FileSource parentFiles();
