// The UI thread's side of the job hand-over: what load_file and apply_set
// leave in UiState and in the RenderWorker, without any thread running.
#include "app/render_worker.h"

#include <gtest/gtest.h>

#include "render_scenes.h"
#include "test_files.h"

namespace spirelle {
namespace {

using testing::kQuadEntry;
using testing::kScenes;
using testing::TempDir;

Scene pending(RenderWorker& worker) {
    std::lock_guard<std::mutex> lock(worker.scene_lock);
    return worker.pending_scene;
}

TEST(LoadFile, ReadsTheSetsAndHandsTheFirstOver) {
    struct Case {
        const char* shows;
        std::string file;
        int range_b;
    };
    const Case cases[] = {
        {"a first set without frames", kScenes + kQuadEntry, 1},
        {"a first set of 24 frames",
         "Long {\nfractal:\n  width=8 height=8 frames=24\nlayer:\n  opacity=100\nformula:\n"
         "  maxiter=10 filename=Test.ufm entry=Quad\n}\n" +
             kQuadEntry,
         24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        TempDir dir;
        UiState ui;
        RenderWorker worker;
        ui.range_a = 5;
        ui.selected_set = 1;
        set_path(ui, dir.write("scene.upr", c.file));
        load_file(ui, worker);
        EXPECT_EQ(ui.selected_set, 0);
        EXPECT_EQ(ui.range_a, 1);
        EXPECT_EQ(ui.range_b, c.range_b);
        EXPECT_TRUE(worker.has_scene);
        EXPECT_TRUE(worker.reset_requested);
        EXPECT_EQ(pending(worker).name, ui.sets[0].name);
    }
}

TEST(LoadFile, KeepsThePreviousSetsWhenTheFileFails) {
    TempDir dir;
    UiState ui;
    RenderWorker worker;
    set_path(ui, dir.write("good.upr", kScenes + kQuadEntry));
    load_file(ui, worker);
    ASSERT_EQ(ui.sets.size(), 2u);
    worker.reset_requested = false;

    set_path(ui, dir.path() + "/missing.upr");
    load_file(ui, worker);
    EXPECT_EQ(ui.sets.size(), 2u);
    EXPECT_TRUE(worker.error_pending);
    EXPECT_EQ(worker.error_text_copy().rfind("parse: ", 0), 0u) << worker.error_text_copy();
    EXPECT_FALSE(worker.reset_requested);

    // An empty path is no request at all.
    worker.error_pending = false;
    set_path(ui, "");
    load_file(ui, worker);
    EXPECT_FALSE(worker.error_pending);
}

TEST(LoadFile, CutsOverlongPaths) {
    UiState ui;
    set_path(ui, std::string(5000, 'a'));
    EXPECT_EQ(std::string(ui.path).size(), kPathCapacity - 1);
}

TEST(ApplySet, HandsOverTheLastRequestWithTheSettingsAndClearsTheError) {
    TempDir dir;
    UiState ui;
    RenderWorker worker;
    set_path(ui, dir.write("quad.upr", kScenes + kQuadEntry));
    load_file(ui, worker);
    worker.post_error("reset: something");

    ui.precision = 1;
    ui.sampling_level = 7;
    ui.device_name = "Some device";
    ui.selected_set = 0;
    apply_set(ui, worker);
    ui.selected_set = 1;
    apply_set(ui, worker);

    Scene job = pending(worker);
    EXPECT_EQ(job.name, "Outside");
    EXPECT_EQ(job.precision, 1);
    EXPECT_EQ(job.sampling_level, 7);
    EXPECT_FALSE(worker.error_pending);
    std::lock_guard<std::mutex> lock(worker.scene_lock);
    EXPECT_EQ(worker.pending_device, "Some device");
}

TEST(ApplySet, MovesAnAnimatedSetToTheShownFrame) {
    // The "Outside" set runs its centre from 9/9 at time 0 to 8/8 at 480.
    struct Case {
        int frame;
        double center;
    };
    const Case cases[] = {{1, 9.0}, {3, 9.0 - 320.0 / 480.0}, {99, 9.0 - 480.0 / 480.0}};
    TempDir dir;
    UiState ui;
    RenderWorker worker;
    set_path(ui, dir.write("quad.upr", kScenes + kQuadEntry));
    load_file(ui, worker);
    ui.selected_set = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        ui.current_frame = c.frame;
        apply_set(ui, worker);
        EXPECT_TRUE(ui.animated);
        EXPECT_EQ(ui.frame_count, 4);
        Scene job = pending(worker);
        // Frame 99 of 4 is clamped to the last frame, time 480.
        EXPECT_NEAR(job.layers[0].center.re, c.center, 1e-12);
        EXPECT_EQ(ui.sets[1].layers[0].center.re, 9.0);  // the set itself stays
    }
    EXPECT_EQ(ui.current_frame, 4);

    ui.selected_set = 0;
    apply_set(ui, worker);
    EXPECT_FALSE(ui.animated);
    EXPECT_EQ(ui.frame_count, 1);
}

// Playback hands the set over on every frame; a rate the user typed must
// survive that, while switching sets takes the new set's own rate.
TEST(ApplySet, KeepsTheUsersFrameRateUntilAnotherSetIsShown) {
    TempDir dir;
    UiState ui;
    RenderWorker worker;
    set_path(ui, dir.write("quad.upr", kScenes + kQuadEntry));
    load_file(ui, worker);
    ui.selected_set = 1;
    apply_set(ui, worker);
    EXPECT_EQ(ui.fps, 30);
    ui.fps = 12;
    ui.current_frame = 2;
    apply_set(ui, worker);
    EXPECT_EQ(ui.fps, 12);

    ui.selected_set = 0;
    apply_set(ui, worker);
    ui.selected_set = 1;
    apply_set(ui, worker);
    EXPECT_EQ(ui.fps, 30);
}

TEST(Retonemap, StoresTheSettingsAndRaisesTheRequest) {
    UiState ui;
    RenderWorker worker;
    ui.exposure = 2.5f;
    ui.contrast = 0.5f;
    request_retonemap(ui, worker);
    EXPECT_TRUE(worker.retonemap_requested);
    std::lock_guard<std::mutex> lock(worker.tonemap_lock);
    EXPECT_EQ(worker.exposure, 2.5f);
    EXPECT_EQ(worker.contrast, 0.5f);
}

}  // namespace
}  // namespace spirelle
