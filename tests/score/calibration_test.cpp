// The calibration of a network's output: the fits, worked out by hand where they can be, and
// the card line that carries them.
#include "card/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

TEST(Calibration, IsotonicPoolsViolatorsAndRisesThroughTheBlockCentres) {
  // Classes 0 0 | 1 0 | 1 1 by rising output: blocks of two with the shares 0, 1/2 and 1, each
  // kept within [1/(2n), 1 - 1/(2n)] for n = 2: 0.25, 0.5, 0.75 at the centres 0.1875, 0.4375
  // and 0.6875; the ends of the range [-0.125, 1.125] half way to certainty.
  const Calibration fitted =
      fitCalibration(CalibrationMethod::isotonic, {0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 0.75f},
                     {0, 0, 1, 0, 1, 1}, -0.125, 1.125);
  EXPECT_EQ(fitted.x, (std::vector<double>{-0.125, 0.1875, 0.4375, 0.6875, 1.125}));
  EXPECT_EQ(fitted.p, (std::vector<double>{0.125, 0.25, 0.5, 0.75, 0.875}));
  EXPECT_EQ(fitted.apply(-0.2), 0.125);                // flat beyond the range
  EXPECT_EQ(fitted.apply(0.3125), 0.375);              // halfway between two centres
  EXPECT_LT(fitted.apply(0.125), fitted.apply(0.25));  // no ties inside a block
}

TEST(Calibration, PlattRecoversTheLogisticItWasDrawnFrom) {
  // Outputs of a network of range [-0.125, 1.125] whose logit z is uniform in [-4, 4]; a job
  // fails with probability 1 / (1 + exp(-(0.5 z - 1))).
  std::srand(3);
  std::vector<float> outputs;
  std::vector<uint8_t> positive;
  for (int k = 0; k < 40000; ++k) {
    const double z = -4 + 8 * (std::rand() / (RAND_MAX + 1.0));
    outputs.push_back(static_cast<float>(-0.125 + 1.25 / (1 + std::exp(-z))));
    positive.push_back(std::rand() / (RAND_MAX + 1.0) < 1 / (1 + std::exp(-(0.5 * z - 1))));
  }
  const Calibration fitted =
      fitCalibration(CalibrationMethod::platt, outputs, positive, -0.125, 1.125);
  EXPECT_NEAR(fitted.slope, 0.5, 0.05);
  EXPECT_NEAR(fitted.intercept, -1, 0.05);
  // Strictly rising: the order of the outputs, and so the ROC AUC, stays.
  EXPECT_LT(fitted.apply(0.3), fitted.apply(0.30001));
  // Fitted on the other folds, Platt fits this data better than the raw outputs and no worse
  // than isotonic regression.
  const double platt =
      crossFittedLogLoss(CalibrationMethod::platt, outputs, positive, -0.125, 1.125);
  const double isotonic =
      crossFittedLogLoss(CalibrationMethod::isotonic, outputs, positive, -0.125, 1.125);
  EXPECT_LT(platt, isotonic + 0.002);
  EXPECT_LT(platt, 0.6);
}

TEST(Calibration, CardLineReadsBackBitForBitAndRefusesNonsense) {
  Calibration platt;
  platt.method = CalibrationMethod::platt;
  platt.slope = 1.0 / 3;
  platt.intercept = -0.1;
  platt.low = -0.125;
  platt.high = 1.125;
  Calibration isotonic =
      fitCalibration(CalibrationMethod::isotonic, {0.1f, 0.7f, 0.2f, 0.9f}, {0, 1, 1, 1}, 0, 1);
  for (const Calibration& written : {platt, isotonic}) {
    Calibration read;
    ASSERT_EQ(parseCalibration(formatCalibration(written), read), "");
    for (double output : {-0.2, 0.0, 0.15, 0.5, 0.8, 1.2}) {
      EXPECT_EQ(read.apply(output), written.apply(output)) << formatCalibration(written);
    }
  }
  EXPECT_EQ(formatCalibration(platt),
            "calibration 1 platt 0.33333333333333331 -0.10000000000000001 -0.125 1.125");
  const std::pair<const char*, const char*> bad[] = {
      {"calibration 1 platt 1 0 1", "platt needs"},
      {"calibration 1 platt 1 0 1 1", "LO < HI"},
      {"calibration 0 platt 1 0 0 1", "expected"},
      {"calibration 1 isotonic 2 0.1 0.2 0.3", "isotonic needs"},
      {"calibration 1 isotonic 2 0.5 0.2 0.3 0.1", "must rise"},
      {"calibration 1 isotonic 1 0.5 1.5", "outside [0, 1]"},
      {"calibration 1 platt 1 0 0 1e999", "not a finite number: '1e999'"},
      {"calibration 1 platt 1 0 0 inf", "not a finite number: 'inf'"},
      {"calibration 1 beta 1 2 3", "unknown calibration method 'beta'"},
      {"calibration 1 platt 1 0 0 1x", "not a finite number: '1x'"},
  };
  for (const auto& [line, reason] : bad) {
    Calibration read;
    EXPECT_NE(parseCalibration(line, read).find(reason), std::string::npos) << line;
  }
}

}  // namespace
