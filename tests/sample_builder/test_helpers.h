#pragma once
// Shared by the tallis tests: job lines and records, hidden files, signals to a program.

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sample_builder/attribute_table.h"
#include "sample_builder/job_data.h"
#include "tests/support/test_support.h"

namespace tallis_test {

// One SWF job line; the unnamed columns get plausible fixed values.
inline std::string jobLine(int number, double submit, int status, int user, int application,
                           double runTime = 100, double cpuTime = 90) {
  std::ostringstream line;
  line << number << " " << submit << " 5 " << runTime << " 4 " << cpuTime << " 1024 4 3600 -1 "
       << status << " " << user << " 1 " << application << " 1 1 -1 -1\n";
  return line.str();
}

inline JobData job(int status, int user, int application, double submit = 0, double runTime = 100,
                   double cpuTime = 90) {
  JobData job;
  job.status = status;
  job.userID = user;
  job.applicationNumber = application;
  job.submitTime = submit;
  job.runTime = runTime;
  job.averageCPUTimeUsed = cpuTime;
  return job;
}

// The rows of a comma-separated key list (every key must be in the table).
inline AttributeList rows(const std::string& keys) {
  AttributeList list;
  std::istringstream fields(keys);
  std::string key;
  while (std::getline(fields, key, ',')) {
    const AttributeRow* row = findAttribute(key);
    if (row == nullptr) throw std::invalid_argument("no attribute key " + key);
    list.push_back(row);
  }
  return list;
}

inline bool haveFile(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// Names in dir that start with "." (the temporary files of the writers), "." and ".." aside.
inline std::vector<std::string> hiddenFiles(const std::string& dir) {
  std::vector<std::string> names;
  DIR* folder = opendir(dir.c_str());
  if (folder == nullptr) return names;
  while (dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name[0] == '.' && name != "." && name != "..") names.push_back(name);
  }
  closedir(folder);
  return names;
}

// Starts the program with standard output into `out` (-1: /dev/null) and standard error into
// dir/stderr.txt, sends `signal` as soon as a temporary file appears in dir, and returns the
// wait status (-1 when none appeared within 60 s).
inline int signalWhenTemporaryFileAppears(const std::vector<std::string>& arguments,
                                          const test_support::ScratchFolder& dir, int signal,
                                          int out = -1) {
  pid_t child = fork();
  if (child == 0) {
    int error = open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out >= 0 ? out : open("/dev/null", O_WRONLY), STDOUT_FILENO);
    dup2(error, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (hiddenFiles(dir.path()).empty() && std::chrono::steady_clock::now() < deadline) {
    usleep(2000);
  }
  const bool appeared = !hiddenFiles(dir.path()).empty();
  kill(child, appeared ? signal : SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  return appeared ? status : -1;
}

inline std::string swfPath(const std::string& name) {
  return std::string(SWF_DATA_DIR) + "/" + name;
}

}  // namespace tallis_test
