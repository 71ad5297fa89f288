#include "app/input_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/system/registry.h"

namespace vantrel::app {
namespace {

constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kBigEndian = 5;
constexpr std::uint32_t kQword = 11;

TEST(InputChecks, NumbersAreTakenExactlyOrRefused) {
  const struct {
    const char* text;
    std::uint32_t type;
    const char* stored;  // nullptr: refused
  } cases[] = {
      {"0", kDword, "0"},
      {"+7", kDword, "7"},
      {"-1", kDword, "4294967295"},
      {"-2147483648", kDword, "2147483648"},
      {"4294967295", kDword, "4294967295"},
      {"0x10", kDword, "16"},
      {"0XfFfFfFfF", kBigEndian, "4294967295"},
      {"-0", kDword, "0"},
      {"-1", kQword, "18446744073709551615"},
      {"18446744073709551615", kQword, "18446744073709551615"},
      {"-9223372036854775808", kQword, "9223372036854775808"},
      {"0xFFFFFFFFFFFFFFFF", kQword, "18446744073709551615"},
      // What the runtime would turn into another number without a word.
      {"abc", kDword, nullptr},
      {"1e3", kDword, nullptr},
      {"12x", kDword, nullptr},
      {"99999999999", kDword, nullptr},
      {"4294967296", kDword, nullptr},
      {"-2147483649", kDword, nullptr},
      {"0x100000000", kBigEndian, nullptr},
      {"18446744073709551616", kQword, nullptr},
      {"-9223372036854775809", kQword, nullptr},
      {"0x10000000000000000", kQword, nullptr},
      {"", kDword, nullptr},
      {"-", kDword, nullptr},
      {"0x", kDword, nullptr},
      {"-0x1", kDword, nullptr},
      {" 5", kDword, nullptr},
      {"5 ", kDword, nullptr},
      {"1.5", kQword, nullptr},
      {"5", 1 /* REG_SZ */, nullptr},
  };
  for (const auto& c : cases) {
    const auto stored = NumberText(c.text, c.type);
    if (c.stored == nullptr) {
      EXPECT_FALSE(stored.has_value()) << "'" << c.text << "' gave " << stored.value_or("");
    } else {
      EXPECT_EQ(stored.value_or("(refused)"), c.stored) << "'" << c.text << "'";
    }
  }
  EXPECT_NE(NumberRule(kQword).find("64 bits"), std::string::npos);
  EXPECT_NE(NumberRule(kDword).find("32 bits"), std::string::npos);
}

TEST(InputChecks, NamesWindowsWouldRefuseOrThatMeanSomethingElse) {
  const struct {
    std::string name;
    const char* problem;  // a word the refusal holds; nullptr: accepted
  } cases[] = {
      {"Flag", nullptr},
      {" Flag", nullptr},
      {std::string(kValueNameMax, 'v'), nullptr},
      {"", "empty or blank"},
      {"   ", "empty or blank"},
      {std::string("a\0b", 3), "zero byte"},
      {std::string(1, '\0'), "zero byte"},
      {std::string(kValueNameMax + 1, 'v'), "16383"},
  };
  for (const auto& c : cases) {
    const std::string problem = ValueNameProblem(c.name);
    if (c.problem == nullptr) {
      EXPECT_EQ(problem, "") << c.name.size() << " characters";
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

TEST(InputChecks, KeyPathsThatWouldBeCutAndWholeBranchesAreRefused) {
  const std::string longest(255, 'k');
  EXPECT_EQ(KeyPathProblem("Software\\" + std::string(246, 'k')), "");
  EXPECT_EQ(KeyPathProblem(longest + "   "), "") << "trailing blanks are no part of the path";
  EXPECT_NE(KeyPathProblem("Software\\" + std::string(247, 'k')).find("256 characters"),
            std::string::npos);
  EXPECT_NE(KeyPathProblem("Software\\" + std::string(251, 'k')).find("at most 255"),
            std::string::npos);
  EXPECT_EQ(KeyPathProblem(""), "");

  EXPECT_NE(KeyDeletionProblem(kHkeyLocalMachine, "").find("root"), std::string::npos);
  EXPECT_NE(KeyDeletionProblem(kHkeyLocalMachine, "SOFTWARE").find("directly under a root"),
            std::string::npos);
  EXPECT_EQ(KeyDeletionProblem(kHkeyLocalMachine, "SOFTWARE\\Vendor"), "");
}

// The check sees the key the write will: one form of the path, and the roots reached another way
// (a user's hive under HKEY_USERS is HKEY_CURRENT_USER, Software\Classes is HKEY_CLASSES_ROOT).
TEST(InputChecks, ProtectedKeysAreProtectedUnderEveryName) {
  EXPECT_EQ(NormalKeyPath("\\\\Software\\\\Vendor\\\\\\"), "Software\\Vendor");
  EXPECT_EQ(NormalKeyPath("\\"), "");
  const struct {
    std::uint32_t root;
    const char* path;
    bool deletable;
  } cases[] = {
      {kHkeyLocalMachine, "Software\\Vendor", true},
      {kHkeyLocalMachine, "Software", false},
      {kHkeyUsers, "S-1-5-21-1-2-3-1000", false},
      {kHkeyUsers, ".Default\\Software", false},
      {kHkeyUsers, "S-1-5-21-1-2-3-1000\\Software", false},
      {kHkeyUsers, "S-1-5-21-1-2-3-1000\\Software\\Vendor", true},
      {kHkeyCurrentUser, "Software", false},
      {kHkeyCurrentUser, "Software\\Classes", false},
      {kHkeyCurrentUser, "Software\\Classes\\.txt", false},
      {kHkeyCurrentUser, "Software\\Classes\\.txt\\Shell", true},
      {kHkeyLocalMachine, "SOFTWARE\\classes\\.txt", false},
      {kHkeyLocalMachine, "Software\\ClassesX", true},
      {kHkeyUsers, "S-1-5-21-1-2-3-1000_Classes\\.txt", false},
      {kHkeyClassesRoot, ".txt", false},
      {kHkeyClassesRoot, ".txt\\Shell", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KeyDeletionProblem(c.root, NormalKeyPath(c.path)).empty(), c.deletable) << c.path;
  }
  for (const char* blank : {"Software\\ ", " Software", "Software \\X", "Software\\X "}) {
    EXPECT_NE(EdgeBlankProblem(blank), "") << blank;
  }
  EXPECT_EQ(EdgeBlankProblem("Software\\A B\\\\C"), "");
}

}  // namespace
}  // namespace vantrel::app
