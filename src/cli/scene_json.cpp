// JSON output of loaded scenes. Doubles are written by nlohmann::json with
// enough digits to read back to the same value.
#include "cli/scene_json.h"

namespace spirelle {

using nlohmann::json;

namespace {

json tracks_to_json(const TrackMap& tracks) {
    json out = json::object();
    for (const auto& [name, track] : tracks) {
        json keys = json::array();
        for (const Keyframe& k : track) keys.push_back({k.position, k.value, k.flags});
        out[name] = std::move(keys);
    }
    return out;
}

json gradient_to_json(const Gradient& g) {
    json colors = json::array();
    for (const GradientPoint& p : g.color_points)
        colors.push_back({p.index, p.red, p.green, p.blue});
    json opacities = json::array();
    for (const OpacityPoint& p : g.opacity_points) opacities.push_back({p.index, p.opacity});
    return {{"color_smooth", g.color_smooth},
            {"color_points", std::move(colors)},
            {"opacity_smooth", g.opacity_smooth},
            {"opacity_points", std::move(opacities)}};
}

json user_functions_to_json(const std::vector<UserFunction>& functions) {
    json out = json::array();
    for (const UserFunction& f : functions) {
        json params = json::array();
        for (const UserFunctionParam& p : f.params) params.push_back({p.type, p.name});
        out.push_back({{"name", f.name},
                       {"return_type", f.return_type},
                       {"params", std::move(params)},
                       {"body", f.body}});
    }
    return out;
}

}  // namespace

json entry_to_json(const FormulaEntry& entry, EntryKind kind) {
    json out = {{"filename", entry.filename},
                {"entry", entry.entry},
                {"params", entry.params},
                {"funcs", entry.funcs},
                {"param_decls", entry.param_decls},
                {"enabled", entry.enabled},
                {"tracks", tracks_to_json(entry.tracks)},
                {"global", entry.global}};
    switch (kind) {
        case EntryKind::formula:
            out["init"] = entry.init;
            out["loop"] = entry.loop;
            out["bailout"] = entry.bailout;
            out["user_functions"] = user_functions_to_json(entry.user_functions);
            break;
        case EntryKind::coloring:
            out["init"] = entry.init;
            out["loop"] = entry.loop;
            out["final"] = entry.final;
            break;
        case EntryKind::transform:
            out["transform"] = entry.transform;
            break;
    }
    return out;
}

json layer_to_json(const Layer& layer) {
    json transforms = json::array();
    for (const FormulaEntry& t : layer.transforms) {
        transforms.push_back(entry_to_json(t, EntryKind::transform));
    }
    return {{"center", {layer.center.re, layer.center.im}},
            {"magn", layer.magn},
            {"angle", layer.angle},
            {"stretch", layer.stretch},
            {"skew", layer.skew},
            {"maxiter", layer.maxiter},
            {"formula", entry_to_json(layer.formula, EntryKind::formula)},
            {"bailout_test_index", layer.bailout_test_index},
            {"inside_transfer", layer.inside_transfer},
            {"inside", entry_to_json(layer.inside, EntryKind::coloring)},
            {"inside_solid", layer.inside_solid},
            {"inside_density", layer.inside_density},
            {"outside_transfer", layer.outside_transfer},
            {"outside", entry_to_json(layer.outside, EntryKind::coloring)},
            {"outside_solid", layer.outside_solid},
            {"outside_repeat", layer.outside_repeat},
            {"outside_density", layer.outside_density},
            {"gradient", gradient_to_json(layer.gradient)},
            {"transforms", std::move(transforms)},
            {"mergemode", layer.mergemode},
            {"opacity", layer.opacity},
            {"transparent", layer.transparent},
            {"visible", layer.visible},
            {"tracks", tracks_to_json(layer.tracks)}};
}

json scene_to_json(const Scene& scene) {
    json layers = json::array();
    for (const Layer& layer : scene.layers) layers.push_back(layer_to_json(layer));
    return {{"name", scene.name},     {"width", scene.width}, {"height", scene.height},
            {"frames", scene.frames}, {"fps", scene.fps},     {"layers", std::move(layers)}};
}

json scenes_to_json(const std::vector<Scene>& scenes) {
    json list = json::array();
    for (const Scene& scene : scenes) list.push_back(scene_to_json(scene));
    return {{"scenes", std::move(list)}};
}

}  // namespace spirelle
