// The wall-clock stopwatch of the training loops.
#include "trainers/stopwatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "tests/support/test_support.h"

namespace {

TEST(Stopwatch, NeverStartedShowsZero) {
  Stopwatch watch;
  EXPECT_EQ(watch.elapsed(), 0.0);
  EXPECT_EQ(watch.stop(), 0.0);
}

TEST(Stopwatch, MeasuresWhileRunningAndKeepsTheIntervalAfterStop) {
  Stopwatch watch;
  watch.start();
  usleep(20000);
  const double running = watch.elapsed();
  EXPECT_GE(running, 0.02);
  EXPECT_LT(running, 5.0);
  const double stopped = watch.stop();
  EXPECT_GE(stopped, running);
  usleep(20000);
  EXPECT_EQ(watch.elapsed(), stopped);  // no longer running: the interval stands
  watch.start();                        // a new interval, not an accumulation
  EXPECT_LT(watch.elapsed(), stopped);
}

TEST(Stopwatch, PrintWritesLabelSecondsAndUnit) {
  Stopwatch watch;
  watch.start();
  test_support::captureStdout();
  watch.print("epoch");
  const std::string out = test_support::capturedStdout();
  EXPECT_TRUE(std::regex_match(out, std::regex("epoch: [0-9.e+-]+ s\n"))) << out;
}

TEST(Stopwatch, QuietMeasuresAndPrintsNothing) {
  Stopwatch watch;
  watch.setQuiet();
  watch.start();
  usleep(10000);
  test_support::captureStdout();
  watch.print("step");
  EXPECT_EQ(test_support::capturedStdout(), "");
  EXPECT_EQ(watch.elapsed(), 0.0);
  EXPECT_EQ(watch.stop(), 0.0);
}

}  // namespace
