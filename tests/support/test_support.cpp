#include "tests/support/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test_support {

std::string scratchRoot() {
  // TEST_TMPDIR is GoogleTest's own choice of temporary folder; the tests' main sets it.
  for (const char* variable : {"TEST_TMPDIR", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

ScratchFolder::ScratchFolder(const std::string& prefix) {
  std::string pattern = scratchRoot() + "/" + prefix + "_XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    throw std::runtime_error("cannot make a scratch folder like " + pattern);
  }
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::write(const std::string& name, const std::string& text) const {
  writeFile(file(name), text);
  return file(name);
}

ScratchWorkingDirectory::ScratchWorkingDirectory(const std::string& prefix)
    : original_(std::filesystem::current_path().string()), folder_(prefix) {
  std::filesystem::current_path(folder_.path());
}

ScratchWorkingDirectory::~ScratchWorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(original_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

namespace {

// One redirected descriptor: the file it writes to and a copy of what it was before.
struct Capture {
  int saved = -1;
  std::string path;
};

Capture& captureOf(int descriptor) {
  static Capture captures[3];
  return captures[descriptor];
}

void startCapture(int descriptor) {
  Capture& capture = captureOf(descriptor);
  if (capture.saved >= 0) throw std::logic_error("already capturing");
  std::fflush(nullptr);
  std::string pattern = scratchRoot() + "/captured_XXXXXX";
  const int file = mkstemp(&pattern[0]);
  if (file < 0) throw std::runtime_error("cannot make " + pattern);
  capture.saved = dup(descriptor);
  capture.path = pattern;
  dup2(file, descriptor);
  close(file);
}

std::string endCapture(int descriptor) {
  Capture& capture = captureOf(descriptor);
  if (capture.saved < 0) throw std::logic_error("not capturing");
  std::fflush(nullptr);
  dup2(capture.saved, descriptor);
  close(capture.saved);
  capture.saved = -1;
  std::string text = readFile(capture.path);
  std::remove(capture.path.c_str());
  return text;
}

}  // namespace

void captureStdout() { startCapture(STDOUT_FILENO); }
std::string capturedStdout() { return endCapture(STDOUT_FILENO); }
void captureStderr() { startCapture(STDERR_FILENO); }
std::string capturedStderr() { return endCapture(STDERR_FILENO); }

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

ProgramRun runProgram(const std::string& commandLine, const std::string& input,
                      const std::string& workingDirectory) {
  const ScratchFolder streams("streams");
  const std::string in = streams.write("in", input);
  std::string command = "(" + commandLine + ") <" + shellQuoted(in) + " >" +
                        shellQuoted(streams.file("out")) + " 2>" + shellQuoted(streams.file("err"));
  if (!workingDirectory.empty()) command = "cd " + shellQuoted(workingDirectory) + " && " + command;
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(streams.file("out")),
          readFile(streams.file("err"))};
}

}  // namespace test_support
