// The SoundFonts a machine offers: found in a tree of the test's own, each file once.
#include "platform/soundfont_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::SoundFontFile;
using platform::SoundFontSearch;

class SoundFontSearchTest : public testsupport::TempFolderTest {
  protected:
    std::string File(const std::string& name, size_t bytes) const {
        fs::create_directories(fs::path(Path(name)).parent_path());
        std::ofstream(Path(name), std::ios::binary) << std::string(bytes, 'x');
        return Path(name);
    }
    std::string Link(const std::string& name, const std::string& to) const {
        fs::create_directories(fs::path(Path(name)).parent_path());
        fs::create_symlink(to, Path(name));
        return Path(name);
    }
    static std::vector<std::string> Names(const std::vector<SoundFontFile>& files) {
        std::vector<std::string> names;
        for (const auto& f : files) names.push_back(f.name);
        return names;
    }
};

TEST_F(SoundFontSearchTest, TheDefaultComesFirstThenEachFolderByNameEachFileOnce) {
    File("a/b.sf2", 100);
    const std::string big = File("a/Big.SF3", 2000);
    File("a/notes.txt", 10);
    File("a/.hidden.sf2", 10);
    fs::create_directories(Path("a/folder.sf2"));
    Link("a/again.sf2", Path("a/b.sf2"));
    Link("a/dangling.sf2", Path("a/gone.sf2"));
    // The system's default is a link to one of the folder's files, as Debian's alternative is.
    const std::string def = Link("a/default-GM.sf2", big);
    File("c/c.sf2", 50);
    Link("c/elsewhere.sf2", Path("a/b.sf2"));

    const auto found =
        SoundFontSearch(def, {Path("a"), Path("missing"), Path("c"), Path("a")}).Find();
    ASSERT_EQ(Names(found), (std::vector<std::string>{"Big.SF3", "b.sf2", "c.sf2"}));
    EXPECT_EQ(found[0].path, def) << "the default keeps its own name, which follows the system";
    EXPECT_EQ(found[0].bytes, 2000u);
    EXPECT_TRUE(SoundFontSearch::SameFile(found[1].path, Path("a/b.sf2"))) << found[1].path;
    EXPECT_EQ(found[1].bytes, 100u);
    EXPECT_EQ(found[2].path, Path("c/c.sf2"));

    // Without the default there the folders' files still come, each once.
    EXPECT_EQ(Names(SoundFontSearch(Path("none.sf2"), {Path("c"), Path("a")}).Find()),
              (std::vector<std::string>{"c.sf2", "b.sf2", "Big.SF3"}));
    EXPECT_TRUE(SoundFontSearch("", {Path("missing")}).Find().empty());
}

TEST_F(SoundFontSearchTest, OneFileIsDescribedAndLinksLeadToTheSameFile) {
    const std::string file = File("x/piano.sf2", 1234);
    const std::string link = Link("y/mine.sf2", file);
    const auto described = SoundFontSearch::Describe(link);
    ASSERT_TRUE(described);
    EXPECT_EQ(described->path, link);
    EXPECT_EQ(described->name, "piano.sf2");
    EXPECT_EQ(described->bytes, 1234u);
    EXPECT_FALSE(SoundFontSearch::Describe(Path("x")));
    EXPECT_FALSE(SoundFontSearch::Describe(Path("x/none.sf2")));
    EXPECT_TRUE(SoundFontSearch::SameFile(link, file));
    EXPECT_FALSE(SoundFontSearch::SameFile(link, Path("x")));
    EXPECT_FALSE(SoundFontSearch::SameFile(Path("x/none.sf2"), Path("x/none.sf2")));
}

TEST_F(SoundFontSearchTest, TheUsersOwnFoldersAreTheDataHomesAndTheHomes) {
    testsupport::ScopedEnv env;
    env.Set("XDG_DATA_HOME", QByteArray::fromStdString(Path("data")));
    env.Set("HOME", QByteArray::fromStdString(Path("home")));
    File("data/soundfonts/zz-data.sf2", 10);
    File("home/.local/share/soundfonts/zz-home.sf3", 10);
    const auto names = Names(SoundFontSearch::OnThisMachine().Find());
    ASSERT_GE(names.size(), 2u);
    // After whatever the system holds, in this order.
    EXPECT_EQ(names[names.size() - 2], "zz-data.sf2");
    EXPECT_EQ(names.back(), "zz-home.sf3");
}

}  // namespace
