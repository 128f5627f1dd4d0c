// The troubleshooting tables of the user's guide against the messages the tool can
// show: none missing, none invented. The burn's messages are read out of its
// sources (every text shown in a message box is a string literal there), the
// Linux lines are asked of the code that writes them.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "line/end_texts.h"
#include "port/posix/open_failure.h"
#include "source_tree.h"

namespace norvane {
namespace {

// The messages of the guide's table that follows `heading`: the first column's
// text between backticks.
std::set<std::string> GuideColumn(const std::string& guide, const std::string& heading) {
    std::set<std::string> messages;
    std::istringstream lines(guide.substr(guide.find(heading)));
    bool inTable = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("| `", 0) == 0) {
            inTable = true;
            messages.insert(line.substr(3, line.find("` |") - 3));
        } else if (inTable) {
            break;
        }
    }
    return messages;
}

// Every string literal of a source file that reads as a message (it has a blank),
// with literals that the compiler joins taken as one.
std::set<std::string> Messages(const std::string& source) {
    std::set<std::string> found;
    static const std::regex joined(R"re(("([^"\\]|\\.)*"\s*)+)re");
    static const std::regex literal(R"re("(([^"\\]|\\.)*)")re");
    for (std::sregex_iterator it(source.begin(), source.end(), joined), end; it != end; ++it) {
        std::string text;
        const std::string run = it->str();
        for (std::sregex_iterator part(run.begin(), run.end(), literal); part != end; ++part) {
            text += (*part)[1].str();
        }
        if (text.find(' ') != std::string::npos && text.find('#') == std::string::npos) {
            found.insert(text);
        }
    }
    return found;
}

TEST(UserGuide, EveryMessageOfTheBurnAndNoOther) {
    std::set<std::string> code;
    for (const char* file :
         {"burn/burn_messages.h", "burn/burn_messages.cpp", "burn/variant_checks.cpp",
          "burn/catalogue.cpp", "burn/burn_sequence.cpp"}) {
        const std::set<std::string> messages = Messages(test::ReadSourceFile(file));
        code.insert(messages.begin(), messages.end());
    }
    // The open failure is composed around the port's name.
    ASSERT_EQ(code.erase("CANNOT open "), 1u);
    ASSERT_EQ(code.erase(" Port!!!"), 1u);
    code.insert("CANNOT open <port> Port!!!");
    // A comment's example is no message.
    for (auto it = code.begin(); it != code.end();) {
        it = it->find("//") != std::string::npos ? code.erase(it) : std::next(it);
    }
    EXPECT_EQ(GuideColumn(test::ReadSourceFile("docs/user-guide.md"), "| message |"), code);
}

TEST(UserGuide, EveryLineTheTerminalProgramAddsOnLinux) {
    using posix::OpenFailure;
    using posix::OpenFailureKind;
    std::set<std::string> code;
    for (const OpenFailureKind kind :
         {OpenFailureKind::NotFound, OpenFailureKind::PermissionDenied, OpenFailureKind::Busy,
          OpenFailureKind::NotASerialPort, OpenFailureKind::NoUsbPlc, OpenFailureKind::NotBack,
          OpenFailureKind::OwnTerminal, OpenFailureKind::NoLock}) {
        OpenFailure failure;
        failure.kind = kind;
        failure.path = kind == OpenFailureKind::NotBack ? "<socket>" : "<port>";
        failure.detail = "<what is wrong>";
        code.insert(posix::DescribeOpenFailure(failure));
        failure.burning = kind == OpenFailureKind::Busy;  // the PLC's lock, not the port's
        code.insert(posix::DescribeOpenFailure(failure));
    }
    code.insert("cannot open <port>: <the system's reason>");  // OpenFailureKind::Other
    for (const char* end : {line::kInterruptedAfterErase, line::kInterruptedBeforeErase,
                            line::kInterruptedInBootloader}) {
        code.insert(std::string(line::kCaptionInterrupted) + ": " + end);
    }
    EXPECT_EQ(GuideColumn(test::ReadSourceFile("docs/user-guide.md"), "| line |"), code);
}

}  // namespace
}  // namespace norvane
