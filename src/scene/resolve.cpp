// Formula resolution.
#include "scene/resolve.h"

namespace spirelle {

void resolve_scene(Scene&, FormulaLibrary&, const std::string&) {}

}  // namespace spirelle
