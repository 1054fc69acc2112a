#pragma once
// What an existing file holds, told from its first bytes: the kinds of file the programs read
// and write, and the workload logs they are made from. A writer replaces a file of its own
// kind or of no kind it knows, never one of another kind: a shell glob, swapped arguments or
// a hurried tab completion would otherwise turn a log, a parameters file or the kernel source
// into the program's output.

#include <string>

enum class FileKind {
  unknown,        // empty, or none of the kinds below
  workloadLog,    // SWF: ";" header lines, or job lines of 18 numbers
  gzipData,       // a compressed log (or any gzip data)
  trainingData,   // tallis's output: three split counts, then the input and output sizes
  network,        // ombra's binary network file: its length matches its layer sizes
  parameters,     // "Key: number" lines
  configuration,  // nothing but layer sizes
  kernelSource,   // the OpenCL kernel source (NN_kernels.cl)
  columnNames,    // the input card or the older columns file beside a training data file
  png,            // a chart
  liftChart,      // "is Positive;output" lines
  timingResult,   // an ombra-timings result: "count;time (s)"
  predictions,    // ombra-evaluate --predictions: "row,set,target,output..."
};

// "a workload log", "gzip-compressed data", ... for messages.
const char* describeKind(FileKind kind);

// The kind of a regular file, from at most its first 64 KiB; unknown for anything that is not
// a regular file (a pipe would lose what is read) or that cannot be read.
FileKind sniffFileKind(const std::string& path);

// The kind of text or bytes given (the first bytes of a file of fileSize bytes, named name).
FileKind kindOfContent(const std::string& head, unsigned long long fileSize,
                       const std::string& name);
