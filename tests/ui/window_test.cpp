// The desktop program as a user meets it, on a virtual X display (Xvfb,
// Mesa's software OpenGL): it shows exactly the pixels that spirelle-cli
// renders for the same scene, reloads on F5, quits cleanly when its window
// is closed and keeps the pane split in imgui.ini. The screenshots stay in
// the build folder (test-artifacts/) for people to look at.
#include <gtest/gtest.h>
#include <signal.h>
#include <stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/cli_runner.h"
#include "render_scenes.h"
#include "test_files.h"
#include "ui/x_close.h"

namespace spirelle {
namespace {

using spirelle::testing::kQuadEntry;
using spirelle::testing::run_cli;
using spirelle::testing::TempDir;
using namespace std::chrono_literals;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

// A view into the seahorse valley of the quadratic iteration, which the file
// carries itself. `angle` is what F5 is checked with.
std::string spiral_scene(int angle) {
    return R"(Spiral {
fractal:
  width=480 height=360
layer:
mapping:
  center=-0.74364/0.13183 magn=400 angle=)" +
           std::to_string(angle) + R"(
formula:
  maxiter=400 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278190080
outside:
  transfer=linear entry=Smooth density=0.5
gradient:
  smooth=yes index=0 color=6697728 index=100 color=16777215
  index=200 color=39423 index=300 color=1710618
}

)" + kQuadEntry;
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    std::array<int, 3> at(int x, int y) const {
        size_t i = 3 * (static_cast<size_t>(y) * width + x);
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

Image load_rgb(const std::string& path) {
    Image image;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
    if (data == nullptr) return {};
    image.rgb.assign(data, data + 3 * image.width * image.height);
    stbi_image_free(data);
    return image;
}

struct Point {
    int x = 0;
    int y = 0;
};

// Where `part` appears pixel for pixel inside `whole`, if it does.
std::optional<Point> find_exact(const Image& whole, const Image& part) {
    if (part.width < 1 || whole.width < part.width || whole.height < part.height) return {};
    size_t row_bytes = 3 * static_cast<size_t>(part.width);
    for (int y = 0; y + part.height <= whole.height; ++y) {
        for (int x = 0; x + part.width <= whole.width; ++x) {
            bool same = true;
            for (int row = 0; row < part.height && same; ++row) {
                const unsigned char* a =
                    &whole.rgb[3 * ((static_cast<size_t>(y) + row) * whole.width + x)];
                const unsigned char* b = &part.rgb[row * row_bytes];
                same = std::equal(a, a + row_bytes, b);
            }
            if (same) return Point{x, y};
        }
    }
    return {};
}

// Pixels inside [x0, x1) x [y0, y1) within `tolerance` of `colour` in every
// channel: the well-covered pixels of text drawn in that colour.
int count_near(const Image& image, std::array<int, 3> colour, int x0, int y0, int x1, int y1,
               int tolerance = 30) {
    int count = 0;
    for (int y = y0; y < std::min(y1, image.height); ++y) {
        for (int x = x0; x < std::min(x1, image.width); ++x) {
            std::array<int, 3> pixel = image.at(x, y);
            bool near = true;
            for (int c = 0; c < 3; ++c) near = near && std::abs(pixel[c] - colour[c]) <= tolerance;
            count += near;
        }
    }
    return count;
}

// The text drawn inside [x0, x1) x [y0, y1) over the dark window
// background: how many pixels it lights up and the brightest channel value
// among them. Disabled text never gets brighter than its colour, while
// ordinary text (0.92, 0.92, 0.95) does.
struct TextInk {
    int pixels = 0;
    int brightest = 0;
};
TextInk text_ink(const Image& image, int x0, int y0, int x1, int y1) {
    TextInk ink;
    for (int y = y0; y < std::min(y1, image.height); ++y) {
        for (int x = x0; x < std::min(x1, image.width); ++x) {
            std::array<int, 3> pixel = image.at(x, y);
            int brightest = std::max({pixel[0], pixel[1], pixel[2]});
            if (brightest < 80) continue;
            ++ink.pixels;
            ink.brightest = std::max(ink.brightest, brightest);
        }
    }
    return ink;
}

// An X server of our own, on the first free display number.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            std::string screen =
                std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-dpi",
                   "96", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the display number once it accepts connections.
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty when Xvfb did not start.
    const std::string& name() const { return name_; }

    // Runs a command line with DISPLAY set to this display.
    int run(const std::string& command) const {
        return std::system(("DISPLAY=" + name_ + " " + command).c_str());
    }

    Image screenshot(const std::string& path) const {
        if (run("import -window root " + path) != 0) return {};
        return load_rgb(path);
    }

    bool close_window(const std::string& title) const {
        return spirelle::testing::request_window_close(name_, title);
    }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// spirelle running in `directory` (where it keeps imgui.ini) on a display.
class Desktop {
  public:
    Desktop(const VirtualDisplay& display, const std::string& directory,
            const std::string& scene = "")
        : log_(directory + "/spirelle.log") {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(directory.c_str()) != 0) _exit(126);
            setenv("DISPLAY", display.name().c_str(), 1);
            // Under the address sanitizer the window stack's own allocations
            // would count as leaks; the unit tests cover ours.
            std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
            setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "detect_leaks=0").c_str(),
                   1);
            // One open file for both streams, so that neither overwrites the other.
            if (!freopen(log_.c_str(), "w", stdout) || dup2(STDOUT_FILENO, STDERR_FILENO) < 0) {
                _exit(126);
            }
            if (scene.empty()) {
                execl(SPIRELLE_DESKTOP_PATH, "spirelle", static_cast<char*>(nullptr));
            } else {
                execl(SPIRELLE_DESKTOP_PATH, "spirelle", scene.c_str(),
                      static_cast<char*>(nullptr));
            }
            _exit(127);
        }
    }
    ~Desktop() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool running() {
        if (pid_ <= 0 || exited_) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = status;
        }
        return !exited_;
    }

    // The exit status, or -1 when it did not exit normally within the time.
    int wait_for_exit(std::chrono::seconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(100ms);
        if (running()) return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

    std::string log() const {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The log and, while the program still runs, where each of its threads
    // stands (when gdb is installed), for a program that stopped drawing.
    std::string report() {
        std::string text = log();
        if (!running() || std::system("command -v gdb >/dev/null 2>&1") != 0) return text;
        const std::string stacks = log_ + ".stacks";
        std::string command = "gdb -p " + std::to_string(pid_) +
                              " -batch -nx -ex 'thread apply all bt 25' > " + stacks + " 2>&1";
        if (std::system(command.c_str()) != 0) return text;
        std::ifstream in(stacks);
        std::stringstream more;
        more << in.rdbuf();
        return text + "\nthreads of the running program:\n" + more.str();
    }

  private:
    std::string log_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
};

std::string artifact(const std::string& name) {
    std::filesystem::create_directories(SPIRELLE_ARTIFACT_DIR);
    return std::string(SPIRELLE_ARTIFACT_DIR) + "/" + name;
}

// Takes screenshots until `expected` shows up in one, which happens once the
// render has converged; the last screenshot is kept as `shot`.
std::optional<Point> wait_for_image(const VirtualDisplay& display, Desktop& desktop,
                                    const Image& expected, const std::string& shot,
                                    std::chrono::seconds limit = 180s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end && desktop.running()) {
        if (std::optional<Point> at = find_exact(display.screenshot(shot), expected)) return at;
        std::this_thread::sleep_for(500ms);
    }
    return {};
}

// Takes screenshots until the window has drawn its panes (the screen is no
// longer all black).
Image wait_for_window(const VirtualDisplay& display, Desktop& desktop, const std::string& shot) {
    auto end = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < end && desktop.running()) {
        Image image = display.screenshot(shot);
        if (!image.rgb.empty() &&
            std::any_of(image.rgb.begin(), image.rgb.end(), [](unsigned char v) { return v; })) {
            // One more frame, so that text laid out on the first frame is drawn.
            std::this_thread::sleep_for(1s);
            return display.screenshot(shot);
        }
        std::this_thread::sleep_for(250ms);
    }
    return {};
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Text colours of the theme: disabled text, and the error line.
constexpr std::array<int, 3> kDisabledText = {148, 158, 173};
constexpr std::array<int, 3> kErrorText = {255, 102, 102};
// Where the panes meet at the default split: 28 % of the width.
constexpr int kDefaultSplitX = 358;
// The first line of the Render pane: x0, y0, x1, y1.
constexpr int kRenderTextLine[] = {kDefaultSplitX + 6, 28, kScreenWidth, 50};

// The Render pane's only text is the empty-state line, in the disabled
// colour.
void expect_empty_state(const Image& shot) {
    TextInk ink = text_ink(shot, kRenderTextLine[0], kRenderTextLine[1], kRenderTextLine[2],
                           kRenderTextLine[3]);
    EXPECT_GT(ink.pixels, 500) << "a line of text";
    EXPECT_LE(ink.brightest, kDisabledText[2]) << "in the disabled colour";
    TextInk below =
        text_ink(shot, kRenderTextLine[0], kRenderTextLine[3], kScreenWidth, kScreenHeight);
    EXPECT_EQ(below.pixels, 0) << "and nothing else";
}

class DesktopWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(display.name().empty())
            << "Xvfb did not start; scripts/install-deps installs it";
    }

    // Renders the scene file with spirelle-cli at the desktop program's
    // starting sampling level.
    Image cli_render(const std::string& scene, const std::string& name) {
        std::string out = dir.path() + "/" + name;
        auto result = run_cli("render " + scene + " --sampling-level 4 -o " + out, true);
        EXPECT_EQ(result.status, 0) << result.out;
        return load_rgb(out);
    }

    VirtualDisplay display;
    TempDir dir;
};

TEST_F(DesktopWindow, ShowsTheRenderReloadsOnF5AndKeepsTheDraggedSplit) {
    // Started as a user would from the scene's directory, with a relative path.
    std::string scene = dir.write("spiral.upr", spiral_scene(30));
    Image expected = cli_render(scene, "expected.png");
    ASSERT_EQ(expected.width, 480);

    std::optional<Point> first;
    {
        Desktop desktop(display, dir.path(), "spiral.upr");
        first = wait_for_image(display, desktop, expected, artifact("window_converged.png"));
        ASSERT_TRUE(first) << "the converged render never appeared\n" << desktop.report();
        EXPECT_GT(first->x, kDefaultSplitX) << "the image is in the Render pane";
        Image shot = load_rgb(artifact("window_converged.png"));
        EXPECT_GT(text_ink(shot, kRenderTextLine[0], kRenderTextLine[1], kRenderTextLine[2],
                           kRenderTextLine[3])
                      .brightest,
                  kDisabledText[2] + 20)
            << "the zoom line in ordinary text replaces the empty-state line";

        dir.write("spiral.upr", spiral_scene(-60));
        Image reloaded = cli_render(scene, "reloaded.png");
        display.run("xdotool mousemove 900 600 key F5");
        std::optional<Point> second =
            wait_for_image(display, desktop, reloaded, artifact("window_reloaded.png"));
        ASSERT_TRUE(second) << "F5 did not show the changed file\n" << desktop.report();
        EXPECT_EQ(second->x, first->x);

        ASSERT_TRUE(display.close_window("Spirelle"));
        EXPECT_EQ(desktop.wait_for_exit(60s), 0) << desktop.log();
    }
    std::string ini = read_file(dir.path() + "/imgui.ini");
    EXPECT_NE(ini.find("[Spirelle][Layout]\nSplit=0.2800\n"), std::string::npos) << ini;

    // A stored split is used as it stands: the Render pane starts at half
    // the width, and the image moves right by the difference.
    dir.write("imgui.ini", "[Spirelle][Layout]\nSplit=0.5000\n");
    {
        Desktop desktop(display, dir.path(), "spiral.upr");
        Image reloaded = load_rgb(dir.path() + "/reloaded.png");
        std::optional<Point> moved =
            wait_for_image(display, desktop, reloaded, artifact("window_split.png"));
        ASSERT_TRUE(moved) << desktop.report();
        EXPECT_EQ(moved->x - first->x, kScreenWidth / 2 - kDefaultSplitX);

        // Dragging the separator 128 pixels to the left moves the split to
        // 0.4, and the image with the Render pane.
        int separator_x = kScreenWidth / 2 + 3;
        display.run("xdotool mousemove " + std::to_string(separator_x) +
                    " 400 mousedown 1 sleep 0.3 mousemove " + std::to_string(separator_x - 43) +
                    " 400 sleep 0.3 mousemove " + std::to_string(separator_x - 128) +
                    " 400 sleep 0.3 mouseup 1 mousemove 1200 700");
        std::this_thread::sleep_for(1s);
        std::optional<Point> dragged =
            wait_for_image(display, desktop, reloaded, artifact("window_dragged.png"), 20s);
        ASSERT_TRUE(dragged) << desktop.report();
        EXPECT_EQ(dragged->x, moved->x - 128);
        ASSERT_TRUE(display.close_window("Spirelle"));
        EXPECT_EQ(desktop.wait_for_exit(60s), 0) << desktop.log();
    }
    ini = read_file(dir.path() + "/imgui.ini");
    EXPECT_NE(ini.find("[Spirelle][Layout]\nSplit=0.4000\n"), std::string::npos) << ini;
}

TEST_F(DesktopWindow, StartsEmptyWithoutAScene) {
    Desktop desktop(display, dir.path());
    Image shot = wait_for_window(display, desktop, artifact("window_empty.png"));
    ASSERT_FALSE(shot.rgb.empty()) << "no window appeared\n" << desktop.report();
    // The empty-state line is the only text in the Render pane, drawn in the
    // disabled colour; there is no zoom line.
    expect_empty_state(shot);
    EXPECT_TRUE(desktop.running()) << desktop.log();
    ASSERT_TRUE(display.close_window("Spirelle"));
    EXPECT_EQ(desktop.wait_for_exit(60s), 0) << desktop.log();
}

TEST_F(DesktopWindow, ShowsAParseErrorAndKeepsRunning) {
    std::string scene = dir.write("broken.upr", "Broken {\nfractal:\n  width=0 height=10\n}\n");
    auto cli = run_cli("info " + scene, true);
    ASSERT_EQ(cli.status, 1);
    ASSERT_EQ(cli.out.rfind("parse: ", 0), 0u) << cli.out;

    Desktop desktop(display, dir.path(), scene);
    Image shot = wait_for_window(display, desktop, artifact("window_parse_error.png"));
    ASSERT_FALSE(shot.rgb.empty()) << "no window appeared\n" << desktop.report();
    EXPECT_GT(count_near(shot, kErrorText, 0, 0, kDefaultSplitX, kScreenHeight), 120)
        << "the Controls pane shows the error line";
    expect_empty_state(shot);
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(desktop.running()) << desktop.log();
    ASSERT_TRUE(display.close_window("Spirelle"));
    EXPECT_EQ(desktop.wait_for_exit(60s), 0) << desktop.log();
}

}  // namespace
}  // namespace spirelle
