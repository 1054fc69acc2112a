#include "experiments/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<OptionRule> kRules = {
    {"type", OptionKind::Trainer, nullptr, 0, "trainer"},
    {"step", OptionKind::Integer, "1", 1, "step"},
    {"first", OptionKind::Integer, "0", 0, "first"},
    {"result", OptionKind::Text, "out.csv", 0, "result file"},
};

// The message of the UsageError that parsing args throws, or "" when it parses.
std::string usageError(const std::vector<std::string>& args) {
  try {
    parseCommandOptions(args, kRules);
  } catch (const UsageError& error) {
    return error.what();
  }
  return "";
}

TEST(CommandOptions, BothFormsAndDefaults) {
  const ParsedOptions parsed =
      parseCommandOptions({"--type", "BP_CPU", "--first=7", "--result", "a b.csv"}, kRules);
  EXPECT_EQ(parsed.trainer("type"), 7);
  EXPECT_EQ(parsed.integer("first"), 7);
  EXPECT_EQ(parsed.integer("step"), 1);
  EXPECT_EQ(parsed.text("result"), "a b.csv");
  // A value may itself start with dashes when it is attached.
  EXPECT_EQ(parseCommandOptions({"--type=0", "--result=--x"}, kRules).text("result"), "--x");
  EXPECT_EQ(parseCommandOptions({"--type=0", "--first", "-0"}, kRules).integer("first"), 0);
}

TEST(CommandOptions, WordsThatAreNotOptions) {
  EXPECT_EQ(usageError({"--type", "0", "extra"}), "unexpected argument 'extra'");
  EXPECT_EQ(usageError({"--type", "0", "--"}), "unexpected argument '--'");
  EXPECT_EQ(usageError({"-t", "0"}), "unexpected argument '-t'");
  EXPECT_EQ(usageError({"--type", "0", "--size", "3"}), "unknown option --size");
  EXPECT_EQ(usageError({"--type", "0", "--type=1"}), "--type given twice");
  EXPECT_EQ(usageError({"--type"}), "--type needs a value");
  EXPECT_EQ(usageError({"--first", "2"}), "missing required option --type");
  EXPECT_EQ(usageError({"--type", "0", "--result="}), "--result: needs a value that is not empty");
}

// The counts that would run forever or measure nothing are refused before anything runs.
TEST(CommandOptions, NumbersOutsideTheirRange) {
  EXPECT_EQ(usageError({"--type", "0", "--step", "0"}), "--step: must be at least 1, got 0");
  EXPECT_EQ(usageError({"--type", "0", "--step", "-3"}), "--step: must be at least 1, got -3");
  EXPECT_EQ(usageError({"--type", "0", "--first", "-1"}), "--first: must be at least 0, got -1");
  for (const char* text : {"", "1.5", "2x", "0x10", " 3", "2147483648", "-99999999999"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(usageError({"--type", "0", "--step", text}),
              std::string("--step: '") + text + "' is not a whole number");
  }
  EXPECT_EQ(parseCommandOptions({"--type", "0", "--step", "2147483647"}, kRules).integer("step"),
            2147483647);
}

TEST(TrainerType, NumbersAndOmbraNames) {
  const char* names[] = {"PSO",           "PSO_private_GPU", "PSO_private_CPU",
                         "PSO_local_GPU", "PSO_local_CPU",   "BP",
                         "BP_GPU",        "BP_CPU"};
  for (int type = 0; type < 8; ++type) {
    EXPECT_EQ(trainerType(std::to_string(type)), type);
    EXPECT_EQ(trainerType(names[type]), type);
    EXPECT_STREQ(trainerName(type), names[type]);
  }
  for (const char* text : {"8", "-1", "bp", "NN_BP", "", "5 "}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(trainerType(text), UsageError);
  }
  EXPECT_EQ(usageError({"--type", "9"}),
            "--type: '9' is neither a type number 0 to 7 nor a trainer (PSO, PSO_private_GPU, "
            "PSO_private_CPU, PSO_local_GPU, PSO_local_CPU, BP, BP_GPU, BP_CPU)");
}

TEST(CommandOptions, HelpListsEveryOptionWithItsDefault) {
  EXPECT_TRUE(asksForHelp({"--type", "0", "--help"}));
  EXPECT_TRUE(asksForHelp({"-h"}));
  EXPECT_FALSE(asksForHelp({"--type", "0"}));
  EXPECT_EQ(optionsHelp(kRules),
            "  --type TYPE             trainer (required)\n"
            "  --step N                step (default: 1)\n"
            "  --first N               first (default: 0)\n"
            "  --result TEXT           result file (default: out.csv)\n");
}

}  // namespace
