#include "trainers/parameters.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "nn/fatal.h"
#include "nn/file_contents.h"

namespace {

// Lines are read into a buffer of 100 characters: a line that does not fit ends the reading.
const std::string::size_type kMaxLineLength = 99;

const int kParametersFileError = -238;

// Integer keys take the number truncated toward zero; out-of-range numbers saturate
// instead of overflowing.
int truncateToInt(double value) {
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

// One key of a trainer's list: where its number goes and whether it is a termination key.
struct Key {
  const char* text;
  float* floatField;
  int* intField;
  bool termination;
};

// The termination keys form a group: the first of them found in a file switches the two
// others off before its own value is stored, so a file naming only "Iterations" has no
// time limit. Later termination keys are stored plainly.
struct TerminationGroup {
  int* iterations;
  float* mse;
  float* time;
  bool seen = false;
};

void readParametersFile(const std::string& fileName, Key* keys, int keyCount,
                        TerminationGroup& group) {
  std::ifstream file(fileName);
  if (!file.is_open()) fatal("Error opening file: " + fileName, kParametersFileError);
  if (isDirectory(fileName)) {
    fatal("Error reading file: " + fileName + ": a directory", kParametersFileError);
  }
  group.seen = false;
  // A line that does not fit the buffer fails the read and silently ends the reading; the
  // buffer also bounds memory when the file is one endless line (/dev/zero).
  char buffer[kMaxLineLength + 1];
  while (file.getline(buffer, sizeof buffer)) {
    const std::string line(buffer, static_cast<size_t>(file.gcount()) -
                                       (file.eof() ? 0 : 1));  // without the line feed
    for (int k = 0; k < keyCount; ++k) {
      double value = 0.0;
      if (!readParameter(line, keys[k].text, value)) continue;
      // Rounded to single precision, 1e300 is infinite: no trainer can work with that.
      if (keys[k].floatField != nullptr && !std::isfinite(static_cast<float>(value))) {
        fatal(std::string("Value of ") + keys[k].text + " out of float range in parameters file: " +
                  fileName,
              kParametersFileError);
      }
      if (keys[k].termination && !group.seen) {
        *group.iterations = 0;
        *group.mse = 0.0f;
        *group.time = 0.0f;
        group.seen = true;
      }
      if (keys[k].floatField != nullptr) *keys[k].floatField = static_cast<float>(value);
      if (keys[k].intField != nullptr) *keys[k].intField = truncateToInt(value);
    }
  }
}

// A negative limit would end training before its first pass (Iterations, Time) or could never
// be reached (MSE, an error is never negative): a typing error, not a request.
void checkLimits(int iterations, float mse, float time, const std::string& fileName) {
  const struct {
    const char* key;
    bool negative;
  } limits[] = {{"Iterations", iterations < 0}, {"Time", time < 0.0f}, {"MSE", mse < 0.0f}};
  for (const auto& limit : limits) {
    if (limit.negative) {
      fatal(std::string(limit.key) + " must not be negative in parameters file: " + fileName,
            kParametersFileError);
    }
  }
}

}  // namespace

bool readParameter(const std::string& line, const std::string& key, double& value) {
  std::string::size_type position = line.find(key + ":");
  if (position == std::string::npos) return false;
  std::istringstream rest(line.substr(position + key.size() + 1));
  double number = 0.0;
  if (!(rest >> number)) number = 0.0;  // a found key without a number gives 0
  value = number;
  return true;
}

BPParameters readBPParameters(const std::string& fileName) {
  BPParameters p;
  if (fileName.empty()) return p;  // no file: the defaults, without touching the file system
  Key keys[] = {
      {"Learning rate", &p.learningRate, nullptr, false},
      {"Strip length", nullptr, &p.stripLength, false},
      {"Lower limit", &p.lowerLimit, nullptr, false},
      {"Upper limit", &p.upperLimit, nullptr, false},
      {"Iterations", nullptr, &p.iterations, true},
      {"Time", &p.time, nullptr, true},
      {"MSE", &p.mse, nullptr, true},
  };
  TerminationGroup group{&p.iterations, &p.mse, &p.time};
  readParametersFile(fileName, keys, sizeof keys / sizeof keys[0], group);
  checkLimits(p.iterations, p.mse, p.time, fileName);
  // The loop checks the validation set every stripLength-th epoch.
  if (p.stripLength < 1)
    fatal("Strip length must be at least 1 in parameters file: " + fileName, kParametersFileError);
  return p;
}

PSOParameters readPSOParameters(const std::string& fileName) {
  PSOParameters p;
  if (fileName.empty()) return p;
  Key keys[] = {
      {"Population size", nullptr, &p.populationSize, false},
      {"omega", &p.omega, nullptr, false},
      {"phiP", &p.phiP, nullptr, false},
      {"phiG", &p.phiG, nullptr, false},
      {"Lower limit", &p.lowerLimit, nullptr, false},
      {"Upper limit", &p.upperLimit, nullptr, false},
      {"Strip length", nullptr, &p.stripLength, false},
      {"Iterations", nullptr, &p.iterations, true},
      {"Time", &p.time, nullptr, true},
      {"MSE", &p.mse, nullptr, true},
  };
  TerminationGroup group{&p.iterations, &p.mse, &p.time};
  readParametersFile(fileName, keys, sizeof keys / sizeof keys[0], group);
  checkLimits(p.iterations, p.mse, p.time, fileName);
  if (p.populationSize < 1)
    fatal("Population size must be at least 1 in parameters file: " + fileName,
          kParametersFileError);
  if (p.stripLength < 1)
    fatal("Strip length must be at least 1 in parameters file: " + fileName, kParametersFileError);
  return p;
}

void printParameters(const BPParameters& p) {
  std::cout << "BP parameters info:\n";
  std::cout << "  Learn rate: " << static_cast<double>(p.learningRate) << std::endl;
  std::cout << "  Strip length: " << p.stripLength << std::endl;
  std::cout << "  Limits : [" << static_cast<double>(p.lowerLimit) << ", "
            << static_cast<double>(p.upperLimit) << "]\n";
  std::cout << "  Time: " << static_cast<double>(p.time) << std::endl;
  std::cout << "  Iterations: " << p.iterations << std::endl;
  std::cout << "  MSE: " << static_cast<double>(p.mse) << std::endl;
}

void printParameters(const PSOParameters& p) {
  std::cout << "PSO parameters info:\n";
  std::cout << "  Population size: " << p.populationSize << std::endl;
  std::cout << "  Limits: [" << static_cast<double>(p.lowerLimit) << ","
            << static_cast<double>(p.upperLimit) << "]\n";
  std::cout << "  Max speed: " << static_cast<double>(p.maxSpeed) << std::endl;
  std::cout << "  omega: " << static_cast<double>(p.omega)
            << "   phiP: " << static_cast<double>(p.phiP)
            << "   phiG: " << static_cast<double>(p.phiG) << std::endl;
  std::cout << "  Time: " << static_cast<double>(p.time) << std::endl;
  std::cout << "  Iterations: " << p.iterations << std::endl;
  std::cout << "  MSE: " << static_cast<double>(p.mse) << std::endl;
}

void fillUniform(float* values, int count, float lower, float upper) {
  const float span = upper - lower;
  const double scale = 1.0 / 2147483648.0;  // 2^-31: rand() / 2^31 lies in [0, 1)
  for (int i = 0; i < count; ++i) {
    double r = static_cast<double>(std::rand());
    values[i] = static_cast<float>(lower + r * span * scale);
  }
}
