// The training data file reader on arbitrary bytes. The topology is taken from the file's own
// size line when it is small, so that most inputs get past the size check and exercise the
// ranges, the samples and the split. Every input also checks NumberScanner against the stream
// extraction it stands in for, number by number.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <locale>
#include <sstream>

#include "common/fatal.h"
#include "common/number_scanner.h"
#include "nn/network.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/training_data_reader.h"

namespace {

using fuzz::TrainingDataReader;

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The reader's order of extractions (3 floats, 2 ints, floats to the end), once through the
// scanner and once through a stream: every result and every stored value must agree.
void compareScannerWithStream(const char* begin, const char* end) {
  NumberScanner scanner(begin, end);
  std::istringstream stream(std::string(begin, end));
  stream.imbue(std::locale::classic());
  for (int k = 0;; ++k) {
    if (k == 3 || k == 4) {
      int fromScanner = 12345, fromStream = 12345;
      const bool scanned = scanner.readInt(fromScanner);
      const bool extracted = static_cast<bool>(stream >> fromStream);
      fuzz::require(scanned == extracted, "readInt succeeds exactly when extraction does");
      fuzz::require(fromScanner == fromStream, "readInt stores what extraction stores");
      if (!scanned) return;
    } else {
      float fromScanner = 0.125f, fromStream = 0.125f;
      const bool scanned = scanner.readFloat(fromScanner);
      const bool extracted = static_cast<bool>(stream >> fromStream);
      fuzz::require(scanned == extracted, "readFloat succeeds exactly when extraction does");
      fuzz::require(sameBits(fromScanner, fromStream), "readFloat stores what extraction stores");
      if (!scanned) return;
    }
  }
}

// Input and output sizes from the file's second line when both are small, else 2 and 1
// (the reader then refuses the file at the size check).
std::vector<int> topologyFor(const char* begin, const char* end) {
  NumberScanner scanner(begin, end);
  float figure;
  int inputs = 0, outputs = 0;
  for (int k = 0; k < 3; ++k) scanner.readFloat(figure);
  scanner.readInt(inputs);
  scanner.readInt(outputs);
  const int largest = 1 << 12;
  if (inputs < 1 || inputs > largest || outputs < 1 || outputs > largest) return {2, 3, 1};
  return {inputs, 3, outputs};
}

const int statuses[] = {-7, -149, 173, 136};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setFatalHandler(throwFatalError);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file("train.dat");
  const char* begin = reinterpret_cast<const char*>(data);
  compareScannerWithStream(begin, begin + size);

  TrainingDataReader reader(topologyFor(begin, begin + size));
  try {
    reader.readTrainingData(file.write(data, size));
  } catch (const FatalError& error) {
    bool known = false;
    for (int status : statuses) known = known || error.status == status;
    fuzz::require(known, "a refused training data file ends with a status of its reader");
    return 0;
  }
  const int n = reader.inputSize(), m = reader.outputSize();
  fuzz::require(reader.inputRanges.size() == 2u * n && reader.outputRanges.size() == 2u * m,
                "one range per column");
  for (size_t k = 0; k + 1 < reader.inputRanges.size(); k += 2) {
    fuzz::require(reader.inputRanges[k] < reader.inputRanges[k + 1], "accepted ranges are ordered");
  }
  for (size_t k = 0; k + 1 < reader.outputRanges.size(); k += 2) {
    fuzz::require(reader.outputRanges[k] < reader.outputRanges[k + 1],
                  "accepted ranges are ordered");
  }
  fuzz::require(reader.numberOfTrainingSamples() >= 1, "an accepted file has a training sample");
  // Targets are stored as read: every one lies within the bounds of its column.
  for (const std::vector<float>* targets :
       {&reader.trainingTargets, &reader.validationTargets, &reader.testTargets}) {
    for (size_t k = 0; k < targets->size(); ++k) {
      const size_t j = k % static_cast<size_t>(m);
      fuzz::require((*targets)[k] >= reader.outputRanges[2 * j] &&
                        (*targets)[k] <= reader.outputRanges[2 * j + 1],
                    "accepted targets lie within their bounds");
    }
  }
  fuzz::require(reader.matches(reader.trainingInputs, reader.trainingTargets) &&
                    reader.matches(reader.validationInputs, reader.validationTargets) &&
                    reader.matches(reader.testInputs, reader.testTargets),
                "every set holds as many target vectors as input vectors");

  // What the program does next with the samples: evaluation runs on whatever was read.
  reader.allocateBuffers();
  reader.weights.assign(static_cast<size_t>(reader.numberOfWeights()), 0.25f);
  reader.testMeanSquaredError();
  reader.truePositiveRate();
  return 0;
}
