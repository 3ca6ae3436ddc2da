// The engine on a real OpenCL device: the CPU device of the test machine,
// named explicitly because the automatic choice only considers GPUs. The
// program is hand-written with the kernel signatures the engine drives, so
// that every pixel can be predicted on the host from the sample indices.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "cpu_device.h"
#include "engine/render_engine.h"
#include "reference_kernels.h"

namespace spirelle {
namespace {

// Each sample reads the gradient at the pixel's horizontal position plus its
// tent-filtered offset (red), shows its vertical position (green) and its
// raw sequence value (blue), so misplaced tiles, skipped or repeated sample
// indices and a wrong gradient buffer all change the pixels.
const char* const kRenderKernel = R"CL(
__kernel void render_scene(
    __global float4 * accum_buf,
    const int width, const int height,
    const int sample_base,
    __global const float * gradient_lut,
    const int spp_count
) {
    int gx = get_global_id(0), gy = get_global_id(1);
    if (gx >= width || gy >= height) return;
    int pixel = gy * width + gx;
    float4 pass_accum = (float4)(0.0f, 0.0f, 0.0f, 0.0f);
    for (int _si = 0; _si < spp_count; _si++) {
        int _gsi = sample_base + _si;
        float r2x = 0.5f + _gsi * 0.7548776662466927f; r2x -= floor(r2x);
        float r2y = 0.5f + _gsi * 0.5698402909980532f; r2y -= floor(r2y);
        float fox = r2x < 0.5f ? sqrt(2.0f * r2x) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * r2x);
        float foy = r2y < 0.5f ? sqrt(2.0f * r2y) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * r2y);
        float t = clamp((gx + 0.5f + fox) / width, 0.0f, 1.0f);
        int entry = min((int)(t * 3999.0f), 3999);
        float red = gradient_lut[entry * 4];
        pass_accum += (float4)(red, (gy + 0.5f + foy) / height, r2y, 1.0f);
    }
    accum_buf[pixel] += pass_accum;
}

)CL";

std::string program_text() { return std::string(kRenderKernel) + kReferenceImagingKernel; }

// A red ramp: entry k holds red k / 3999.
std::vector<float> ramp_table(const Scene&) {
    std::vector<float> table(16000, 0.0f);
    for (int k = 0; k < 4000; ++k) table[4 * k] = k / 3999.0f;
    return table;
}

KernelGenerator program(std::string text) {
    return {[text](const Scene&) { return text; }, ramp_table};
}

float tent(float u) {
    return u < 0.5f ? std::sqrt(2.0f * u) - 1.0f : 1.0f - std::sqrt(2.0f - 2.0f * u);
}

// What the program and the imaging step give for one pixel after `samples`
// samples with indices 0 .. samples - 1.
std::array<int, 4> expected_pixel(int gx, int gy, int width, int height, int samples,
                                  float exposure, float contrast) {
    float sum[3] = {0, 0, 0};
    for (int i = 0; i < samples; ++i) {
        float r2x = 0.5f + i * 0.7548776662466927f;
        r2x -= std::floor(r2x);
        float r2y = 0.5f + i * 0.5698402909980532f;
        r2y -= std::floor(r2y);
        float t = std::clamp((gx + 0.5f + tent(r2x)) / width, 0.0f, 1.0f);
        sum[0] += std::min(static_cast<int>(t * 3999.0f), 3999) / 3999.0f;
        sum[1] += (gy + 0.5f + tent(r2y)) / height;
        sum[2] += r2y;
    }
    std::array<int, 4> pixel{0, 0, 0, 255};
    float scale = (samples > 0 ? 1.0f / samples : 0.0f) * exposure;
    for (int c = 0; c < 3; ++c) {
        float v = ((sum[c] * scale - 0.18f) * contrast + 0.18f) * 255.0f;
        pixel[c] = static_cast<int>(std::clamp(v, 0.0f, 255.0f));
    }
    return pixel;
}

// Rounding of the device's float math may move a channel by a step.
void expect_image(const std::vector<uint8_t>& image, int width, int height, int samples,
                  float exposure, float contrast) {
    ASSERT_EQ(image.size(), static_cast<size_t>(width) * height * 4);
    int mismatches = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::array<int, 4> want =
                expected_pixel(x, y, width, height, samples, exposure, contrast);
            for (int c = 0; c < 4; ++c) {
                int got = image[(static_cast<size_t>(y) * width + x) * 4 + c];
                if (std::abs(got - want[c]) > 1 && mismatches++ < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << got
                                  << " != " << want[c];
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// 40 x 24 pixels in 16-pixel tiles: three columns, the last one partial.
Scene small_scene(int sampling_level = 2) {
    Scene scene;
    scene.width = 40;
    scene.height = 24;
    scene.sampling_level = sampling_level;
    scene.auto_tile_size = false;
    scene.tile_size_log2 = 4;
    scene.layers.resize(1);
    return scene;
}

// Renders the sample target in passes as the render thread does.
std::vector<uint8_t> render(RenderEngine& engine, int samples, float exposure = 1,
                            float contrast = 1) {
    for (int done = 0; done + engine.samples_per_pass() <= samples;
         done += engine.samples_per_pass()) {
        engine.run_pass(done);
    }
    return engine.read_image(samples, exposure, contrast);
}

class EngineTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        device_ = testing::cpu_device_name();
        if (device_.empty()) return;
        shared_ = std::make_unique<RenderEngine>(program(program_text()));
        shared_->set_requested_device_name(device_);
        shared_->prepare(small_scene());
    }
    static void TearDownTestSuite() { shared_.reset(); }

    void SetUp() override {
        if (device_.empty()) GTEST_SKIP() << "no CPU OpenCL device";
    }

    std::unique_ptr<RenderEngine> engine_for(const std::string& text) {
        auto engine = std::make_unique<RenderEngine>(program(text));
        engine->set_requested_device_name(device_);
        return engine;
    }

    static inline std::string device_;
    static inline std::unique_ptr<RenderEngine> shared_;
};

TEST_F(EngineTest, PixelsAreTheAverageOfTheSamplesTonemapped) {
    shared_->prepare(small_scene(3));
    expect_image(render(*shared_, 8), 40, 24, 8, 1.0f, 1.0f);
}

TEST_F(EngineTest, RetonemappingNeedsNoPrepare) {
    shared_->prepare(small_scene(2));
    render(*shared_, 4);
    expect_image(shared_->read_image(4, 0.5f, 1.5f), 40, 24, 4, 0.5f, 1.5f);
    expect_image(shared_->read_image(4, 2.0f, 0.8f), 40, 24, 4, 2.0f, 0.8f);
}

TEST_F(EngineTest, NoSamplesReadAsBlackAtContrastOne) {
    shared_->prepare(small_scene());
    std::vector<uint8_t> image = shared_->read_image(0, 1.0f, 1.0f);
    for (size_t i = 0; i < image.size(); ++i)
        ASSERT_EQ(image[i], i % 4 == 3 ? 255 : 0) << "byte " << i;
}

TEST_F(EngineTest, PrepareClearsWhatEarlierPassesAccumulated) {
    shared_->prepare(small_scene());
    render(*shared_, 4);
    shared_->prepare(small_scene());
    expect_image(render(*shared_, 2), 40, 24, 2, 1.0f, 1.0f);
}

// A pass asked to give way stops after its first batch of tiles; the
// half-updated accumulation cannot be shown or added to until a prepare.
TEST_F(EngineTest, APassThatGivesWayNeedsAPrepareBeforeMore) {
    shared_->prepare(small_scene());
    int asked = 0;
    EXPECT_FALSE(shared_->run_pass(0, [&] { return ++asked > 0; }));
    EXPECT_EQ(asked, 1);
    EXPECT_THROW(shared_->read_image(1, 1.0f, 1.0f), std::runtime_error);
    EXPECT_THROW(shared_->run_pass(0), std::runtime_error);
    shared_->prepare(small_scene());
    EXPECT_TRUE(shared_->run_pass(0, [] { return false; }));
    expect_image(shared_->read_image(1, 1.0f, 1.0f), 40, 24, 1, 1.0f, 1.0f);
}

TEST_F(EngineTest, UnchangedSourceKeepsDeviceProgramAndBuffers) {
    shared_->prepare(small_scene());
    shared_->prepare(small_scene());
    const PrepareReport& report = shared_->last_prepare();
    EXPECT_FALSE(report.device_chosen);
    EXPECT_FALSE(report.program_built);
    EXPECT_FALSE(report.buffers_allocated);
}

TEST_F(EngineTest, SizeChangeReallocatesBuffersOnly) {
    Scene scene = small_scene();
    scene.width = 37;
    scene.height = 50;
    ::testing::internal::CaptureStdout();
    shared_->prepare(scene);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(shared_->last_prepare().device_chosen);
    EXPECT_FALSE(shared_->last_prepare().program_built);
    EXPECT_TRUE(shared_->last_prepare().buffers_allocated);
    expect_image(render(*shared_, 4), 37, 50, 4, 1.0f, 1.0f);
}

TEST_F(EngineTest, PrecisionChangeChoosesTheDeviceAndRebuilds) {
    std::unique_ptr<RenderEngine> engine = engine_for(program_text());
    Scene scene = small_scene();
    scene.auto_tile_size = true;
    ::testing::internal::CaptureStdout();
    engine->prepare(scene);
    std::string first = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(first.find("Using device: " + device_ + "\n"), 0u) << first;
    EXPECT_NE(first.find("Config: " + std::to_string(engine->samples_per_pass()) +
                         " samples/pass (auto), " + std::to_string(1 << engine->tile_size_log2()) +
                         "px tiles (auto)\n"),
              std::string::npos)
        << first;
    EXPECT_TRUE(engine->last_prepare().tile_size_measured);
    EXPECT_GE(engine->tile_size_log2(), 5);
    EXPECT_LE(engine->tile_size_log2(), 9);

    scene.precision = 1;
    ::testing::internal::CaptureStdout();
    engine->prepare(scene);
    std::string second = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(engine->last_prepare().device_chosen);
    EXPECT_TRUE(engine->last_prepare().program_built);
    EXPECT_NE(second.find("Using device: "), std::string::npos);
    EXPECT_NE(second.find("Config: "), std::string::npos);
    expect_image(render(*engine, 4), 40, 24, 4, 1.0f, 1.0f);
}

TEST_F(EngineTest, BuildErrorCarriesTheLogAndTheNextPrepareRetries) {
    std::string broken = program_text() + "\n__kernel void broken() { undeclared_name = 1; }\n";
    std::string text = broken;
    RenderEngine engine({[&text](const Scene&) { return text; }, ramp_table});
    engine.set_requested_device_name(device_);
    try {
        engine.prepare(small_scene());
        FAIL() << "the broken program built";
    } catch (const std::runtime_error& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("OpenCL build error:\n", 0), 0u) << message;
        EXPECT_NE(message.find("undeclared_name"), std::string::npos) << message;
    }
    EXPECT_THROW(engine.run_pass(0), std::runtime_error);

    text = program_text();
    engine.prepare(small_scene());
    EXPECT_TRUE(engine.last_prepare().program_built);
    expect_image(render(engine, 4), 40, 24, 4, 1.0f, 1.0f);
}

// After a failed build the last good program stays in use: a scene that
// returns to its text needs no build. A failed build right after a device
// change leaves nothing of the old context usable, so the next prepare
// builds and allocates again although text and size are unchanged.
TEST_F(EngineTest, FailedBuildKeepsWhatStillFitsTheContext) {
    std::string good = program_text();
    std::string text = good;
    RenderEngine engine({[&text](const Scene&) { return text; }, ramp_table});
    engine.set_requested_device_name(device_);
    Scene scene = small_scene();
    engine.prepare(scene);

    struct Step {
        const char* shows;
        int precision;
        bool broken;
        bool built, allocated;
    };
    const Step steps[] = {
        {"a broken text fails", 0, true, false, false},
        {"the last good text needs no build", 0, false, false, false},
        {"a device change with a broken text fails", 1, true, false, false},
        {"the good text builds in the new context", 1, false, true, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.shows);
        text = step.broken ? good + "\n__kernel void broken() { undeclared_name = 1; }\n" : good;
        scene.precision = step.precision;
        ::testing::internal::CaptureStdout();
        if (step.broken) {
            EXPECT_THROW(engine.prepare(scene), std::runtime_error);
            ::testing::internal::GetCapturedStdout();
            continue;
        }
        engine.prepare(scene);
        std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(engine.last_prepare().program_built, step.built);
        EXPECT_EQ(engine.last_prepare().buffers_allocated, step.allocated);
        EXPECT_EQ(printed.find("Config: ") != std::string::npos, step.built) << printed;
        expect_image(render(engine, 4), 40, 24, 4, 1.0f, 1.0f);
    }
}

TEST_F(EngineTest, ImagesBeyondTheDeviceFailWithAMessage) {
    struct Case {
        const char* shows;
        int width, height;
        const char* message;
    };
    const Case cases[] = {
        {"more pixels than an int indexes", 65536, 65536,
         "more pixels than the kernels can address"},
        {"buffers larger than the device allocates", 46000, 46000,
         "more than the device can allocate"},
        {"an empty image", 0, 10, "is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        Scene scene = small_scene();
        scene.width = c.width;
        scene.height = c.height;
        try {
            shared_->prepare(scene);
            ADD_FAILURE() << "prepared";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_THROW(shared_->read_image(1, 1, 1), std::runtime_error);
    }
}

TEST_F(EngineTest, PassesBeforePrepareAreRefused) {
    RenderEngine engine(program(program_text()));
    EXPECT_THROW(engine.run_pass(0), std::runtime_error);
    EXPECT_THROW(engine.read_image(1, 1, 1), std::runtime_error);
}

}  // namespace
}  // namespace spirelle
