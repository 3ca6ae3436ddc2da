// The render thread on the machine's OpenCL device: when it publishes, what
// it publishes, how it takes jobs, reports failures and stops.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <atomic>

#include "cli/cli_runner.h"
#include "kernelgen/gradient_table.h"
#include "kernelgen/kernel_source.h"
#include "render_scenes.h"
#include "test_files.h"
#include "worker_harness.h"

namespace spirelle {
namespace {

using testing::kBoundaryScene;
using testing::kBrokenScene;
using testing::kQuadEntry;
using testing::kScenes;
using testing::TempDir;
using testing::wait_until;
using testing::WorkerHarness;

std::vector<uint8_t> load_rgba(const std::string& path) {
    int width = 0, height = 0, channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (data == nullptr) return {};
    std::vector<uint8_t> pixels(data, data + size_t(width) * height * 4);
    stbi_image_free(data);
    return pixels;
}

class RenderThread : public ::testing::Test {
  protected:
    void load(const std::string& name, const std::string& text) {
        set_path(h.ui, dir.write(name, text));
        load_file(h.ui, h.worker);
    }

    TempDir dir;
    WorkerHarness h;
};

TEST_F(RenderThread, PublishesAtEveryPowerOfTwoAndAtTheTarget) {
    struct Case {
        int pass_samples_log2;
        std::vector<int> published;
    };
    const Case cases[] = {
        {0, {1, 2, 4, 8, 16, 32}},
        {3, {8, 16, 32}},
    };
    h.start_render_thread();
    h.ui.sampling_level = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pass_samples_log2);
        load("boundary.upr", kBoundaryScene + kQuadEntry);
        h.ui.sets[0].auto_pass_samples = false;
        h.ui.sets[0].pass_samples_log2 = c.pass_samples_log2;
        h.forget();
        apply_set(h.ui, h.worker);
        ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
        EXPECT_EQ(h.published(), c.published);
        EXPECT_EQ(h.worker.samples_done, 32);
        EXPECT_EQ(h.worker.samples_target, 32);
        EXPECT_GT(h.worker.throughput, 0.0f);
        EXPECT_GE(h.worker.last_time, h.worker.start_time);
    }
}

// The desktop program and spirelle-cli render the same samples the same way.
TEST_F(RenderThread, ShowsWhatTheCommandLineWrites) {
    load("boundary.upr", kBoundaryScene + kQuadEntry);
    h.ui.sampling_level = 3;
    h.start_render_thread();
    apply_set(h.ui, h.worker);
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));

    std::string png = dir.path() + "/cli.png";
    auto result =
        testing::run_cli(std::string("render ") + h.ui.path + " --sampling-level 3 -o " + png);
    ASSERT_EQ(result.status, 0);
    SharedImage image = h.image();
    EXPECT_EQ(image.width, 40);
    EXPECT_EQ(image.height, 30);
    EXPECT_TRUE(image.pixels == load_rgba(png));
}

TEST_F(RenderThread, RetonemapsAConvergedImageWithoutRendering) {
    load("boundary.upr", kBoundaryScene + kQuadEntry);
    h.ui.sampling_level = 2;
    h.start_render_thread();
    apply_set(h.ui, h.worker);
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
    std::vector<uint8_t> before = h.image().pixels;

    h.forget();
    h.ui.exposure = 3.0f;
    request_retonemap(h.ui, h.worker);
    ASSERT_TRUE(wait_until([&] { return !h.published().empty(); }));
    EXPECT_EQ(h.published(), std::vector<int>{4});
    EXPECT_EQ(h.worker.samples_done, 4);
    EXPECT_NE(h.image().pixels, before);
}

TEST_F(RenderThread, ABuildErrorLeavesItIdleUntilAGoodJob) {
    load("broken.upr", kBrokenScene);
    h.ui.sampling_level = 1;
    h.start_render_thread();
    apply_set(h.ui, h.worker);
    ASSERT_TRUE(wait_until([&] { return !h.errors().empty(); }));
    EXPECT_EQ(h.errors()[0].rfind("reset: OpenCL build error:\n", 0), 0u) << h.errors()[0];
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(h.published().empty());
    EXPECT_EQ(h.worker.samples_done, 0);

    load("boundary.upr", kBoundaryScene + kQuadEntry);
    EXPECT_FALSE(h.worker.error_pending);
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
    EXPECT_EQ(h.image().width, 40);
}

// A job handed over while the thread builds the previous one is taken by
// the next reset; the older job never renders.
TEST_F(RenderThread, TakesAJobHandedOverDuringAReset) {
    load("quad.upr", kScenes + kQuadEntry);
    h.ui.sampling_level = 1;
    UiState other;
    other.sampling_level = 1;
    set_path(other, h.ui.path);
    std::atomic<int> builds{0};
    KernelGenerator generator{[&](const Scene& scene) {
                                  if (builds++ == 0) {
                                      load_file(other, h.worker);
                                      other.selected_set = 1;
                                      apply_set(other, h.worker);
                                  }
                                  return build_kernel_source(scene);
                              },
                              build_gradient_table};
    h.start_render_thread(generator);
    apply_set(h.ui, h.worker);  // "Inside", 24 x 16
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
    EXPECT_GE(builds, 2);
    EXPECT_EQ(h.image().width, 20);  // "Outside"
    EXPECT_EQ(h.published(), (std::vector<int>{1, 2}));
}

// A scene whose single pass takes about a minute here, in 64-pixel tiles so
// that the pass can give way often.
const std::string kSlowScene = R"(Slow {
fractal:
  width=1024 height=1024
layer:
  opacity=100
mapping:
  center=-0.1/0.05 magn=40
formula:
  maxiter=20000 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=255
}
)" + kQuadEntry;

class LongPass : public RenderThread {
  protected:
    // Starts the slow scene's pass and returns while it runs.
    void start_slow_pass() {
        load("slow.upr", kSlowScene);
        h.ui.sets[0].auto_tile_size = false;
        h.ui.sets[0].tile_size_log2 = 6;
        h.ui.sampling_level = 0;
        h.start_render_thread();
        apply_set(h.ui, h.worker);
        ASSERT_TRUE(wait_until([&] { return h.worker.start_time != 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }

    static double seconds_since(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

// Quitting does not wait for a pass that would take a minute: the pass gives
// way, and its samples are never shown.
TEST_F(LongPass, QuitDoesNotWaitForIt) {
    ASSERT_NO_FATAL_FAILURE(start_slow_pass());
    auto start = std::chrono::steady_clock::now();
    h.stop();
    double seconds = seconds_since(start);
    EXPECT_FALSE(h.render_thread.joinable());
    RecordProperty("quit_seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 2.0) << "the pass did not give way";
    EXPECT_EQ(h.worker.samples_done, 0);
    EXPECT_TRUE(h.published().empty());
}

// A new job during a long pass starts at once; nothing of the abandoned
// pass is ever shown.
TEST_F(LongPass, ANewJobStartsAtOnce) {
    ASSERT_NO_FATAL_FAILURE(start_slow_pass());

    // The same program (a view and size edit needs no build), looking where
    // every sample escapes at once.
    auto start = std::chrono::steady_clock::now();
    h.ui.sets[0].width = 40;
    h.ui.sets[0].height = 30;
    h.ui.sets[0].layers[0].center = {9, 9};
    apply_set(h.ui, h.worker);
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
    double seconds = seconds_since(start);
    RecordProperty("new_job_seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 2.0) << "the pass did not give way";
    EXPECT_EQ(h.published(), std::vector<int>{1});
    EXPECT_EQ(h.image().width, 40);
}

}  // namespace
}  // namespace spirelle
