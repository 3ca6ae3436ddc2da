#include "scene/resolve.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "test_files.h"

namespace spirelle {
namespace {

using spirelle::testing::TempDir;

// Sets SPIRELLE_FORMULAS (or unsets it) for the life of the guard.
class FormulaPath {
  public:
    explicit FormulaPath(const char* value) {
        if (const char* old = std::getenv("SPIRELLE_FORMULAS")) saved_ = old;
        had_ = std::getenv("SPIRELLE_FORMULAS") != nullptr;
        if (value) {
            setenv("SPIRELLE_FORMULAS", value, 1);
        } else {
            unsetenv("SPIRELLE_FORMULAS");
        }
    }
    ~FormulaPath() {
        if (had_) {
            setenv("SPIRELLE_FORMULAS", saved_.c_str(), 1);
        } else {
            unsetenv("SPIRELLE_FORMULAS");
        }
    }

  private:
    std::string saved_;
    bool had_ = false;
};

// A formula entry whose loop names where it came from.
std::string formula_entry(const std::string& name, const std::string& marker) {
    return name + " {\ninit:\nz = 0\nloop:\nz = z*z + " + marker + "\nbailout:\n|z| < 4\n}\n";
}

// One parameter set; each string holds the sections of one layer.
std::string scene_text(const std::vector<std::string>& layers) {
    std::string text = "S {\n";
    for (const std::string& layer : layers) text += "layer:\n" + layer + "\n";
    return text + "}\n";
}

std::string formula_section(const std::string& file, const std::string& entry) {
    return "formula:\nfilename=" + file + " entry=" + entry;
}

Scene load_one(const TempDir& dir, const std::string& text) {
    std::vector<Scene> scenes = load_parameter_file(dir.write("scene.upr", text));
    if (scenes.size() != 1) throw std::logic_error("expected one scene");
    return scenes[0];
}

std::string load_error(const TempDir& dir, const std::string& text) {
    try {
        load_one(dir, text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

const std::string kTail =
    "', $SPIRELLE_FORMULAS, exe-adjacent formulas/, ./formulas/, and " + installed_formula_dir() +
    "/. Put the formula file into one of these directories, or add the entry to "
    "formulas/Standard.ucl if it belongs to the standard set.";

TEST(ResolveScene, EntryInParameterFileWinsOverFileOnDisk) {
    FormulaPath none(nullptr);
    TempDir dir;
    dir.write("Std.ufm", formula_entry("Mandel", "disk"));
    Scene s = load_one(dir, scene_text({formula_section("Std.ufm", "Mandel")}) +
                                formula_entry("Std.ufm:Mandel", "carried"));
    EXPECT_EQ(s.layers[0].formula.loop, "z = z*z + carried");
}

TEST(ResolveScene, EntryFoundOnlyInAnotherFile) {
    FormulaPath none(nullptr);
    TempDir dir;
    dir.write("A.ufm", formula_entry("Bar", "a"));
    dir.write("B.ufm", formula_entry("Foo", "b"));
    Scene s = load_one(dir, scene_text({formula_section("A.ufm", "Foo") +
                                        "\ntransform:\nfilename=B.ufm entry=None"}));
    EXPECT_EQ(s.layers[0].formula.loop, "z = z*z + b");
    EXPECT_TRUE(s.layers[0].transforms[0].transform.empty()) << "a missing transform is no error";
}

TEST(ResolveScene, SearchOrder) {
    TempDir scene_dir, first, second;
    first.write("F.ufm", formula_entry("Foo", "first"));
    second.write("F.ufm", formula_entry("Foo", "second"));
    second.write("G.ufm", formula_entry("Foo", "only second"));
    std::string both = first.path() + ":" + second.path();
    std::string reversed = second.path() + ":" + first.path();
    struct Case {
        const char* what;
        std::string formulas;
        std::string file;
        std::string loop;
    };
    const Case cases[] = {
        {"first directory wins", both, "F.ufm", "z = z*z + first"},
        {"directories in the written order", reversed, "F.ufm", "z = z*z + second"},
        {"second directory is tried", both, "G.ufm", "z = z*z + only second"},
        {"an empty element names the root directory", ":" + both + ":", "G.ufm",
         "z = z*z + only second"},
    };
    for (const Case& c : cases) {
        FormulaPath path(c.formulas.c_str());
        Scene s = load_one(scene_dir, scene_text({formula_section(c.file, "Foo")}));
        EXPECT_EQ(s.layers[0].formula.loop, c.loop) << c.what;
    }
    scene_dir.write("F.ufm", formula_entry("Foo", "scene"));
    FormulaPath path(both.c_str());
    EXPECT_EQ(
        load_one(scene_dir, scene_text({formula_section("F.ufm", "Foo")})).layers[0].formula.loop,
        "z = z*z + scene")
        << "the scene directory comes first";
}

TEST(ResolveScene, WorkingDirectoryAndExecutableFormulas) {
    FormulaPath none(nullptr);
    TempDir work, scene_dir;
    work.write("formulas/W.ufm", formula_entry("Foo", "working"));
    std::filesystem::path exe_formulas =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "formulas";
    bool created = std::filesystem::create_directory(exe_formulas);
    std::string exe_file = "spirelle-test-" + std::to_string(getpid()) + ".ufm";
    std::ofstream(exe_formulas / exe_file) << formula_entry("Foo", "beside");
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(work.path());

    EXPECT_EQ(find_formula_file("W.ufm", scene_dir.path()), "formulas/W.ufm");
    EXPECT_EQ(find_formula_file(exe_file, scene_dir.path()), (exe_formulas / exe_file).string());
    EXPECT_EQ(find_formula_file("none.ufm", scene_dir.path()), "");

    std::filesystem::current_path(previous);
    std::filesystem::remove(exe_formulas / exe_file);
    if (created) std::filesystem::remove(exe_formulas);
}

// A FIFO would block the load forever and a directory "opens" without being
// readable: both are passed over for the next candidate.
TEST(ResolveScene, OnlyRegularFilesAreCandidates) {
    TempDir scene_dir, formulas;
    formulas.write("P.ufm", formula_entry("Foo", "regular"));
    formulas.write("D.ufm", formula_entry("Foo", "regular dir"));
    ASSERT_EQ(mkfifo((scene_dir.path() + "/P.ufm").c_str(), 0600), 0);
    std::filesystem::create_directory(scene_dir.path() + "/D.ufm");
    FormulaPath path(formulas.path().c_str());
    EXPECT_EQ(find_formula_file("P.ufm", scene_dir.path()), formulas.path() + "/P.ufm");
    EXPECT_EQ(find_formula_file("D.ufm", scene_dir.path()), formulas.path() + "/D.ufm");
}

// A name that leads to an endless file (a kernel memory image, say) must not
// exhaust memory: past 256 MiB a formula file counts as unreadable.
TEST(ResolveScene, OversizedFormulaFileIsNotRead) {
    FormulaPath none(nullptr);
    TempDir dir;
    std::string path = dir.write("Big.ufm", formula_entry("Foo", "big"));
    std::filesystem::resize_file(path, (std::uintmax_t(256) << 20) + 1);  // sparse
    FormulaLibrary library;
    load_formula_file("Big.ufm", dir.path(), library);
    EXPECT_TRUE(library.empty());
    std::filesystem::resize_file(path, std::uintmax_t(1) << 20);
    load_formula_file("Big.ufm", dir.path(), library);
    EXPECT_EQ(library.size(), 1u);
}

TEST(ResolveScene, ClassLibrariesAreNeverRead) {
    FormulaPath none(nullptr);
    TempDir dir;
    dir.write("Lib.ulb", formula_entry("Foo", "library"));
    dir.write("Up.ULB", formula_entry("Foo", "library"));
    FormulaLibrary library;
    load_formula_file("Lib.ulb", dir.path(), library);
    load_formula_file("Up.ULB", dir.path(), library);
    EXPECT_TRUE(library.empty());
    EXPECT_NE(load_error(dir, scene_text({formula_section("Lib.ulb", "Foo")})), "");
}

TEST(ResolveScene, BuiltinFormulasAndColoring) {
    FormulaPath none(nullptr);
    TempDir dir;
    const std::string builtin_file =
        "My.ufm:Julia {\nbuiltin:\ntype = 2\ndefault:\ncomplex param seed\ndefault = (0.3, "
        "0.5)\nendparam\n}\n";
    Scene s = load_one(dir, scene_text({formula_section("My.ufm", "Julia") +
                                        "\noutside:\nentry=ExponentialSmoothing"}) +
                                builtin_file);
    const Layer& layer = s.layers[0];
    EXPECT_EQ(layer.formula.init, "z = #pixel");
    EXPECT_EQ(layer.formula.loop, "z = z*z + @seed");
    EXPECT_EQ(layer.formula.bailout, "|z| <= @bailout");
    EXPECT_EQ(layer.formula.params.at("seed"), "0.3/0.5");
    EXPECT_EQ(layer.outside.init, "float sum = 0.0");
    EXPECT_EQ(layer.outside.loop, "sum = sum + exp(-cabs(#z))");
    EXPECT_EQ(layer.outside.final, "#index = sum");

    Scene smooth = load_one(dir, scene_text({"outside:\nentry=Smooth"}));
    EXPECT_EQ(smooth.layers[0].outside.final, "#index = sum");
    EXPECT_EQ(smooth.layers[0].inside.final, "") << "only the outside coloring has a built-in";
}

TEST(ResolveScene, ColoringFromFileIsNotReplacedByBuiltin) {
    FormulaPath none(nullptr);
    TempDir dir;
    Scene s = load_one(dir, scene_text({"outside:\nfilename=C.ucl entry=Smooth"}) +
                                "C.ucl:Smooth {\nfinal:\n#index = 1\n}\n");
    EXPECT_EQ(s.layers[0].outside.final, "#index = 1");
    EXPECT_EQ(s.layers[0].outside.loop, "");
}

TEST(ResolveScene, NotFoundMessages) {
    FormulaPath none(nullptr);
    TempDir dir;
    const std::string ok = formula_section("Ok.ufm", "Good");
    const std::string carried = formula_entry("Ok.ufm:Good", "ok");
    struct Case {
        const char* what;
        std::vector<std::string> layers;
        std::string message;
    };
    const Case cases[] = {
        {"formula on the second of three layers",
         {ok, formula_section("Bar.ufm", "Foo"), ok},
         "formula entry 'Bar.ufm:Foo' not found (layer 2/3)"},
        {"formula without file name",
         {"formula:\nentry=Foo"},
         "formula entry 'Foo' not found (layer 1/1)"},
        {"found entry without code counts as missing",
         {formula_section("Ok.ufm", "Empty")},
         "formula entry 'Ok.ufm:Empty' not found (layer 1/1)"},
        {"outside coloring, built-in names are exact",
         {ok, ok + "\noutside:\nentry=smooth"},
         "outside coloring entry 'smooth' not found (layer 2/2)"},
        {"inside coloring after a valid outside one",
         {ok + "\noutside:\nentry=Smooth\ninside:\nfilename=In.ucl entry=Dark"},
         "inside coloring entry 'In.ucl:Dark' not found (layer 1/1)"},
        {"formula is checked before the colorings",
         {"formula:\nentry=X\noutside:\nentry=Y"},
         "formula entry 'X' not found (layer 1/1)"},
    };
    for (const Case& c : cases) {
        std::string text = scene_text(c.layers) + carried + "Ok.ufm:Empty {\ndefault:\n}\n";
        EXPECT_EQ(load_error(dir, text), c.message + ". Searched scene dir '" + dir.path() + kTail)
            << c.what;
    }
}

TEST(ResolveScene, BlockNamesFromFormulaFiles) {
    struct Case {
        const char* name;
        const char* key;
    };
    const Case cases[] = {
        {"Name (XAXIS)", "F.ufm:Name"},
        {"Name(outside)", "F.ufm:Name"},
        {"Name( Both )", "F.ufm:Name"},
        {"Name(XAXIS)", "F.ufm:Name(XAXIS)"},
        {"Name(inside", "F.ufm:Name"},
        {"Other.ufm:Name", "Other.ufm:Name"},
        {"", "F.ufm:"},
        {"A (B) (C)", "F.ufm:A"},
    };
    for (const Case& c : cases) EXPECT_EQ(normalize_block_name(c.name, "F.ufm"), c.key) << c.name;
}

TEST(ResolveScene, FileEntriesAreFoundUnderTheirNormalisedNames) {
    FormulaPath none(nullptr);
    TempDir dir;
    dir.write("F.ufm", formula_entry("Sym (XAXIS)", "sym") + formula_entry("Out(outside)", "o"));
    Scene s = load_one(
        dir, scene_text({formula_section("F.ufm", "Sym"), formula_section("F.ufm", "Out")}));
    EXPECT_EQ(s.layers[0].formula.loop, "z = z*z + sym");
    EXPECT_EQ(s.layers[1].formula.loop, "z = z*z + o");
}

TEST(ResolveScene, GalleryExample) {
    FormulaPath none(nullptr);
    std::vector<Scene> scenes =
        load_parameter_file(std::string(SPIRELLE_SOURCE_DIR) + "/examples/gallery.upr");
    ASSERT_EQ(scenes.size(), 2u);
    ASSERT_EQ(scenes[0].layers.size(), 3u);
    const Layer& petals = scenes[0].layers[0];
    EXPECT_EQ(petals.bailout_test_index, 1);
    EXPECT_EQ(petals.formula.init, "z = @start\nlimit = sqrt(@bailout)");
    EXPECT_EQ(petals.formula.param_decls.at("test"),
              (std::vector<std::string>{"modulus", "real part", "imaginary part"}));
    ASSERT_EQ(petals.formula.user_functions.size(), 1u);
    EXPECT_EQ(petals.formula.user_functions[0].name, "fold");
    EXPECT_EQ(petals.outside.final, "#index = total / #numiter");
    EXPECT_EQ(petals.transforms[0].transform,
              "#pixel = #pixel + @amount * sin(imag(#pixel) * @waves)");
    EXPECT_EQ(scenes[0].layers[1].formula.bailout, "|z| < 4");
    EXPECT_EQ(scenes[0].layers[2].formula.loop, "z = z*z + @seed");
    EXPECT_EQ(scenes[1].layers[0].formula.loop, "z = sqr(z) + k");
}

TEST(FindEntry, ExactFileFirstThenAnyFile) {
    const FormulaLibrary library = {
        {"Set", "x"}, {"A.ufm:Foo", "a"}, {"B.ufm:Foo", "b"}, {"B.ufm:Bar", "bar"}};
    struct Case {
        const char* file;
        const char* entry;
        const char* text;
    };
    const Case cases[] = {
        {"B.ufm", "Foo", "b"},     {"", "Foo", "a"},       {"C.ufm", "Bar", "bar"},
        {"B.ufm", "foo", nullptr}, {"B.ufm", "", nullptr}, {"", "Set", nullptr},
    };
    for (const Case& c : cases) {
        const NamedBlock* found = find_entry(library, c.file, c.entry);
        if (c.text == nullptr) {
            EXPECT_EQ(found, nullptr) << c.file << ":" << c.entry;
        } else {
            ASSERT_NE(found, nullptr) << c.file << ":" << c.entry;
            EXPECT_EQ(found->text, c.text) << c.file << ":" << c.entry;
        }
    }
}

}  // namespace
}  // namespace spirelle
