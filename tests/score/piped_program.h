#pragma once
// A program fed through a pipe one line at a time, its standard output read back line by line
// with a time limit: what tells a stream that answers each line at once from one that waits
// for more input or buffers its output.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

class PipedProgram {
 public:
  // Runs the shell command line with its standard input and output on pipes and its standard
  // error in errorFile.
  PipedProgram(const std::string& commandLine, const std::string& errorFile) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      const int error = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (error >= 0) dup2(error, 2);
      close(toChild[1]);
      close(fromChild[0]);
      execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    output_ = fromChild[0];
  }
  ~PipedProgram() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  PipedProgram(const PipedProgram&) = delete;
  PipedProgram& operator=(const PipedProgram&) = delete;

  bool started() const { return pid_ > 0; }
  // Writes the line and its line feed.
  bool send(const std::string& line) {
    const std::string text = line + "\n";
    return write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  // The next line of output without its line feed, or "<timeout>" when none is complete
  // within the limit, "<end>" at the end of the output.
  std::string readLine(int milliseconds = 10000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      const size_t feed = pending_.find('\n');
      if (feed != std::string::npos) {
        const std::string line = pending_.substr(0, feed);
        pending_.erase(0, feed + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return "<timeout>";
      pollfd ready{output_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[4096];
      const ssize_t count = read(output_, chunk, sizeof chunk);
      if (count <= 0) return "<end>";
      pending_.append(chunk, static_cast<size_t>(count));
    }
  }
  // Closes the input and returns the exit status (-1 when the program did not exit).
  int finish() {
    close(input_);
    input_ = -1;
    int status = 0;
    const pid_t pid = pid_;
    pid_ = -1;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string pending_;
};
