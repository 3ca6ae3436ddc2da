// Formula resolution: finding the entries that a scene's layers name, in the
// parameter file itself or in formula files on the search path.
#pragma once

#include <string>
#include <vector>

#include "scene/model.h"
#include "scene/reader.h"

namespace spirelle {

// The blocks available while one parameter file is resolved.
using FormulaLibrary = std::vector<NamedBlock>;

// Completes every formula entry of every layer, or throws the not-found
// message.
void resolve_scene(Scene& scene, FormulaLibrary& library, const std::string& scene_dir);

}  // namespace spirelle
