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

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "trainers/parameters_file.h"

namespace {

// The numbers of the training option keys as the file gives them.
struct OptionNumbers {
  std::optional<double> seed, selectByAuc, momentum, shuffle, crossEntropy, positiveWeight;
};

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
            ombra_status::kParametersFile);
    }
  }
}

// Both readers know every training option key, so that the swarm's reader can refuse the
// back-propagation ones instead of ignoring them.
void addOptionKeys(std::vector<ParameterKey>& keys, OptionNumbers& numbers) {
  const ParameterKey options[] = {
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
void addOtherFamilyKeys(std::vector<ParameterKey>& keys, std::initializer_list<const char*> texts) {
  for (const char* text : texts) keys.push_back({text, nullptr, nullptr, false});
}

[[noreturn]] void refuseOption(const std::string& message, const std::string& fileName) {
  fatal(message + " in parameters file: " + fileName, ombra_status::kParametersFile);
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

BPParameters readBPParameters(const std::string& fileName) {
  BPParameters p;
  if (fileName.empty()) return p;  // no file: the defaults, without touching the file system
  OptionNumbers numbers;
  std::vector<ParameterKey> keys = {
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
  for (const ParameterKey& key : keys) listed.push_back(key.text);
  addOtherFamilyKeys(keys, {"Population size", "omega", "phiP", "phiG"});
  readParametersFile(fileName, keys, group, listed);
  p.fileName = fileName;
  checkLimits(p.iterations, p.mse, p.time, fileName);
  // The loop checks the validation set every stripLength-th epoch.
  if (p.stripLength < 1)
    fatal("Strip length must be at least 1 in parameters file: " + fileName,
          ombra_status::kParametersFile);
  readBPOptions(numbers, p, fileName);
  return p;
}

PSOParameters readPSOParameters(const std::string& fileName) {
  PSOParameters p;
  if (fileName.empty()) return p;
  OptionNumbers numbers;
  std::vector<ParameterKey> keys = {
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
  for (const ParameterKey& key : keys) listed.push_back(key.text);
  listed.insert(listed.end(), {"Seed", "Select by AUC"});
  addOptionKeys(keys, numbers);
  addOtherFamilyKeys(keys, {"Learning rate"});
  readParametersFile(fileName, keys, group, listed);
  checkLimits(p.iterations, p.mse, p.time, fileName);
  refuseBPOptions(numbers, fileName);
  p.options = trainingOptions(numbers, p.mse, p.iterations, p.stripLength, fileName);
  if (p.populationSize < 1)
    fatal("Population size must be at least 1 in parameters file: " + fileName,
          ombra_status::kParametersFile);
  if (p.stripLength < 1)
    fatal("Strip length must be at least 1 in parameters file: " + fileName,
          ombra_status::kParametersFile);
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
        ombra_status::kParametersFile);
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
          ombra_status::kParametersFile);
  }
  // Swapped limits: the initial weights would be drawn from an empty interval.
  if (p.lowerLimit > p.upperLimit) {
    fatal("Lower limit must not be above Upper limit in parameters file: " + p.fileName,
          ombra_status::kParametersFile);
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
