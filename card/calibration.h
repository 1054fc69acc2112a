#pragma once
// A monotone map from a network's raw output to the share of such jobs that fail: the
// "calibration" item of a network's input card. The recipe's network is trained with failed
// jobs weighing three times, so its raw outputs are too high; an operator reads a score of 0.7
// as "seven in ten such jobs fail", and the calibrated score means that.
//
// One line in the card, after the columns:
//
//   calibration 1 platt A B LO HI        p = 1 / (1 + exp(-(A * logit(u) + B))),
//                                        u = (output - LO) / (HI - LO), clipped into (0, 1)
//   calibration 1 isotonic N X1 P1 ... XN PN
//                                        p rises through the N points (X ascending, P not
//                                        falling): straight between them, flat beyond
//
// The 1 is the network output the calibration belongs to. Numbers are written with 17
// significant digits, so a card read back gives the same scores bit for bit.

#include <cstdint>
#include <string>
#include <vector>

enum class CalibrationMethod { none, platt, isotonic };

struct Calibration {
  CalibrationMethod method = CalibrationMethod::none;
  int output = 1;  // from 1
  // platt: the slope and the intercept on the logit, and the output range the logit is taken in.
  double slope = 1, intercept = 0, low = 0, high = 1;
  // isotonic: the points.
  std::vector<double> x, p;

  bool exists() const { return method != CalibrationMethod::none; }
  // The calibrated score of a raw output, in [0, 1].
  double apply(double raw) const;
};

// "platt", "isotonic" (and "none").
const char* calibrationMethodName(CalibrationMethod method);

// The card line, without its line feed.
std::string formatCalibration(const Calibration& calibration);
// Reads a card line "calibration ..."; returns "" or what is wrong with it.
std::string parseCalibration(const std::string& line, Calibration& calibration);

// Fits a calibration of the method to raw outputs and their classes (1: failed or cancelled);
// low and high: the network's output range. Both are strictly rising over the output range, so
// the order of the outputs, and every figure of rank such as the ROC AUC, stays. Platt: the
// logistic fit of the class on logit(u), by Newton steps, with Platt's targets (N+ + 1) /
// (N+ + 2) and 1 / (N- + 2) rather than 1 and 0, so that a separable set still gives finite
// parameters. Isotonic: pool-adjacent violators, then a line through the blocks' centres (mean
// output, share of failures kept within [1 / (2n), 1 - 1 / (2n)] for n samples, so that no
// score is a certain 0 or 1), on to the ends of the range. Needs both classes.
Calibration fitCalibration(CalibrationMethod method, const std::vector<float>& outputs,
                           const std::vector<uint8_t>& positive, double low, double high);

// The mean log loss of each sample's calibrated score when the calibration is fitted without
// it: the samples are dealt into `folds` folds (sample k into fold k mod folds), and each
// fold is scored by the calibration fitted on the others. An honest figure on the one set the
// calibration may be fitted on. nan when a fold's complement lacks a class.
double crossFittedLogLoss(CalibrationMethod method, const std::vector<float>& outputs,
                          const std::vector<uint8_t>& positive, double low, double high,
                          int folds = 5);
