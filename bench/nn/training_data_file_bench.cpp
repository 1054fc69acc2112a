// Reading a training data file of 1,000,000 samples x 16 values: our reader against a plain
// std::ifstream >> float loop over the same file. Prints the ratio of the median times.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/file_contents.h"
#include "common/number_scanner.h"
#include "nn/network.h"

namespace {

using bench::median;

const int sampleCount = 1000000;
const int inputCount = 15;
const int outputCount = 1;

std::unique_ptr<bench::ScratchFolder> folder;
std::string dataFile;
std::string configurationFile;

// Columns of several kinds, as the sample builder writes them: times in seconds, counts,
// fractions, one-hot flags and negative values; every value a double in the stream's
// default format followed by a tab.
void writeFiles() {
  folder.reset(new bench::ScratchFolder("training_data_bench"));
  dataFile = folder->file("train.dat");
  configurationFile = folder->file("net.cfg");
  std::ofstream(configurationFile) << inputCount << " 8 " << outputCount << " ";

  std::srand(1);
  const auto draw = [] { return std::rand() / (RAND_MAX + 1.0); };
  std::vector<double> values(static_cast<size_t>(sampleCount) * (inputCount + outputCount));
  for (int s = 0; s < sampleCount; ++s) {
    double* row = &values[static_cast<size_t>(s) * (inputCount + outputCount)];
    for (int j = 0; j < inputCount + outputCount; ++j) {
      switch (j % 6) {
        case 0:
          row[j] = std::floor(draw() * 3e7);
          break;  // submit time
        case 1:
          row[j] = std::floor(std::pow(2.0, draw() * 12));
          break;  // processors
        case 2:
          row[j] = draw();
          break;  // a fraction
        case 3:
          row[j] = draw() < 0.1 ? 1 : 0;
          break;  // one-hot flag
        case 4:
          row[j] = (draw() - 0.5) * 1e-3;
          break;  // small, signed
        default:
          row[j] = draw() * 86400.0 - 40000.0;
          break;  // signed seconds
      }
    }
  }
  std::ofstream file(dataFile);
  file << sampleCount * 0.6 << ' ' << sampleCount * 0.2 << ' ' << sampleCount * 0.2 << '\n';
  file << inputCount << ' ' << outputCount << '\n';
  for (int j = 0; j < inputCount + outputCount; ++j) {
    double low = values[j], high = values[j];
    for (size_t k = j; k < values.size(); k += inputCount + outputCount) {
      low = std::min(low, values[k]);
      high = std::max(high, values[k]);
    }
    const double widening = high - low < 1e-200 ? 0.125 : (high - low) / 8;
    file << low - widening << ' ' << high + widening << '\n';
  }
  for (int s = 0; s < sampleCount; ++s) {
    for (int j = 0; j < inputCount + outputCount; ++j) {
      file << values[static_cast<size_t>(s) * (inputCount + outputCount) + j] << '\t';
    }
    file << '\n';
  }
}

class ReadOnlyNetwork : public NN {
 public:
  using NN::NN;
  double train() override { return 0.0; }
  double timeIterations(int) override { return 0.0; }
  using NN::inputRanges;
  using NN::testTargets;
  using NN::trainingInputs;
};

std::vector<float> readWithStream() {
  std::ifstream file(dataFile);
  std::vector<float> values;
  float value;
  while (file >> value) values.push_back(value);
  return values;
}

std::vector<float> readWithScanner() {
  const FileContents contents(dataFile);
  NumberScanner scanner(contents.begin(), contents.end());
  std::vector<float> values;
  float value;
  while (scanner.readFloat(value)) values.push_back(value);
  return values;
}

void BM_PlainStreamLoop(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(readWithStream().data());
}

void BM_NumberScanner(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(readWithScanner().data());
}

// The whole reader as ombra runs it: configuration, file, scaling, split into three sets.
void BM_ReadTrainingData(benchmark::State& state) {
  for (auto _ : state) {
    ReadOnlyNetwork network(configurationFile, dataFile);
    benchmark::DoNotOptimize(network.trainingInputs.data());
  }
}

BENCHMARK(BM_PlainStreamLoop)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_NumberScanner)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_ReadTrainingData)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// Keeps every repetition's time so that the ratio of the medians can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        cpuTimes[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatios() {
    const std::vector<double>& plain = times["BM_PlainStreamLoop"];
    if (plain.empty()) return;
    for (const char* name : {"BM_NumberScanner", "BM_ReadTrainingData"}) {
      if (times[name].empty()) continue;
      std::printf("ratio plain stream loop / %s (medians of %zu): %.2f wall clock, %.2f CPU\n",
                  name + 3, times[name].size(), median(plain) / median(times[name]),
                  median(cpuTimes["BM_PlainStreamLoop"]) / median(cpuTimes[name]));
    }
  }
  std::map<std::string, std::vector<double>> times;
  std::map<std::string, std::vector<double>> cpuTimes;
};

// The reader must give exactly the values of the stream, or its speed means nothing.
bool sameValues() {
  const std::vector<float> expected = readWithStream();
  const std::vector<float> actual = readWithScanner();
  if (expected.size() != actual.size() ||
      std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)) != 0) {
    std::fprintf(stderr, "The reader's values differ from the stream's\n");
    return false;
  }
  ReadOnlyNetwork network(configurationFile, dataFile);
  const size_t rangeStart = 5;  // after the three figures and the two sizes
  const size_t targetStart = expected.size() - static_cast<size_t>(sampleCount) / 5 * 16 + 15;
  if (network.inputRanges[0] != expected[rangeStart] ||
      network.testTargets[0] != expected[targetStart]) {
    std::fprintf(stderr, "The network's ranges or targets differ from the stream's\n");
    return false;
  }
  std::printf("identical values: %zu numbers\n", expected.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  writeFiles();
  const bool identical = sameValues();
  RatioReporter reporter;
  if (identical) {
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
  }
  folder.reset();
  benchmark::Shutdown();
  return identical ? 0 : 1;
}
