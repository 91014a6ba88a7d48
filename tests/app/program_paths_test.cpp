// Where the program's files are, from a build folder and installed, and the command
// line both faces share.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "app/command_line.h"
#include "app/program_paths.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using test_support::TempFolder;

TEST(ProgramFolder, IsTheFolderOfThisBinary) {
  EXPECT_NE(program_folder(), ".");
  EXPECT_NE(program_folder().back(), '/');
}

// A prefix as cmake --install lays it out: bin/ and share/velmora/gui.glade.
struct Installed {
  TempFolder prefix, home;
  PathEnvironment env{home.path(), "", ""};
  std::string bin = prefix.file("bin");
  Installed() {
    make_private_folder(bin);
    make_private_folder(prefix.file("share/velmora"));
    prefix.write("share/velmora/gui.glade", "");
  }
};

TEST(ProgramFiles, BuildFolderKeepsEverythingBesideTheProgram) {
  TempFolder build, home;
  build.write("gui.glade", "");
  build.write("setup.ini", "");
  const ProgramFiles files = find_program_files(build.path(), "", {home.path(), "", ""});
  EXPECT_EQ(files.data_folder, build.path());
  EXPECT_EQ(files.settings_file, build.file("setup.ini"));
  EXPECT_EQ(files.log_folder, build.path());
}

TEST(ProgramFiles, InstalledUsesShareAndTheXdgFolders) {
  Installed i;
  const ProgramFiles files = find_program_files(i.bin, "", i.env);
  EXPECT_EQ(files.data_folder, i.prefix.file("share/velmora"));
  EXPECT_EQ(files.settings_file, i.home.file(".config/velmora/setup.ini"));
  EXPECT_EQ(files.log_folder, i.home.file(".local/state/velmora"));
}

TEST(ProgramFiles, XdgVariablesCountOnlyWhenAbsolute) {
  Installed i;
  i.env.xdg_config_home = "/cfg";
  i.env.xdg_state_home = "/st";
  ProgramFiles files = find_program_files(i.bin, "", i.env);
  EXPECT_EQ(files.settings_file, "/cfg/velmora/setup.ini");
  EXPECT_EQ(files.log_folder, "/st/velmora");
  i.env.xdg_config_home = "relative";
  i.env.xdg_state_home = "relative";
  files = find_program_files(i.bin, "", i.env);
  EXPECT_EQ(files.settings_file, i.home.file(".config/velmora/setup.ini"));
  EXPECT_EQ(files.log_folder, i.home.file(".local/state/velmora"));
}

TEST(ProgramFiles, CommandLineThenSetupIniBesideTheProgramThenXdg) {
  Installed i;
  EXPECT_EQ(find_program_files(i.bin, "/tmp/my settings.ini", i.env).settings_file,
            "/tmp/my settings.ini");
  i.prefix.write("bin/setup.ini", "");
  EXPECT_EQ(find_program_files(i.bin, "", i.env).settings_file, i.bin + "/setup.ini");
}

TEST(ProgramFiles, DataBesideTheProgramWinsOverShare) {
  Installed i;
  i.prefix.write("bin/gui.glade", "");
  EXPECT_EQ(find_program_files(i.bin, "", i.env).data_folder, i.bin);
}

TEST(ProgramFiles, NoDataAnywhereNamesTheProgramFolder) {
  TempFolder bare;
  EXPECT_EQ(data_folder_for(bare.path()), bare.path());
}

TEST(PrivateFolder, MadeWithItsParentsForTheUserOnly) {
  TempFolder home;
  const std::string folder = home.file(".local/state/velmora");
  ASSERT_TRUE(make_private_folder(folder));
  for (const std::string& path : {home.file(".local"), home.file(".local/state"), folder}) {
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << path;
  }
  EXPECT_TRUE(make_private_folder(folder));  // already there
  home.write("file", "");
  EXPECT_FALSE(make_private_folder(home.file("file")));
}

struct ParseCase {
  std::vector<const char*> args;  // after the program's name
  CommandLine::Action action;
  std::string settings;
  std::string unknown;
};

TEST(CommandLine, OptionsAndTheSettingsPath) {
  using A = CommandLine::Action;
  const ParseCase cases[] = {
      {{}, A::run, "", ""},
      {{"my.ini"}, A::run, "my.ini", ""},
      {{"/tmp/my", "settings.ini"}, A::run, "/tmp/my settings.ini", ""},
      {{""}, A::run, "", ""},
      {{"-"}, A::run, "-", ""},
      {{"--help"}, A::help, "", ""},
      {{"-h", "x.ini"}, A::help, "x.ini", ""},
      {{"--version"}, A::version, "", ""},
      {{"-V"}, A::version, "", ""},
      {{"--version", "--help"}, A::help, "", ""},
      {{"--verbose"}, A::unknown_option, "", "--verbose"},
      {{"--help", "-x", "-y"}, A::unknown_option, "", "-x"},
      {{"--", "--help"}, A::run, "--help", ""},
      {{"--", "-odd", "name.ini"}, A::run, "-odd name.ini", ""},
  };
  for (const ParseCase& c : cases) {
    std::vector<const char*> argv{"velmora"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const CommandLine line = parse_command_line(static_cast<int>(argv.size()), argv.data());
    const std::string label = ::testing::PrintToString(c.args);
    EXPECT_EQ(line.action, c.action) << label;
    EXPECT_EQ(line.settings_argument, c.settings) << label;
    EXPECT_EQ(line.unknown_option, c.unknown) << label;
  }
}

TEST(CommandLine, HelpListsEveryKeyWithTheDefaults) {
  const std::string usage = usage_text({"velmora-term", "summary"});
  for (const char* key : {"SERVER=", "PORT=", "CHANNEL=", "NICK=", "KEY=", "AUTHPASS=",
                          "AUTOCONNECT=", "DESTROYAFTER=", "MAXUSERS="}) {
    EXPECT_NE(usage.find(key), std::string::npos) << key;
  }
  EXPECT_NE(usage.find("default irc.libera.chat"), std::string::npos);
  EXPECT_NE(usage.find("default 6667"), std::string::npos);
  EXPECT_EQ(usage.rfind("Usage: velmora-term [SETTINGS-FILE]\n", 0), 0u);
}

}  // namespace
}  // namespace velmora
