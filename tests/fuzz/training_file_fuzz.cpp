// The training data file writer on arbitrary workload logs: the fast writer and its plain
// reference must write the same bytes, in log order and at both decision times, and ombra's reader
// must read back what tallis wrote, the file the two programs share.

#include <cstdint>

#include "common/fatal.h"
#include "nn/network.h"
#include "sample_builder/exception.h"
#include "sample_builder/job_data.h"
#include "sample_builder/training_file.h"
#include "tallis/tallis_cli.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/training_data_reader.h"
#include "tests/reference/reference.h"

namespace {

using fuzz::TrainingDataReader;

// Every attribute as input, the status as output: every column kind the writer knows.
const AttributeList& inputs() {
  static const AttributeList rows = createAttributesVector(
      "sT,wT,s,rCPU,rT,rM,uID,lsu,lsa,lsua,lc,lrt,lCPUt,ea,ec,uID,lsu,"
      "logwT,logrCPU,logrT,logrM,loglrt,logea,logec,logefu,hourSin,"
      "hourCos,weekSin,weekCos,fu,fa,fua,lognu,logna,lognua,ru,ra,rua,runu,runua,lsu2,lsua2");
  return rows;
}
const AttributeList& outputs() {
  static const AttributeList rows = createAttributesVector("s,lc");
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setFatalHandler(throwFatalError);
  inputs();
  outputs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile log("log.swf");
  static fuzz::InputFile fast("fast.dat");
  static fuzz::InputFile plain("plain.dat");
  std::vector<JobData> jobs;
  try {
    jobs = filterOutPartialJobs(parseFile(log.write(data, size)));
  } catch (const Exception&) {
    return 0;  // a damaged gzip stream
  }
  if (jobs.empty()) return 0;
  createUserIdLookupTable(jobs);
  const int count = static_cast<int>(jobs.size());
  const int validation = count / 5, test = count / 5;
  const int training = count - validation - test;

  // The decision times first, so that the log-order file stays for ombra's reader below.
  for (DecisionTime when : {DecisionTime::submit, DecisionTime::start, DecisionTime::log}) {
    try {
      createTrainingFile(jobs, inputs(), outputs(), fast.path(), training, validation, test, when);
    } catch (const Exception&) {
      return 0;  // bounds beyond the float range ombra reads with: no file is written
    }
    reference::createTrainingFile(jobs, inputs(), outputs(), plain.path(), training, validation,
                                  test, when);
    fuzz::require(fuzz::readFile(fast.path()) == fuzz::readFile(plain.path()),
                  "the fast writer writes what the plain writer writes");
  }

  TrainingDataReader reader({inputSize(jobs, inputs()), 3, outputSize(jobs, outputs())});
  try {
    reader.readTrainingData(fast.path());
  } catch (const FatalError& error) {
    // A column whose widened bounds round to the same six digits (tallis warns about it).
    fuzz::require(error.message.rfind("Wrong range of ", 0) == 0,
                  "ombra reads every file tallis writes");
    return 0;
  }
  fuzz::require(reader.numberOfTrainingSamples() == training &&
                    reader.numberOfValidationSamples() == validation &&
                    reader.numberOfTestSamples() == test,
                "ombra reads the split tallis wrote");
  return 0;
}
