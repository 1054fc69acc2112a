#pragma once

// Termination rules shared by the back-propagation and particle-swarm loops.
// A limit of 0 is switched off; any other value, negative included, is in force.

// Ends the process with "No terminating conditions" (-79) when all three limits are 0.
void requireTerminatingCondition(int iterations, float mse, float time);

// Checked before every epoch/iteration, in this order: the best validation error reached
// mse, completed reached iterations, elapsedSeconds reached time.
bool trainingShouldEnd(float bestValidationError, int completed, double elapsedSeconds,
                       int iterations, float mse, float time);
