// The open-file dialog of "Browse...", drawn with ImGui as a modal window
// "Select a UPR file". It walks directories by absolute path and never
// changes the process's working directory; it only returns a file that
// exists. Enter or a double-click confirms, Escape cancels.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace spirelle {

// The directory the dialog opens in: the parent of `scene_path` when it has
// one that exists, otherwise the working directory; always absolute.
std::string initial_directory(const std::string& scene_path);

// The dialog's filters, "*.upr" first.
enum class FileFilter { ParameterSets, AllFiles };

// True when a file name passes the filter ("*.upr" ignores case).
bool passes_filter(const std::string& name, FileFilter filter);

struct DirectoryEntry {
    std::string name;
    bool directory = false;
};

// The entries of `directory` that the dialog lists: ".." unless it is the
// root, then sub-directories, then files that pass the filter, each group
// sorted by name. Hidden entries (names starting with ".") are left out.
// An unreadable directory gives only "..", with the reason in `error`.
std::vector<DirectoryEntry> list_directory(const std::string& directory, FileFilter filter,
                                           std::string& error);

// What typing `name` (relative to `directory`, or absolute) and confirming
// leads to.
struct Choice {
    enum Kind { File, Directory, Missing } kind = Missing;
    std::string path;  // absolute and normalised
};
Choice resolve_choice(const std::string& directory, const std::string& name);

class FileDialog {
  public:
    // Opens the dialog next frame in the initial directory for `scene_path`.
    void open(const std::string& scene_path);

    // Draws the dialog while it is open; returns the chosen file's path on
    // the frame the user confirms it.
    std::optional<std::string> draw(float font_size);

  private:
    void enter(const std::string& directory);
    // Confirms `name`: enters a directory, returns an existing file.
    std::optional<std::string> confirm(const std::string& name);

    bool open_requested_ = false;
    std::string directory_;
    FileFilter filter_ = FileFilter::ParameterSets;
    std::vector<DirectoryEntry> entries_;
    std::string list_error_;
    char name_[1024] = {};
    std::string message_;
};

}  // namespace spirelle
