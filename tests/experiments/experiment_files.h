#pragma once

// Shared by the experiment tests: every test runs in its own scratch working directory,
// because the experiments write their configuration files to the working directory. The
// device probe and the scratch directory are the OpenCL tests'.

#include <CL/cl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/opencl/opencl_test_support.h"

namespace experiment_test {

using test_support::lines;
using test_support::readFile;
using test_support::writeFile;

// A training data file of 9 inputs and 1 output: inputs in [0, 10) from a private generator
// (rand() is left alone), target 1 when the inputs' mean exceeds 5.
inline std::string trainingData(int training, int validation, int test) {
  std::ostringstream text;
  text << training << " " << validation << " " << test << "\n9 1\n";
  for (int j = 0; j < 9; ++j) text << "-1.25 11.25\n";
  text << "-0.125 1.125\n";
  std::uint32_t state = 99;
  for (int s = 0; s < training + validation + test; ++s) {
    double sum = 0;
    for (int j = 0; j < 9; ++j) {
      state = state * 1664525u + 1013904223u;
      const double x = (state >> 8) % 1000 / 100.0;
      sum += x;
      text << x << "\t";
    }
    text << (sum / 9 > 5 ? 1 : 0) << "\t\n";
  }
  return text.str();
}

// Serves both trainer families: each reads the keys it knows.
const char kParameters[] = "Population size: 4\nIterations: 1\n";

// Asked in a child process: an OpenCL runtime starts threads when it is first queried, and
// the death tests fork this process afterwards, which is only safe while it has one thread.
inline bool hasDevice(cl_device_type type) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(opencl_test::hasDevice(type) ? 0 : 1);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A fresh working directory holding "data.txt" (30 training, 5 validation, 5 test samples),
// "params.txt" and a copy of the kernel file; rand() seeded.
class ExperimentDirectoryTest : public opencl_test::ScratchDirectoryTest {
 protected:
  void SetUp() override {
    std::srand(4242);
    opencl_test::ScratchDirectoryTest::SetUp();
    writeFile("data.txt", trainingData(30, 5, 5));
    writeFile("params.txt", kParameters);
  }
};

}  // namespace experiment_test
