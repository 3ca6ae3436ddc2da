// Save PNG and the range render: the files they write, their progress and
// errors, cancelling, and handing the interactive render back afterwards.
#include "app/range_render.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "kernelgen/gradient_table.h"
#include "kernelgen/kernel_source.h"
#include "render_scenes.h"
#include "test_files.h"
#include "worker_harness.h"

namespace spirelle {
namespace {

using testing::kBoundaryScene;
using testing::kQuadEntry;
using testing::kScenes;
using testing::TempDir;
using testing::wait_until;
using testing::WorkerHarness;

bool exists(const std::string& path) { return std::filesystem::exists(path); }

class RangeRender : public ::testing::Test {
  protected:
    // The animated "Outside" set of the quad file.
    void load_outside() {
        set_path(h.ui, dir.write("quad.upr", kScenes + kQuadEntry));
        load_file(h.ui, h.worker);
        h.ui.selected_set = 1;
        h.ui.sampling_level = 0;
        apply_set(h.ui, h.worker);
    }
    void finish_range() {
        ASSERT_TRUE(wait_until([&] { return !h.worker.range_active; }));
        h.ui.range_thread.join();
    }

    TempDir dir;
    WorkerHarness h;
};

TEST_F(RangeRender, WritesEveryStepthFrameAndHandsTheRenderBack) {
    load_outside();
    h.ui.range_a = 3;
    h.ui.range_b = 9;
    h.ui.range_step = 3;
    ::testing::internal::CaptureStdout();
    start_range(h.ui, h.worker);
    EXPECT_TRUE(h.worker.render_paused);
    EXPECT_EQ(h.worker.range_frames_total, 3);
    finish_range();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("1 passes\n"), std::string::npos) << out;
    for (const char* name : {"quad_f0003.png", "quad_f0006.png", "quad_f0009.png"})
        EXPECT_TRUE(exists(dir.path() + "/" + name)) << name;
    for (const char* name : {"quad_f0001.png", "quad_f0004.png", "quad_f0012.png"})
        EXPECT_FALSE(exists(dir.path() + "/" + name)) << name;
    EXPECT_EQ(h.worker.range_frames_done, 3);
    EXPECT_FALSE(h.worker.render_paused);
    EXPECT_TRUE(h.worker.reset_requested);
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(RangeRender, RefusesABackwardRangeAndCountsStepZeroAsOne) {
    load_outside();
    h.ui.range_a = 4;
    h.ui.range_b = 2;
    start_range(h.ui, h.worker);
    EXPECT_FALSE(h.ui.range_thread.joinable());
    EXPECT_FALSE(h.worker.range_active);
    EXPECT_EQ(h.worker.error_text_copy(), "range: B must be >= A");

    h.ui.range_a = h.ui.range_b = 2;
    h.ui.range_step = 0;
    start_range(h.ui, h.worker);
    finish_range();
    EXPECT_EQ(h.worker.range_frames_done, 1);
    EXPECT_TRUE(exists(dir.path() + "/quad_f0002.png"));
}

// A cancel during a frame lets that frame finish and be written.
TEST_F(RangeRender, CancelStopsBeforeTheNextFrame) {
    load_outside();
    h.ui.range_a = 1;
    h.ui.range_b = 10;
    std::atomic<int> frames{0};
    KernelGenerator generator{[&](const Scene& scene) {
                                  if (++frames == 2) h.worker.range_cancel = true;
                                  return build_kernel_source(scene);
                              },
                              build_gradient_table};
    start_range(h.ui, h.worker, generator);
    finish_range();
    EXPECT_TRUE(exists(dir.path() + "/quad_f0001.png"));
    EXPECT_TRUE(exists(dir.path() + "/quad_f0002.png"));
    EXPECT_FALSE(exists(dir.path() + "/quad_f0003.png"));
    EXPECT_EQ(h.worker.range_frames_done, 2);
    EXPECT_EQ(h.worker.range_frames_total, 10);
}

TEST_F(RangeRender, ReportsEveryFrameItCannotWriteAndGoesOn) {
    load_outside();
    set_path(h.ui, "/nonexistent-dir/quad.upr");
    h.ui.range_a = 1;
    h.ui.range_b = 2;
    start_range(h.ui, h.worker);
    finish_range();
    EXPECT_EQ(h.errors(), (std::vector<std::string>{
                              "seq frame 1: cannot write /nonexistent-dir/quad_f0001.png",
                              "seq frame 2: cannot write /nonexistent-dir/quad_f0002.png"}));
    EXPECT_EQ(h.worker.range_frames_done, 2);
}

TEST_F(RangeRender, StopsAtAFrameThatFailsToBuild) {
    set_path(h.ui, dir.write("broken.upr",
                             "Broken {\nfractal:\n  width=8 height=8 frames=3\n"
                             "layer:\n  opacity=100\nformula:\n  maxiter=10 "
                             "filename=Test.ufm entry=Broken\n}\n\n"
                             "Test.ufm:Broken {\nloop:\n  z = nosuchcall(z)\n}\n"));
    load_file(h.ui, h.worker);
    h.ui.range_a = 1;
    h.ui.range_b = 3;
    start_range(h.ui, h.worker);
    finish_range();
    ASSERT_EQ(h.errors().size(), 1u);
    EXPECT_EQ(h.errors()[0].rfind("seq frame 1: OpenCL build error:\n", 0), 0u) << h.errors()[0];
    EXPECT_EQ(h.worker.range_frames_done, 0);
    EXPECT_FALSE(h.worker.range_active);
    EXPECT_FALSE(h.worker.render_paused);
}

// The render thread idles during the range and renders its job again from
// the first sample afterwards.
TEST_F(RangeRender, TheInteractiveRenderRestartsAfterTheRange) {
    set_path(h.ui, dir.write("boundary.upr", kBoundaryScene + kQuadEntry));
    h.ui.sampling_level = 2;
    h.start_render_thread();
    load_file(h.ui, h.worker);
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
    h.forget();
    start_range(h.ui, h.worker);
    finish_range();
    ASSERT_TRUE(wait_until([&] { return h.published_at_target(); }));
    EXPECT_EQ(h.published(), (std::vector<int>{1, 2, 4}));
    EXPECT_TRUE(exists(dir.path() + "/boundary_f0001.png"));
}

TEST_F(RangeRender, SavePngWritesTheShownImageNextToTheScene) {
    load_outside();
    save_png(h.ui, h.worker);  // nothing shown yet: no file, no message
    EXPECT_FALSE(h.worker.error_pending);
    {
        std::lock_guard<std::mutex> lock(h.worker.image_lock);
        h.worker.image = {std::vector<uint8_t>(2 * 2 * 4, 200), 2, 2};
    }
    h.ui.current_frame = 3;
    save_png(h.ui, h.worker);
    EXPECT_TRUE(exists(dir.path() + "/quad_Outside_f3.png"));

    set_path(h.ui, "/nonexistent-dir/quad.upr");
    save_png(h.ui, h.worker);
    EXPECT_EQ(h.worker.error_text_copy(), "save: stbi_write_png failed");
    set_path(h.ui, "");
    save_png(h.ui, h.worker);
    EXPECT_EQ(h.worker.error_text_copy(), "save: no path loaded");
}

}  // namespace
}  // namespace spirelle
