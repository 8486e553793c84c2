// The loaded project: its lines, the facts about its file and header, the
// master bus and the tracks, each with its chain of plug-ins.
//
// Absent values are empty texts and zeros. State words are held as the very
// texts the report shows ("ON"/"OFF", "online"/"bypass"). Only loading and
// the scanner change the model; the report only reads it.
#pragma once

#include "core/line_table.h"
#include "core/record_list.h"
#include "runtime/os_file.h"
#include "runtime/text.h"

#include <cstdint>

#include <string_view>

// One of a fixed set of words, as one byte: the state words the report shows
// ("ON", "OFF", "online", "bypass") and the plug-in kinds. A text that is
// not one of them is held as the empty word.
class Word {
 public:
  static constexpr std::u16string_view kWords[] = {
      u"",          u"ON",          u"OFF",         u"online",          u"bypass",
      u"VST2 effect", u"VST2 instrument", u"VST3 effect", u"VST3 instrument", u"CLAP effect",
      u"CLAP instrument"};

  Word() = default;
  constexpr Word(std::u16string_view text) {
    for (std::uint8_t i = 0; i < std::size(kWords); ++i)
      if (kWords[i] == text) index_ = i;
  }
  // A word the program names in its own tables: a text that is not one of
  // kWords does not build, so no table can hold a word that would be stored
  // as "".
  static consteval Word known(std::u16string_view text) {
    for (std::uint8_t i = 0; i < std::size(kWords); ++i)
      if (kWords[i] == text) return Word(Index{i});
    throw "not one of Word::kWords";  // not a constant expression: the build stops here
  }
  Word(const char16_t* text) : Word(std::u16string_view(text)) {}
  constexpr operator std::u16string_view() const { return kWords[index_]; }
  bool empty() const { return index_ == 0; }
  friend bool operator==(const Word& a, std::u16string_view b) { return kWords[a.index_] == b; }
  // Joined with text as its text is.
  friend Text operator+(const Word& a, TextView b) { return Text(TextView(a)) + Text(b); }
  friend Text operator+(const Text& a, const Word& b) { return a + Text(TextView(b)); }

 private:
  struct Index {
    std::uint8_t value;
  };
  constexpr explicit Word(Index index) : index_(index.value) {}

  std::uint8_t index_ = 0;
};

// Records are kept small (a flood of tracks or plug-ins costs well under 100
// bytes a record): the words are one byte each, a list of plug-ins is 16
// bytes, and names of up to seven units need no memory of their own.
struct PluginRecord {
  Word kind;        // "VST2 effect", ..., or "" when the description is not recognised
  Word state;       // "online" or "bypass"
  Text name;
  Text presetName;
};

using PluginList = RecordList<PluginRecord>;

struct TrackRecord {
  Text name;        // as the file has it, quotes included
  float volume = 0;
  float pan = 0;    // the file's pan times 100
  Word mute;        // "ON", "OFF" or ""
  Word solo;
  PluginList plugins;
};

// The sizes the records are kept within; a record that grows does not build.
static_assert(sizeof(Word) == 1);
static_assert(sizeof(PluginList) == 16);
static_assert(sizeof(PluginRecord) <= 72);
static_assert(sizeof(TrackRecord) <= 64);

struct MasterRecord {
  float volume = 0;
  Word fxState;     // "online", "bypass" or ""
  PluginList plugins;
};

struct ProjectInfo {
  Text projectPath;    // "" when no project is chosen
  Text projectFolder;  // up to and including the last separator
  Text projectName;    // the file name without its last four characters
  Text projectDate;    // "dd/mm/yyyy hh:ii", local time
  FileIdentity projectFile;  // the file that was read, so that no report is written onto it
  Text reaperVersion;
  Text reaperPlatform;
  std::int64_t tempo = 0;
};

struct ProjectData {
  LineTable lines;
  ProjectInfo info;
  MasterRecord master;
  RecordList<TrackRecord> tracks;

  std::int64_t lineCount() const { return lines.count(); }
  void appendLine(TextView line) { lines.append(line); }
  // Empties the lines and everything the scanner fills; keeps the four file facts.
  void resetScannedContent();
  // Takes the lines and everything the scanner filled from `other` (whose
  // own are released); keeps the four file facts.
  void takeScannedContent(ProjectData&& other);
  TrackRecord& addTrack();
  TrackRecord* currentTrack() { return tracks.empty() ? nullptr : &tracks.back(); }
};

PluginRecord& addPlugin(PluginList& list, TextView state);
inline PluginRecord* currentPlugin(PluginList& list) {
  return list.empty() ? nullptr : &list.back();
}
