// What ships beside the program agrees with it: one version everywhere, and the
// manual page names exactly the options --help names.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "line/run_image.h"
#include "source_tree.h"
#include "ui/cli/options.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {
namespace {

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
        found.insert((*it)[1].str());
    }
    return found;
}

TEST(Release, OneVersionEverywhere) {
    const std::string version = NORVANE_PROJECT_VERSION;
    EXPECT_EQ(line::CurrentImageFacts().version, version);
    EXPECT_EQ(VersionText().rfind("norvane-fwupdate " + version + "\n", 0), 0u);
    // The changelog's newest release is this one.
    std::smatch newest;
    const std::string changelog = test::ReadSourceFile("CHANGELOG.md");
    ASSERT_TRUE(std::regex_search(changelog, newest, std::regex(R"(## \[([0-9.]+)\])")));
    EXPECT_EQ(newest[1].str(), version);
}

// The options of the manual page (".Fl -port", ".Fl y") and of --help ("--port",
// "-y") are the same set.
TEST(Release, TheManualPageNamesEveryOptionOfHelpAndNoOther) {
    const std::set<std::string> help =
        Matches(UsageText(), std::regex(R"((?:^|[\s\[|,])(--?[a-z][a-z-]*))"));
    std::set<std::string> page;
    for (const std::string& flag : Matches(test::ReadSourceFile("docs/man/norvane-fwupdate.1"),
                                           std::regex(R"(Fl (-?[a-z][a-z-]*))"))) {
        page.insert("-" + flag);
    }
    EXPECT_EQ(page, help);
    EXPECT_GE(help.size(), 12u);
}

}  // namespace
}  // namespace norvane::cli
