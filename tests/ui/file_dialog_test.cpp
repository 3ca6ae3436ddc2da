#include "ui/file_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_files.h"

namespace spirelle {
namespace {

using spirelle::testing::TempDir;
namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<DirectoryEntry>& entries) {
    std::vector<std::string> result;
    for (const DirectoryEntry& e : entries) result.push_back(e.directory ? e.name + "/" : e.name);
    return result;
}

class FileDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.write("zeta.upr", "");
        dir.write("Alpha.UPR", "");
        dir.write("notes.txt", "");
        dir.write("upr", "");
        dir.write(".hidden.upr", "");
        dir.write("scenes/inner.upr", "");
        dir.write("assets/readme", "");
        dir.write(".git/config", "");
    }
    TempDir dir;
};

TEST_F(FileDialogTest, ListsParentThenDirectoriesThenMatchingFiles) {
    struct Case {
        FileFilter filter;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {FileFilter::ParameterSets, {"../", "assets/", "scenes/", "Alpha.UPR", "zeta.upr"}},
        {FileFilter::AllFiles,
         {"../", "assets/", "scenes/", "Alpha.UPR", "notes.txt", "upr", "zeta.upr"}},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(names(list_directory(dir.path(), c.filter, error)), c.listed);
        EXPECT_EQ(error, "");
    }
}

TEST_F(FileDialogTest, AnUnreadableDirectoryStillOffersTheWayBack) {
    std::string error;
    auto entries = list_directory(dir.path() + "/missing", FileFilter::AllFiles, error);
    EXPECT_EQ(names(entries), std::vector<std::string>{"../"});
    EXPECT_NE(error, "");
    auto root_entries = list_directory("/", FileFilter::ParameterSets, error);
    ASSERT_FALSE(root_entries.empty());
    EXPECT_NE(root_entries.front().name, "..") << "the root has no parent";
}

TEST_F(FileDialogTest, ResolvesTypedNamesToFilesDirectoriesOrNothing) {
    std::string root = fs::canonical(dir.path()).string();
    struct Case {
        const char* typed;
        Choice::Kind kind;
        std::string path;
    };
    const Case cases[] = {
        {"zeta.upr", Choice::File, root + "/zeta.upr"},
        {"scenes", Choice::Directory, root + "/scenes"},
        {"scenes/", Choice::Directory, root + "/scenes"},
        {"scenes/../zeta.upr", Choice::File, root + "/zeta.upr"},
        {"..", Choice::Directory, fs::path(root).parent_path().string()},
        {"absent.upr", Choice::Missing, root + "/absent.upr"},
        {"", Choice::Directory, root},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Choice choice = resolve_choice(root, c.typed);
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_EQ(choice.path, c.path);
    }
    Choice absolute = resolve_choice("/nowhere", root + "/scenes/inner.upr");
    EXPECT_EQ(absolute.kind, Choice::File);
    EXPECT_EQ(absolute.path, root + "/scenes/inner.upr");
}

TEST_F(FileDialogTest, OpensBesideTheSceneOrInTheWorkingDirectory) {
    std::string root = fs::canonical(dir.path()).string();
    std::string cwd = fs::current_path().string();
    EXPECT_EQ(initial_directory(root + "/scenes/inner.upr"), root + "/scenes");
    EXPECT_EQ(initial_directory(root + "/scenes/../zeta.upr"), root);
    EXPECT_EQ(initial_directory("zeta.upr"), cwd) << "no directory part";
    EXPECT_EQ(initial_directory(""), cwd);
    EXPECT_EQ(initial_directory(root + "/gone/x.upr"), cwd) << "a directory that does not exist";
    EXPECT_EQ(fs::current_path().string(), cwd) << "the working directory never changes";
}

TEST(FileFilters, MatchUprIgnoringCase) {
    struct Case {
        const char* name;
        bool parameter_sets;
    };
    const Case cases[] = {{"a.upr", true},  {"B.UPR", true},    {"c.Upr", true},
                          {".upr", false},  {"upr", false},     {"a.upr.bak", false},
                          {"a.ufm", false}, {"x.tar.upr", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(passes_filter(c.name, FileFilter::ParameterSets), c.parameter_sets);
        EXPECT_TRUE(passes_filter(c.name, FileFilter::AllFiles));
    }
}

}  // namespace
}  // namespace spirelle
