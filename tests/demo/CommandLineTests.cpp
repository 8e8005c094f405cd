// Arguments joined into a command line come back unchanged from the system's
// own parser, CommandLineToArgvW.
#include "tools/demo/CommandLine.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> ParseBack(const std::string& line) {
    // The first word is parsed by the rules of a program name, so a plain one
    // goes first.
    const std::string full = "program.exe " + line;
    std::wstring wide(full.begin(), full.end());
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(wide.c_str(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        std::wstring word(words[i]);
        arguments.emplace_back(word.begin(), word.end());
    }
    LocalFree(words);
    return arguments;
}

TEST(CommandLine, ArgumentsSurviveTheRoundTrip) {
    const std::vector<std::string> arguments = {
        "--mode", "1",          "http://127.0.0.1:8080/", "Z:\\work\\demo out\\Tevrane.exe",
        "",       "say \"hi\"", "ends in a backslash\\",  "two\\\\",
        "\\\"",   "tab\there",  "\\\\server\\share"};
    EXPECT_EQ(arguments, ParseBack(JoinCommandLine(arguments)));
}

TEST(CommandLine, PlainArgumentsAreLeftAsTheyAre) {
    EXPECT_EQ("Z:\\p\\Tevrane.exe --url http://x/",
              JoinCommandLine({"Z:\\p\\Tevrane.exe", "--url", "http://x/"}));
    EXPECT_EQ("\"\"", QuoteArgument(""));
    EXPECT_EQ("\"a b\\\\\"", QuoteArgument("a b\\"));
}

} // namespace
