// spirelle-cli render --frames as the machines of a render farm run it:
// shards, resuming with --skip-existing, exit status, and files that are
// whole whatever stops the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stb_image.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/cli_runner.h"
#include "render_scenes.h"
#include "test_files.h"

extern char** environ;

namespace spirelle {
namespace {

using spirelle::testing::kQuadEntry;
using spirelle::testing::kScenes;
using spirelle::testing::run_cli;
using spirelle::testing::TempDir;
namespace fs = std::filesystem;

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool decodes(const std::string& path) {
    int width = 0, height = 0, channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &width, &height, &channels, 4);
    stbi_image_free(data);
    return data != nullptr;
}

class Sequence : public ::testing::Test {
  protected:
    std::string render(const std::string& args, bool merge = true) {
        auto result = run_cli("render " + scene + " --set 1 --sampling-level 0 " + args, merge);
        status = result.status;
        return result.out;
    }
    std::string frame(int n, const std::string& sub = "") {
        char name[32];
        std::snprintf(name, sizeof name, "quad_f%04d.png", n);
        return dir.path() + "/" + sub + name;
    }

    // Starts spirelle-cli render of the scene's animated set at 1200x900 in
    // the background, standard output discarded and standard error kept in
    // errors(); returns its pid, or 0 when it could not start.
    pid_t start_render(std::vector<std::string> args) {
        const std::string cli = SPIRELLE_CLI_PATH;
        args.insert(args.begin(), {cli, "render", scene, "--set", "1", "--size", "1200x900"});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t streams;
        posix_spawn_file_actions_init(&streams);
        posix_spawn_file_actions_addopen(&streams, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&streams, 2, errors().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        if (posix_spawn(&pid, cli.c_str(), &streams, nullptr, argv.data(), environ) != 0) pid = 0;
        posix_spawn_file_actions_destroy(&streams);
        return pid;
    }
    std::string errors() const { return dir.path() + "/stderr.txt"; }

    TempDir dir;
    std::string scene = dir.write("quad.upr", kScenes + kQuadEntry);
    int status = -1;
};

TEST_F(Sequence, RefusesShardsThatAreNotOneOfN) {
    const char* const shards[] = {"2/2", "-1/2", "0/0", "1", "a/b", "1/2/3", "0/2x"};
    for (const char* shard : shards) {
        SCOPED_TRACE(shard);
        std::string out = render(std::string("--frames 1:4 --shard ") + shard);
        EXPECT_EQ(status, 1);
        EXPECT_NE(out.find("render: --shard wants I/N with 0 <= I < N, got " + std::string(shard)),
                  std::string::npos)
            << out;
    }
    std::string out = render("--shard 0/2");
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("render: --shard needs --frames"), std::string::npos) << out;
}

TEST_F(Sequence, ShardsWriteTheFilesOfTheWholeRun) {
    fs::create_directory(dir.path() + "/whole");
    fs::create_directory(dir.path() + "/shards");
    render("--frames 1:4 -o " + dir.path() + "/whole/");
    ASSERT_EQ(status, 0);
    for (int shard = 0; shard < 3; ++shard) {
        render("--frames 1:4 --shard " + std::to_string(shard) + "/3 -o " + dir.path() +
               "/shards/");
        ASSERT_EQ(status, 0);
    }
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        std::string whole = read_bytes(frame(n, "whole/"));
        ASSERT_FALSE(whole.empty());
        EXPECT_EQ(read_bytes(frame(n, "shards/")), whole);
    }
    EXPECT_EQ(
        std::distance(fs::directory_iterator(dir.path() + "/shards"), fs::directory_iterator()), 4);
}

// A resubmitted job renders only the missing frames; a temporary file left
// by a killed run is not a frame.
TEST_F(Sequence, SkipExistingRendersOnlyWhatIsMissing) {
    render("--frames 1:3");
    ASSERT_EQ(status, 0);
    fs::remove(frame(2));
    std::ofstream(frame(1)) << "kept as it is";
    std::ofstream(frame(2) + ".partial-99-0") << "left by a killed run";

    std::string out = render("--frames 1:3 --skip-existing");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(read_bytes(frame(1)), "kept as it is");
    EXPECT_TRUE(decodes(frame(2)));
    EXPECT_NE(out.find("seq frame 1: " + frame(1) + " exists; skipped"), std::string::npos) << out;
    EXPECT_NE(out.find("Wrote " + frame(2)), std::string::npos) << out;
    EXPECT_EQ(out.find("Wrote " + frame(3)), std::string::npos) << out;
}

TEST_F(Sequence, ExitsWithTheFramesThatAreMissing) {
    std::string out = render("--frames 2:4 -o /nonexistent-dir/quad.png");
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("seq frame 3: cannot write /nonexistent-dir/quad_f0003.png"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("render: frames not written: 2 3 4"), std::string::npos) << out;
}

// Kill runs at different moments of rendering and writing large frames:
// every file with a frame's name decodes as a whole image.
TEST_F(Sequence, AKilledRunLeavesNoBrokenFrame) {
    for (int delay_ms : {150, 400, 700, 1100, 1600}) {
        pid_t pid = start_render({"--frames", "1:40", "--sampling-level", "0"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        kill(pid, SIGKILL);
        int raw = 0;
        waitpid(pid, &raw, 0);
    }
    int frames = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        std::string name = entry.path().filename().string();
        if (name.rfind("quad_f", 0) != 0 || entry.path().extension() != ".png") continue;
        ++frames;
        EXPECT_TRUE(decodes(entry.path().string())) << name;
    }
    RecordProperty("frames_written", frames);
}

// SIGINT and SIGTERM stop a render at the next tile batch: the frames
// written before stay, no temporary file is left, and the status says which
// signal it was.
TEST_F(Sequence, ASignalStopsTheRenderCleanly) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        pid_t pid = start_render({"--frames", "1:200", "--sampling-level", "2"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        auto start = std::chrono::steady_clock::now();
        kill(pid, signal);
        int raw = 0;
        waitpid(pid, &raw, 0);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), 128 + signal) << read_bytes(errors());
        // The whole sequence takes a minute or more; a signal that arrives while
        // a frame's program builds takes effect at that frame's first batch.
        EXPECT_LT(seconds, 30.0) << "the render did not stop at a batch";
        RecordProperty(signal == SIGINT ? "sigint_seconds" : "sigterm_seconds",
                       std::to_string(seconds));
    }
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".partial-"), std::string::npos) << name;
        if (entry.path().extension() == ".png") {
            EXPECT_TRUE(decodes(entry.path().string())) << name;
        }
    }
}

}  // namespace
}  // namespace spirelle
