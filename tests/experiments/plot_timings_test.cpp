// scripts/plot-timings.sh, run as a user would: result files and lift charts in, PNG out.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/experiments/experiment_files.h"

namespace {

using experiment_test::readFile;
using experiment_test::writeFile;

const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// What the last plot printed, output and errors together.
std::string plotOutput;

// The script's exit status; what it printed goes to plotOutput.
int plot(const std::string& arguments) {
  const test_support::ProgramRun run = test_support::runProgram(
      "bash " + test_support::shellQuoted(SOURCE_DIR "/scripts/plot-timings.sh") + " " + arguments +
      " 2>&1");
  plotOutput = run.out;
  return run.status;
}

bool isPng(const std::string& fileName) {
  return std::filesystem::exists(fileName) && readFile(fileName).rfind(kPngSignature, 0) == 0;
}

class PlotTimings : public experiment_test::ExperimentDirectoryTest {
 protected:
  void SetUp() override {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
    }
    ExperimentDirectoryTest::SetUp();
  }
};

TEST_F(PlotTimings, OneLinePerResultFileOnALogarithmicTimeAxis) {
  writeFile("neurons_PSO CPU.csv", "neurons in layer;time (s)\n5;0.001\n10;0.002\n15;0.004\n");
  writeFile("neurons_BP.csv", "neurons in layer;time (s)\n5;1e-05\n10;2e-05\n15;4e-05\n");
  ASSERT_EQ(plot("out.png 'neurons_PSO CPU.csv' neurons_BP.csv"), 0) << plotOutput;
  EXPECT_TRUE(isPng("out.png"));
  EXPECT_EQ(plotOutput, "Written: out.png\n");

  writeFile("layers.csv", "layers;time (s)\n0;0.5\n1;0.75\n");
  writeFile("samples.csv", "samples; time (s)\n300;0.3\n200;0.2\n100;0.1\n");
  EXPECT_EQ(plot("--linear layers.png layers.csv"), 0) << plotOutput;
  EXPECT_TRUE(isPng("layers.png"));
  EXPECT_EQ(plot("--title 'Samples' samples.png samples.csv"), 0) << plotOutput;
  EXPECT_TRUE(isPng("samples.png"));
}

TEST_F(PlotTimings, CumulativeGainsFromALiftChart) {
  writeFile("lift chart.cvs", "is Positive;output\n1;0.9\n0;0.2\n1;0.6\n0;0.7\n0.5;0.1\n");
  ASSERT_EQ(plot("gains.png 'lift chart.cvs'"), 0) << plotOutput;
  EXPECT_TRUE(isPng("gains.png"));
  // Without a positive target there is nothing to find.
  writeFile("none.cvs", "is Positive;output\n0;0.9\n0.5;0.2\n");
  EXPECT_EQ(plot("none.png none.cvs"), 2);
  EXPECT_EQ(plotOutput, "plot-timings.sh: none.cvs has no test sample with a positive target\n");
  EXPECT_FALSE(std::filesystem::exists("none.png"));
}

TEST_F(PlotTimings, FilesThatDoNotBelongTogetherAreRefused) {
  writeFile("layers.csv", "layers;time (s)\n0;0.5\n");
  writeFile("neurons.csv", "neurons in layer;time (s)\n5;0.5\n");
  writeFile("other.csv", "x;y\n1;2\n");
  EXPECT_EQ(plot("out.png layers.csv neurons.csv"), 2);
  EXPECT_EQ(plotOutput,
            "plot-timings.sh: neurons.csv does not start with \"layers;time (s)\" like "
            "layers.csv\n");
  EXPECT_EQ(plot("out.png other.csv"), 2);
  EXPECT_EQ(plot("out.png missing.csv"), 2);
  EXPECT_EQ(plot("out.svg layers.csv"), 2);
  EXPECT_EQ(plot("out.png"), 2);
  EXPECT_FALSE(std::filesystem::exists("out.png"));
}

}  // namespace
