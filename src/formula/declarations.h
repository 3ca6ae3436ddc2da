// Parameter declarations of a formula entry's "default" section, the folding
// of conditions that depend on enumerated parameters alone, and the functions
// that a fractal formula defines in its init section.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scene/model.h"

namespace spirelle {

// Lower-case parameter name (no "@") -> value text.
using ParamValues = std::map<std::string, std::string>;
// Parameter name as declared (no "@") -> its enumerated values in order.
using ParamDecls = std::map<std::string, std::vector<std::string>>;
// Parameter name as declared -> default value text.
using ParamDefaults = std::map<std::string, std::string>;

// Reads the enumerations and defaults of the param and func blocks. The first
// default of a name wins; an enumerated parameter without a default defaults
// to its first value.
void parse_default_section(const std::string& text, ParamDecls& decls, ParamDefaults& defaults);

// Adds the defaults under lower-case names; values already present win.
void merge_defaults(const ParamDefaults& defaults, ParamValues& values);

// Removes if/elseif/else/endif chains whose conditions are decided by the
// enumerated parameters alone, keeping only the branch that runs. Chains
// that depend on run-time values stay as written.
std::string fold_static_conditions(const std::string& text, const ParamValues& values,
                                   const ParamDecls& decls);

struct StaticCondition {
    bool decided = false;
    bool value = false;
};

// Decides a condition made of "@name == integer" or "@name == \"label\""
// comparisons joined by "||"; anything else is left to run time.
StaticCondition evaluate_static_condition(const std::string& condition, const ParamValues& values,
                                          const ParamDecls& decls);

// The position of an enumerated parameter's value among its values, or the
// value read as an integer; -1 when it cannot be told.
int enum_index(const std::string& name, const ParamValues& values, const ParamDecls& decls);

// Lifts "func ... endfunc" definitions out of an init text: appends them to
// the list and returns the remaining lines, trimmed, one per line.
std::string extract_user_functions(const std::string& init, std::vector<UserFunction>& functions);

}  // namespace spirelle
