#include "experiments/timing_data.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "common/file_contents.h"
#include "experiments/data_sets.h"
#include "experiments/drivers.h"
#include "experiments/exit_status.h"
#include "nn/replace_file.h"

extern char** environ;

namespace fs = std::filesystem;

const char kTimingInputKeys[] = "rCPU,rT,lsu,lsa,lsua,lc,lrt,ea,ec";
const char kTimingOutputKeys[] = "s";

namespace {

struct DefaultFile {
  const char* name;
  const char* text;
};

// timeIterations switches the termination limits off, so only the swarm size, the strip
// length and the learning rate shape a measurement; the iteration limit is there for a
// plain ombra run on the same files.
const DefaultFile kDefaultFiles[] = {
    {kPSONeuronsInLayerParameters, "Population size: 64\nStrip length: 10\nIterations: 100\n"},
    {kBPNeuronsInLayerParameters, "Learning rate: 0.02\nStrip length: 10\nIterations: 100\n"},
    {kPSONumberOfLayersParameters, "Population size: 64\nStrip length: 10\nIterations: 100\n"},
    {kPSOSampleSizeParameters, "Population size: 64\nStrip length: 10\nIterations: 100\n"},
    {kSampleSizeConfiguration, "9 10 1 "},
};

bool writeText(const std::string& fileName, const std::string& text) {
  errno = 0;  // what is left of it says why a write failed
  std::ofstream file(fileName);
  file << text;
  file.close();
  return static_cast<bool>(file);
}

}  // namespace

std::string defaultTallisPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path beside = self.parent_path() / "tallis";
    if (fs::exists(beside, error)) return beside.string();
  }
  return "tallis";
}

std::vector<std::string> tallisArguments(const std::string& tallisPath, const std::string& logFile,
                                         const std::string& positivesRatio,
                                         const std::string& trainingDataFile) {
  return {tallisPath,
          std::string("-i") + kTimingInputKeys,
          std::string("-o") + kTimingOutputKeys,
          "-r60:20:20",
          "-p" + positivesRatio,
          logFile,
          trainingDataFile};
}

int runProgram(const std::vector<std::string>& arguments, std::string& error) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // The child writes to the same descriptors: what this process printed must come first.
  std::cout.flush();
  std::cerr.flush();
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    error = "cannot run " + arguments[0] + ": " + std::strerror(spawned);
    return -1;
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) {
    error = "lost " + arguments[0] + ": " + std::strerror(errno);
    return -1;
  }
  if (WIFEXITED(status)) {
    // A program that could not be executed after the fork exits with 127.
    if (WEXITSTATUS(status) == 127) error = "cannot run " + arguments[0];
    return WEXITSTATUS(status);
  }
  error = arguments[0] + " was ended by signal " + std::to_string(WTERMSIG(status));
  return -1;
}

namespace {

// Runs tallis; on failure prints why and returns false.
bool runTallis(const std::string& tallisPath, const std::string& logFile,
               const std::string& positivesRatio, const std::string& trainingDataFile) {
  std::string error;
  const int status =
      runProgram(tallisArguments(tallisPath, logFile, positivesRatio, trainingDataFile), error);
  if (status == 0) return true;
  if (error.empty()) error = tallisPath + " failed with status " + std::to_string(status);
  std::cerr << "ombra-timings: " << error << std::endl;
  return false;
}

// A training data file that is one of the logs would be written over the log it is made from,
// or over one still to be read: refused before tallis runs. Prints why and returns false.
bool outputsSpareTheLogs(const std::vector<std::string>& outputs,
                         const std::vector<std::string>& logs) {
  for (const std::string& output : outputs) {
    for (const std::string& log : logs) {
      if (!sameFile(output, log)) continue;
      std::cerr << "ombra-timings: " << output << " is the workload log " << log
                << ": refusing to write training data over it" << std::endl;
      return false;
    }
  }
  return true;
}

}  // namespace

int makeTimingData(const std::string& tallisPath, const std::string& logFile,
                   const std::string& positivesRatio) {
  if (!outputsSpareTheLogs(
          {kNeuronsInLayerData, kBPNeuronsInLayerData, kNumberOfLayersData, kSampleSizeData},
          {logFile})) {
    return kTimingsFailureStatus;
  }
  if (!runTallis(tallisPath, logFile, positivesRatio, kNeuronsInLayerData))
    return kTimingsFailureStatus;
  std::cout << "Training data: " << kNeuronsInLayerData << std::endl;
  for (const char* copy : {kBPNeuronsInLayerData, kNumberOfLayersData, kSampleSizeData}) {
    std::error_code copyError;
    fs::copy_file(kNeuronsInLayerData, copy, fs::copy_options::overwrite_existing, copyError);
    if (copyError) {
      std::cerr << "ombra-timings: cannot write " << copy << ": " << copyError.message()
                << std::endl;
      return kTimingsFailureStatus;
    }
    std::cout << "Training data: " << copy << std::endl;
  }
  for (const DefaultFile& file : kDefaultFiles) {
    if (fs::exists(file.name)) {
      std::cout << "Kept: " << file.name << std::endl;
    } else if (writeText(file.name, file.text)) {
      std::cout << "Written: " << file.name << std::endl;
    } else {
      const std::string reason = systemReason(errno);
      std::cerr << "ombra-timings: cannot write " << file.name << (reason.empty() ? "" : ": ")
                << reason << std::endl;
      return kTimingsFailureStatus;
    }
  }
  return kTimingsDoneStatus;
}

int makeDataSetFiles(const std::string& tallisPath, const std::string& logDirectory,
                     const std::string& suffix, const std::string& positivesRatio) {
  std::vector<std::string> logs;
  // Every log there, read or not: none may be written over (a suffix of ".gz" in the logs'
  // own folder names the compressed twin of a plain log).
  std::vector<std::string> present;
  std::vector<std::string> outputs;
  for (const char* name : kDataSetNames) {
    const fs::path plain = fs::path(logDirectory) / name;
    const fs::path compressed = fs::path(logDirectory) / (std::string(name) + ".gz");
    for (const fs::path& log : {plain, compressed}) {
      if (fs::exists(log)) present.push_back(log.string());
    }
    outputs.push_back(name + suffix);
    if (fs::exists(plain)) {
      logs.push_back(plain.string());
    } else if (fs::exists(compressed)) {
      logs.push_back(compressed.string());
    } else {
      std::cerr << "ombra-timings: no workload log " << name << " (or " << name << ".gz) in "
                << logDirectory << std::endl;
      return kTimingsFailureStatus;
    }
  }
  if (!outputsSpareTheLogs(outputs, present)) return kTimingsFailureStatus;
  for (size_t i = 0; i < logs.size(); ++i) {
    const std::string trainingDataFile = kDataSetNames[i] + suffix;
    if (!runTallis(tallisPath, logs[i], positivesRatio, trainingDataFile))
      return kTimingsFailureStatus;
    std::cout << "Training data: " << trainingDataFile << std::endl;
  }
  return kTimingsDoneStatus;
}
