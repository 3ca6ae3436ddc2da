// A RenderWorker whose wake callback records what the background threads
// published, for tests that drive the render and range threads headless.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/render_thread.h"
#include "app/render_worker.h"

namespace spirelle::testing {

class WorkerHarness {
  public:
    WorkerHarness() : worker([this] { on_wake(); }) {}
    ~WorkerHarness() { stop(); }

    void start_render_thread(KernelGenerator generator = default_kernel_generator()) {
        render_thread = spirelle::start_render_thread(worker, std::move(generator));
    }
    void stop() { stop_background_threads(ui, worker, render_thread); }

    // samples_done at every publish, in order.
    std::vector<int> published() {
        std::lock_guard<std::mutex> lock(mutex_);
        return published_;
    }
    // Every distinct error text posted, in order.
    std::vector<std::string> errors() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }
    void forget() {
        std::lock_guard<std::mutex> lock(mutex_);
        published_.clear();
        errors_.clear();
    }
    SharedImage image() {
        std::lock_guard<std::mutex> lock(worker.image_lock);
        return worker.image;
    }

    bool published_at_target() {
        std::vector<int> p = published();
        return !p.empty() && p.back() == worker.samples_target;
    }

    UiState ui;
    RenderWorker worker;
    std::thread render_thread;

  private:
    // Runs on the thread that published, right after it set the flags.
    void on_wake() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (worker.image_ready.exchange(false)) published_.push_back(worker.samples_done);
        if (worker.error_pending) {
            std::string text = worker.error_text_copy();
            if (errors_.empty() || errors_.back() != text) errors_.push_back(text);
        }
    }

    std::mutex mutex_;
    std::vector<int> published_;
    std::vector<std::string> errors_;
};

// Polls until the condition holds; false after a minute.
inline bool wait_until(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace spirelle::testing
