#pragma once
// One job of a workload log in the Standard Workload Format: 18 columns in column order.
// Values are kept exactly as read; -1 (missing) gets no special treatment here.

#include <map>
#include <string>
#include <vector>

struct JobData {
  int jobNumber = 0;
  double submitTime = 0;
  double waitTime = 0;
  double runTime = 0;
  int allocatedProcessors = 0;
  double averageCPUTimeUsed = 0;
  double usedMemory = 0;
  int requestedNumberOfProcessors = 0;
  double requestedTime = 0;
  double requestedMemory = 0;
  int status = 0;  // 1 completed, 0 failed, 5 cancelled; other values are partial jobs
  int userID = 0;
  int groupID = 0;
  int applicationNumber = 0;
  int queueNumber = 0;
  int partitionNumber = 0;
  int precedingJobNumber = 0;
  double thinkTime = 0;
};

// User id -> one-hot position of the "uID" attribute, in order of first appearance.
extern std::map<int, int> userIdLookupTable;

// Reads one job line as formatted stream extraction would, column after column; true when all
// 18 columns were read. An int column takes an integral number written as a real (4.0, 1e3) as
// that int; a fraction (4.5) or a value beyond int fails the line, which never shifts the
// columns after it.
bool parseJobLine(std::string line, JobData& job);
// The same for the characters [begin, end) of a buffer, without copying them.
bool parseJobLine(const char* begin, const char* end, JobData& job);

// Every accepted job line of a plain or gzip-compressed log, in file order.
// Throws Exception "Error opening file" or "Error reading file" (also for data after the end of
// a compressed log that is not another gzip member).
std::vector<JobData> parseFile(std::string path);

// Keeps the finished jobs (status 0, 1 or 5), in order.
std::vector<JobData> filterOutPartialJobs(const std::vector<JobData>& jobs);

// Fills userIdLookupTable from the non-negative user ids and prints "LUT size=".
void createUserIdLookupTable(const std::vector<JobData>& jobs);
