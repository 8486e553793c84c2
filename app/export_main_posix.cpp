#include "app/export_cli.h"
#include "runtime/utf8.h"

#include <cstdio>

int main(int argc, char** argv) {
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromUtf8(argv[i]));
  auto print = [](std::FILE* stream) {
    return [stream](TextView line) {
      std::string bytes = TextToUtf8(line);
      bytes.push_back('\n');
      std::fwrite(bytes.data(), 1, bytes.size(), stream);
      std::fflush(stream);
    };
  };
  return RunExportCli(arguments, {print(stdout), print(stderr)});
}
