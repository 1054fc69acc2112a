// scripts/quality.sh never replaces the measured page with a poorer one: a log folder without
// the labelled logs, or with fewer of them than the page holds, is refused before any work.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;
using test_support::shellQuoted;

TEST(QualityScript, RefusesAFolderWithoutTheLogsThePageHolds) {
  const std::string page = std::string(SOURCE_DIR) + "/docs/quality.md";
  const std::string before = readFile(page);
  ASSERT_NE(before.find("| KTH-SP2-1996-2.1-cln |"), std::string::npos);
  const ScratchFolder logs;
  const std::string script = "bash " +
                             shellQuoted(std::string(SOURCE_DIR) + "/scripts/quality.sh") +
                             " --logs " + shellQuoted(logs.path());

  const auto none = runProgram(script);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "quality.sh: none of the 7 labelled logs is in " + logs.path() +
                          "; docs/quality.md left as it is\n");

  // One log of the seven: the page would lose six.
  test_support::writeFile(logs.file("KTH-SP2-1996-2.1-cln.swf"), "");
  const auto some = runProgram(script);
  EXPECT_EQ(some.status, 1);
  EXPECT_EQ(some.err,
            "quality.sh: not in " + logs.path() +
                ": LANL-CM5-1994-4.1-cln LLNL-Thunder-2007-1.1-cln CEA-Curie-2011-2.1-cln "
                "SDSC-BLUE-2000-4.2-cln METACENTRUM-2009-2 RICC-2010-2\n"
                "quality.sh: docs/quality.md holds 7 logs, " +
                logs.path() +
                " 1 of them; left as it is (--allow-missing writes a page of the "
                "logs found)\n");
  EXPECT_EQ(readFile(page), before);
}

}  // namespace
