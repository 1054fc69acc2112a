// Termination rules of the training loops: 0 switches a limit off, anything else is in force.
#include "trainers/termination.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace {

TEST(Termination, AllLimitsOffIsFatal) {
  EXPECT_EXIT(requireTerminatingCondition(0, 0.0f, 0.0f), ::testing::ExitedWithCode(-79 & 255),
              "^No terminating conditions: Iterations, Time and MSE are all 0 in the parameters "
              "file \\(give one of them a value other than 0; a file naming none trains for 60 "
              "s\\)\n$");
  requireTerminatingCondition(0, 0.0f, -1.0f);  // a negative limit is a limit
  requireTerminatingCondition(0, -0.5f, 0.0f);
  requireTerminatingCondition(-2, 0.0f, 0.0f);
}

TEST(Termination, EachLimitEndsTrainingOnItsOwn) {
  // iterations: at least that many completed epochs.
  EXPECT_FALSE(trainingShouldEnd(FLT_MAX, 4, 0.0, 5, 0.0f, 0.0f));
  EXPECT_TRUE(trainingShouldEnd(FLT_MAX, 5, 0.0, 5, 0.0f, 0.0f));
  // time: at least that many seconds.
  EXPECT_FALSE(trainingShouldEnd(FLT_MAX, 100, 1.99, 0, 0.0f, 2.0f));
  EXPECT_TRUE(trainingShouldEnd(FLT_MAX, 100, 2.0, 0, 0.0f, 2.0f));
  // mse: the best validation error not above the target.
  EXPECT_FALSE(trainingShouldEnd(0.0500001f, 100, 100.0, 0, 0.05f, 0.0f));
  EXPECT_TRUE(trainingShouldEnd(0.05f, 100, 100.0, 0, 0.05f, 0.0f));
}

TEST(Termination, MseTargetIsUnreachableBeforeAnyValidationCheck) {
  // Without validation samples the best error stays at the largest float.
  EXPECT_FALSE(trainingShouldEnd(FLT_MAX, 1000000, 1e6, 0, 1e30f, 0.0f));
  // A negative target is in force but never reached.
  EXPECT_FALSE(trainingShouldEnd(0.0f, 1000000, 1e6, 0, -0.5f, 0.0f));
}

TEST(Termination, NegativeLimitsEndTrainingBeforeTheFirstEpoch) {
  EXPECT_TRUE(trainingShouldEnd(FLT_MAX, 0, 0.0, -3, 0.0f, 0.0f));
  EXPECT_TRUE(trainingShouldEnd(FLT_MAX, 0, 0.0, 0, 0.0f, -1.0f));
}

TEST(Termination, ZeroSwitchesALimitOff) {
  EXPECT_FALSE(trainingShouldEnd(0.0f, 1000000, 1e9, 0, 0.0f, 0.0f));
}

}  // namespace
