// The reader's confined file access, with real reads of OBJ and MTL, glTF and its buffer, written by the tests.
#include "formats/import/confined_io.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <assimp/IOStream.hpp>
#include <assimp/Importer.hpp>
#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "testlib/temp_dir.h"

namespace {

// A fresh folder per test: models/ holds the model, the folder above it what lies outside.
std::string freshFolder()
{
    static std::atomic<int> count{0};
    const std::string root = privateTempDir("zem-confined") + "/case" + std::to_string(count++);
    mkdir(root.c_str(), 0700);
    mkdir((root + "/models").c_str(), 0700);
    mkdir((root + "/models/sub").c_str(), 0700);
    return root;
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char kWarmMaterial[] = "newmtl warm\nKd 0.9 0.55 0.25\n";

std::string objNaming(const std::string& materialFile)
{
    return "mtllib " + materialFile + "\nusemtl warm\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
}

struct Read {
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    std::vector<std::string> notes;
};

void readConfined(const std::string& model, bool allowOutside, Read& read)
{
    read.importer.SetIOHandler(new ConfinedIOSystem(model, allowOutside, read.notes));
    // A blocking open would stop the test here: end it instead, as a failure.
    alarm(30);
    read.scene = read.importer.ReadFile(model, aiProcess_ValidateDataStructure);
    alarm(0);
}

// Whether the triangle got the material file's warm colour rather than the reader's default.
bool warm(const aiScene* scene)
{
    if (!scene || scene->mNumMeshes != 1) return false;
    aiColor4D colour;
    const aiMaterial* material = scene->mMaterials[scene->mMeshes[0]->mMaterialIndex];
    return material->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == aiReturn_SUCCESS && colour.r == 0.9f &&
           colour.g == 0.55f && colour.b == 0.25f;
}

TEST(ConfinedIo, materialFilesInsideTheFolderAreRead)
{
    const std::string root = freshFolder();
    writeFile(root + "/models/scene.mtl", kWarmMaterial);
    writeFile(root + "/models/sub/deep.mtl", kWarmMaterial);
    ASSERT_EQ(symlink("scene.mtl", (root + "/models/alias.mtl").c_str()), 0);
    for (const char* named : {"scene.mtl", "sub/deep.mtl", "sub/../scene.mtl", "alias.mtl"}) {
        writeFile(root + "/models/scene.obj", objNaming(named));
        Read read;
        readConfined(root + "/models/scene.obj", false, read);
        EXPECT_TRUE(warm(read.scene)) << named;
        EXPECT_TRUE(read.notes.empty()) << named << ": " << (read.notes.empty() ? "" : read.notes[0]);
    }
}

TEST(ConfinedIo, materialFilesOutsideTheFolderAreRefusedWithANote)
{
    const std::string root = freshFolder();
    writeFile(root + "/secret.mtl", kWarmMaterial);
    ASSERT_EQ(symlink("../secret.mtl", (root + "/models/link.mtl").c_str()), 0);
    ASSERT_EQ(symlink((root + "/secret.mtl").c_str(), (root + "/models/sub/absolute.mtl").c_str()), 0);
    const std::string named[] = {"../secret.mtl", "link.mtl", "sub/absolute.mtl", "sub/../../secret.mtl"};
    for (const std::string& name : named) {
        writeFile(root + "/models/scene.obj", objNaming(name));
        Read read;
        readConfined(root + "/models/scene.obj", false, read);
        ASSERT_TRUE(read.scene) << name << ": " << read.importer.GetErrorString();
        EXPECT_FALSE(warm(read.scene)) << name;
        ASSERT_EQ(read.notes.size(), 1u) << name;
        EXPECT_EQ(read.notes[0], "ignored material file " + name + ": outside the model's folder");

        // The switch lets the same file through.
        Read allowed;
        readConfined(root + "/models/scene.obj", true, allowed);
        EXPECT_TRUE(warm(allowed.scene)) << name;
        EXPECT_TRUE(allowed.notes.empty()) << name;
    }
}

// The reader puts the model's folder before every name, an absolute one too, unless the model was
// named without a folder.
TEST(ConfinedIo, absoluteNamesAreRefused)
{
    const std::string root = freshFolder();
    writeFile(root + "/secret.mtl", kWarmMaterial);
    writeFile(root + "/models/scene.obj", objNaming(root + "/secret.mtl"));
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(chdir((root + "/models").c_str()), 0);
    Read read;
    readConfined("scene.obj", false, read);
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_FALSE(warm(read.scene));
    ASSERT_EQ(read.notes.size(), 1u);
    EXPECT_EQ(read.notes[0], "ignored material file " + root + "/secret.mtl: outside the model's folder");

    std::vector<std::string> notes;
    ConfinedIOSystem io(root + "/models/scene.obj", false, notes);
    EXPECT_EQ(io.Open("/etc/passwd"), nullptr);
    EXPECT_EQ(io.Open((root + "/models/scene.obj").c_str(), "wb"), nullptr);
    Assimp::IOStream* model = io.Open((root + "/models/scene.obj").c_str());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->FileSize(), objNaming(root + "/secret.mtl").size());
    io.Close(model);
    EXPECT_EQ(notes, std::vector<std::string>{"ignored material file /etc/passwd: outside the model's folder"});
}

TEST(ConfinedIo, thingsThatAreNotFilesAreRefusedWithoutWaiting)
{
    const std::string root = freshFolder();
    ASSERT_EQ(mkfifo((root + "/models/pipe.mtl").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (root + "/models/zero.mtl").c_str()), 0);
    for (bool allowOutside : {false, true}) {
        for (const char* name : {"pipe.mtl", "sub", "zero.mtl"}) {
            writeFile(root + "/models/scene.obj", objNaming(name));
            Read read;
            readConfined(root + "/models/scene.obj", allowOutside, read);
            ASSERT_TRUE(read.scene) << name;
            ASSERT_EQ(read.notes.size(), 1u) << name;
            const std::string why =
                !allowOutside && name[0] == 'z' ? "outside the model's folder" : "not a regular file";
            EXPECT_EQ(read.notes[0], std::string("ignored material file ") + name + ": " + why);
        }
    }
}

// A triangle in a 36-byte buffer file beside (or away from) the glTF that names it.
std::string gltfNaming(const std::string& bufferFile)
{
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
      "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],
      "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,2,0]}],
      "bufferViews":[{"buffer":0,"byteLength":36}],"buffers":[{"uri":")" +
           bufferFile + R"(","byteLength":36}]})";
}

std::string triangleBuffer()
{
    const float values[9] = {0, 0, 0, 1, 0, 0, 0, 2, 0};
    return std::string(reinterpret_cast<const char*>(values), sizeof values);
}

TEST(ConfinedIo, gltfBuffersFollowTheSameRule)
{
    const std::string root = freshFolder();
    writeFile(root + "/models/scene.bin", triangleBuffer());
    writeFile(root + "/outside.bin", triangleBuffer());
    ASSERT_EQ(mkfifo((root + "/models/pipe.bin").c_str(), 0600), 0);

    writeFile(root + "/models/scene.gltf", gltfNaming("scene.bin"));
    Read inside;
    readConfined(root + "/models/scene.gltf", false, inside);
    ASSERT_TRUE(inside.scene) << inside.importer.GetErrorString();
    ASSERT_EQ(inside.scene->mNumMeshes, 1u);
    EXPECT_EQ(inside.scene->mMeshes[0]->mNumVertices, 3u);
    EXPECT_EQ(inside.scene->mMeshes[0]->mVertices[2].y, 2.0f);
    EXPECT_TRUE(inside.notes.empty());

    for (const char* name : {"../outside.bin", "pipe.bin"}) {
        writeFile(root + "/models/scene.gltf", gltfNaming(name));
        Read refused;
        readConfined(root + "/models/scene.gltf", false, refused);
        EXPECT_FALSE(refused.scene && refused.scene->mNumMeshes == 1 && refused.scene->mMeshes[0]->mNumVertices == 3)
            << name;
        ASSERT_EQ(refused.notes.size(), 1u) << name;
        EXPECT_EQ(refused.notes[0], std::string("ignored buffer file ") + name + ": " +
                                        (name[0] == '.' ? "outside the model's folder" : "not a regular file"));
    }
}

TEST(ConfinedIo, namesInNotesAreMadePrintable)
{
    const std::string root = freshFolder();
    writeFile(root + "/models/scene.obj", objNaming("../evil\x1b[31m.mtl"));
    writeFile(root + "/evil\x1b[31m.mtl", kWarmMaterial);
    Read read;
    readConfined(root + "/models/scene.obj", false, read);
    ASSERT_EQ(read.notes.size(), 1u);
    EXPECT_EQ(read.notes[0], "ignored material file ../evil?[31m.mtl: outside the model's folder");
}

}  // namespace
