// swfgen: writes a synthetic SWF workload log to standard output or a file.
//   swfgen [--jobs N] [--users N] [--apps-per-user N] [--apps N] [--seed N] [output_file]

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "files/output_file.h"
#include "sample_builder/exception.h"
#include "sample_builder/tallis_output.h"
#include "tallis/exit_status.h"
#include "tallis/swf_generator.h"
#include "tallis/tallis_exit.h"
#include "version.h"

namespace {

// The largest value of each option: job numbers, user ids and application numbers are 32-bit
// columns of the log (and each user brings two applications unless --apps is given).
const unsigned long long kMaxJobs = 2147483647;
const unsigned long long kMaxUsers = 1073741823;
const unsigned long long kMaxApplications = 2147483647;
const unsigned long long kMaxSeed = 18446744073709551615ull;

// Every error of swfgen is thrown, as in tallis, and main reports it: the message on standard
// error and tallis_status::kFailure, no log left behind.

// A whole non-negative decimal number up to maximum; anything else is an Exception.
unsigned long long numberOption(const char* name, const char* text, unsigned long long maximum) {
  const char* digits = text;
  while (std::isspace(static_cast<unsigned char>(*digits))) ++digits;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  const std::string wrong = std::string("Wrong value for ") + name + ": " + text;
  if (end == digits || *end != '\0' || *digits == '-') {
    throw Exception(wrong + " (a whole number from 0 to " + std::to_string(maximum) + ")");
  }
  if (errno == ERANGE || value > maximum) {
    throw Exception(wrong + " (at most " + std::to_string(maximum) + ")");
  }
  return value;
}

const char kUsage[] =
    "Usage: swfgen [--jobs N] [--users N] [--apps-per-user N] [--apps N] [--seed N] "
    "[output_file]";

int runSwfgen(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage
              << "\nWrites a synthetic workload log (SWF) to output_file, or to standard "
                 "output (also for -).\n"
              << std::flush;
    return tallis_status::kDone;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "swfgen " << kVersion << std::endl;
    return tallis_status::kDone;
  }
  SwfGeneratorOptions options;
  std::string outputFile;
  bool haveOutput = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    auto number = [&](const char* name, unsigned long long maximum) {
      if (i + 1 >= argc) {
        throw Exception(std::string("Missing value for ") + name + " (a whole number from 0 to " +
                        std::to_string(maximum) + ")");
      }
      return numberOption(name, argv[++i], maximum);
    };
    if (argument == "--jobs") {
      options.jobs = static_cast<long long>(number("--jobs", kMaxJobs));
    } else if (argument == "--users") {
      options.users = static_cast<int>(number("--users", kMaxUsers));
    } else if (argument == "--apps-per-user") {
      options.applicationsPerUser = static_cast<int>(number("--apps-per-user", kMaxApplications));
    } else if (argument == "--apps") {
      options.applications = static_cast<int>(number("--apps", kMaxApplications));
    } else if (argument == "--seed") {
      options.seed = static_cast<uint64_t>(number("--seed", kMaxSeed));
    } else if (argument.size() > 1 && argument[0] == '-') {
      throw Exception(std::string(kUsage) + "\nUnknown option: " + argument + " (swfgen --help)");
    } else if (haveOutput) {
      // A shell glob or a stray word: which of the names was meant cannot be told.
      throw Exception("Too many file names: '" + outputFile + "' '" + argument +
                      "' (swfgen writes one log)");
    } else {
      outputFile = argument;
      haveOutput = true;
    }
  }
  if (outputFile.empty() || outputFile == "-") {
    errno = 0;
    generateSwfLog(options, std::cout);
    std::cout.flush();
    if (std::cout) return tallis_status::kDone;
    // A full disk or a closed pipe behind standard output: the log is incomplete.
    std::string reason = errno != 0 ? std::strerror(errno) : "";
    if (!reason.empty()) reason = ": " + std::string(1, std::tolower(reason[0])) + reason.substr(1);
    throw Exception("Error writing standard output" + reason);
  }
  // Written like tallis's training data file: a temporary file renamed into place when
  // complete, so a full disk, a size limit or a signal never leaves a truncated log.
  OutputFile file(outputFile, FileKind::workloadLog, tallisOutputMessage);
  OutputFileBuffer buffer(file);
  std::ostream out(&buffer);
  generateSwfLog(options, out);
  buffer.finish();
  file.commit();
  return tallis_status::kDone;
}

}  // namespace

int main(int argc, char** argv) {
  // A file size limit makes a write fail with a message instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return runEndingOnError(runSwfgen, argc, argv);
}
