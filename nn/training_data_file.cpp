#include <cctype>
#include <climits>
#include <cmath>
#include <sstream>
#include <string>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/memory_limit.h"
#include "common/number_scanner.h"
#include "common/ombra_status.h"
#include "nn/network.h"

namespace {

// A number as the stream writes it by default (6 significant digits).
std::string text(double value) {
  std::ostringstream stream;
  stream << value;
  return stream.str();
}

// Ranges divide when scaling: an empty or inverted one (max <= min, or not a number)
// would turn every value of its column into inf or nan.
void checkRanges(const std::vector<float>& ranges, const char* kind) {
  for (size_t j = 0; j < ranges.size() / 2; ++j) {
    const float minimum = ranges[2 * j];
    const float maximum = ranges[2 * j + 1];
    if (!(maximum > minimum)) {
      fatal("Wrong range of " + std::string(kind) + " " + std::to_string(j + 1) +
                " in the training data file: maximum " + text(maximum) +
                " does not exceed minimum " + text(minimum),
            ombra_status::kDamagedSamples);
    }
    if (!std::isfinite(maximum - minimum)) {
      fatal("Wrong range of " + std::string(kind) + " " + std::to_string(j + 1) +
                " in the training data file: maximum " + text(maximum) + " minus minimum " +
                text(minimum) + " exceeds the float range",
            ombra_status::kDamagedSamples);
    }
  }
}

// The token at p (after white space) for a message: at most 20 characters, anything
// unprintable shown as '?', "the end of the file" when there is none.
std::string tokenAt(const char* p, const char* end) {
  while (p != end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (p == end) return "the end of the file";
  std::string token;
  for (; p != end && !std::isspace(static_cast<unsigned char>(*p)); ++p) {
    if (token.size() == 20) return "'" + token + "...'";
    token += std::isprint(static_cast<unsigned char>(*p)) ? *p : '?';
  }
  return "'" + token + "'";
}

bool onlySpaceFrom(const char* p, const char* end) {
  while (p != end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  return p == end;
}

// Every value must lie within the bounds its file declares for its column: the network scales
// by them, and a value far outside (3e38 in a column of [0, 10]) turns every error into nan.
// rows holds width values per sample; firstValue numbers the column of values[0] in a sample.
void checkWithinBounds(const std::vector<float>& rows, const std::vector<float>& ranges,
                       size_t width, size_t firstValue) {
  const size_t samples = rows.size() / width;
  for (size_t s = 0; s < samples; ++s) {
    const float* row = rows.data() + s * width;
    for (size_t j = 0; j < width; ++j) {
      if (row[j] >= ranges[2 * j] && row[j] <= ranges[2 * j + 1]) continue;
      fatal("Something is wrong with the samples: value " + std::to_string(firstValue + j + 1) +
                " of sample " + std::to_string(s + 1) + " of the training data file, " +
                text(row[j]) + ", lies outside the bounds " + text(ranges[2 * j]) + " " +
                text(ranges[2 * j + 1]) + " the file gives its column",
            ombra_status::kDamagedSamples);
    }
  }
}

// Rounded share of count samples: floor(figure / total * count + 0.5), in double.
double shareOf(float figure, int total, int count) {
  return std::floor(static_cast<double>(figure) / total * count + 0.5);
}

// The three figures of the first line: proportions of the samples, not counts.
struct SetFigures {
  float training = 0.0f;
  float validation = 0.0f;
  float test = 0.0f;
};

SetFigures readSetFigures(NumberScanner& scanner, const char* end) {
  SetFigures figures;
  // An empty file goes on to the size check, as a stream reader would; a figure that is not
  // a float (nan, inf, 1e50) would leave every later number unread.
  const char* figureStart = scanner.current();
  bool figuresRead = true;
  for (float* figure : {&figures.training, &figures.validation, &figures.test}) {
    if (figuresRead) figureStart = scanner.current();
    figuresRead = figuresRead && scanner.readFloat(*figure);
  }
  if (!figuresRead && !onlySpaceFrom(figureStart, end)) {
    fatal(
        "Wrong training/validation/test set size: the first line of the training data file "
        "holds " +
            tokenAt(figureStart, end) + " where three numbers are expected",
        ombra_status::kSetSizes);
  }
  return figures;
}

// The bounds that follow the sizes: a minimum and a maximum for each of n inputs, then for
// each of m outputs.
void readRanges(NumberScanner& scanner, const char* end, size_t n, size_t m,
                std::vector<float>& inputRanges, std::vector<float>& outputRanges) {
  // Every bound takes at least one character and one separator: a file too short to hold
  // them is refused before the ranges are sized from the configuration.
  const size_t boundCount = 2 * (n + m);
  const std::string bounds = std::to_string(boundCount);
  const char* boundStart = scanner.current();
  if ((static_cast<size_t>(end - boundStart) + 1) / 2 < boundCount) {
    fatal("Something is wrong with the samples: the training data file is too short for its " +
              bounds + " range bounds",
          ombra_status::kDamagedSamples);
  }
  inputRanges.assign(2 * n, 0.0f);
  outputRanges.assign(2 * m, 0.0f);
  for (size_t k = 0; k < boundCount; ++k) {
    const size_t inputBounds = inputRanges.size();
    float& bound = k < inputBounds ? inputRanges[k] : outputRanges[k - inputBounds];
    boundStart = scanner.current();
    if (scanner.readFloat(bound)) continue;
    const std::string what = onlySpaceFrom(boundStart, end)
                                 ? "ends at"
                                 : "holds " + tokenAt(boundStart, end) + ", not a float, as";
    fatal("Something is wrong with the samples: the training data file " + what + " range bound " +
              std::to_string(k + 1) + " of " + bounds,
          ombra_status::kDamagedSamples);
  }
  checkRanges(inputRanges, "input");
  checkRanges(outputRanges, "output");
}

// Every sample of the file in data units, n inputs and m targets each.
struct RawSamples {
  std::vector<float> inputs;
  std::vector<float> targets;
  int count = 0;
};

// Samples until the first value of a sample cannot be read; a sample whose values run out
// part-way is a damaged file, not a sample.
RawSamples readSamples(NumberScanner& scanner, const char* begin, const char* end, size_t n,
                       size_t m) {
  RawSamples samples;
  const size_t bytesPerSampleGuess = 8 * (n + m);
  samples.inputs.reserve(static_cast<size_t>(end - begin) / bytesPerSampleGuess * n);
  samples.targets.reserve(static_cast<size_t>(end - begin) / bytesPerSampleGuess * m);
  long long sampleCount = 0;
  float value;
  for (;;) {
    const char* sampleStart = scanner.current();
    if (!scanner.readFloat(value)) {
      // Only white space may follow the last sample: text that is not a number (or a value
      // beyond the float range) would otherwise drop every sample after it without a word.
      if (!onlySpaceFrom(sampleStart, end)) {
        fatal("Something is wrong with the samples: sample " + std::to_string(sampleCount + 1) +
                  " of the training data file starts with " + tokenAt(sampleStart, end) +
                  ", which is not a float",
              ombra_status::kDamagedSamples);
      }
      break;
    }
    samples.inputs.push_back(value);
    size_t read = 1;
    const char* valueStart = scanner.current();
    for (; read < n && scanner.readFloat(value); ++read) {
      samples.inputs.push_back(value);
      valueStart = scanner.current();
    }
    for (; read >= n && read < n + m && scanner.readFloat(value); ++read) {
      samples.targets.push_back(value);
      valueStart = scanner.current();
    }
    if (read != n + m && onlySpaceFrom(valueStart, end)) {
      fatal("Something is wrong with the samples: sample " + std::to_string(sampleCount + 1) +
                " of the training data file ends after " + std::to_string(read) + " of its " +
                std::to_string(n + m) + " values",
            ombra_status::kDamagedSamples);
    }
    if (read != n + m) {
      fatal("Something is wrong with the samples: value " + std::to_string(read + 1) +
                " of sample " + std::to_string(sampleCount + 1) + " of the training data file is " +
                tokenAt(valueStart, end) + ", which is not a float",
            ombra_status::kDamagedSamples);
    }
    ++sampleCount;
  }
  if (sampleCount > INT_MAX) {
    fatal("Wrong training/validation/test set size: more than " + std::to_string(INT_MAX) +
              " samples",
          ombra_status::kSetSizes);
  }
  samples.count = static_cast<int>(sampleCount);
  return samples;
}

// How many of the G samples read are training and validation samples; the test samples are
// the rest. The three figures are proportions of the samples read; their total is truncated.
struct SetSizes {
  size_t training;
  size_t validation;
};

SetSizes setSizes(const SetFigures& figures, int G) {
  const std::string given =
      text(figures.training) + " " + text(figures.validation) + " " + text(figures.test);
  const auto refuse = [](const std::string& why) {
    fatal("Wrong training/validation/test set size: " + why, ombra_status::kSetSizes);
  };
  const float totalFigure = figures.training + figures.validation + figures.test;
  if (!(std::fabs(totalFigure) < 2147483648.0f)) {
    refuse("line 1 gives " + given + ", which do not add up to a sample count");
  }
  const int total = static_cast<int>(totalFigure);
  if (total == 0) refuse("line 1 gives " + given + ", which add up to less than 1");
  const double trainingShare = shareOf(figures.training, total, G);
  const double validationShare = shareOf(figures.validation, total, G);
  if (G == 0) refuse("the file holds no samples");
  if (G < trainingShare || trainingShare < 1) {
    refuse("line 1 gives " + given + ": " + text(trainingShare) + " of the " + std::to_string(G) +
           " samples would be training samples");
  }
  if (validationShare < 0 || trainingShare + validationShare > G) {
    refuse(given + " cannot split " + std::to_string(G) + " samples");
  }
  return {static_cast<size_t>(trainingShare), static_cast<size_t>(validationShare)};
}

}  // namespace

// Reads the whole file into memory, then parses it: the file is the start-up cost of every
// run, and reading it through a stream value by value is several times slower.
void NN::readTrainingData(const std::string& fileName) {
  trainingDataSource = fileName;
  const FileContents contents(fileName);
  if (contents.status() == FileContents::cannotOpen) {
    fatal("Error opening file: " + fileName + ": " + contents.reason(),
          ombra_status::kTrainingDataFile);
  }
  if (contents.status() == FileContents::readError) {
    fatal("Error reading file: " + fileName + ": " + contents.reason(),
          ombra_status::kTrainingDataFile);
  }
  if (contents.status() == FileContents::tooLarge) {
    fatal("Error reading file: " + fileName + ": too large for the " +
              mebibytes(physicalMemoryBytes()) + " of memory of this machine",
          ombra_status::kTrainingDataFile);
  }
  parseTrainingData(contents.begin(), contents.end());
}

// Numbers are read as stream extraction reads them, so line breaks, spaces and tabs are
// interchangeable and a sample is delimited only by its count of values.
void NN::parseTrainingData(const char* begin, const char* end) {
  NumberScanner scanner(begin, end);
  const SetFigures figures = readSetFigures(scanner, end);
  int dataInputSize = 0, dataOutputSize = 0;
  scanner.readInt(dataInputSize);
  scanner.readInt(dataOutputSize);
  // The two sizes side by side, each with the file it comes from.
  const auto bothSizes = [this](int configured, int data) {
    return ": " + std::to_string(configured) + " in " +
           (configurationSource.empty() ? "the configuration" : configurationSource) + ", " +
           std::to_string(data) + " in " +
           (trainingDataSource.empty() ? "the training data file" : trainingDataSource);
  };
  if (dataInputSize != inputSize()) {
    fatal("Input size from config file does not match data input size" +
              bothSizes(inputSize(), dataInputSize),
          ombra_status::kSizeMismatch);
  }
  if (dataOutputSize != outputSize()) {
    fatal("Output size from config file does not match data output size" +
              bothSizes(outputSize(), dataOutputSize),
          ombra_status::kSizeMismatch);
  }
  const size_t n = static_cast<size_t>(inputSize());
  const size_t m = static_cast<size_t>(outputSize());
  readRanges(scanner, end, n, m, inputRanges, outputRanges);
  RawSamples samples = readSamples(scanner, begin, end, n, m);
  checkWithinBounds(samples.inputs, inputRanges, n, 0);
  checkWithinBounds(samples.targets, outputRanges, m, n);
  scaleInputs(samples.inputs);

  const SetSizes sizes = setSizes(figures, samples.count);
  const size_t nTrain = sizes.training;
  const size_t nValidation = sizes.validation;
  const float* inputRows = samples.inputs.data();
  const float* targetRows = samples.targets.data();
  trainingInputs.assign(inputRows, inputRows + nTrain * n);
  trainingTargets.assign(targetRows, targetRows + nTrain * m);
  validationInputs.assign(inputRows + nTrain * n, inputRows + (nTrain + nValidation) * n);
  validationTargets.assign(targetRows + nTrain * m, targetRows + (nTrain + nValidation) * m);
  testInputs.assign(inputRows + (nTrain + nValidation) * n, inputRows + samples.inputs.size());
  testTargets.assign(targetRows + (nTrain + nValidation) * m, targetRows + samples.targets.size());

  if (numberOfTrainingSamples() + numberOfValidationSamples() + numberOfTestSamples() !=
      samples.count) {
    fatal("Something is wrong with the samples: " + std::to_string(samples.count) +
              " read, the three sets hold " +
              std::to_string(numberOfTrainingSamples() + numberOfValidationSamples() +
                             numberOfTestSamples()),
          ombra_status::kDamagedSamples);
  }
}
