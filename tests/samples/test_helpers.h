#pragma once
// Shared by the tallis tests: temporary files, running a program, reading a file back.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "samples/job_data.h"

namespace tallis_test {

// A fresh directory under /tmp, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/tallis-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a shell command line with stdout and stderr captured into files of `dir`.
inline ProgramResult runProgram(const TempDir& dir, const std::string& commandLine) {
  std::string outFile = dir.file("stdout.txt"), errFile = dir.file("stderr.txt");
  int raw = std::system((commandLine + " >'" + outFile + "' 2>'" + errFile + "'").c_str());
  ProgramResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(outFile);
  result.err = readFile(errFile);
  return result;
}

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

inline bool haveFile(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

inline std::string swfPath(const std::string& name) {
  return std::string(SWF_DATA_DIR) + "/" + name;
}

}  // namespace tallis_test
