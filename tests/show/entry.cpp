#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "showmain.h"

namespace {

std::vector<std::string> Split(std::string line) {
    std::vector<std::string> out;
    for (char* token : SplitCommandLine(line.data())) out.emplace_back(token);
    return out;
}

}  // namespace

TEST(CommandLine, OnlyTheSpaceSeparatesAndEndsTokensInPlace) {
    EXPECT_TRUE(Split("").empty());
    EXPECT_TRUE(Split("   ").empty());
    EXPECT_TRUE(SplitCommandLine(nullptr).empty());
    EXPECT_EQ(Split("one  two "), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(Split("\"a b\"\tc"), (std::vector<std::string>{"\"a", "b\"\tc"}));

    char line[] = "ab  cd";
    const std::vector<char*> tokens = SplitCommandLine(line);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0], line);
    EXPECT_EQ(tokens[1], line + 4);
    EXPECT_EQ(line[2], '\0');  // the space after a token becomes its end
    EXPECT_EQ(line[3], ' ');   // the spaces before one stay
}

TEST(Entry, OutOfMemoryReachingTheTopIsReportedAndEndsWithZero) {
    testing::internal::CaptureStderr();
    const int result = CallWithReport([](int, char**) -> int { throw std::bad_alloc(); }, 0, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_THAT(err, testing::HasSubstr("Software Exception\n"));
    EXPECT_THAT(err, testing::HasSubstr("Message: Out of memory\n"));
    EXPECT_EQ(CallWithReport([](int argc, char**) { return argc + 4; }, 3, nullptr), 7);
}
