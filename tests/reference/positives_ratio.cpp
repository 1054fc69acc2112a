#include <cmath>
#include <cstdlib>
#include <iostream>

#include "tests/reference/reference.h"

namespace reference {

int changeTrainingSamplePositivesRatio(std::vector<JobData>& jobs, int count, double ratio) {
  int positives = 0;
  for (int i = 0; i < count; ++i) positives += jobs[i].status != 1 ? 1 : 0;
  const double target = ratio > 0 ? std::floor(positives / ratio + 0.5) : count;
  std::cout << "now = " << count << "  final =";
  if (std::fabs(target) < 1e18) {
    std::cout << static_cast<long long>(target);
  } else {
    std::cout << target;
  }
  std::cout << std::endl;
  int negativesLeft = count - positives;
  int m = count;
  while (target < m && negativesLeft > 0) {
    int j;
    do {
      j = std::rand() % m;
    } while (jobs[j].status != 1);
    jobs.erase(jobs.begin() + j);
    --m;
    --negativesLeft;
  }
  std::cout << "Negatives removed = " << count - m << std::endl;
  return m;
}

}  // namespace reference
