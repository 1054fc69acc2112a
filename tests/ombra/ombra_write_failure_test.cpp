// Write failures of ombra's files: a full disk, a folder that cannot hold the file, a file
// size limit part-way. Each is reported with its message and status 255, nothing after the
// failed save runs, and a file already there keeps its content. Files that must not be
// replaced (an input, a read-only file, a link planted in /tmp) are refused before any work,
// and a signal during the write leaves no temporary file.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ProgramRun;
using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;

// 12 inputs, 100 hidden neurons, 1 output: a network file of 5,772 bytes.
const char* configuration = "12 100 1";

std::string trainingData() {
  std::ostringstream data;
  data << "6 2 2\n12 1\n";
  for (int j = 0; j < 12; ++j) data << "-1.25 11.25\n";
  data << "-0.125 1.125\n";
  for (int s = 0; s < 10; ++s) {
    for (int j = 0; j < 12; ++j) data << (s * 7 + j * 3) % 11 << '\t';
    data << s % 2 << "\t\n";
  }
  return data.str();
}

class OmbraSave : public testing::Test {
 protected:
  void SetUp() override {
    folder.write("net.cfg", configuration);
    folder.write("train.dat", trainingData());
    folder.write("bp.txt", "Iterations: 1\n");
  }
  // Trains for one epoch and saves under networkFile; shellSetup runs first (ulimit...).
  ProgramRun train(const std::string& networkFile, const std::string& shellSetup = "") {
    return runProgram(shellSetup + "cd '" + folder.path() + "' && '" + OMBRA_PATH +
                      "' BP net.cfg train.dat bp.txt '" + networkFile + "' </dev/null");
  }
  ScratchFolder folder;
};

TEST_F(OmbraSave, FullDiskIsReportedAndNothingRunsAfterIt) {
  const ProgramRun result = train("/dev/full");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Error writing file: /dev/full: no space left on device\n");
  EXPECT_NE(result.out.find("Test set TPR= "), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("Input:"), std::string::npos) << result.out;
}

TEST_F(OmbraSave, FolderThatCannotHoldTheFile) {
  // A path under a regular file, and one under a missing folder, fail for root as well; they
  // are found before the training, which would otherwise run for nothing.
  folder.write("plain.txt", "not a folder");
  for (const auto& [name, reason] :
       {std::make_pair(folder.file("plain.txt/net.bin"), "not a directory"),
        std::make_pair(folder.file("none/net.bin"), "no such file or directory")}) {
    SCOPED_TRACE(name);
    const ProgramRun result = train(name);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "Error opening file: " + name + ": " + reason + "\n");
    EXPECT_EQ(result.out, "");
  }
}

// A swapped argument must not turn an input into a network file, whatever name reaches it.
TEST_F(OmbraSave, NetworkFileThatIsAnInputIsRefusedBeforeAnyWork) {
  ASSERT_EQ(symlink("train.dat", folder.file("link.dat").c_str()), 0);
  ASSERT_EQ(mkdir(folder.file("sub").c_str(), 0755), 0);
  const struct {
    const char* networkFile;
    const char* role;
    const char* input;
  } cases[] = {
      {"train.dat", "training data", "train.dat"},
      {"link.dat", "training data", "train.dat"},
      {"sub/../net.cfg", "configuration", "net.cfg"},
      {"bp.txt", "algorithm parameters", "bp.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.networkFile);
    const std::string before = readFile(folder.file(c.input));
    const ProgramRun result = train(c.networkFile);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, std::string("Network file ") + c.networkFile +
                              " is the same file as the " + c.role + " file " + c.input + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(readFile(folder.file(c.input)), before);
  }
}

// A file of another kind under the network file's name (a shell glob, swapped or mistyped
// names) is refused before any work and left as it was; a network file, or a file of no kind
// the programs know, is replaced.
TEST_F(OmbraSave, FilesOfAnotherKindAreNeverReplaced) {
  const std::string network = networkFileBytes({2, 1}, {0.25f, 1.5f, -0.75f, 0, 10, -5, 5, 0, 1});
  const struct {
    const char* name;
    std::string content;
    const char* kind;  // "" when replaced
  } cases[] = {
      {"log.swf", "; Version: 2.2\n1 0 5 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n",
       "a workload log"},
      {"log.swf.gz", std::string("\x1f\x8b\x08\0\0\0\0\0", 8), "gzip-compressed data"},
      {"other.txt", "Learning rate: 0.5\nIterations: 9\n", "an algorithm parameters file"},
      {"NN_kernels.cl", "__kernel void f() {}\n", "the OpenCL kernel source"},
      {"old.dat", trainingData(), "a training data file"},
      {"old.cfg", "12 4 1\n", "a network configuration file"},
      {"old.bin", network, ""},
      {"notes.txt", "previous network", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = folder.write(c.name, c.content);
    const ProgramRun result = train(c.name);
    if (*c.kind == '\0') {
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_EQ(readFile(name).size(), 4u + 12 + 4 * 1401 + 8 * 12 + 8);
      continue;
    }
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, std::string("Error opening file: ") + c.name + ": " + c.kind +
                              ", not a network file\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(readFile(name), c.content);
  }
}

// A name of 250 bytes is valid: its temporary name must be too (the name plus eight bytes
// would pass the 255-byte limit of a name).
TEST_F(OmbraSave, LongestNamesAreSaved) {
  const std::string name(250, 'n');
  const ProgramRun result = train(name);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(folder.file(name)).size(), 4u + 12 + 4 * 1401 + 8 * 12 + 8);
}

TEST_F(OmbraSave, DivergedTrainingSavesNothing) {
  // Initial weights of +-3e38 overflow every sum: the weights end as nan.
  folder.write("bp.txt", "Lower limit: -3e38\nUpper limit: 3e38\nIterations: 1\n");
  const ProgramRun result = train("net.bin");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err.rfind("Training diverged by epoch 1: weight ", 0), 0u) << result.err;
  EXPECT_EQ(result.out.find("Network trained"), std::string::npos);
  EXPECT_FALSE(std::ifstream(folder.file("net.bin")).good());
}

TEST_F(OmbraSave, FileSizeLimitPartWayKeepsThePreviousFile) {
  const std::string name = folder.write("net.bin", "previous network");
  // Writes past 4 KiB fail (EFBIG, not SIGXFSZ); standard output stays below that.
  const ProgramRun result = train(name, "ulimit -f 4 && ");
  EXPECT_EQ(result.status, 255) << result.err;
  EXPECT_EQ(result.err, "Error writing file: " + name + ": file too large\n");
  EXPECT_EQ(readFile(name), "previous network");
  // No temporary file is left beside it.
  EXPECT_EQ(runProgram("ls -A '" + folder.path() + "' | grep -c '^\\.net'").out, "0\n");
}

TEST_F(OmbraSave, SavedNetworkReplacesThePreviousFileWhenAllGoesWell) {
  const std::string name = folder.write("net.bin", "previous network");
  const ProgramRun result = train(name);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(name).size(), 4u + 12 + 4 * 1401 + 8 * 12 + 8);
}

TEST(OmbraAnswers, UnwritableAnswersEndTheRunWithAMessage) {
  ScratchFolder folder;
  const std::string name =
      folder.write("net.bin", networkFileBytes({2, 1}, {0.25f, 1.5f, -0.75f, 0, 10, -5, 5, 0, 1}));
  const std::string ombra = "'" + std::string(OMBRA_PATH) + "' '" + name + "'";
  folder.write("queries.txt", "1 2\n3 4\n");
  const ProgramRun full = runProgram(ombra + " <'" + folder.file("queries.txt") + "' >/dev/full");
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err, "Error writing standard output: no space left on device\n");
  // A reader that stops early: EPIPE is reported, the program does not die of SIGPIPE.
  // (The feeding programs' own complaints about the closed pipe are not ombra's.)
  const ProgramRun closed =
      runProgram("bash -c \"yes '1 2' 2>/dev/null | head -n 100000 2>/dev/null | " + ombra +
                 " | head -c 10 >/dev/null; "
                 "exit \\${PIPESTATUS[2]}\"");
  EXPECT_EQ(closed.status, 255);
  EXPECT_EQ(closed.err, "Error writing standard output: broken pipe\n");
}

// A network whose lift chart of 200 test samples is longer than 100 bytes.
std::unique_ptr<TestNetwork> chartNetwork() {
  std::unique_ptr<TestNetwork> network(new TestNetwork({1, 1}, {0, 1}, {0, 1}, {0.25f, 0.5f}));
  network->testInputs.assign(200, 0.5f);
  network->testTargets.assign(200, 1.0f);
  return network;
}

// Names that start like the temporary files of name (".lift.csv.XXXXXX") in folder.
int temporaryFilesOf(const ScratchFolder& folder, const std::string& base) {
  const ProgramRun listing =
      runProgram("ls -A '" + folder.path() + "' | grep -c '^\\." + base + "\\.'");
  return std::stoi(listing.out);
}

// The signal under test arrives during the write: a file size limit makes the write raise
// SIGXFSZ, and its handler sends the signal.
int signalToSend = 0;
void sendSignal(int) { raise(signalToSend); }
void limitFileSize(rlim_t bytes) {
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(ReplaceFileDeathTest, SignalDuringTheWriteRemovesTheTemporaryFile) {
  std::unique_ptr<TestNetwork> network = chartNetwork();
  ScratchFolder folder;
  for (int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(number);
    const std::string name = folder.write("lift.csv", "previous chart");
    EXPECT_EXIT(
        {
          signalToSend = number;
          signal(SIGXFSZ, sendSignal);
          limitFileSize(100);
          network->writeLiftChart(name);
        },
        ::testing::KilledBySignal(number), "");
    EXPECT_EQ(readFile(name), "previous chart");
    EXPECT_EQ(temporaryFilesOf(folder, "lift.csv"), 0);
  }
  // Ignored, as under nohup: the write goes on, fails on the size limit and cleans up.
  const std::string name = folder.write("lift.csv", "previous chart");
  EXPECT_EXIT(
      {
        signal(SIGHUP, SIG_IGN);
        signalToSend = SIGHUP;
        signal(SIGXFSZ, sendSignal);
        limitFileSize(100);
        network->writeLiftChart(name);
      },
      ::testing::ExitedWithCode(255), "^Error writing file: " + name + ": file too large\n$");
  EXPECT_EQ(readFile(name), "previous chart");
  EXPECT_EQ(temporaryFilesOf(folder, "lift.csv"), 0);
}

// Whether a child process can become the unprivileged user nobody (65534).
bool canBecomeNobody() {
  const pid_t child = fork();
  if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// rename ignores the permissions of the file it replaces, and root may write any file: the
// check runs as an ordinary user, the test's own or nobody when the test runs as root.
TEST(ReplaceFileDeathTest, ReadOnlyTargetIsRefusedForAnOrdinaryUser) {
  const bool root = geteuid() == 0;
  if (root && !canBecomeNobody()) GTEST_SKIP() << "cannot switch to the user nobody (65534)";
  std::unique_ptr<TestNetwork> network = chartNetwork();
  ScratchFolder folder;
  ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
  const std::string shared = folder.file("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  const auto ownedFile = [&](const char* base, mode_t mode) {
    const std::string name = folder.write("shared/" + std::string(base), "previous chart");
    if (root) {
      EXPECT_EQ(chown(name.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(chmod(name.c_str(), mode), 0);
    return name;
  };
  const auto asOrdinaryUser = [root] {
    if (root && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(99);
  };
  const std::string readOnly = ownedFile("read-only.csv", 0444);
  EXPECT_EXIT(
      {
        asOrdinaryUser();
        network->writeLiftChart(readOnly);
      },
      ::testing::ExitedWithCode(255),
      "^Error opening file: " + readOnly + ": permission denied\n$");
  EXPECT_EQ(readFile(readOnly), "previous chart");
  // The same user replaces a file it may write.
  const std::string writable = ownedFile("writable.csv", 0644);
  EXPECT_EXIT(
      {
        asOrdinaryUser();
        network->writeLiftChart(writable);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(readFile(writable).rfind("is Positive;output\n", 0), 0u);
}

// The kernel's protected-symlinks rule, applied by the program itself: in a sticky
// world-writable folder a link is followed only when it belongs to the user or to the
// folder's owner. Giving the folder and the link other owners needs root.
TEST(ReplaceFileDeathTest, LinkPlantedInAStickyWorldWritableFolderIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the link and the folder other owners";
  std::unique_ptr<TestNetwork> network = chartNetwork();
  ScratchFolder folder;
  const std::string sticky = folder.file("tmp");
  ASSERT_EQ(mkdir(sticky.c_str(), 0777), 0);
  ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
  const std::string victim = folder.file("victim.txt");
  const std::string link = sticky + "/lift.csv";
  const struct {
    uid_t folderOwner;
    uid_t linkOwner;
    bool refused;
  } cases[] = {{65533, 65534, true}, {65534, 65534, false}, {65533, 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.folderOwner) + " " + std::to_string(c.linkOwner));
    folder.write("victim.txt", "precious");
    ASSERT_EQ(chown(sticky.c_str(), c.folderOwner, 0), 0);
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), c.linkOwner, 0), 0);
    if (c.refused) {
      EXPECT_EXIT(network->writeLiftChart(link), ::testing::ExitedWithCode(255),
                  "^Error opening file: " + link +
                      ": a symbolic link in a sticky world-writable folder, owned by another "
                      "user\n$");
      EXPECT_EQ(readFile(victim), "precious");
    } else {
      network->writeLiftChart(link);
      EXPECT_EQ(readFile(victim).rfind("is Positive;output\n", 0), 0u);
    }
    ASSERT_EQ(unlink(link.c_str()), 0);
  }
  // The same planted link reached through a link to the folder (as /tmp may be).
  const std::string folderLink = folder.file("tmp-link");
  ASSERT_EQ(symlink(sticky.c_str(), folderLink.c_str()), 0);
  ASSERT_EQ(chown(sticky.c_str(), 65533, 0), 0);
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  ASSERT_EQ(lchown(link.c_str(), 65534, 0), 0);
  EXPECT_EXIT(network->writeLiftChart(folderLink + "/lift.csv"), ::testing::ExitedWithCode(255),
              "a symbolic link in a sticky world-writable folder, owned by another user\n$");
}

TEST(ReplaceFileDeathTest, LinkLoopIsRefused) {
  std::unique_ptr<TestNetwork> network = chartNetwork();
  ScratchFolder folder;
  const std::string a = folder.file("a.csv");
  ASSERT_EQ(symlink("b.csv", a.c_str()), 0);
  ASSERT_EQ(symlink("a.csv", folder.file("b.csv").c_str()), 0);
  EXPECT_EXIT(network->writeLiftChart(a), ::testing::ExitedWithCode(255),
              "^Error opening file: " + a + ": too many levels of symbolic links\n$");
  struct stat info;
  ASSERT_EQ(lstat(a.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(LiftChartDeathTest, WriteFailuresKeepThePreviousChart) {
  std::unique_ptr<TestNetwork> network(new TestNetwork({1, 1}, {0, 1}, {0, 1}, {0.25f, 0.5f}));
  network->testInputs.assign(200, 0.5f);
  network->testTargets.assign(200, 1.0f);
  EXPECT_EXIT(network->writeLiftChart("/dev/full"), ::testing::ExitedWithCode(255),
              "^Error writing file: /dev/full: no space left on device\n$");
  ScratchFolder folder;
  const std::string name = folder.write("lift.csv", "previous chart");
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 100;  // the chart of 200 samples is longer
        setrlimit(RLIMIT_FSIZE, &limit);
        network->writeLiftChart(name);
      },
      ::testing::ExitedWithCode(255), "^Error writing file: " + name + ": file too large\n$");
  EXPECT_EQ(readFile(name), "previous chart");
  const std::string inFile = folder.file("lift.csv/chart.csv");
  EXPECT_EXIT(network->writeLiftChart(inFile), ::testing::ExitedWithCode(255),
              "^Error opening file: " + inFile + ": not a directory\n$");
}

}  // namespace
