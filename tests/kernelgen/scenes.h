// Scenes written in code for the kernel generator's tests.
#pragma once

#include <string>

#include "scene/model.h"

namespace spirelle::testing {

// A formula that iterates z*z + c from the start value and bails out at
// |z| < 4 (the translator turns these sections into kernel text).
inline FormulaEntry mandelbrot_formula() {
    FormulaEntry f;
    f.entry = "Mandelbrot";
    f.init = "z = @start\n";
    f.loop = "z = z*z + c\n";
    f.bailout = "|z| < @bailout\n";
    f.params = {{"start", "0/0"}, {"bailout", "4"}};
    return f;
}

inline Scene one_layer_scene() {
    Scene scene;
    scene.width = 64;
    scene.height = 48;
    Layer layer;
    layer.formula = mandelbrot_formula();
    layer.maxiter = 50;
    scene.layers.push_back(layer);
    return scene;
}

// A text with a line break followed by an include of a local file: what a
// hostile file would put into any value that the generator writes.
inline std::string hostile(const std::string& before = "x", const std::string& after = "") {
    return before + "\n#include </etc/hostname>\n" + after;
}

// A scene that tries every door from file text into the kernel: parameter
// values (plain, complex on either side of "/", enumerated), function
// selections and their defaults, user-function and parameter names, and the
// transform entry name that lands in a comment.
inline Scene hostile_scene() {
    Scene scene = one_layer_scene();
    Layer& layer = scene.layers[0];
    FormulaEntry& f = layer.formula;
    f.init = "z = @start + @plain + @left + @right + @mode\n";
    f.loop = "z = @fn1(z)*@fn2(z) + c\n";
    f.params = {{"start", hostile("0", "/0")}, {"plain", hostile("1")},
                {"left", hostile("1", "/2")},  {"right", "1/" + hostile("2")},
                {"mode", hostile("fast")},     {"bailout", "4"},
                {"fn2", hostile("sin", "()")}};
    f.param_decls = {{"mode", {"slow", "fast"}}};
    f.funcs = {{"fn1", hostile("sin")}};
    UserFunction bad_name;
    bad_name.name = hostile("g");
    bad_name.body = "return a\n";
    bad_name.params = {{"complex", "a"}};
    UserFunction bad_param;
    bad_param.name = "h";
    bad_param.body = "return z\n";
    bad_param.params = {{"complex", hostile("a")}};
    f.user_functions = {bad_name, bad_param};

    FormulaEntry transform;
    transform.entry = hostile("Shift") + "\\";
    transform.transform = "#pixel = #pixel + @offset\n";
    transform.params = {{"offset", hostile("0.5", "/0.5")}};
    layer.transforms.push_back(transform);

    layer.outside.entry = "Hostile coloring";
    layer.outside.final = "#index = @scale * |z|\n";
    layer.outside.params = {{"scale", hostile("0.1")}};
    return scene;
}

}  // namespace spirelle::testing
