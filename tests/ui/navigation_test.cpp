// Navigation is checked against the generated kernel itself: the plane point
// under an image position is computed from the mapping constants that
// build_kernel_source writes into each layer function, before and after an
// edit. The kernel samples pixel i around coordinate i, so image position x
// is kernel coordinate x - 0.5.
#include "ui/navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "kernelgen/kernel_source.h"

namespace spirelle {
namespace {

struct KernelMapping {
    double center_re = 0, center_im = 0, pixel_size = 0, a = 0, b = 0, c = 0, d = 0;
    double width = 0, height = 0;

    Complex at(ImagePoint p) const {
        double dx = (p.x - 0.5 - width * 0.5) * pixel_size;
        double dy = (p.y - 0.5 - height * 0.5) * pixel_size;
        return {center_re + a * dx - b * dy, center_im + c * dx - d * dy};
    }
};

double read_constant(const std::string& text, const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern))) {
        ADD_FAILURE() << "kernel text lacks " << pattern;
        return 0.0;
    }
    return std::stod(match[1].str());
}

// The mapping of layer `index` as the kernel generated for `scene` has it.
KernelMapping kernel_mapping(const Scene& scene, size_t index) {
    std::string text = build_kernel_source(scene);
    std::string marker = "----- Layer " + std::to_string(index + 1) + " -----";
    size_t start = text.find(marker);
    EXPECT_NE(start, std::string::npos) << marker;
    std::string layer = text.substr(start, 2000);
    const std::string number = R"(([-+0-9.eE]+|inf|-inf|nan))";
    KernelMapping m;
    m.center_re = read_constant(layer, "center_re = \\(real_t\\)" + number + ";");
    m.center_im = read_constant(layer, "center_im = \\(real_t\\)" + number + ";");
    m.pixel_size = read_constant(layer, "pixel_size = \\(real_t\\)" + number + ";");
    m.a = read_constant(layer, "re = center_re \\+ \\(real_t\\)" + number);
    m.b = read_constant(layer, "re = center_re .* - \\(\\(real_t\\)" + number);
    m.c = read_constant(layer, "im = center_im \\+ \\(real_t\\)" + number);
    m.d = read_constant(layer, "im = center_im .* - \\(\\(real_t\\)" + number);
    m.width = scene.width;
    m.height = scene.height;
    return m;
}

FormulaEntry quadratic_formula() {
    FormulaEntry f;
    f.entry = "Quad";
    f.init = "z = 0\n";
    f.loop = "z = z*z + c\n";
    f.bailout = "|z| < 4\n";
    return f;
}

Layer camera(Complex center, double magn, double angle, double stretch, double skew) {
    Layer layer;
    layer.formula = quadratic_formula();
    layer.center = center;
    layer.magn = magn;
    layer.angle = angle;
    layer.stretch = stretch;
    layer.skew = skew;
    return layer;
}

struct SceneCase {
    const char* name;
    Scene scene;
};

Scene scene_of(int width, int height, std::vector<Layer> layers) {
    Scene scene;
    scene.width = width;
    scene.height = height;
    scene.layers = std::move(layers);
    return scene;
}

// Every scene has two layers with different cameras; both must keep their
// own plane point under the cursor.
std::vector<SceneCase> scene_cases() {
    return {
        {"landscape, plain and rotated", scene_of(64, 48,
                                                  {camera({-0.5, 0.0}, 1.0, 0.0, 1.0, 0.0),
                                                   camera({0.3, -0.2}, 3.0, 30.0, 1.0, 0.0)})},
        {"portrait, stretched and skewed", scene_of(40, 60,
                                                    {camera({-0.1, 0.65}, 12.0, -75.0, 1.7, 20.0),
                                                     camera({1.0, 1.0}, 0.5, 10.0, 0.4, -60.0)})},
        {"wide and deep, every distortion",
         scene_of(100, 30,
                  {camera({-0.743, 0.1314}, 1e5, 200.0, 0.6, -35.0),
                   camera({0.0, 0.0}, 2.0, 90.0, 2.5, 45.0)})},
    };
}

const ImagePoint kCursors[] = {{10.25, 7.5}, {0.0, 0.0}, {30.0, 29.0}, {3.5, 17.75}};

void expect_same_point(Complex before, Complex after, double pixel_size) {
    // Well within a millionth of a pixel: the kernel text carries 17 digits.
    double tolerance = 1e-6 * std::abs(pixel_size);
    EXPECT_NEAR(after.re, before.re, tolerance);
    EXPECT_NEAR(after.im, before.im, tolerance);
}

TEST(ZoomFractal, KeepsThePlanePointUnderTheCursorInEveryLayer) {
    for (const SceneCase& c : scene_cases()) {
        for (double factor : {2.0, 0.5}) {
            for (ImagePoint cursor : kCursors) {
                SCOPED_TRACE(std::string(c.name) + ", factor " + std::to_string(factor) +
                             ", cursor " + std::to_string(cursor.x) + "," +
                             std::to_string(cursor.y));
                Scene set = c.scene;
                ASSERT_TRUE(zoom_fractal(set, c.scene, cursor, factor));
                for (size_t i = 0; i < set.layers.size(); ++i) {
                    KernelMapping before = kernel_mapping(c.scene, i);
                    KernelMapping after = kernel_mapping(set, i);
                    EXPECT_DOUBLE_EQ(set.layers[i].magn, c.scene.layers[i].magn * factor);
                    EXPECT_NEAR(after.pixel_size, before.pixel_size / factor,
                                1e-12 * before.pixel_size);
                    expect_same_point(before.at(cursor), after.at(cursor), before.pixel_size);
                }
            }
        }
    }
}

TEST(MoveFractal, MovesEveryPlanePointByTheDrag) {
    const ImagePoint drags[] = {{5.0, -3.0}, {-17.5, 0.25}, {0.0, 40.0}};
    for (const SceneCase& c : scene_cases()) {
        for (ImagePoint drag : drags) {
            SCOPED_TRACE(std::string(c.name) + ", drag " + std::to_string(drag.x) + "," +
                         std::to_string(drag.y));
            Scene set = c.scene;
            ASSERT_TRUE(move_fractal(set, c.scene, drag.x, drag.y));
            for (size_t i = 0; i < set.layers.size(); ++i) {
                KernelMapping before = kernel_mapping(c.scene, i);
                KernelMapping after = kernel_mapping(set, i);
                EXPECT_EQ(set.layers[i].magn, c.scene.layers[i].magn);
                for (ImagePoint q : kCursors) {
                    ImagePoint moved{q.x + drag.x, q.y + drag.y};
                    expect_same_point(before.at(q), after.at(moved), before.pixel_size);
                }
            }
        }
    }
}

TEST(CenterFractal, BringsTheClickedPointToTheViewCentre) {
    for (const SceneCase& c : scene_cases()) {
        SCOPED_TRACE(c.name);
        Scene set = c.scene;
        ImagePoint click{7.0, 11.5};
        ASSERT_TRUE(center_fractal(set, c.scene, click));
        for (size_t i = 0; i < set.layers.size(); ++i) {
            KernelMapping before = kernel_mapping(c.scene, i);
            KernelMapping after = kernel_mapping(set, i);
            // The kernel puts `center` on the sample position width / 2,
            // which is image position width / 2 + 0.5.
            ImagePoint centre{set.width * 0.5 + 0.5, set.height * 0.5 + 0.5};
            expect_same_point(before.at(click), after.at(centre), before.pixel_size);
        }
    }
}

TEST(PlaneMapping, InverseFindsThePositionOfAPlanePoint) {
    for (const SceneCase& c : scene_cases()) {
        SCOPED_TRACE(c.name);
        for (const Layer& layer : c.scene.layers) {
            PlaneMapping m = plane_mapping(c.scene, layer);
            for (ImagePoint p : kCursors) {
                std::optional<ImagePoint> back = plane_to_image(m, image_to_plane(m, p));
                ASSERT_TRUE(back.has_value());
                EXPECT_NEAR(back->x, p.x, 1e-6);
                EXPECT_NEAR(back->y, p.y, 1e-6);
            }
        }
    }
    Scene flat =
        scene_of(10, 10, {camera({0, 0}, 0.0, 0.0, 1.0, 0.0), camera({0, 0}, 1.0, 0.0, 0.0, 0.0)});
    for (const Layer& layer : flat.layers) {
        EXPECT_FALSE(plane_to_image(plane_mapping(flat, layer), {1.0, 1.0}).has_value())
            << "magnification " << layer.magn << ", stretch " << layer.stretch;
    }
}

KeyframeTrack linear_track(const std::string& from, const std::string& to) {
    return {{0.0, from, "L"}, {1600.0, to, "L"}};
}

TEST(Navigation, LeavesValuesThatATrackDrivesAlone) {
    Scene set =
        scene_of(64, 48,
                 {camera({-0.5, 0.0}, 1.0, 0.0, 1.0, 0.0), camera({0.3, -0.2}, 3.0, 30.0, 1.0, 0.0),
                  camera({0.1, 0.1}, 2.0, 0.0, 1.0, 0.0)});
    set.layers[0].tracks["center"] = linear_track("-0.5/0", "-0.4/0.1");
    set.layers[1].tracks["magn"] = linear_track("3", "30");
    Scene shown = shown_set(set, true, 1);

    Scene zoomed = set;
    EXPECT_TRUE(zoom_fractal(zoomed, shown, {5.0, 5.0}, 2.0));
    EXPECT_EQ(zoomed.layers[0].center.re, -0.5) << "driven centre kept";
    EXPECT_EQ(zoomed.layers[0].magn, 2.0) << "free magnification zoomed";
    EXPECT_EQ(zoomed.layers[1].magn, 3.0) << "driven magnification kept";
    EXPECT_EQ(zoomed.layers[1].center.re, 0.3) << "no zoom, so no recentring";
    EXPECT_EQ(zoomed.layers[2].magn, 4.0);

    Scene moved = set;
    EXPECT_TRUE(move_fractal(moved, shown, 4.0, 2.0));
    EXPECT_EQ(moved.layers[0].center.re, -0.5);
    EXPECT_EQ(moved.layers[0].center.im, 0.0);
    EXPECT_NE(moved.layers[1].center.re, 0.3) << "a driven magnification does not stop a move";

    Scene only_driven = scene_of(64, 48, {camera({0, 0}, 1.0, 0.0, 1.0, 0.0)});
    only_driven.layers[0].tracks["center"] = linear_track("0/0", "1/1");
    Scene before = only_driven;
    EXPECT_FALSE(center_fractal(only_driven, shown_set(before, true, 1), {1.0, 1.0}));
    EXPECT_FALSE(move_fractal(only_driven, shown_set(before, true, 1), 3.0, 3.0));
}

TEST(Navigation, MapsThroughTheValuesShownAtTheCurrentFrame) {
    // The angle turns from 0 to 90 degrees; frame 6 (time 800) shows 45.
    Scene set = scene_of(64, 48, {camera({-0.5, 0.0}, 2.0, 0.0, 1.0, 0.0)});
    set.layers[0].tracks["angle"] = linear_track("0", "90");
    set.frames = 11;
    Scene shown = shown_set(set, true, 6);
    ASSERT_NEAR(shown.layers[0].angle, 45.0, 1e-9);

    ImagePoint cursor{50.0, 8.0};
    ASSERT_TRUE(zoom_fractal(set, shown, cursor, 2.0));
    KernelMapping before = kernel_mapping(shown, 0);
    KernelMapping after = kernel_mapping(shown_set(set, true, 6), 0);
    expect_same_point(before.at(cursor), after.at(cursor), before.pixel_size);
}

TEST(Navigation, KeepsAViewThatWouldStopBeingFinite) {
    Scene set = scene_of(
        64, 48, {camera({0.0, 0.0}, 0.0, 0.0, 1.0, 0.0), camera({0.0, 0.0}, 1e308, 0.0, 1.0, 0.0)});
    Scene before = set;
    EXPECT_FALSE(zoom_fractal(set, before, {3.0, 4.0}, 2.0));
    EXPECT_EQ(set.layers[0].magn, 0.0);
    EXPECT_EQ(set.layers[1].magn, 1e308);

    Scene flat = scene_of(64, 48, {camera({0.5, 0.5}, 0.0, 0.0, 1.0, 0.0)});
    EXPECT_FALSE(move_fractal(flat, Scene(flat), 3.0, 4.0));
    EXPECT_FALSE(center_fractal(flat, Scene(flat), {3.0, 4.0}));
    EXPECT_EQ(flat.layers[0].center.re, 0.5);
}

}  // namespace
}  // namespace spirelle
