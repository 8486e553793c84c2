// A plain reading of a project file's bytes, one unit at a time, exactly as
// the reading rules say: the yardstick for the buffered reader and the loader.
// It works on the bytes in memory and shares nothing with the buffered reader
// but the byte-to-text conversions of runtime/utf8.h and runtime/codepage.h.
#pragma once

#include "runtime/numbered_file.h"
#include "runtime/text.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The format a byte-order mark at `position` announces; `position` moves past
// the mark (it stays where it was without one).
TextFormat ReferenceDetectFormat(std::string_view bytes, std::size_t& position);

// Every line from `position` to the end, read with `formatFlags` as
// ReadTextLine takes them. With kCheckUtf8 reading stops after the first line
// that is not well-formed UTF-8 and `malformed` is set.
std::vector<Text> ReferenceReadLines(std::string_view bytes, std::size_t position, std::int32_t formatFlags,
                                     bool* malformed = nullptr);

// The line table a Load builds from the bytes: mark detected, every line read
// (as UTF-8 first and in the ANSI code page when that fails, when there is no
// mark) and stripped of its leading spaces.
std::vector<Text> ReferenceLoadLines(std::string_view bytes);

// Whether a Load takes those lines as a project: the first one, without its
// leading spaces and tabs, opens with the word "<REAPER_PROJECT".
bool ReferenceIsProject(const std::vector<Text>& lines);

// The bytes with a project's first line put in front of their own (after the
// byte-order mark, in the mark's encoding), so that a Load takes them: the
// line is kProjectHeaderBytes long, which keeps every later byte at the same
// place within the reader's 4096-byte buffer.
inline constexpr std::size_t kProjectHeaderBytes = 4096;
std::string WithProjectHeader(std::string_view bytes);
