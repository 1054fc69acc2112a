#pragma once
// tallis's and swfgen's words for what the one writer of output files (files/output_file.h)
// refuses or fails at; each becomes the text of the OutputFileError the writer throws, printed
// by main with status 1:
//   Refusing to write 'a': a symbolic link loop
//   Refusing to follow the symbolic link '/tmp/x/evil' in the shared folder '/tmp/x': it
//     belongs to another user
//   Refusing to replace 'train.dat': the file is not writable
//   Refusing to replace 'b.swf': it is a workload log, not a training data file
//   Error opening file: /none/train.dat: no such file or directory
//   Error writing file: /dev/full: no space left on device

#include <string>

#include "files/output_file.h"

std::string tallisOutputMessage(const OutputProblem& problem);
