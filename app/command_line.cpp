#include "app/command_line.h"

#include "runtime/printable_name.h"

bool ArgumentScanner::next() {
  if (started_) at_ += 1;
  started_ = true;
  if (at_ < arguments_.size() && !optionsEnded_ && arguments_[at_] == u"--") {
    optionsEnded_ = true;
    at_ += 1;
  }
  if (at_ >= arguments_.size()) return false;
  const Text& arg = arguments_[at_];
  operand_ = optionsEnded_ || arg.empty() || arg[0] != u'-' || arg == u"-";
  name_ = arg;
  attached_.reset();
  const std::size_t eq = arg.find(u'=');
  if (!operand_ && arg.starts_with(u"--") && eq != Text::npos) {
    name_ = arg.substr(0, eq);
    attached_ = arg.substr(eq + 1);
  }
  return true;
}

std::optional<Text> ArgumentScanner::takeValue() {
  if (attached_) return attached_;
  if (at_ + 1 >= arguments_.size()) return std::nullopt;
  return arguments_[++at_];
}

std::optional<int> answerInformationOption(const CliProgram& program, const CliStreams& streams, TextView name) {
  if (name == u"--help" || name == u"-h") {
    for (TextView line : program.usage) streams.out(line);
    return 0;
  }
  if (name == u"--version") {
    streams.out(program.version);
    return 0;
  }
  return std::nullopt;
}

int badUsage(const CliProgram& program, const CliStreams& streams, TextView problem) {
  streams.err(Text(program.name) + u": " + Text(problem) + u" (try '" + Text(program.name) + u" --help')");
  return 2;
}

void printNote(const CliProgram& program, const CliStreams& streams, TextView line) {
  streams.err(Text(program.name) + u": " + Text(line));
}

void printFailure(const CliProgram& program, const CliStreams& streams, TextView path, TextView message,
                  TextView reason) {
  Text line = Text(program.name) + u": " + PrintableName(path) + u": " + Text(message);
  if (!reason.empty()) line += u" (" + PrintableName(reason) + u")";
  streams.err(line);
}
