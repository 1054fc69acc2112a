#include <climits>
#include <cmath>
#include <sstream>

#include "tests/reference/reference.h"

namespace reference {

namespace {

// An int column read as the number its token is.
struct IntColumn {
  int& field;
};

std::istream& operator>>(std::istream& in, IntColumn column) {
  double value;
  if (in >> value) {
    if (value >= INT_MIN && value <= INT_MAX && value == std::trunc(value)) {
      column.field = static_cast<int>(value);
    } else {
      in.setstate(std::ios::failbit);
    }
  }
  return in;
}

}  // namespace

bool parseJobLine(const std::string& line, JobData& job) {
  std::istringstream in(line);
  // After a failed extraction the later ones do nothing, so one test at the end suffices.
  in >> IntColumn{job.jobNumber} >> job.submitTime >> job.waitTime >> job.runTime >>
      IntColumn{job.allocatedProcessors} >> job.averageCPUTimeUsed >> job.usedMemory >>
      IntColumn{job.requestedNumberOfProcessors} >> job.requestedTime >> job.requestedMemory >>
      IntColumn{job.status} >> IntColumn{job.userID} >> IntColumn{job.groupID} >>
      IntColumn{job.applicationNumber} >> IntColumn{job.queueNumber} >>
      IntColumn{job.partitionNumber} >> IntColumn{job.precedingJobNumber} >> job.thinkTime;
  return !in.fail();
}

}  // namespace reference
