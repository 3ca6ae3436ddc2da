// The render thread's loop. Each turn does one step: idle while a range
// render runs, take a new job (reset), add one pass, or re-run imaging;
// then it looks at the flags again. It clears reset_requested before taking
// the scene lock, so a job handed over during a reset is taken by the next
// one. A running pass gives way to quit, a new job and a range render; its
// samples are never shown, and the job starts again from zero.
#include "app/render_thread.h"

#include <chrono>
#include <cmath>

#include "app/frame_render.h"
#include "engine/render_engine.h"

namespace spirelle {

namespace {

using namespace std::chrono_literals;

// floor(log2(n)), -1 for 0.
int floor_log2(int n) {
    int log = -1;
    for (; n > 0; n >>= 1) ++log;
    return log;
}

class RenderLoop {
  public:
    RenderLoop(RenderWorker& worker, KernelGenerator generator)
        : worker_(worker), engine_(std::move(generator)) {}

    void run() {
        while (!worker_.quit) {
            if (worker_.render_paused) {
                std::this_thread::sleep_for(50ms);
                continue;
            }
            // An abandoned pass left samples in the accumulation that no
            // image may show; the job starts again.
            if (worker_.reset_requested.exchange(false) || abandoned_) reset();
            if (ready_ && pass_due()) {
                add_pass();
                continue;
            }
            if (ready_ && worker_.retonemap_requested.exchange(false)) {
                publish();
                continue;
            }
            std::this_thread::sleep_for(10ms);
        }
    }

  private:
    bool pass_due() const {
        return worker_.samples_target >= counter_ + engine_.samples_per_pass() &&
               !worker_.reset_requested;
    }

    bool give_way() const {
        return worker_.quit || worker_.reset_requested || worker_.render_paused;
    }

    void reset() {
        abandoned_ = false;
        {
            std::lock_guard<std::mutex> lock(worker_.scene_lock);
            if (!worker_.has_scene) {
                ready_ = false;
                return;
            }
            scene_ = worker_.pending_scene;
            device_ = worker_.pending_device;
        }
        try {
            engine_.set_requested_device_name(device_);
            engine_.prepare(scene_);
            counter_ = 0;
            worker_.samples_done = 0;
            worker_.samples_target = samples_for_level(scene_.sampling_level);
            worker_.throughput = 0.0f;
            int64_t now = monotonic_ns();
            worker_.start_time = now;
            worker_.last_time = now;
            ready_ = true;
            worker_.wake();
        } catch (const std::exception& e) {
            worker_.post_error(std::string("reset: ") + e.what());
            ready_ = false;
        }
    }

    void add_pass() {
        const int target = worker_.samples_target;
        const int before = floor_log2(counter_);
        try {
            if (!engine_.run_pass(counter_, [this] { return give_way(); })) {
                abandoned_ = true;
                return;
            }
        } catch (const std::exception& e) {
            // A failed pass leaves the accumulation undefined; nothing more
            // is shown of this job until the next one builds.
            worker_.post_error(std::string("render: ") + e.what());
            ready_ = false;
            return;
        }
        counter_ += engine_.samples_per_pass();
        worker_.samples_done = counter_;
        int64_t now = monotonic_ns();
        worker_.last_time = now;
        int64_t elapsed = now - worker_.start_time;
        if (elapsed > 0) {
            double samples = double(engine_.scene().width) * counter_ * engine_.scene().height;
            worker_.throughput = static_cast<float>(samples / (elapsed / 1e9) / 1e6);
        }
        if (floor_log2(counter_) > before || counter_ >= target) {
            worker_.retonemap_requested = false;
            publish();
        } else {
            worker_.wake();
        }
    }

    void publish() {
        if (!ready_ || counter_ <= 0) return;
        float exposure, contrast;
        {
            std::lock_guard<std::mutex> lock(worker_.tonemap_lock);
            exposure = worker_.exposure;
            contrast = worker_.contrast;
        }
        try {
            std::vector<uint8_t> pixels = engine_.read_image(counter_, exposure, contrast);
            {
                std::lock_guard<std::mutex> lock(worker_.image_lock);
                worker_.image.pixels = std::move(pixels);
                worker_.image.width = engine_.scene().width;
                worker_.image.height = engine_.scene().height;
            }
            worker_.image_ready = true;
            worker_.wake();
        } catch (const std::exception& e) {
            worker_.post_error(std::string("tonemap: ") + e.what());
        }
    }

    RenderWorker& worker_;
    RenderEngine engine_;
    Scene scene_;
    std::string device_;
    bool ready_ = false;
    bool abandoned_ = false;
    int counter_ = 0;
};

}  // namespace

void render_thread_main(RenderWorker& worker, KernelGenerator generator) {
    RenderLoop(worker, std::move(generator)).run();
}

std::thread start_render_thread(RenderWorker& worker, KernelGenerator generator) {
    return std::thread(render_thread_main, std::ref(worker), std::move(generator));
}

void stop_background_threads(UiState& state, RenderWorker& worker, std::thread& render_thread) {
    worker.quit = true;
    worker.range_cancel = true;
    worker.wake();
    if (render_thread.joinable()) render_thread.join();
    if (state.range_thread.joinable()) state.range_thread.join();
}

}  // namespace spirelle
