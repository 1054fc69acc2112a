// swfgen: writes a synthetic SWF workload log to standard output or a file.
//   swfgen [--jobs N] [--users N] [--apps-per-user N] [--apps N] [--seed N] [output_file]

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "samples/swf_generator.h"

int main(int argc, char** argv) {
  SwfGeneratorOptions options;
  std::string outputFile;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    auto number = [&](const char* name) {
      if (i + 1 >= argc) {
        std::cerr << "Missing value for " << name << std::endl;
        std::exit(1);
      }
      char* end = nullptr;
      long long value = std::strtoll(argv[++i], &end, 10);
      if (*end != '\0' || value < 0) {
        std::cerr << "Wrong value for " << name << ": " << argv[i] << std::endl;
        std::exit(1);
      }
      return value;
    };
    if (argument == "--jobs") {
      options.jobs = number("--jobs");
    } else if (argument == "--users") {
      options.users = static_cast<int>(number("--users"));
    } else if (argument == "--apps-per-user") {
      options.applicationsPerUser = static_cast<int>(number("--apps-per-user"));
    } else if (argument == "--apps") {
      options.applications = static_cast<int>(number("--apps"));
    } else if (argument == "--seed") {
      options.seed = static_cast<uint64_t>(number("--seed"));
    } else if (!argument.empty() && argument[0] == '-') {
      std::cerr << "Usage: swfgen [--jobs N] [--users N] [--apps-per-user N] [--apps N] "
                   "[--seed N] [output_file]"
                << std::endl;
      return 1;
    } else {
      outputFile = argument;
    }
  }
  if (outputFile.empty()) {
    generateSwfLog(options, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  std::ofstream out(outputFile);
  if (!out) {
    std::cerr << "Error opening file" << std::endl;
    return 1;
  }
  generateSwfLog(options, out);
  out.close();
  if (!out) {
    std::cerr << "Error writing file" << std::endl;
    return 1;
  }
  return 0;
}
