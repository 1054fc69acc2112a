// fatal: what the programs do (message, newline, exit status) and the replaceable last step.

#include "common/fatal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "tests/support/test_support.h"

namespace {

// Installs a handler for one test and puts the previous one back.
class HandlerScope {
 public:
  explicit HandlerScope(FatalHandler handler) : previous_(setFatalHandler(handler)) {}
  ~HandlerScope() { setFatalHandler(previous_); }

 private:
  FatalHandler previous_;
};

TEST(Fatal, WritesTheMessageAndExitsWithTheStatus) {
  EXPECT_EXIT(fatal("Error opening file: net.cfg", -3), testing::ExitedWithCode(253),
              "^Error opening file: net.cfg\n$");
  EXPECT_EXIT(fatal("Wrong training/validation/test set size", 173), testing::ExitedWithCode(173),
              "^Wrong training/validation/test set size\n$");
}

TEST(Fatal, ProgramOutputIsFlushedBeforeTheMessage) {
  EXPECT_EXIT(
      {
        std::cout << "Input:";
        fatal("Input value is not a number", -1);
      },
      testing::ExitedWithCode(255), "^Input value is not a number\n$");
}

TEST(Fatal, AThrowingHandlerCarriesMessageAndStatus) {
  HandlerScope scope(throwFatalError);
  test_support::captureStderr();
  try {
    fatal("Training not allowed", -1);
    ADD_FAILURE() << "fatal returned";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.message, "Training not allowed");
    EXPECT_EQ(error.status, -1);
  }
  // The message still goes out before the handler runs.
  EXPECT_EQ(test_support::capturedStderr(), "Training not allowed\n");
}

void returningHandler(const std::string&, int) {}

TEST(Fatal, AHandlerThatReturnsStillEndsTheProcess) {
  EXPECT_EXIT(
      {
        setFatalHandler(returningHandler);
        fatal("Something is wrong with the samples", 136);
      },
      testing::ExitedWithCode(136), "^Something is wrong with the samples\n$");
}

TEST(Fatal, SetFatalHandlerReturnsThePreviousHandler) {
  EXPECT_EQ(setFatalHandler(throwFatalError), nullptr);
  EXPECT_EQ(setFatalHandler(nullptr), &throwFatalError);
  EXPECT_EXIT(fatal("plain exit again", 7), testing::ExitedWithCode(7), "^plain exit again\n$");
}

}  // namespace
