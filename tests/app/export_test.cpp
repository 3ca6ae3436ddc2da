#include "app/export.h"

#include <gtest/gtest.h>
#include <stb_image.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "test_files.h"

namespace spirelle {
namespace {

TEST(PathStem, DropsTheLastExtensionOnly) {
    struct Case {
        const char* path;
        const char* stem;
    };
    const Case cases[] = {
        {"spiral.upr", "spiral"},
        {"/home/me/spiral.upr", "spiral"},
        {"dir\\win.upr", "win"},
        {"a.b.upr", "a.b"},
        {".hidden", ".hidden"},
        {".x.upr", ".x"},
        {"noext", "noext"},
        {".", "."},
        {"..", ".."},
        {"dir.d/noext", "noext"},
        {"file.", "file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(path_stem(c.path), c.stem);
    }
}

TEST(OutputDirectory, IsThePathWithoutItsLastComponent) {
    struct Case {
        const char* path;
        const char* directory;
    };
    const Case cases[] = {
        {"spiral.upr", ""},          {"scenes/spiral.upr", "scenes"},
        {"/a/b/spiral.upr", "/a/b"}, {"a//b.upr", "a"},
        {"C:\\x\\y.upr", "C:\\x"},   {"/spiral.upr", "/"},  // the root, not the working directory
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(output_directory(c.path), c.directory);
    }
}

TEST(JoinOutputPath, AddsOneSeparatorWhereNeeded) {
    struct Case {
        const char* directory;
        const char* joined;
    };
    const Case cases[] = {
        {"", "f.png"},           {"C:", "C:f.png"},    {"dir/", "dir/f.png"},
        {"dir\\", "dir\\f.png"}, {"dir", "dir/f.png"}, {"/", "/f.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        EXPECT_EQ(join_output_path(c.directory, "f.png"), c.joined);
    }
}

TEST(SavedImagePath, NamesTheSetAndTheFrame) {
    struct Case {
        const char* shows;
        size_t sets, index;
        const char* name;
        bool animated;
        int frame;
        const char* path;
    };
    const Case cases[] = {
        {"one unanimated set", 1, 0, "Only", false, 1, "scenes/spiral_rendered.png"},
        {"a named set of three, animated", 3, 1, "Blue", true, 12, "scenes/spiral_Blue_f12.png"},
        {"an unnamed set of several", 2, 0, "", false, 1, "scenes/spiral_set0_rendered.png"},
        {"a set name cannot leave the directory", 2, 1, "../up\\back", false, 1,
         "scenes/spiral_.._up_back_rendered.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        EXPECT_EQ(
            saved_image_path("scenes/spiral.upr", c.sets, c.index, c.name, c.animated, c.frame),
            c.path);
    }
}

TEST(SequenceFramePath, NumbersFramesWithFourDigitsAtLeast) {
    EXPECT_EQ(sequence_frame_path("out", "spiral", 3), "out/spiral_f0003.png");
    EXPECT_EQ(sequence_frame_path("", "spiral", 12), "spiral_f0012.png");
    EXPECT_EQ(sequence_frame_path("out", "spiral", 123456), "out/spiral_f123456.png");
}

std::vector<uint8_t> gradient_pixels(int width, int height) {
    std::vector<uint8_t> rgba;
    for (int i = 0; i < width * height; ++i) {
        rgba.insert(rgba.end(),
                    {uint8_t(i), uint8_t(i * 7), uint8_t(255 - i), uint8_t(i % 3 ? 255 : 128)});
    }
    return rgba;
}

TEST(Png, WrittenFilesDecodeToTheSamePixels) {
    testing::TempDir dir;
    std::string path = dir.path() + "/image.png";
    std::vector<uint8_t> rgba = gradient_pixels(5, 3);
    ASSERT_TRUE(write_png_file(path, 5, 3, rgba));

    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    int width = 0, height = 0, channels = 0;
    unsigned char* decoded = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                   &width, &height, &channels, 4);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(std::vector<uint8_t>(decoded, decoded + rgba.size()), rgba);
    stbi_image_free(decoded);
}

TEST(Png, FailuresAreReportedNotSkipped) {
    testing::TempDir dir;
    EXPECT_FALSE(
        write_png_file(dir.path() + "/missing/dir/image.png", 2, 2, gradient_pixels(2, 2)));
    EXPECT_FALSE(write_png_file(dir.path() + "/short.png", 2, 2, gradient_pixels(1, 2)));
    EXPECT_TRUE(encode_png(0, 2, {}).empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/short.png"));
}

}  // namespace
}  // namespace spirelle
