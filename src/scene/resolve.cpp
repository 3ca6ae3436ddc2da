// Formula resolution.
//
// A layer names its formula, colorings and transforms by file and entry. The
// entries that the parameter file carries come first in the library; every
// formula file that a scene needs and the library does not know yet is read
// once and appended, its entries named after the file as the layer wrote it.
// A named formula or coloring that is still missing afterwards ends the load
// with a message that says where Spirelle looked.
#include "scene/resolve.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "formula/builtin.h"
#include "formula/sections.h"

namespace spirelle {

namespace {

// A directory or a device would "open" too, and reading a FIFO or
// /dev/zero would never end, so only regular files are candidates.
bool is_readable_file(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    return std::ifstream(path, std::ios::binary).is_open();
}

std::string executable_dir() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

}  // namespace

std::string installed_formula_dir() {
    std::string exe_dir = executable_dir();
    if (exe_dir.empty()) return {};
    return (std::filesystem::path(exe_dir) / SPIRELLE_FORMULA_DATADIR_FROM_BINDIR)
        .lexically_normal()
        .string();
}

namespace {

std::vector<std::string> search_candidates(const std::string& file_name,
                                           const std::string& scene_dir) {
    std::vector<std::string> candidates = {scene_dir + "/" + file_name};
    if (const char* dirs = std::getenv("SPIRELLE_FORMULAS")) {
        std::string list = dirs;
        size_t start = 0;
        for (;;) {
            size_t colon = list.find(':', start);
            candidates.push_back(list.substr(start, colon - start) + "/" + file_name);
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    std::string exe_dir = executable_dir();
    if (!exe_dir.empty()) candidates.push_back(exe_dir + "/formulas/" + file_name);
    candidates.push_back("formulas/" + file_name);
    std::string data_dir = installed_formula_dir();
    if (!data_dir.empty()) candidates.push_back(data_dir + "/" + file_name);
    return candidates;
}

// Formula files are small; a name that leads to something endless such as a
// kernel memory image must not exhaust memory, so reading stops at a bound
// and such a file counts as unreadable.
constexpr std::streamsize kMaxFormulaFileBytes = std::streamsize(256) << 20;

bool read_bounded(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<size_t>(in.gcount()));
        if (static_cast<std::streamsize>(content.size()) > kMaxFormulaFileBytes) return false;
    }
    return !in.bad();
}

bool is_class_library(const std::string& file_name) {
    return file_name.size() >= 5 && to_lower(file_name.substr(file_name.size() - 4)) == ".ulb";
}

}  // namespace

std::string find_formula_file(const std::string& file_name, const std::string& scene_dir) {
    for (const std::string& candidate : search_candidates(file_name, scene_dir)) {
        if (is_readable_file(candidate)) return candidate;
    }
    return {};
}

std::string normalize_block_name(const std::string& name, const std::string& file_name) {
    std::string key = name;
    size_t blank_paren = key.find(" (");
    if (key.size() > 1 && blank_paren != std::string::npos) key = trim(key.substr(0, blank_paren));
    size_t open = key.find('(');
    if (open != std::string::npos) {
        size_t close = key.find(')', open);
        std::string region = to_lower(trim(key.substr(open + 1, close - open - 1)));
        if (region == "outside" || region == "inside" || region == "both") {
            key = trim(key.substr(0, open));
        }
    }
    if (key.find(':') == std::string::npos) key = file_name + ":" + key;
    return key;
}

void load_formula_file(const std::string& file_name, const std::string& scene_dir,
                       FormulaLibrary& library) {
    if (is_class_library(file_name)) return;
    std::string path = find_formula_file(file_name, scene_dir);
    if (path.empty()) return;
    std::string content;
    if (!read_bounded(path, content)) return;
    for (NamedBlock& block : split_blocks(content)) {
        block.name = normalize_block_name(block.name, file_name);
        library.push_back(std::move(block));
    }
}

const NamedBlock* find_entry(const FormulaLibrary& library, const std::string& file_name,
                             const std::string& entry_name) {
    if (entry_name.empty()) return nullptr;
    if (!file_name.empty()) {
        std::string key = file_name + ":" + entry_name;
        for (const NamedBlock& block : library) {
            if (block.name == key) return &block;
        }
    }
    for (const NamedBlock& block : library) {
        size_t colon = block.name.find(':');
        if (colon != std::string::npos &&
            block.name.compare(colon + 1, std::string::npos, entry_name) == 0) {
            return &block;
        }
    }
    return nullptr;
}

namespace {

std::set<std::string> needed_files(const Scene& scene) {
    std::set<std::string> files;
    auto add = [&files](const std::string& name) {
        if (!name.empty()) files.insert(name);
    };
    for (const Layer& layer : scene.layers) {
        add(layer.formula.filename);
        add(layer.inside.filename);
        add(layer.outside.filename);
        for (const FormulaEntry& transform : layer.transforms) {
            if (transform.enabled) add(transform.filename);
        }
    }
    return files;
}

std::set<std::string> files_in_library(const FormulaLibrary& library) {
    std::set<std::string> files;
    for (const NamedBlock& block : library) {
        size_t colon = block.name.find(':');
        if (colon != std::string::npos) files.insert(block.name.substr(0, colon));
    }
    return files;
}

[[noreturn]] void throw_not_found(const char* kind, const FormulaEntry& entry, size_t layer,
                                  size_t layer_count, const std::string& scene_dir) {
    std::string name = entry.filename.empty() ? entry.entry : entry.filename + ":" + entry.entry;
    throw std::runtime_error(
        std::string(kind) + " entry '" + name + "' not found (layer " + std::to_string(layer) +
        "/" + std::to_string(layer_count) + "). Searched scene dir '" + scene_dir +
        "', $SPIRELLE_FORMULAS, exe-adjacent formulas/, ./formulas/, and " +
        installed_formula_dir() +
        "/. Put the formula file "
        "into one of these directories, or add the entry to formulas/Standard.ucl if it belongs "
        "to the standard set.");
}

bool has_coloring_code(const FormulaEntry& coloring) {
    return !coloring.loop.empty() || !coloring.final.empty();
}

void resolve_layer(Layer& layer, const FormulaLibrary& library) {
    if (const NamedBlock* block =
            find_entry(library, layer.formula.filename, layer.formula.entry)) {
        read_formula_entry(block->text, layer.formula, layer);
    }
    for (FormulaEntry* coloring : {&layer.outside, &layer.inside}) {
        if (const NamedBlock* block = find_entry(library, coloring->filename, coloring->entry)) {
            read_coloring_entry(block->text, *coloring);
        }
    }
    for (FormulaEntry& transform : layer.transforms) {
        if (!transform.enabled) continue;
        if (const NamedBlock* block = find_entry(library, transform.filename, transform.entry)) {
            read_transform_entry(block->text, transform);
        }
    }
    apply_builtin_outside_coloring(layer.outside);
}

}  // namespace

void resolve_scene(Scene& scene, FormulaLibrary& library, const std::string& scene_dir) {
    std::set<std::string> present = files_in_library(library);
    for (const std::string& file : needed_files(scene)) {
        if (present.count(file) == 0) load_formula_file(file, scene_dir, library);
    }
    const size_t count = scene.layers.size();
    for (size_t i = 0; i < count; ++i) {
        Layer& layer = scene.layers[i];
        resolve_layer(layer, library);
        const FormulaEntry& formula = layer.formula;
        if (!formula.entry.empty() && formula.init.empty() && formula.loop.empty() &&
            formula.bailout.empty()) {
            throw_not_found("formula", formula, i + 1, count, scene_dir);
        }
        if (!layer.outside.entry.empty() && !has_coloring_code(layer.outside)) {
            throw_not_found("outside coloring", layer.outside, i + 1, count, scene_dir);
        }
        if (!layer.inside.entry.empty() && !has_coloring_code(layer.inside)) {
            throw_not_found("inside coloring", layer.inside, i + 1, count, scene_dir);
        }
    }
}

}  // namespace spirelle
