#pragma once

#include <string>

// The kernel source the OpenCL trainers build: NN_kernels.cl in the working directory, as
// always; only when there is no such regular file there, the copy installed with the program
// (PREFIX/share/ombra/NN_kernels.cl for PREFIX/bin/ombra, found from the program's own path,
// so an installation works from any prefix). When neither exists, "NN_kernels.cl", so that
// the error is the one of the working directory's file. The device report names the file used.
std::string kernelSourceFile();
