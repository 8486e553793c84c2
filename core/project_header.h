// What makes a file a REAPER project: its first line, without its leading
// spaces and tabs, opens with the word `<REAPER_PROJECT` (followed by a space,
// a tab or the end of the line). The loader and the inventory both decide by
// this rule; any other file (an image, an empty file, notes) is not a project.
#pragma once

#include <string_view>

// `line` is the file's first line, decoded, with or without its leading
// spaces and tabs; any character type whose values below 128 are ASCII.
template <class Char>
constexpr bool isProjectHeader(std::basic_string_view<Char> line) {
  constexpr std::string_view kWord = "<REAPER_PROJECT";
  std::size_t at = 0;
  while (at < line.size() && (line[at] == Char(' ') || line[at] == Char('\t'))) ++at;
  if (line.size() - at < kWord.size()) return false;
  for (std::size_t i = 0; i < kWord.size(); ++i)
    if (line[at + i] != Char(kWord[i])) return false;
  at += kWord.size();
  return at == line.size() || line[at] == Char(' ') || line[at] == Char('\t');
}
