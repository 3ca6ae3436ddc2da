// Formula resolution: finding the entries that a scene's layers name, in the
// parameter file itself or in formula files on the search path.
#pragma once

#include <string>
#include <vector>

#include "scene/model.h"
#include "scene/reader.h"

namespace spirelle {

// The blocks available while one parameter file is resolved: the file's own
// blocks, then the entries of every formula file read for it.
using FormulaLibrary = std::vector<NamedBlock>;

// Completes every formula entry of every layer, or throws the not-found
// message.
void resolve_scene(Scene& scene, FormulaLibrary& library, const std::string& scene_dir);

// Where an installed program keeps its formula files: share/spirelle/formulas
// of the prefix the executable was installed into (/usr/share/spirelle/formulas
// for /usr/bin/spirelle). Empty when the executable cannot be located.
std::string installed_formula_dir();

// The first readable regular file among: the scene directory, each directory
// of SPIRELLE_FORMULAS, formulas/ beside the executable, ./formulas/ and the
// installed formula directory. Empty when none is.
std::string find_formula_file(const std::string& file_name, const std::string& scene_dir);

// Appends the entries of a formula file, named "file:entry". Class libraries
// (.ulb) and files that are not found are skipped.
void load_formula_file(const std::string& file_name, const std::string& scene_dir,
                       FormulaLibrary& library);

// The first block named "file:entry", or with an empty or unknown file, the
// first block of any file with that entry name; nullptr when none.
const NamedBlock* find_entry(const FormulaLibrary& library, const std::string& file_name,
                             const std::string& entry_name);

// The library key of a block read from a formula file: symmetry and region
// suffixes such as " (XAXIS)" or "(outside)" removed, the file name put in
// front when the name has none.
std::string normalize_block_name(const std::string& name, const std::string& file_name);

}  // namespace spirelle
