// The model's storage: record lists that never move a record, words of one
// byte, and the memory budget that a load grows its tables within.
#include "core/project_data.h"
#include "runtime/memory.h"
#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

TEST(record_list, records_keep_their_place_and_order_across_chunks) {
  RecordList<std::string> list;
  std::vector<const std::string*> places;
  constexpr std::size_t kCount = 3 * RecordList<std::string>::kLargestChunk * 2 + 17;  // growing and full chunks
  for (std::size_t i = 0; i < kCount; ++i) places.push_back(&list.emplace_back(std::to_string(i)));
  ASSERT_EQ(list.size(), kCount);
  for (std::size_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(&list[i], places[i]) << i;  // never moved by later growth
    ASSERT_EQ(list[i], std::to_string(i));
  }
  std::size_t seen = 0;
  for (const std::string& record : list) EXPECT_EQ(record, std::to_string(seen++));
  EXPECT_EQ(seen, kCount);
  EXPECT_EQ(list.back(), std::to_string(kCount - 1));
  EXPECT_THROW(list.at(kCount), std::out_of_range);

  RecordList<std::string> moved = std::move(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(moved.size(), kCount);
  moved.clear();
  EXPECT_TRUE(moved.empty());
  moved.emplace_back("again");
  EXPECT_EQ(moved.at(0), "again");
}

TEST(word, holds_every_state_and_kind_word_and_nothing_else) {
  // Listed here, not read from the table: a word dropped from it would be stored as "".
  const TextView words[] = {u"ON",          u"OFF",         u"online",          u"bypass",
                            u"VST2 effect", u"VST2 instrument", u"VST3 effect", u"VST3 instrument",
                            u"CLAP effect", u"CLAP instrument"};
  for (TextView text : words) {
    const Word word(text);
    EXPECT_EQ(TextView(word), text);
    EXPECT_FALSE(word.empty()) << TextToUtf8(text);
  }
  EXPECT_TRUE(Word(u"").empty());
  PluginRecord plugin;
  plugin.kind = u"CLAP instrument";
  plugin.state = u"bypass";
  EXPECT_EQ(TextView(plugin.kind), u"CLAP instrument");
  EXPECT_TRUE(plugin.state == u"bypass");
  EXPECT_EQ(plugin.kind + u"|" + plugin.state, u"CLAP instrument|bypass");
  EXPECT_TRUE(Word(u"JS effect").empty());  // not a word of the model
}

TEST(memory_budget, tables_grow_within_it_and_give_back_what_they_free) {
  {
    MemoryBudget budget(4 << 20);
    LineArena lines;
    const std::string line(1000, 'x');
    bool refused = false;
    try {
      for (int i = 0; i < 100000; ++i) lines.append(Text(line.begin(), line.end()));
    } catch (const std::bad_alloc&) {
      refused = true;
    }
    EXPECT_TRUE(refused);
    EXPECT_GT(lines.count(), 1000);  // it took what the budget allowed
    EXPECT_LT(lines.count(), 4200);
    const std::int64_t stored = lines.count();
    EXPECT_EQ(lines.stored(stored - 1).size(), 1000u);  // what is stored stays whole
    lines.clear();  // given back: the budget holds as much again
    for (int i = 0; i < 1000; ++i) lines.append(Text(line.begin(), line.end()));

    RecordList<TrackRecord> tracks;
    EXPECT_THROW(
        for (int i = 0; i < 1'000'000; ++i) tracks.emplace_back(), std::bad_alloc);
    EXPECT_GT(tracks.size(), 10000u);
    EXPECT_LT(tracks.size(), 70000u);
  }
  // Without a budget only the system limits them.
  RecordList<TrackRecord> tracks;
  for (int i = 0; i < 200000; ++i) tracks.emplace_back();
  EXPECT_EQ(tracks.size(), 200000u);
}
