#include "trainers/parameters.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

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
// The training options keep the number as read (option) and are checked once the file is read.
struct Key {
  const char* text;
  float* floatField;
  int* intField;
  bool termination;
  std::optional<double>* option = nullptr;
};

// The numbers of the training option keys as the file gives them.
struct OptionNumbers {
  std::optional<double> seed, selectByAuc, momentum, shuffle, crossEntropy, positiveWeight;
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

// The value of an option key as written: a number and nothing else, or nan. The older keys
// read "yes" or "12abc" as 0 and 12, as they always have; a new key refuses them instead, so
// that "Shuffle: yes" cannot silently mean off.
double optionValue(const std::string& line, const std::string& key) {
  std::istringstream rest(line.substr(line.find(key + ":") + key.size() + 1));
  double number = 0.0;
  if (!(rest >> number)) return std::nan("");
  std::string more;
  return rest >> more ? std::nan("") : number;
}

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r\f\v") == std::string::npos;
}

// What a reading found besides the keys: enough to refuse a file that is no parameters file
// and to report the lines it ignored.
struct Ignored {
  bool anyKey = false;
  bool nulBytes = false;
  int longLine = 0;                                // the number of an over-long line, 0: none
  std::vector<std::pair<int, std::string>> lines;  // lines without a known key
};

// The keys, for messages: "Learning rate, Strip length, ...".
std::string keyList(const std::vector<std::string>& keys) {
  std::string list;
  for (const std::string& key : keys) list += (list.empty() ? "" : ", ") + key;
  return list;
}

// A file with NUL bytes is binary (a network file given in the wrong place), and one in which
// no line holds a key is something else than a parameters file (a training data file, a log):
// training on the defaults would run for a minute and then replace the network file. Lines
// without a key are reported (an older file still reads), since a misspelt key would
// otherwise be ignored without a word.
void judgeIgnoredText(const Ignored& ignored, const std::string& fileName,
                      const std::vector<std::string>& listedKeys) {
  if (ignored.nulBytes) {
    fatal("Error reading file: " + fileName + ": NUL bytes, not an algorithm parameters file",
          kParametersFileError);
  }
  const std::string keys = keyList(listedKeys);
  if (!ignored.anyKey && (!ignored.lines.empty() || ignored.longLine > 0)) {
    fatal("No known key in parameters file: " + fileName + " (the keys: " + keys +
              ", each followed at once by a colon)",
          kParametersFileError);
  }
  const size_t kShown = 10;
  for (size_t k = 0; k < ignored.lines.size() && k < kShown; ++k) {
    std::cerr << "Warning: parameters file " << fileName << ", line " << ignored.lines[k].first
              << ": no known key, the line is ignored: '" << ignored.lines[k].second << "'"
              << std::endl;
  }
  if (ignored.lines.size() > kShown) {
    std::cerr << "Warning: parameters file " << fileName << ": " << ignored.lines.size() - kShown
              << " more lines without a known key are ignored" << std::endl;
  }
  if (ignored.longLine > 0) {
    std::cerr << "Warning: parameters file " << fileName << ", line " << ignored.longLine
              << ": longer than " << kMaxLineLength
              << " characters; it and the lines after it are ignored" << std::endl;
  }
  if (!ignored.lines.empty()) {
    std::cerr << "Warning: the keys of parameters file " << fileName << ": " << keys
              << " (each followed at once by a colon; case and blanks count)" << std::endl;
  }
}

void readParametersFile(const std::string& fileName, Key* keys, int keyCount,
                        TerminationGroup& group, const std::vector<std::string>& listedKeys) {
  std::ifstream file(fileName);
  if (!file.is_open()) fatal("Error opening file: " + fileName, kParametersFileError);
  if (isDirectory(fileName)) {
    fatal("Error reading file: " + fileName + ": a directory", kParametersFileError);
  }
  group.seen = false;
  Ignored ignored;
  // A line that does not fit the buffer ends the reading; the buffer also bounds memory when
  // the file is one endless line (/dev/zero).
  char buffer[kMaxLineLength + 1];
  for (int number = 1;; ++number) {
    file.getline(buffer, sizeof buffer);
    const bool tooLong =
        file.fail() && !file.eof() && file.gcount() == static_cast<std::streamsize>(kMaxLineLength);
    if (file.fail() && !tooLong) break;  // the end of the file
    const bool lineFeed = !file.fail() && !file.eof();
    std::string line(buffer, static_cast<size_t>(file.gcount()) - (lineFeed ? 1 : 0));
    if (line.find('\0') != std::string::npos) ignored.nulBytes = true;
    if (tooLong) {
      ignored.longLine = number;
      break;
    }
    bool found = false;
    for (int k = 0; k < keyCount; ++k) {
      double value = 0.0;
      if (!readParameter(line, keys[k].text, value)) continue;
      found = true;
      if (keys[k].floatField != nullptr) {
        // Checked as stored: 1e300 is infinite in single precision, and 1e-50 is 0, which
        // switches a limit off; neither is what the file says.
        const float stored = static_cast<float>(value);
        if (!std::isfinite(stored)) {
          fatal(std::string("Value of ") + keys[k].text +
                    " out of float range in parameters file: " + fileName,
                kParametersFileError);
        }
        if (stored == 0.0f && value != 0.0) {
          fatal(std::string("Value of ") + keys[k].text +
                    " is 0 in single precision in parameters file: " + fileName,
                kParametersFileError);
        }
      }
      if (keys[k].termination && !group.seen) {
        *group.iterations = 0;
        *group.mse = 0.0f;
        *group.time = 0.0f;
        group.seen = true;
      }
      if (keys[k].floatField != nullptr) *keys[k].floatField = static_cast<float>(value);
      if (keys[k].intField != nullptr) *keys[k].intField = truncateToInt(value);
      if (keys[k].option != nullptr) *keys[k].option = optionValue(line, keys[k].text);
    }
    if (found) {
      ignored.anyKey = true;
    } else if (!isBlank(line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ignored.lines.emplace_back(number, line);
    }
    if (file.eof()) break;
  }
  judgeIgnoredText(ignored, fileName, listedKeys);
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

// Both readers know every training option key, so that the swarm's reader can refuse the
// back-propagation ones instead of ignoring them.
void addOptionKeys(std::vector<Key>& keys, OptionNumbers& numbers) {
  const Key options[] = {
      {"Seed", nullptr, nullptr, false, &numbers.seed},
      {"Select by AUC", nullptr, nullptr, false, &numbers.selectByAuc},
      {"Momentum", nullptr, nullptr, false, &numbers.momentum},
      {"Shuffle", nullptr, nullptr, false, &numbers.shuffle},
      {"Cross entropy", nullptr, nullptr, false, &numbers.crossEntropy},
      {"Positive weight", nullptr, nullptr, false, &numbers.positiveWeight},
  };
  keys.insert(keys.end(), std::begin(options), std::end(options));
}

// The keys of the other trainer family: known (no warning, a file may serve both families),
// and not used.
void addOtherFamilyKeys(std::vector<Key>& keys, std::initializer_list<const char*> texts) {
  for (const char* text : texts) keys.push_back({text, nullptr, nullptr, false});
}

[[noreturn]] void refuseOption(const std::string& message, const std::string& fileName) {
  fatal(message + " in parameters file: " + fileName, kParametersFileError);
}

// A switch is 0 (off) or 1 (on).
std::optional<bool> switchOption(const std::optional<double>& number, const char* key,
                                 const std::string& fileName) {
  if (!number) return std::nullopt;
  if (*number != 0 && *number != 1) refuseOption(std::string(key) + " must be 0 or 1", fileName);
  return *number == 1;
}

TrainingOptions trainingOptions(const OptionNumbers& numbers, float mse, int iterations,
                                int stripLength, const std::string& fileName) {
  TrainingOptions options;
  if (numbers.seed) {
    // srand takes an unsigned int; a fraction is truncated like every integer key.
    const double seed = std::trunc(*numbers.seed);
    if (!(seed >= 0 && seed <= static_cast<double>(UINT_MAX)))
      refuseOption("Seed must be a whole number from 0 to 4294967295", fileName);
    options.seed = static_cast<unsigned>(seed);
  }
  options.selectByAuc = switchOption(numbers.selectByAuc, "Select by AUC", fileName);
  // The MSE limit ends training on the best validation MSE, which AUC selection does not keep.
  if (options.ranksByAuc() && mse != 0.0f) {
    refuseOption("Select by AUC and an MSE limit exclude each other: use Iterations or Time",
                 fileName);
  }
  // No validation check would ever take place: the option would do nothing.
  if (options.ranksByAuc() && iterations > 0 && stripLength > iterations) {
    refuseOption("Select by AUC never checks: Strip length " + std::to_string(stripLength) +
                     " is above Iterations " + std::to_string(iterations),
                 fileName);
  }
  return options;
}

void readBPOptions(const OptionNumbers& numbers, BPParameters& p, const std::string& fileName) {
  p.options = trainingOptions(numbers, p.mse, p.iterations, p.stripLength, fileName);
  if (numbers.momentum) {
    // At 1 or above the velocity never decays and the weights run away; checked as stored,
    // since 0.99999999 is 1 in single precision.
    const float momentum = static_cast<float>(*numbers.momentum);
    if (!(momentum >= 0 && momentum < 1))
      refuseOption("Momentum must be at least 0 and below 1", fileName);
    p.momentum = momentum;
  }
  p.shuffle = switchOption(numbers.shuffle, "Shuffle", fileName);
  p.crossEntropy = switchOption(numbers.crossEntropy, "Cross entropy", fileName);
  if (numbers.positiveWeight) {
    const float weight = static_cast<float>(*numbers.positiveWeight);
    if (!(weight > 0 && std::isfinite(weight)))
      refuseOption("Positive weight must be a number greater than 0", fileName);
    p.positiveWeight = weight;
  }
}

// The back-propagation options mean nothing to a swarm: refused rather than ignored.
void refuseBPOptions(const OptionNumbers& numbers, const std::string& fileName) {
  const struct {
    const char* key;
    bool given;
  } options[] = {{"Momentum", numbers.momentum.has_value()},
                 {"Shuffle", numbers.shuffle.has_value()},
                 {"Cross entropy", numbers.crossEntropy.has_value()},
                 {"Positive weight", numbers.positiveWeight.has_value()}};
  for (const auto& option : options) {
    if (option.given) {
      refuseOption(std::string(option.key) +
                       " is a back-propagation key: the particle-swarm trainers have no use for it",
                   fileName);
    }
  }
}

const char* yesOrNo(bool value) { return value ? "yes" : "no"; }

// "  Key: value" lines of the options given, after a parameter block.
void printOptions(const TrainingOptions& options) {
  if (options.seed) std::cout << "  Seed: " << *options.seed << std::endl;
  if (options.selectByAuc) {
    std::cout << "  Select by AUC: " << yesOrNo(*options.selectByAuc) << std::endl;
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
  OptionNumbers numbers;
  std::vector<Key> keys = {
      {"Learning rate", &p.learningRate, nullptr, false},
      {"Strip length", nullptr, &p.stripLength, false},
      {"Lower limit", &p.lowerLimit, nullptr, false},
      {"Upper limit", &p.upperLimit, nullptr, false},
      {"Iterations", nullptr, &p.iterations, true},
      {"Time", &p.time, nullptr, true},
      {"MSE", &p.mse, nullptr, true},
  };
  TerminationGroup group{&p.iterations, &p.mse, &p.time};
  addOptionKeys(keys, numbers);
  std::vector<std::string> listed;
  for (const Key& key : keys) listed.push_back(key.text);
  addOtherFamilyKeys(keys, {"Population size", "omega", "phiP", "phiG"});
  readParametersFile(fileName, keys.data(), static_cast<int>(keys.size()), group, listed);
  p.fileName = fileName;
  checkLimits(p.iterations, p.mse, p.time, fileName);
  // The loop checks the validation set every stripLength-th epoch.
  if (p.stripLength < 1)
    fatal("Strip length must be at least 1 in parameters file: " + fileName, kParametersFileError);
  readBPOptions(numbers, p, fileName);
  return p;
}

PSOParameters readPSOParameters(const std::string& fileName) {
  PSOParameters p;
  if (fileName.empty()) return p;
  OptionNumbers numbers;
  std::vector<Key> keys = {
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
  std::vector<std::string> listed;  // the swarm's keys: the back-propagation options are refused
  for (const Key& key : keys) listed.push_back(key.text);
  listed.insert(listed.end(), {"Seed", "Select by AUC"});
  addOptionKeys(keys, numbers);
  addOtherFamilyKeys(keys, {"Learning rate"});
  readParametersFile(fileName, keys.data(), static_cast<int>(keys.size()), group, listed);
  checkLimits(p.iterations, p.mse, p.time, fileName);
  refuseBPOptions(numbers, fileName);
  p.options = trainingOptions(numbers, p.mse, p.iterations, p.stripLength, fileName);
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
  printOptions(p.options);
  if (p.momentum) std::cout << "  Momentum: " << static_cast<double>(*p.momentum) << std::endl;
  if (p.shuffle) std::cout << "  Shuffle: " << yesOrNo(*p.shuffle) << std::endl;
  if (p.crossEntropy) std::cout << "  Cross entropy: " << yesOrNo(*p.crossEntropy) << std::endl;
  if (p.positiveWeight) {
    std::cout << "  Positive weight: " << static_cast<double>(*p.positiveWeight) << std::endl;
  }
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
  printOptions(p.options);
}

namespace {

[[noreturn]] void refuseOnDevice(const char* key, const std::string& trainers,
                                 const char* instead) {
  fatal(std::string(key) + " is not supported by " + trainers + ": use " + instead,
        kParametersFileError);
}

}  // namespace

void refuseOptionsOfTheCpuSteps(const BPParameters& p, const std::string& trainers) {
  if (p.momentum) refuseOnDevice("Momentum", trainers, "BP");
  if (p.crossEntropy) refuseOnDevice("Cross entropy", trainers, "BP");
  if (p.positiveWeight) refuseOnDevice("Positive weight", trainers, "BP");
}

void refuseOptionsOfTheCpuSteps(const PSOParameters& p, const std::string& trainers) {
  if (p.options.selectByAuc) refuseOnDevice("Select by AUC", trainers, "PSO");
}

void requireTrainableParameters(const BPParameters& p) {
  // 0 changes nothing; a negative rate climbs the error; above 100 a single step moves a weight
  // by 25 or more (the output's error term is at most 0.25, inputs lie in [-1, 1]) and the
  // sigmoids saturate for good.
  if (!(p.learningRate > 0.0f && p.learningRate <= 100.0f)) {
    fatal("Learning rate must be above 0 and at most 100 in parameters file: " + p.fileName,
          kParametersFileError);
  }
  // Swapped limits: the initial weights would be drawn from an empty interval.
  if (p.lowerLimit > p.upperLimit) {
    fatal("Lower limit must not be above Upper limit in parameters file: " + p.fileName,
          kParametersFileError);
  }
}

void seedRandomDraws(const TrainingOptions& options) {
  if (options.seed) std::srand(*options.seed);
}

void fillUniform(float* values, int count, float lower, float upper) {
  const float span = upper - lower;
  const double scale = 1.0 / 2147483648.0;  // 2^-31: rand() / 2^31 lies in [0, 1)
  for (int i = 0; i < count; ++i) {
    double r = static_cast<double>(std::rand());
    values[i] = static_cast<float>(lower + r * span * scale);
  }
}

void shuffleOrder(std::vector<int>& order) {
  for (size_t i = order.size(); i > 1; --i) {
    const size_t j = static_cast<size_t>(std::rand()) % i;
    std::swap(order[i - 1], order[j]);
  }
}
