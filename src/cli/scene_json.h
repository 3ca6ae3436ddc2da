// Scenes as JSON, with keys named like the fields of the scene model.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "scene/model.h"

namespace spirelle {

enum class EntryKind { formula, coloring, transform };

nlohmann::json entry_to_json(const FormulaEntry& entry, EntryKind kind);
nlohmann::json layer_to_json(const Layer& layer);
nlohmann::json scene_to_json(const Scene& scene);
nlohmann::json scenes_to_json(const std::vector<Scene>& scenes);

}  // namespace spirelle
