#include "ombra/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "nn/reloaded_network.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::lines;
using test_support::ProgramRun;
using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;

const std::string ombra = OMBRA_PATH;
const std::string usage =
    "Usage: ./ombra <NN_type> <nnet_config_file>  <training_data_file>  "
    "<algorithm_parameters_file> [<network_file>]\n"
    "       ./ombra <network_file>\n";

// Two inputs in [0, 10] and [-5, 5], one output in [100, 300], no hidden layer.
std::string twoInputNetwork() {
  return networkFileBytes({2, 1}, {0.25f, 1.5f, -0.75f, 0, 10, -5, 5, 100, 300});
}

std::string outputLine(NN& network, std::vector<float> input) {
  std::ostringstream line;
  line << "Output: ";
  for (float value : network.predict(input)) line << static_cast<double>(value) << ' ';
  return line.str() + "\n";
}

std::string infoOf(NN& network) {
  test_support::captureStdout();
  network.printInfo();
  return test_support::capturedStdout();
}

TEST(OmbraCommandLine, WrongNumberOfArguments) {
  for (const char* arguments : {"", " a b", " a b c", " a b c d e f"}) {
    SCOPED_TRACE(arguments);
    const ProgramRun result = runProgram("'" + ombra + "'" + arguments + " </dev/null");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, usage);
    const std::string given =
        std::to_string(std::count(arguments, arguments + strlen(arguments), ' '));
    EXPECT_EQ(result.err,
              "Wrong number of arguments: " + given +
                  " given; 4 or 5 to train a network, 1 to reload one (ombra --help)\n");
  }
}

TEST(OmbraCommandLine, WrongTypeBeforeAnyFileIsOpened) {
  const std::string types =
      "; the types: PSO, PSO_local_GPU, PSO_local_CPU, PSO_private_GPU, PSO_private_CPU, BP, "
      "BP_GPU, BP_CPU (ombra --help says what each one is)\n";
  const std::pair<const char*, const char*> cases[] = {
      {"bp", " (did you mean BP? the match is case-sensitive)"},
      {"pso", " (did you mean PSO? the match is case-sensitive)"},
      {"BP_gpu", " (did you mean BP_GPU? the match is case-sensitive)"},
      {"XYZ", ""},
      {"", ""}};
  for (const auto& [type, hint] : cases) {
    SCOPED_TRACE(type);
    const ProgramRun result =
        runProgram("'" + ombra + "' '" + type + "' missing.cfg missing.dat missing.txt </dev/null");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Wrong NN type: '" + std::string(type) + "'" + hint + types);
  }
}

// The help and the version alone; "--help" is never taken for a network file.
TEST(OmbraCommandLine, HelpAndVersion) {
  for (const char* help : {"--help", "-h"}) {
    SCOPED_TRACE(help);
    const ProgramRun result = runProgram("'" + ombra + "' " + help + " </dev/null");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind(usage, 0), 0u) << result.out;
    for (const char* row :
         {"\n  PSO              particle swarm on the CPU\n",
          "\n  PSO_local_GPU    particle swarm, OpenCL local-memory kernel, GPU "
          "device\n",
          "\n  PSO_private_CPU  particle swarm, OpenCL private-memory kernel, "
          "CPU device\n",
          "\n  BP_GPU           back-propagation through OpenCL on a GPU device\n"}) {
      EXPECT_NE(result.out.find(row), std::string::npos) << row << "\nin:\n" << result.out;
    }
  }
  const ProgramRun version = runProgram("'" + ombra + "' --version </dev/null");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("ombra ") + PROJECT_VERSION + "\n");
}

TEST(OmbraPrediction, HandMadeNetworkAnswersQueries) {
  ScratchFolder folder;
  const std::string name = folder.write("net.bin", twoInputNetwork());
  NN_reloaded network(name);
  const std::string answers = outputLine(network, {1, 2}) +
                              "Input:" + outputLine(network, {7.5f, -4.25f}) +
                              "Input:" + outputLine(network, {1e6f, 0.5f}) + "Input:\n";
  const std::string expected = infoOf(network) + "Input:" + answers;
  // Several values per line, one value per line, and a vector split over lines.
  for (const char* queries : {"1 2\n7.5 -4.25\n1e+06 .5\n", "1\n2\n7.5\n-4.25\n1e6\n0.5\n",
                              "1\t2 7.5\n\n  -4.25 1000000 +0.5"}) {
    SCOPED_TRACE(queries);
    const ProgramRun result =
        runProgram("printf '" + std::string(queries) + "' | '" + ombra + "' '" + name + "'");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
  }
  // By hand: inputs scale to -0.8 and 0.4; s = 0.25 - 0.8 * 1.5 + 0.4 * -0.75 = -1.25;
  // sigmoid(-1.25) = 0.2227; 100 + 200 * 0.2227 = 144.54.
  EXPECT_EQ(outputLine(network, {1, 2}), "Output: 144.54 \n");
}

TEST(OmbraPrediction, EndOfInputAndValuesThatAreNotNumbers) {
  ScratchFolder folder;
  const std::string name = folder.write("net.bin", twoInputNetwork());
  NN_reloaded network(name);
  const std::string info = infoOf(network);

  ProgramRun result = runProgram("'" + ombra + "' '" + name + "' </dev/null");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, info + "Input:\n");

  result = runProgram("printf '1 2\\n3 x\\n' | '" + ombra + "' '" + name + "'");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, info + "Input:" + outputLine(network, {1, 2}) + "Input:\n");
  EXPECT_EQ(result.err, "Input value is not a number: 'x', value 2 of 2\n");

  result = runProgram("printf '1 2 3' | '" + ombra + "' '" + name + "'");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Input ended after 1 of 2 values\n");
}

TEST(OmbraPrediction, MissingOrCorruptNetworkFile) {
  ScratchFolder folder;
  ProgramRun result = runProgram("'" + ombra + "' missing.bin </dev/null");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Error opening file: missing.bin: no such file or directory\n");

  const std::string name = folder.write("short.bin", twoInputNetwork().substr(0, 30));
  result = runProgram("'" + ombra + "' '" + name + "' </dev/null");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Corrupt network file: " + name + ": file too short for its layer sizes\n");
}

// With a real trainer: the trained network answers as the one reloaded from its file.
TEST(OmbraTraining, TrainedAndReloadedNetworksAnswerAlike) {
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "2 3 1");
  const std::string data =
      folder.write("train.dat",
                   "3 1 1\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n"
                   "0\t12\t0\t\n1\t45\t1\t\n0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n");
  const std::string parameters = folder.write("bp.txt", "Iterations: 20\nStrip length: 5\n");
  const std::string saved = folder.file("net.bin");
  const std::string queries = "printf '0 12\\n1 45\\n0.5 30\\n' | ";
  const ProgramRun trained = runProgram(queries + "'" + ombra + "' BP '" + configuration + "' '" +
                                        data + "' '" + parameters + "' '" + saved + "'");
  if (trained.err.rfind("Wrong NN type", 0) == 0) GTEST_SKIP() << "BP is not built into ombra yet";
  ASSERT_EQ(trained.status, 0) << trained.err;
  const ProgramRun reloaded = runProgram(queries + "'" + ombra + "' '" + saved + "'");
  ASSERT_EQ(reloaded.status, 0) << reloaded.err;
  const size_t trainedDialogue = trained.out.find("Input:");
  const size_t reloadedDialogue = reloaded.out.find("Input:");
  ASSERT_NE(trainedDialogue, std::string::npos);
  EXPECT_NE(trained.out.find("Training...\n"), std::string::npos);
  EXPECT_LT(trained.out.find("Network trained\nTest set MSE= "), trainedDialogue);
  EXPECT_LT(trained.out.find("Test set TPR= "), trainedDialogue);
  EXPECT_EQ(trained.out.substr(trainedDialogue), reloaded.out.substr(reloadedDialogue));
  EXPECT_EQ(std::count(reloaded.out.begin(), reloaded.out.end(), '\n'), 9 + 4);  // info, answers
}

// The status line of training reaches a terminal only: under script(1) standard error is one,
// and shows the epochs and is cleared at the end; standard output keeps its bytes.
TEST(OmbraTraining, StatusLineOnlyWhenStandardErrorIsATerminal) {
  ScratchFolder folder;
  folder.write("net.cfg", "2 3 1");
  folder.write("train.dat",
               "3 1 1\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n"
               "0\t12\t0\t\n1\t45\t1\t\n0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n");
  folder.write("bp.txt", "Iterations: 300\nStrip length: 5\nSeed: 3\n");
  const std::string train =
      "cd '" + folder.path() + "' && '" + ombra + "' BP net.cfg train.dat bp.txt </dev/null";
  const ProgramRun plain = runProgram(train);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  // script copies what the program writes to the terminal to its own standard output.
  const ProgramRun terminal = runProgram(
      "script -qec " + test_support::shellQuoted(train + " >'" + folder.file("out.txt") + "'") +
      " /dev/null");
  ASSERT_EQ(terminal.status, 0) << terminal.err;
  EXPECT_EQ(readFile(folder.file("out.txt")), plain.out);
  const std::string& screen = terminal.out;
  EXPECT_NE(screen.find("\r\033[Kepoch 1 of 300, "), std::string::npos) << screen;
  EXPECT_NE(screen.find("best validation MSE "), std::string::npos) << screen;
  ASSERT_GE(screen.size(), 4u);
  EXPECT_EQ(screen.substr(screen.size() - 4), "\r\033[K") << "the line is cleared at the end";
}

TEST(PredictionLoop, ThreeInputsAnswerOnlyAfterTheThirdValue) {
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({3, 2}, {0, 1, 0, 1, 0, 1}, {0, 1, 0, 1}, {0, 1, 2, 3, -1, -2, 1, 0.5f}));
  std::istringstream in("0.25\n0.5\n");
  std::ostringstream out;
  EXPECT_EXIT(
      {
        std::istringstream partial("0.25\n0.5\n");
        std::ostringstream ignored;
        predictionLoop(*network, partial, ignored);
      },
      ::testing::ExitedWithCode(255), "^Input ended after 2 of 3 values\n$");
  std::istringstream complete("0.25\n0.5\n0.75\n");
  EXPECT_EQ(predictionLoop(*network, complete, out), 0);
  EXPECT_EQ(out.str(), "Input:" + outputLine(*network, {0.25f, 0.5f, 0.75f}) + "Input:\n");
}

// A trainer stand-in: the weights it "learns" are fixed, and it says when it trains.
class FixedTrainer : public TestNetwork {
 public:
  FixedTrainer(const std::string& configuration, const std::string& data, const std::string&)
      : TestNetwork(configuration, data) {}
  double train() override {
    std::cout << "training" << std::endl;
    weights = {-0.5f, 2.0f, 1.0f};
    return 1.0;
  }
  void printInfo() override {
    NN::printInfo();
    std::cout << "trainer info" << std::endl;
  }
};

std::unique_ptr<NN> createFixedTrainer(const std::string& configuration, const std::string& data,
                                       const std::string& parameters) {
  return std::make_unique<FixedTrainer>(configuration, data, parameters);
}

std::vector<TrainerKind> testTypes() {
  TrainerKind notYet{};
  notYet.name = "NOTYET";  // no constructor: a class not built into the program
  TrainerKind fixed{};
  fixed.name = "FIXED";
  fixed.create = createFixedTrainer;
  return {notYet, fixed};
}

// Runs runOmbra in a child with the given standard input; its standard output lands in
// folder/out.txt. Returns what the child printed.
std::string runInChild(const ScratchFolder& folder, std::vector<std::string> arguments,
                       const std::string& input, int status, const std::string& error) {
  const std::string inputFile = folder.write("in.txt", input);
  const std::string outputFile = folder.file("out.txt");
  std::vector<char*> argv;
  arguments.insert(arguments.begin(), "ombra");
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  EXPECT_EXIT(
      {
        std::freopen(inputFile.c_str(), "r", stdin);
        std::freopen(outputFile.c_str(), "w", stdout);
        std::exit(runOmbra(static_cast<int>(argv.size()), argv.data(), testTypes()));
      },
      ::testing::ExitedWithCode(status), error);
  return readFile(outputFile);
}

const char* exampleData =
    "3 1 1\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n"
    "0\t12\t0\t\n1\t45\t1\t\n0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n";

TEST(OmbraTrainingDeathTest, TypeWhoseClassIsNotBuiltYet) {
  ScratchFolder folder;
  // A type whose class is not built in is not offered either.
  runInChild(
      folder, {"NOTYET", "a", "b", "c"}, "", 255,
      "^Wrong NN type: 'NOTYET'; the types: FIXED \\(ombra --help says what each one is\\)\n$");
}

TEST(OmbraTrainingDeathTest, OutputSequenceSaveThenQueries) {
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "2 1");
  const std::string data = folder.write("train.dat", exampleData);
  const std::string parameters = folder.write("params.txt", "");

  FixedTrainer trained(configuration, data, parameters);
  const std::string information = infoOf(trained);
  test_support::captureStdout();
  trained.train();
  const float mse = trained.testMeanSquaredError();
  trained.truePositiveRate();
  test_support::capturedStdout();
  std::ostringstream figures;
  figures << "Test set MSE= " << static_cast<double>(mse) << "\n"
          << "positives = 0\tnegatives = 1\n"
          << "true positives = 0\tfalse positives = 1\n"
          << "true negatives = 0\tfalse negatives = 0\n"
          << "Test set TPR= nan\n";
  const std::string queries = "1 30\n";
  const std::string dialogue = "Input:" + outputLine(trained, {1, 30}) + "Input:\n";
  const std::string before =
      information + "Training...\ntraining\nNetwork trained\n" + figures.str();

  // Four arguments: nothing is saved.
  const std::string saved = folder.file("net.bin");
  EXPECT_EQ(runInChild(folder, {"FIXED", configuration, data, parameters}, queries, 0, "^$"),
            before + dialogue);
  EXPECT_FALSE(std::ifstream(saved).good());

  // Five: the network file is written after the TPR line and before the first prompt.
  runInChild(folder, {"FIXED", configuration, data, parameters, saved}, queries, 0, "^$");
  const std::string output = runInChild(
      folder, {"FIXED", configuration, data, parameters, "/dev/stdout"}, queries, 0, "^$");
  EXPECT_EQ(output, before + readFile(saved) + dialogue);
  NN_reloaded reloaded(saved);
  EXPECT_EQ(reloaded.predict({1, 30}), trained.predict({1, 30}));
}

}  // namespace
