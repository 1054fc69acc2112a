// Options, key lists and the fixed sequence of steps from workload log to training file.

#include "samples/tallis_cli.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/program_options.hpp>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "samples/exception.h"
#include "samples/sample_selection.h"
#include "samples/tallis_exit.h"
#include "samples/training_file.h"

namespace po = boost::program_options;

void printUsageInformation() {
  std::cout << "Usage: ./tallis -i<input_features> -o<ouput_features> "
               "-r<training:validation:test> -pr<positives_ratio> input_file output_file"
            << std::endl;
}

std::vector<AttributeFunction> createAttributesVector(std::string keys) {
  std::vector<std::string> fields;
  boost::split(fields, keys, boost::is_any_of(","));
  for (size_t i = 0; i < fields.size(); ++i) {
    std::cout << "atrib[" << i << "]=" << fields[i] << std::endl;
  }
  std::vector<AttributeFunction> functions;
  for (const std::string& field : fields) {
    AttributeFunction function = findAttributeFunction(field);
    if (function == nullptr) {
      std::cerr << "Wrong attribute function" << std::endl;
      endTallis(1);
    }
    functions.push_back(function);
  }
  return functions;
}

namespace {

bool isNonNegativeNumber(double value) { return std::isfinite(value) && value >= 0; }

}  // namespace

void parseOptions(int argc, char** argv, std::vector<AttributeFunction>& inputs,
                  std::vector<AttributeFunction>& outputs, double& trainingRatio,
                  double& validationRatio, double& testRatio, double& positivesRatio) {
  po::options_description description("Allowed options");
  // clang-format off
  description.add_options()
      ("-i", po::value<std::string>(), "all input attributes, comma delimited")
      ("-o", po::value<std::string>(), "all output attributes, comma delimited")
      ("-r", po::value<std::string>(), "data set ratios (training:validation:test)")
      ("-p", po::value<double>(), "positives ratio in all samples - [0,1]");
  // clang-format on
  po::variables_map options;
  po::store(po::parse_command_line(argc, argv, description), options);
  po::notify(options);
  if (!options.count("-i") || !options.count("-o") || !options.count("-r") ||
      !options.count("-p")) {
    std::cerr << "Error parsing options" << std::endl;
    endTallis(0);
  }
  inputs = createAttributesVector(options["-i"].as<std::string>());
  outputs = createAttributesVector(options["-o"].as<std::string>());

  std::vector<std::string> ratios;
  std::string ratioText = options["-r"].as<std::string>();
  boost::split(ratios, ratioText, boost::is_any_of(":"));
  if (ratios.size() < 3) {
    throw Exception("Data set ratios need three values: -r<training:validation:test>");
  }
  trainingRatio = std::strtod(ratios[0].c_str(), nullptr);
  validationRatio = std::strtod(ratios[1].c_str(), nullptr);
  testRatio = std::strtod(ratios[2].c_str(), nullptr);
  if (!isNonNegativeNumber(trainingRatio) || !isNonNegativeNumber(validationRatio) ||
      !isNonNegativeNumber(testRatio)) {
    throw Exception("Data set ratios must be non-negative numbers");
  }
  if (trainingRatio + validationRatio == 0) {
    throw Exception("Training and validation ratios must not both be 0");
  }
  positivesRatio = options["-p"].as<double>();
  if (!(positivesRatio >= 0 && positivesRatio <= 1)) {
    throw Exception("Positives ratio must be between 0 and 1");
  }
}

int runTallis(int argc, char** argv) {
  if (argc < 7) {
    printUsageInformation();
    return 0;
  }
  std::vector<AttributeFunction> inputs, outputs;
  double trainingRatio = 0, validationRatio = 0, testRatio = 0, positivesRatio = 0;
  parseOptions(argc, argv, inputs, outputs, trainingRatio, validationRatio, testRatio,
               positivesRatio);
  std::string inputFile = argv[argc - 2];
  std::string outputFile = argv[argc - 1];

  std::vector<JobData> jobs = parseFile(inputFile);
  std::cout << "num jobs =" << jobs.size() << std::endl;
  jobs = filterOutPartialJobs(jobs);
  std::cout << "num jobs =" << jobs.size() << std::endl;
  if (jobs.empty()) throw Exception("No finished jobs in the log");

  SplitCounts split =
      splitJobs(static_cast<int>(jobs.size()), trainingRatio, validationRatio, testRatio);
  if (split.test < 0) {
    throw Exception("Data set ratios give more training and validation samples than jobs");
  }
  int leading =
      changeTrainingSamplePositivesRatio(jobs, split.training + split.validation, positivesRatio);
  split = resplitJobs(leading, split.test, trainingRatio, validationRatio, jobs.size());
  if (jobs.empty()) throw Exception("No jobs left after the positives ratio step");

  createUserIdLookupTable(jobs);
  int outputValues = outputSize(jobs, outputs);
  int inputValues = inputSize(jobs, inputs);
  std::cout << "input size=" << inputValues << "    output size=" << outputValues << std::endl;
  std::cout << "Writing file..." << std::endl;
  createTrainingFile(jobs, inputs, outputs, outputFile, split.training, split.validation,
                     split.test);
  std::cout << "File written" << std::endl;
  std::cout << "and... done." << std::endl;
  return 0;
}
