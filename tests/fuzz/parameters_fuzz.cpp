// The algorithm parameters reader on arbitrary bytes, as a back-propagation and as a
// particle-swarm file: it either refuses the file through fatal (exit status -238) or gives
// parameters the training loops can run with (no negative limit among them, training options
// within their ranges).

#include <cstdint>

#include "common/fatal.h"
#include "tests/fuzz/fuzz_support.h"
#include "trainers/parameters.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setFatalHandler(throwFatalError);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file("parameters.txt");
  const std::string& name = file.write(data, size);
  try {
    const BPParameters bp = readBPParameters(name);
    fuzz::require(bp.stripLength >= 1, "an accepted strip length is at least 1");
    fuzz::require(bp.iterations >= 0 && bp.time >= 0.0f && bp.mse >= 0.0f,
                  "accepted limits are not negative");
    fuzz::require(!bp.momentum || (*bp.momentum >= 0.0f && *bp.momentum < 1.0f),
                  "an accepted momentum lies in [0, 1)");
    fuzz::require(
        !bp.positiveWeight || (*bp.positiveWeight > 0.0f && *bp.positiveWeight <= 3.4e38f),
        "an accepted positive weight is a positive float");
    fuzz::require(!bp.options.ranksByAuc() || bp.mse == 0.0f,
                  "AUC selection never comes with an MSE limit");
  } catch (const FatalError& error) {
    fuzz::require(error.status == -238, "a refused parameters file ends with status -238");
  }
  try {
    const PSOParameters pso = readPSOParameters(name);
    fuzz::require(pso.stripLength >= 1, "an accepted strip length is at least 1");
    fuzz::require(pso.populationSize >= 1, "an accepted population has a particle");
    fuzz::require(pso.iterations >= 0 && pso.time >= 0.0f && pso.mse >= 0.0f,
                  "accepted limits are not negative");
  } catch (const FatalError& error) {
    fuzz::require(error.status == -238, "a refused parameters file ends with status -238");
  }
  return 0;
}
