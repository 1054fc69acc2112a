// endTallis and the in-process key list check it serves.

#include "tallis/tallis_exit.h"

#include <gtest/gtest.h>

#include "tallis/tallis_cli.h"
#include "tests/support/test_support.h"

namespace {

TEST(TallisExit, EndsTheProcessWithTheStatus) {
  EXPECT_EXIT(endTallis(1), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(createAttributesVector("sT,nope"), testing::ExitedWithCode(1),
              "^Wrong attribute function: 'nope' is not a key; the keys: sT wT s [^\n]*\n$");
}

void returningHandler(int) {}

TEST(TallisExit, AHandlerThatReturnsStillEndsTheProcess) {
  EXPECT_EXIT(
      {
        setTallisExitHandler(returningHandler);
        endTallis(3);
      },
      testing::ExitedWithCode(3), "");
}

TEST(TallisExit, AThrowingHandlerReportsTheStatusInProcess) {
  TallisExitHandler previous = setTallisExitHandler(throwTallisExit);
  EXPECT_EQ(previous, nullptr);
  test_support::captureStdout();
  test_support::captureStderr();
  int status = -1;
  try {
    createAttributesVector("sT,,wT");
  } catch (const TallisExit& exit) {
    status = exit.status;
  }
  EXPECT_EQ(test_support::capturedStdout(), "atrib[0]=sT\natrib[1]=\natrib[2]=wT\n");
  EXPECT_EQ(test_support::capturedStderr(),
            "Wrong attribute function: " + describeUnknownKey("") + "\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(setTallisExitHandler(nullptr), &throwTallisExit);
}

}  // namespace
