#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/fatal.h"
#include "tests/support/test_support.h"

// What a call did: returned normally, or stopped through fatal with a message and status.
struct Outcome {
  bool failed = false;
  int status = 0;
  std::string message;
};

// Runs f with fatal throwing instead of exiting, so one process tries every case.
template <class F>
Outcome outcomeOf(F f) {
  const FatalHandler previous = setFatalHandler(throwFatalError);
  test_support::captureStderr();
  Outcome outcome;
  try {
    f();
  } catch (const FatalError& error) {
    outcome = {true, error.status, error.message};
  }
  test_support::capturedStderr();
  setFatalHandler(previous);
  return outcome;
}
