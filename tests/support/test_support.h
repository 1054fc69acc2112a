#pragma once

// What every test, fuzzing harness and benchmark needs around the code it checks: a scratch
// folder that goes away with everything in it, reading and writing whole files, and running a
// program with its standard streams captured. No GoogleTest here: the fuzzers and benchmarks
// link it too.

#include <string>
#include <vector>

namespace test_support {

// The folder every scratch folder of this process is made in: the run's own folder when the
// tests' main made one (tests/support/test_main.cpp), else $TMPDIR or /tmp.
std::string scratchRoot();

// A fresh folder <scratchRoot>/<prefix>_XXXXXX, removed with its contents when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix = "ombra_test");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes text to the file name in the folder and returns its path.
  std::string write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

// A scratch folder that is the working directory while the object lives: for code that reads
// and writes fixed file names there (NN_kernels.cl, the experiments' files).
class ScratchWorkingDirectory {
 public:
  explicit ScratchWorkingDirectory(const std::string& prefix = "ombra_test");
  ~ScratchWorkingDirectory();
  const ScratchFolder& folder() const { return folder_; }

 private:
  std::string original_;
  ScratchFolder folder_;
};

// The bytes of a file; empty when it cannot be read.
std::string readFile(const std::string& path);
// Replaces the file with text, byte for byte.
void writeFile(const std::string& path, const std::string& text);
// The lines of text, without their line feeds.
std::vector<std::string> lines(const std::string& text);

struct ProgramRun {
  int status;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs a shell command line with input as its standard input and its standard output and
// error captured, in workingDirectory (empty: this process's). The captured streams go
// through a scratch folder of their own, so the working directory holds only what the program
// writes.
ProgramRun runProgram(const std::string& commandLine, const std::string& input = "",
                      const std::string& workingDirectory = "");

// Standard output (or error) redirected into a file of the scratch root until taken back with
// capturedStdout (capturedStderr), which returns what was written meanwhile. GoogleTest's own
// capture keeps its files in /tmp, where they stay when a process ends while capturing.
void captureStdout();
std::string capturedStdout();
void captureStderr();
std::string capturedStderr();

// A path or argument quoted for the shell.
std::string shellQuoted(const std::string& text);

}  // namespace test_support
