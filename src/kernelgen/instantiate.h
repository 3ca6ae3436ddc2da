// Instantiation of a formula entry for one layer: parameters become fixed
// kernel texts, enumerated labels become numbers, a bailout that switches on
// "test" keeps only the alternative that applies, and user functions become
// kernel functions with names private to the layer.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "formula/translator.h"
#include "scene/model.h"

namespace spirelle {

using ParamMap = std::map<std::string, TypedText>;
using EnumDecls = std::map<std::string, std::vector<std::string>>;

// "@name" -> the kernel text of the parameter's value. A value reaches the
// kernel only as a checked number, a complex pair of checked numbers, an
// enumerated index or a plain identifier; anything else reads "0.0".
ParamMap build_param_map(const std::map<std::string, std::string>& params, const EnumDecls& decls);

// Function parameter -> the built-in function it selects, from the scene's
// "f_" values and the defaults ("sin()") among the parameter values. A
// selection that is not a plain function name selects "ident".
std::map<std::string, std::string> build_func_params(const FormulaEntry& entry);

// Replaces every double-quoted enumerated label by its index.
std::string substitute_enum_labels(const std::string& text, const EnumDecls& decls);

// The alternative of a "@test == k" bailout whose k is the test index, without
// the comparison; other bailouts unchanged.
std::string select_test_bailout(const std::string& bailout, int test_index);

// User functions whose name and parameter names are plain identifiers; the
// others never reach the kernel, and a call of one fails in the build.
std::vector<UserFunction> kernel_user_functions(const std::vector<UserFunction>& functions);

// Registers the user functions with their layer-private kernel names.
void declare_user_functions(FormulaTranslator& translator,
                            const std::vector<UserFunction>& functions, const std::string& prefix);

// "real2_t L0_f(real2_t a, real_t b)" for complex func f(complex a, float b).
// In the wide form "real2v_t L0_f(intv_t _m0, real2v_t a, realv_t b)": the
// caller's mask comes first.
std::string user_function_prototype(const UserFunction& function, const std::string& prefix,
                                    bool wide = false);

// The layer's fractal formula, translated.
struct FormulaInstance {
    std::vector<std::string> prototypes;
    std::vector<std::string> bodies;  // in the order of the prototypes
    std::string init_code;            // global followed by init
    std::string loop_code;
    std::string bailout;  // a condition expression; in the wide form a mask
    // The wide form: statements the bailout mask needs first, and the first
    // construct the wide form could not express (empty when there is none).
    std::string bailout_setup;
    std::string wide_blocker;
    // The wide form's loop code runs ahead of its mask; the variables it
    // assigns that outlive it (name, wide kernel type) are kept lane by lane.
    std::vector<std::pair<std::string, std::string>> kept;
};

FormulaInstance instantiate_formula(const Layer& layer, const std::string& prefix,
                                    bool wide = false);

}  // namespace spirelle
