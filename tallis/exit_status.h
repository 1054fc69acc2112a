#pragma once
// Every exit status of tallis and swfgen, named once. Scripts chain the programs
// (tallis ... && ombra ...), so a status never changes meaning.

namespace tallis_status {

// The file was written (also --help, --version, --list-keys).
constexpr int kDone = 0;
// Any error after the command line was understood, with its message on standard error: an
// unknown attribute key ("Wrong attribute function"), a value tallis refuses (a ratio, a
// seed), an unreadable log, a write error, out of memory. swfgen ends every error with it,
// its command-line errors included.
constexpr int kFailure = 1;
// tallis's command line could not be understood: too few arguments (the usage line), a
// missing option ("Error parsing options"), an option or value the option parser refuses.
constexpr int kUsage = 2;

}  // namespace tallis_status
