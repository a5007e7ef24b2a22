// Output files of the real programs: an output and its companion replaced as a pair even when a run
// is killed half-way (a preloaded fault stops it at a chosen call), the input never overwritten, a
// pipe without a reader, and zemrender's time limit over the write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/zemrender_support.h"

namespace {

// The real program through env, with the given NAME=value words; a run that hangs is stopped after
// a minute, with the status 124 of timeout.
RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment = {})
{
    std::vector<std::string> words = {"env", "-u", "DISPLAY"};
    words.insert(words.end(), environment.begin(), environment.end());
    words.insert(words.end(), {"timeout", "60", program});
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runProgram("/usr/bin/env", words);
}

RunResult convert(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {})
{
    return run(ZEMCONVERT_PATH, arguments, environment);
}

// The environment that makes the call'th call of call on a path within folder do action. A
// sanitised program wants its runtime first among the libraries; the fault library goes first.
std::vector<std::string> fault(const std::string& call, int at, const std::string& action, const std::string& folder)
{
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" FAULT_INJECT_PATH,
            "ZEM_FAULT_CALL=" + call,
            "ZEM_FAULT_AT=" + std::to_string(at),
            "ZEM_FAULT_ACTION=" + action,
            "ZEM_FAULT_PATH=" + folder + "/",
            "ASAN_OPTIONS=" + std::string(sanitizer ? sanitizer : "") + ":verify_asan_link_order=0"};
}

std::string freshFolder(const std::string& name)
{
    const std::string folder = tempDir() + "/" + name;
    EXPECT_EQ(mkdir(folder.c_str(), 0755), 0) << folder << " is used twice";
    return folder;
}

// The companion's name as the output refers to it: OBJ's mtllib on its first line, glTF's buffer uri.
std::string referenceIn(const std::string& text)
{
    if (text.compare(0, 7, "mtllib ") == 0) return text.substr(7, text.find('\n') - 7);
    const std::size_t key = text.find("\"uri\": \"");
    if (key == std::string::npos) return std::string();
    const std::size_t start = key + 8;
    return text.substr(start, text.find('"', start) - start);
}

// An output and the companion it names, as a reader of the folder finds them.
struct Pair {
    std::string output, companion;
    bool operator==(const Pair& other) const { return output == other.output && companion == other.companion; }
};

Pair pairIn(const std::string& folder, const std::string& output)
{
    Pair pair{readFile(folder + "/" + output), std::string()};
    const std::string reference = referenceIn(pair.output);
    EXPECT_NE(reference, "") << folder << "/" << output << " names no companion";
    EXPECT_EQ(reference.find('/'), std::string::npos) << reference;
    if (!exists(folder + "/" + reference)) ADD_FAILURE() << reference << " is missing beside " << output;
    pair.companion = readFile(folder + "/" + reference);
    return pair;
}

// --- an output and its companion replaced together ---------------------------------------------------------

TEST(OutputPairs, aKilledRunNeverLeavesAnOutputWithAnotherRunsCompanion)
{
    for (const std::string output : {"t.obj", "t.gltf"}) {
        // What each of the two runs writes, each in a folder of its own.
        std::vector<Pair> runs;
        for (const std::string model : {"tetra", "cube"}) {
            const std::string folder = freshFolder(model + "-alone-" + output);
            ASSERT_EQ(convert({modelPath(model + ".zem"), folder + "/" + output}).exitStatus, 0);
            runs.push_back(pairIn(folder, output));
        }
        ASSERT_FALSE(runs[0].companion == runs[1].companion);
        // The second run killed before each step that changes the folder: the companion's rename,
        // the output's rename, the removal of the earlier companion.
        for (const auto& [call, at] :
             std::vector<std::pair<std::string, int>>{{"rename", 1}, {"rename", 2}, {"unlink", 1}}) {
            SCOPED_TRACE(output + " killed at " + call + " " + std::to_string(at));
            const std::string folder = freshFolder("killed-" + output + "-" + call + std::to_string(at));
            ASSERT_EQ(convert({modelPath("tetra.zem"), folder + "/" + output}).exitStatus, 0);
            convert({modelPath("cube.zem"), folder + "/" + output}, fault(call, at, "kill", folder));
            const Pair found = pairIn(folder, output);
            EXPECT_TRUE(found == runs[0] || found == runs[1])
                << "the output and its companion come from different runs";
        }
    }
}

TEST(OutputPairs, aRunRemovesTheEarlierCompanionAndNothingElse)
{
    for (const std::string output : {"t.obj", "t.gltf"}) {
        const std::string folder = freshFolder("replaced-" + output);
        for (const std::string model : {"tetra", "cube", "torus"})
            ASSERT_EQ(convert({modelPath(model + ".zem"), folder + "/" + output}).exitStatus, 0);
        const std::string companion = referenceIn(readFile(folder + "/" + output));
        EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{companion, output}));
    }
    // What an earlier OBJ names is removed only in the form a run writes: the same name but for the
    // hash, a regular file, in the same folder.
    const std::string folder = freshFolder("foreign");
    const std::string hash = "0123456789abcdef";
    ASSERT_EQ(symlink("kept.txt", (folder + "/t." + hash + ".mtl").c_str()), 0);
    for (const std::string& name :
         std::vector<std::string>{"t.mtl", "u." + hash + ".mtl", "sub/t." + hash + ".mtl", "kept.txt"}) {
        SCOPED_TRACE(name);
        if (name.find('/') != std::string::npos) mkdir((folder + "/sub").c_str(), 0755);
        writeTempFile("foreign/" + name, "a file of the user's\n");
        writeTempFile("foreign/t.obj", "mtllib " + name + "\n");
        ASSERT_EQ(convert({modelPath("tetra.zem"), folder + "/t.obj"}).exitStatus, 0);
        EXPECT_EQ(readFile(folder + "/" + name), "a file of the user's\n");
    }
    writeTempFile("foreign/t.obj", "mtllib t." + hash + ".mtl\n");
    ASSERT_EQ(convert({modelPath("tetra.zem"), folder + "/t.obj"}).exitStatus, 0);
    struct stat link;
    EXPECT_EQ(lstat((folder + "/t." + hash + ".mtl").c_str(), &link), 0) << "a link is not removed";
}

// --- the input is never the output -------------------------------------------------------------------------

TEST(OutputInput, anOutputThatIsTheInputIsRefusedBeforeAnyWork)
{
    const std::string folder = freshFolder("same");
    const std::string model = writeTempFile("same/m.zem", readFile(modelPath("tetra.zem")));
    ASSERT_EQ(symlink("m.zem", (folder + "/link.obj").c_str()), 0);
    ASSERT_EQ(link(model.c_str(), (folder + "/hard.obj").c_str()), 0);
    for (const std::string output : {"m.zem", "link.obj", "hard.obj"}) {
        SCOPED_TRACE(output);
        const RunResult r = convert({"--format", "obj", model, folder + "/" + output});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, "zemconvert: " + folder + "/" + output + ": the output would overwrite the input\n");
    }
    const RunResult picture = run(ZEMRENDER_PATH, {model, folder + "/link.obj"}, {"ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(picture.exitStatus, 1);
    EXPECT_EQ(picture.err, "zemrender: " + folder + "/link.obj: the output would overwrite the input\n");
    EXPECT_EQ(readFile(model), readFile(modelPath("tetra.zem")));
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"hard.obj", "link.obj", "m.zem"}));

    // The import the other way: a model read from the very file that its ZEM text would replace.
    const std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const std::string foreign = writeTempFile("same/in.obj", obj);
    const RunResult imported = convert({"--format", "zem", foreign, foreign});
    EXPECT_EQ(imported.exitStatus, 1);
    EXPECT_EQ(imported.err, "zemconvert: " + foreign + ": the output would overwrite the input\n");
    EXPECT_EQ(readFile(foreign), obj);
    ASSERT_EQ(unlink(foreign.c_str()), 0);

    // A companion that would replace the input: the model saved under the very name its MTL gets.
    const std::string probe = freshFolder("same-probe");
    ASSERT_EQ(convert({model, probe + "/t.obj"}).exitStatus, 0);
    const std::string companion = referenceIn(readFile(probe + "/t.obj"));
    const std::string input = writeTempFile("same/" + companion, readFile(model));
    const RunResult r = convert({input, folder + "/t.obj"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "zemconvert: " + input + ": the output would overwrite the input\n");
    EXPECT_EQ(readFile(input), readFile(model));
    EXPECT_FALSE(exists(folder + "/t.obj"));
}

// --- outputs that wait ---------------------------------------------------------------------------------------

TEST(OutputWaits, aPipeThatNoProcessReadsFailsAtOnce)
{
    const std::string pipe = freshFolder("pipe") + "/p.ply";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const RunResult r = convert({modelPath("tetra.zem"), pipe});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "zemconvert: " + pipe + ": no process reads the pipe\n");
}

// The write stalls at its sync, as on a disk that stopped answering; the limit ends the run, and
// neither the temporary file nor a changed output is left.
TEST(OutputWaits, zemrendersTimeLimitCoversTheWrite)
{
    const std::string folder = freshFolder("stalled");
    const std::string output = writeTempFile("stalled/out.png", "the earlier picture\n");
    std::vector<std::string> environment = fault("fsync", 1, "stall", folder);
    environment.back() += ":detect_leaks=0";
    const RunResult r = run(ZEMRENDER_PATH, {"--time-limit", "2", modelPath("tetra.zem"), output}, environment);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "zemrender: " + modelPath("tetra.zem") + ": gave up after the time limit of 2 seconds\n");
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"out.png"});
    EXPECT_EQ(readFile(output), "the earlier picture\n");
}

}  // namespace
