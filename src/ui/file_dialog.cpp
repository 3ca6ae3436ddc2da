// Directory walking works on absolute std::filesystem paths only; nothing
// here calls chdir or sets the current path, so relative paths elsewhere in
// the program keep their meaning while the dialog is open.
#include "ui/file_dialog.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace spirelle {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTitle = "Select a UPR file";
constexpr const char* kFilterNames[] = {"Fractal parameter sets (*.upr)", "All files (*.*)"};
// The scene path field holds 1023 bytes and its terminator.
constexpr size_t kLongestPath = 1023;

// Absolute, without "." and ".." steps and without a trailing separator.
fs::path normalised(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    absolute = absolute.lexically_normal();
    if (absolute.has_relative_path() && !absolute.has_filename()) {
        absolute = absolute.parent_path();
    }
    return absolute;
}

bool directory_exists(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

}  // namespace

std::string initial_directory(const std::string& scene_path) {
    if (!scene_path.empty()) {
        fs::path parent = fs::path(scene_path).parent_path();
        if (!parent.empty() && directory_exists(parent)) return normalised(parent).string();
    }
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    return ec ? std::string("/") : cwd.string();
}

bool passes_filter(const std::string& name, FileFilter filter) {
    if (filter == FileFilter::AllFiles) return true;
    constexpr const char* kExtension = ".upr";
    if (name.size() <= 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == kExtension;
}

std::vector<DirectoryEntry> list_directory(const std::string& directory, FileFilter filter,
                                           std::string& error) {
    error.clear();
    std::vector<DirectoryEntry> directories;
    std::vector<DirectoryEntry> files;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec) error = ec.message();
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code type_ec;
        if (it->is_directory(type_ec)) {
            directories.push_back({name, true});
        } else if (passes_filter(name, filter)) {
            files.push_back({name, false});
        }
    }
    auto by_name = [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; };
    std::sort(directories.begin(), directories.end(), by_name);
    std::sort(files.begin(), files.end(), by_name);

    std::vector<DirectoryEntry> entries;
    fs::path path(directory);
    if (path.has_relative_path()) entries.push_back({"..", true});
    entries.insert(entries.end(), directories.begin(), directories.end());
    entries.insert(entries.end(), files.begin(), files.end());
    return entries;
}

Choice resolve_choice(const std::string& directory, const std::string& name) {
    fs::path typed(name);
    Choice choice;
    choice.path = normalised(typed.is_absolute() ? typed : fs::path(directory) / typed).string();
    std::error_code ec;
    fs::file_status status = fs::status(choice.path, ec);
    if (fs::is_directory(status)) {
        choice.kind = Choice::Directory;
    } else if (fs::is_regular_file(status)) {
        choice.kind = Choice::File;
    }
    return choice;
}

void FileDialog::open(const std::string& scene_path) {
    open_requested_ = true;
    name_[0] = '\0';
    message_.clear();
    enter(initial_directory(scene_path));
}

void FileDialog::enter(const std::string& directory) {
    directory_ = directory;
    entries_ = list_directory(directory_, filter_, list_error_);
}

std::optional<std::string> FileDialog::confirm(const std::string& name) {
    if (name.empty()) return std::nullopt;
    Choice choice = resolve_choice(directory_, name);
    switch (choice.kind) {
        case Choice::Directory:
            enter(choice.path);
            name_[0] = '\0';
            message_.clear();
            return std::nullopt;
        case Choice::File:
            if (choice.path.size() > kLongestPath) {
                message_ = "path too long";
                return std::nullopt;
            }
            return choice.path;
        case Choice::Missing:
            break;
    }
    message_ = "no such file: " + name;
    return std::nullopt;
}

std::optional<std::string> FileDialog::draw(float font_size) {
    if (open_requested_) {
        ImGui::OpenPopup(kTitle);
        open_requested_ = false;
    }
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->GetCenter(), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(std::min(40.0f * font_size, viewport->WorkSize.x),
                                    std::min(28.0f * font_size, viewport->WorkSize.y)),
                             ImGuiCond_Appearing);
    if (!ImGui::BeginPopupModal(kTitle, nullptr)) return std::nullopt;

    std::optional<std::string> pending;
    bool close = false;
    ImGui::TextWrapped("%s", directory_.c_str());
    int filter = static_cast<int>(filter_);
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::Combo("##filter", &filter, kFilterNames, 2)) {
        filter_ = static_cast<FileFilter>(filter);
        enter(directory_);
    }

    float footer =
        ImGui::GetFrameHeightWithSpacing() * 2.0f + ImGui::GetTextLineHeightWithSpacing();
    ImGui::BeginChild("##entries", ImVec2(0, -footer), true);
    if (!list_error_.empty()) ImGui::TextDisabled("%s", list_error_.c_str());
    for (const DirectoryEntry& entry : entries_) {
        std::string label = entry.directory ? entry.name + "/" : entry.name;
        bool selected = entry.name == name_;
        if (ImGui::Selectable(label.c_str(), selected,
                              ImGuiSelectableFlags_AllowDoubleClick |
                                  static_cast<int>(ImGuiSelectableFlags_SelectOnNav))) {
            std::snprintf(name_, sizeof name_, "%s", entry.name.c_str());
            if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) pending = entry.name;
        }
    }
    ImGui::EndChild();

    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::InputText("##name", name_, sizeof name_, ImGuiInputTextFlags_EnterReturnsTrue)) {
        pending = name_;
    }
    if (!message_.empty()) {
        ImGui::TextDisabled("%s", message_.c_str());
    } else {
        ImGui::NewLine();
    }
    if (ImGui::Button("Open")) pending = name_;
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) close = true;

    const ImGuiIO& io = ImGui::GetIO();
    if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape))) close = true;
    if (!pending && !io.WantTextInput &&
        (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter)) ||
         ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter)))) {
        pending = name_;
    }

    std::optional<std::string> chosen;
    if (pending && !close) {
        chosen = confirm(*pending);
        close = chosen.has_value();
    }
    if (close) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return chosen;
}

}  // namespace spirelle
