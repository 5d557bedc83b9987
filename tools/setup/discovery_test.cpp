#include "tools/setup/discovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/target_files.h"
#include "platform/setup_support.h"
#include "tests/support/files.h"

namespace setup {
namespace {

namespace fs = std::filesystem;

// A folder of a laid-out tree and the listed files it gets (empty files:
// discovery only looks at names).
struct Place {
  std::string folder;  // relative to the tree's root, '/' between folders
  int packages = 0;    // the first this many listed packages
  int movies = 0;
  const char* suffix = "";  // ".bak": only the backups are there
};

struct Case {
  const char* name;
  std::vector<Place> places;
  std::string start;  // relative to the root
  Discovery outcome;
  std::string packageDir;  // kFound: relative to the root
  std::string movieDir;
};

void Lay(const std::string& root, const std::vector<Place>& places) {
  for (const Place& p : places) {
    const fs::path folder = fs::path(root) / p.folder;
    fs::create_directories(folder);
    int packages = 0;
    for (int i = 0; i < driver::kPackageCount && packages < p.packages; ++i) {
      if (driver::kTargetFiles[i][0] == '\0') continue;
      fixtures::WriteFileText((folder / (std::string(driver::kTargetFiles[i]) + p.suffix)).string(), "");
      ++packages;
    }
    for (int k = 0; k < p.movies; ++k)
      fixtures::WriteFileText((folder / driver::kTargetFiles[driver::kPackageCount + k]).string(), "");
  }
}

std::string Native(const std::string& root, const std::string& relative) {
  return relative.empty() ? "" : platform::AbsolutePath((fs::path(root) / relative).make_preferred().string());
}

TEST(SetupDiscovery, LaidOutTrees) {
  const int tenth = (driver::kPackageCount + 9) / 10;
  const int all = tenth + 30;  // enough: the decision counts no further
  const Place game{"GAME/Game/Data/CookedPC", all};
  const Place movies{"GAME/Game/Movies", 0, driver::kMovieCount};
  const Case cases[] = {
      {"from the game folder", {game, movies}, "GAME", Discovery::kFound, game.folder, movies.folder},
      {"from a program folder inside the game", {game, movies, {"GAME/Binaries/Win64"}}, "GAME/Binaries/Win64",
       Discovery::kFound, game.folder, movies.folder},
      {"from the package folder itself", {game, movies}, game.folder, Discovery::kFound, game.folder, movies.folder},
      {"backups count as the files", {{game.folder, all, 0, ".bak"}, movies}, "GAME", Discovery::kFound,
       game.folder, movies.folder},
      {"no movies", {game}, "GAME", Discovery::kFound, game.folder, ""},
      {"two copies side by side", {{"A/CookedPC", all}, {"B/CookedPC", all}}, "", Discovery::kAmbiguous, "", ""},
      {"the nearer of two copies", {game, movies, {"Other/CookedPC", all}}, "GAME", Discovery::kFound, game.folder,
       movies.folder},
      {"a tenth of the list", {{"CookedPC", tenth}}, "", Discovery::kFound, "CookedPC", ""},
      {"less than a tenth", {{"CookedPC", tenth - 1}}, "", Discovery::kTooFew, "", ""},
      {"five levels down", {{"a/b/c/d/CookedPC", all}}, "", Discovery::kTooFew, "", ""},
      {"nothing", {{"Empty"}}, "Empty", Discovery::kTooFew, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::TempDir dir;
    // Three folders deep, so that the search upwards stays inside this test.
    const std::string root = (fs::path(dir.path()) / "t" / "u" / "v").string();
    Lay(root, c.places);
    const SearchResult result = FindGame({Native(root, c.start.empty() ? "." : c.start)});
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.game.packageDir, Native(root, c.packageDir));
    EXPECT_EQ(result.game.movieDir, Native(root, c.movieDir));
    if (c.outcome == Discovery::kFound) {
      EXPECT_EQ(result.game.packages, c.places[0].packages);
    }
    // Every folder holding listed packages is named, for the player.
    if (c.outcome == Discovery::kAmbiguous) {
      EXPECT_EQ(result.candidates.size(), 2u);
    }
  }
}

TEST(SetupDiscovery, SteamLibraries) {
  EXPECT_EQ(VdfLibraryPaths("\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n"
                            "\t\t\"label\"\t\t\"\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"D:\\\\Steam \\\"Games\\\"\"\n\t}\n}\n"),
            (std::vector<std::string>{"/home/p/.local/share/Steam", "D:\\Steam \"Games\""}));
  EXPECT_TRUE(VdfLibraryPaths("\"path\"").empty());

  fixtures::TempDir home;
  const fs::path steam = fs::path(home.path()) / ".steam" / "steam" / "steamapps";
  const fs::path library = fs::path(home.path()) / "Games";
  fs::create_directories(steam / "common");
  fs::create_directories(library / "steamapps" / "common");
  // The file escapes backslashes (Windows paths) as a C string does.
  auto escaped = [](const fs::path& path) {
    std::string text;
    for (char c : path.string()) text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
  };
  fixtures::WriteFileText((steam / "libraryfolders.vdf").string(),
                          "\"libraryfolders\" { \"0\" { \"path\" \"" + escaped(steam.parent_path()) +
                              "\" } \"1\" { \"path\" \"" + escaped(library) +
                              "\" } \"2\" { \"path\" \"/nowhere\" } }");
  EXPECT_EQ(SteamGameFolders(home.path()),
            (std::vector<std::string>{(steam / "common").string(), (library / "steamapps" / "common").string()}));
}

}  // namespace
}  // namespace setup
