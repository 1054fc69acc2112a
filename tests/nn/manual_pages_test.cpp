// What cmake --install puts beside the programs for their users: the manual pages and the bash
// completion of tallis's attribute keys and ombra's trainer names.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using test_support::lines;
using test_support::ProgramRun;
using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;
using test_support::shellQuoted;

// The completion's answer for the words of a command line, the last one being completed.
std::vector<std::string> completions(const std::string& file, const std::string& function,
                                     const std::string& words) {
  const ProgramRun run =
      runProgram("bash -c " + shellQuoted("source " + shellQuoted(file) + " && COMP_WORDS=(" +
                                          words + ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && " +
                                          function + " && printf '%s\\n' \"${COMPREPLY[@]}\""));
  EXPECT_EQ(run.status, 0) << run.err;
  return lines(run.out);
}

TEST(InstalledDocumentation, ManualPagesOpenAndCompletionKnowsKeysAndTrainers) {
  const ScratchFolder prefix("ombra_install");
  const ProgramRun install =
      runProgram(shellQuoted(CMAKE_COMMAND) + " --install " + shellQuoted(BUILD_DIR) +
                 " --prefix " + shellQuoted(prefix.path()));
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  for (const char* program : {"ombra", "tallis", "swfgen", "ombra-timings", "ombra-evaluate",
                              "ombra-score", "ombra-train-recipe"}) {
    const std::string page = prefix.file("share/man/man1/") + program + ".1";
    const ProgramRun shown = runProgram("MANWIDTH=80 man -l " + shellQuoted(page));
    EXPECT_EQ(shown.status, 0) << program << ": " << shown.err;
    EXPECT_TRUE(
        std::regex_search(shown.out, std::regex(std::string("\nNAME\n +") + program + " +- ")))
        << program;
    for (const char* section : {"\nSYNOPSIS\n", "\nEXIT STATUS\n", "\nFILES\n", "\nEXAMPLES\n"}) {
      EXPECT_NE(shown.out.find(section), std::string::npos) << program << section;
    }
    const ProgramRun checked = runProgram("groff -man -Tutf8 -ww -z " + shellQuoted(page));
    EXPECT_EQ(checked.err, "") << program << ": roff warnings";
  }

  // Every key tallis knows has its line in the page and is completed after -i.
  const std::vector<std::string> keys =
      lines(runProgram(std::string(TALLIS_PATH) + " --list-keys").out);
  ASSERT_GT(keys.size(), 30u);
  const std::string source = readFile(prefix.file("share/man/man1/tallis.1"));
  const size_t from = source.find(".SH ATTRIBUTE KEYS");
  const std::string table = source.substr(from, source.find(".SH", from + 1) - from);
  const std::string completion = prefix.file("share/bash-completion/completions/tallis");
  std::vector<std::string> afterLs;
  for (const std::string& key : keys) {
    EXPECT_TRUE(std::regex_search(table, std::regex("\n\\.BR? [^\n]*\\b" + key + "\\b")))
        << key << " is not in the manual page's table";
    if (key.rfind("ls", 0) == 0) afterLs.push_back("-ilsu," + key);
  }
  EXPECT_EQ(completions(completion, "_tallis", shellQuoted(TALLIS_PATH) + " -ilsu,ls"), afterLs);
  EXPECT_EQ(completions(completion, "_tallis", shellQuoted(TALLIS_PATH) + " -o logr").size(), 3u);

  EXPECT_EQ(completions(prefix.file("share/bash-completion/completions/ombra"), "_ombra",
                        shellQuoted(OMBRA_PATH) + " PSO_"),
            (std::vector<std::string>{"PSO_local_GPU", "PSO_local_CPU", "PSO_private_GPU",
                                      "PSO_private_CPU"}));
  EXPECT_EQ(completions(prefix.file("share/bash-completion/completions/ombra-score"),
                        "_ombra_score", shellQuoted(prefix.file("bin/ombra-score")) + " --st"),
            std::vector<std::string>{"--stream"});
}

}  // namespace
