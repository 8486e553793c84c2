// What the command-line programs share: their standard streams, the scan of
// their arguments, the answers to --help and --version, and the lines they
// print on standard error ("PROGRAM: ..."), names always printable
// (runtime/printable_name.h). None of these calls fails; a stream that
// cannot be written says so through `out`'s result.
#pragma once

#include "runtime/text.h"

#include <functional>
#include <optional>
#include <span>
#include <vector>

// Each takes one line, without its terminator. `out` is false when the line
// could not be written (a full disk, a closed pipe).
struct CliStreams {
  std::function<bool(TextView)> out;
  std::function<void(TextView)> err;
};

// The program's own standard output and standard error, line by line: on
// POSIX each line ends in "\n" and a name's byte that is not UTF-8 goes out
// as itself; on Windows each ends in "\r\n", as UTF-16 to a console and UTF-8
// to a file or a pipe.
CliStreams standardStreams();
// Text to standard error as it is, no line end added (a progress line);
// false when it could not be written whole.
bool writeStandardError(TextView text);

// A program's own texts.
struct CliProgram {
  TextView name;                    // starts each line printed on standard error
  TextView version;                 // what --version prints
  std::span<const TextView> usage;  // what --help prints, line by line
};

// The arguments, one at a time. Operands are "-", "", whatever does not start
// with "-", and everything after "--" (which is passed over itself). An
// option "--name=value" is its name and its attached value; any other option
// is its whole text.
class ArgumentScanner {
 public:
  explicit ArgumentScanner(const std::vector<Text>& arguments) : arguments_(arguments) {}
  // Moves to the next argument; false after the last.
  bool next();
  bool isOperand() const { return operand_; }
  const Text& argument() const { return arguments_[at_]; }
  const Text& name() const { return name_; }
  bool hasAttachedValue() const { return attached_.has_value(); }
  // The option's value: the attached one, else the next argument (which is
  // then taken); nothing when there is neither.
  std::optional<Text> takeValue();

 private:
  const std::vector<Text>& arguments_;
  std::size_t at_ = 0;
  bool started_ = false;
  bool optionsEnded_ = false;
  bool operand_ = false;
  Text name_;
  std::optional<Text> attached_;
};

// --help (-h) prints the usage and --version the version: then the exit
// status, 0; nothing for any other name.
std::optional<int> answerInformationOption(const CliProgram& program, const CliStreams& streams, TextView name);
// "PROGRAM: PROBLEM (try 'PROGRAM --help')"; returns 2, bad usage's exit status.
int badUsage(const CliProgram& program, const CliStreams& streams, TextView problem);
// "PROGRAM: LINE".
void printNote(const CliProgram& program, const CliStreams& streams, TextView line);
// "PROGRAM: PATH: MESSAGE", then " (REASON)" when there is a reason; the path
// and the reason printable.
void printFailure(const CliProgram& program, const CliStreams& streams, TextView path, TextView message,
                  TextView reason = {});
