// spirelle, the desktop program: one window with the Controls and Render
// panes, driven by an event loop that sleeps until there is something to
// do: input, a wake event from a background thread, an animation tick or a
// time-out. Files are read on this thread; all rendering happens on the
// render thread and the range thread, which publish through the
// RenderWorker and push an SDL user event to wake the loop.
//
// Sections: start-up, one iteration (wait and events, pacing, playback, UI
// scale, image upload, the frame itself), shutdown.
#include <GL/gl.h>
#include <SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop/theme.h"
#include "app/range_render.h"
#include "app/render_thread.h"
#include "app/render_worker.h"
#include "app/ui_state.h"
#include "engine/devices.h"
#include "ui/controls_panel.h"
#include "ui/file_dialog.h"
#include "ui/pane_layout.h"
#include "ui/render_view.h"

namespace spirelle {
namespace {

constexpr int64_t kMinFrameSpacingNs = 6000000;

// Callable from any thread: SDL_PushEvent is thread-safe.
void push_wake_event() {
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_USEREVENT;
    SDL_PushEvent(&event);
}

// What the loop keeps besides the UiState and the RenderWorker.
struct LoopState {
    SDL_Window* window = nullptr;
    RenderTexture texture;
    float ui_scale = 1.0f;
    PaneLayout layout;
    FileDialog file_dialog;
    std::vector<std::string> device_names;
    int64_t previous_frame_end = 0;  // ns, 0 before the first frame
    bool quit = false;
    bool rescale_pending = false;
};

// [SECTION] wait and events

int wait_timeout_ms(const UiState& state, const RenderWorker& worker) {
    if (worker.image_ready.load()) return 0;
    if (state.playing && state.animated) return std::max(1, 1000 / std::max(state.fps, 1));
    if (worker.has_scene.load() && worker.samples_done.load() < worker.samples_target.load()) {
        return 250;
    }
    const ImGuiIO& io = ImGui::GetIO();
    if (io.WantTextInput || ImGui::IsAnyItemActive()) return 100;
    return 500;
}

void handle_event(const SDL_Event& event, LoopState& loop, UiState& state, RenderWorker& worker) {
    ImGui_ImplSDL2_ProcessEvent(&event);
    switch (event.type) {
        case SDL_QUIT:
            loop.quit = true;
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_MOVED ||
                event.window.event == SDL_WINDOWEVENT_RESIZED) {
                loop.rescale_pending = true;
            }
            break;
        case SDL_DROPFILE:
            set_path(state, event.drop.file);
            SDL_free(event.drop.file);
            load_file(state, worker);
            break;
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_F5 && !ImGui::GetIO().WantCaptureKeyboard) {
                load_file(state, worker);
            }
            break;
        default:
            break;  // wake events only end the wait
    }
}

void wait_and_handle_events(LoopState& loop, UiState& state, RenderWorker& worker) {
    SDL_Event event;
    if (!SDL_WaitEventTimeout(&event, wait_timeout_ms(state, worker))) return;
    handle_event(event, loop, state, worker);
    while (SDL_PollEvent(&event)) handle_event(event, loop, state, worker);
}

// [SECTION] pacing, playback, UI scale

// Keeps iterations at least about 6 ms apart.
void pace_frame(const LoopState& loop) {
    if (loop.previous_frame_end == 0) return;
    int64_t now = monotonic_ns();
    if (now - loop.previous_frame_end >= kMinFrameSpacingNs) return;
    int64_t wait_ms = (loop.previous_frame_end - now + 6999999) / 1000000;
    SDL_Delay(static_cast<Uint32>(std::max<int64_t>(1, wait_ms)));
}

void step_playback(UiState& state, RenderWorker& worker) {
    if (!state.playing || !state.animated || worker.range_active.load()) return;
    int64_t now = monotonic_ns();
    if (state.last_tick != 0 && now - state.last_tick < 1000000000LL / std::max(state.fps, 1)) {
        return;
    }
    state.last_tick = now;
    state.current_frame = state.current_frame >= state.frame_count ? 1 : state.current_frame + 1;
    apply_set(state, worker);
}

void rescale_if_needed(LoopState& loop) {
    if (!loop.rescale_pending) return;
    loop.rescale_pending = false;
    float scale = ui_scale_for(loop.window);
    if (std::abs(scale - loop.ui_scale) <= 0.01f) return;
    load_font(scale);
    ImGui_ImplOpenGL3_DestroyFontsTexture();
    ImGui_ImplOpenGL3_CreateFontsTexture();
    apply_dark_theme(scale);
    loop.ui_scale = scale;
}

// [SECTION] image upload

// Re-specifies the texture storage only when the image size changed.
void upload_image(LoopState& loop, RenderWorker& worker) {
    if (!worker.image_ready.exchange(false)) return;
    std::lock_guard<std::mutex> lock(worker.image_lock);
    const SharedImage& image = worker.image;
    if (image.pixels.empty()) return;
    RenderTexture& texture = loop.texture;
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (image.width == texture.width && image.height == texture.height) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, GL_RGBA,
                        GL_UNSIGNED_BYTE, image.pixels.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, image.pixels.data());
        texture.width = image.width;
        texture.height = image.height;
    }
}

// [SECTION] the frame

// Acts on the Controls panel's requests in their fixed order; at most one
// of load, apply and retonemap. The file dialog is drawn here, so that a
// file confirmed in it is loaded in the same frame.
void act_on_requests(ControlsResult result, LoopState& loop, UiState& state, RenderWorker& worker) {
    if (result.save) save_png(state, worker);
    if (result.save_range) start_range(state, worker);
    if (result.browse) loop.file_dialog.open(state.path);
    if (std::optional<std::string> chosen = loop.file_dialog.draw(ImGui::GetFontSize())) {
        set_path(state, *chosen);
        result.load = true;
    }
    if (result.load) {
        load_file(state, worker);
    } else if (result.apply) {
        apply_set(state, worker);
    } else if (result.retonemap) {
        request_retonemap(state, worker);
    }
}

// SDL on X11 reports a cached global pointer position that only XInput2 raw
// motion refreshes, and pointers driven through XTEST (VNC servers, xdotool)
// produce none, so ImGui would see a stale position there. The position SDL
// keeps from the window's own motion events is always current; it is used
// while the pointer is over the window.
void use_window_mouse_position(SDL_Window* window) {
    if (SDL_GetMouseFocus() != window) return;
    int x = 0;
    int y = 0;
    SDL_GetMouseState(&x, &y);
    ImGui::GetIO().MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
}

void draw_frame(LoopState& loop, UiState& state, RenderWorker& worker) {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    use_window_mouse_position(loop.window);
    ImGui::NewFrame();

    float separator = pane_separator_width(loop.ui_scale);
    update_pane_split(loop.layout, separator);
    place_controls_pane(loop.layout, separator);
    ControlsResult result = draw_controls(worker, state, loop.device_names, ImGui::GetFontSize());
    act_on_requests(result, loop, state, worker);
    place_render_pane(loop.layout, separator);
    if (draw_render_view(state, loop.texture)) apply_set(state, worker);

    ImGui::Render();
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(loop.window, &width, &height);
    glViewport(0, 0, width, height);
    glClearColor(0.04f, 0.05f, 0.07f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(loop.window);
    loop.previous_frame_end = monotonic_ns();
}

std::vector<std::string> device_names_or_none() {
    try {
        return list_device_names();
    } catch (const std::exception&) {
        return {};  // no OpenCL: the combo offers "auto" only
    }
}

}  // namespace

int run_desktop(int argc, char** argv) {
    // [SECTION] start-up
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);

    LoopState loop;
    loop.window =
        SDL_CreateWindow("Spirelle", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 1280, 800,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (loop.window == nullptr) {
        std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_GLContext gl_context = SDL_GL_CreateContext(loop.window);
    SDL_GL_MakeCurrent(loop.window, gl_context);
    SDL_GL_SetSwapInterval(1);

    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // Keyboard navigation claims the keyboard only while a widget is active,
    // so that F5 reloads unless the user is typing.
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavNoCaptureKeyboard;
    register_layout_settings(loop.layout);

    loop.ui_scale = ui_scale_for(loop.window);
    apply_dark_theme(loop.ui_scale);
    load_font(loop.ui_scale);

    ImGui_ImplSDL2_InitForOpenGL(loop.window, gl_context);
    ImGui_ImplOpenGL3_Init("#version 150");

    glGenTextures(1, &loop.texture.id);
    glBindTexture(GL_TEXTURE_2D, loop.texture.id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    RenderWorker worker(push_wake_event);
    UiState state;
    if (argc > 1 && std::strlen(argv[1]) < kPathCapacity) set_path(state, argv[1]);
    loop.device_names = device_names_or_none();
    std::thread render_thread = start_render_thread(worker);
    if (state.path[0] != '\0') load_file(state, worker);

    // [SECTION] the loop
    while (!loop.quit) {
        wait_and_handle_events(loop, state, worker);
        pace_frame(loop);
        step_playback(state, worker);
        rescale_if_needed(loop);
        upload_image(loop, worker);
        draw_frame(loop, state, worker);
    }

    // [SECTION] shutdown
    stop_background_threads(state, worker, render_thread);
    glDeleteTextures(1, &loop.texture.id);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();  // writes imgui.ini
    SDL_GL_DeleteContext(gl_context);
    SDL_DestroyWindow(loop.window);
    SDL_Quit();
    return 0;
}

}  // namespace spirelle

int main(int argc, char** argv) { return spirelle::run_desktop(argc, argv); }
