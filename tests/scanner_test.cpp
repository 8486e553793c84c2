#include "core/scanner.h"
#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

// Scans the lines as the loader would hand them over; the model lives until
// the next call.
ProjectData& Scan(std::initializer_list<TextView> lines) {
  static ProjectData project;
  project.resetScannedContent();
  for (TextView line : lines) project.appendLine(line);
  scanProject(project);
  return project;
}

std::string U8(TextView text) { return TextToUtf8(text); }

}  // namespace

TEST(scanner, empty_line_table_keeps_the_initial_model) {
  ProjectData& p = Scan({});
  EXPECT_TRUE(p.tracks.empty());
  EXPECT_TRUE(p.master.plugins.empty());
  EXPECT_EQ(p.info.tempo, 0);
  EXPECT_EQ(p.master.volume, 0.0f);
  EXPECT_EQ(U8(p.info.reaperVersion + p.info.reaperPlatform + p.master.fxState), "");
}

TEST(scanner, header_gives_version_and_platform) {
  struct Case { TextView line, version, platform; };
  const Case cases[] = {
      {u"<REAPER_PROJECT 0.1 \"7.22/win64\" 1727546579", u"7.22", u"win64"},
      {u"<REAPER_PROJECT 0.1 \"6.25-beta/macOS-arm64\" 1615764754", u"6.25-beta", u"macOS-arm64"},
      {u"<REAPER_PROJECT 0.1 \"7.59/win64\" 1769984417 0", u"7.59", u"win64"},
      // A version alone in the quotes (REAPER 4) has no platform.
      {u"<REAPER_PROJECT 0.1 \"4.52\" 1380572657", u"4.52", u""},
      {u"<REAPER_PROJECT 0.1 \"4.52\" 1380572657 a/b", u"4.52", u""},
      {u"<REAPER_PROJECT 0.1 \"4.52", u"4.52", u""},
      // With a "/" in the quotes the line is cut at the first quote and the first "/".
      {u"<REAPER_PROJECT 0.1 \"7.0/x64", u"7.0", u""},
      {u"<REAPER_PROJECT 0.1 \"a/b/c\"", u"a", u"b/c"},
      {u"<REAPER_PROJECT 0.1 7.0/x64", u"<REAPER_PROJECT 0.1 7.0", u""},
      {u"<REAPER_PROJECT", u"", u""},
  };
  for (const Case& c : cases) {
    ProjectData& p = Scan({c.line});
    EXPECT_EQ(U8(p.info.reaperVersion), U8(c.version)) << U8(c.line);
    EXPECT_EQ(U8(p.info.reaperPlatform), U8(c.platform)) << U8(c.line);
  }
}

TEST(scanner, tempo_is_rounded_halves_to_even) {
  EXPECT_EQ(Scan({u"TEMPO 120 4 4"}).info.tempo, 120);
  EXPECT_EQ(Scan({u"TEMPO 120.5 4 4"}).info.tempo, 120);
  EXPECT_EQ(Scan({u"TEMPO 121.5 4 4"}).info.tempo, 122);
  EXPECT_EQ(Scan({u"TEMPO 90.75 4 4"}).info.tempo, 91);
  EXPECT_EQ(Scan({u"TEMPO 120"}).info.tempo, 0);  // no space after the value
  EXPECT_EQ(Scan({u"TEMPO nan 4 4"}).info.tempo, 0);
  EXPECT_EQ(Scan({u"TEMPO 1e999 4"}).info.tempo, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Scan({u"TEMPO -1e30 4"}).info.tempo, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Scan({u"TEMPO 100 4 4", u"TEMPO 140 4 4"}).info.tempo, 140);  // the last wins
  EXPECT_EQ(Scan({u"TEMPOX 100 4 4"}).info.tempo, 0);
}

TEST(scanner, master_volume_and_fx_switch) {
  EXPECT_EQ(Scan({u"MASTER_VOLUME 0.70794578438414 0 -1 -1 1"}).master.volume, 0.70794578438414f);
  EXPECT_EQ(Scan({u"MASTER_VOLUME 1"}).master.volume, 0.0f);
  EXPECT_EQ(U8(Scan({u"MASTER_FX 1"}).master.fxState), "online");
  EXPECT_EQ(U8(Scan({u"MASTER_FX 0"}).master.fxState), "bypass");
  EXPECT_EQ(U8(Scan({u"MASTER_FX"}).master.fxState), "bypass");
}

TEST(scanner, master_chain_keeps_every_plugin_and_its_state) {
  ProjectData& p = Scan({u"<MASTERFXLIST", u"BYPASS 0 0", u"<VST \"VST: ReaEQ (Cockos)\" reaeq.dll 0 \"\"",
                        u"PRESETNAME \"My EQ\"", u"BYPASS 1 0", u"<JS loser/3BandEQ \"\"", u"BYPASS 2 0",
                        u"<VST \"VST3: Pro-Q 3 (FabFilter)\" Pro-Q.vst3 0", u"<MASTERPLAYSPEEDENV"});
  ASSERT_EQ(p.master.plugins.size(), 3u);
  const auto& m = p.master.plugins;
  EXPECT_EQ(U8(m[0].state + u"|" + m[0].kind + u"|" + m[0].name + u"|" + m[0].presetName),
            "online|VST2 effect|ReaEQ (Cockos)|\"My EQ\"");
  EXPECT_EQ(U8(m[1].state + u"|" + m[1].kind + u"|" + m[1].name), "bypass||");
  EXPECT_EQ(U8(m[2].state + u"|" + m[2].kind + u"|" + m[2].name), "online|VST3 effect|Pro-Q 3 (FabFilter)");
}

TEST(scanner, master_chain_knows_no_instruments_and_reads_clap_effects) {
  ProjectData& p = Scan({u"<MASTERFXLIST", u"BYPASS 0", u"<VST \"VSTi: Synth (X)\" s.dll", u"BYPASS 0",
                        u"<CLAP \"CLAP: Comp (Y)\" c", u"BYPASS 0", u"<CLAP \"CLAPi: Keys (Z)\" k"});
  ASSERT_EQ(p.master.plugins.size(), 3u);
  EXPECT_EQ(U8(p.master.plugins[0].kind), "");
  EXPECT_EQ(U8(p.master.plugins[1].kind + u"|" + p.master.plugins[1].name), "CLAP effect|Comp (Y)");
  EXPECT_EQ(U8(p.master.plugins[2].kind), "");
}

TEST(scanner, master_bypass_is_bypass_only_for_one) {
  ProjectData& p = Scan({u"<MASTERFXLIST", u"BYPASS 1", u"BYPASS 0", u"BYPASS 2", u"BYPASS", u"BYPASSx1"});
  ASSERT_EQ(p.master.plugins.size(), 5u);
  EXPECT_EQ(U8(p.master.plugins[0].state), "bypass");
  EXPECT_EQ(U8(p.master.plugins[1].state), "online");
  EXPECT_EQ(U8(p.master.plugins[2].state), "online");
  EXPECT_EQ(U8(p.master.plugins[3].state), "online");
  EXPECT_EQ(U8(p.master.plugins[4].state), "bypass");  // character 8 is the 1
}

TEST(scanner, lines_outside_the_master_list_add_no_master_plugins) {
  ProjectData& p = Scan({u"BYPASS 0", u"<MASTERFXLIST", u"<MASTERPLAYSPEEDENV", u"BYPASS 0"});
  EXPECT_TRUE(p.master.plugins.empty());
}

TEST(scanner, a_master_list_left_open_also_takes_the_track_plugins) {
  ProjectData& p = Scan({u"<MASTERFXLIST", u"BYPASS 0", u"<TRACK", u"<FXCHAIN", u"BYPASS 0",
                        u"<VST \"VST: Delay (Z)\" d.dll", u"PRESETNAME \"P\""});
  ASSERT_EQ(p.master.plugins.size(), 2u);
  ASSERT_EQ(p.tracks.size(), 1u);
  ASSERT_EQ(p.tracks[0].plugins.size(), 1u);
  EXPECT_EQ(U8(p.master.plugins[1].name + u"|" + p.master.plugins[1].presetName), "Delay (Z)|\"P\"");
  EXPECT_EQ(U8(p.tracks[0].plugins[0].name + u"|" + p.tracks[0].plugins[0].presetName), "Delay (Z)|P");
}

TEST(scanner, track_takes_its_first_name_and_volpan_only) {
  ProjectData& p = Scan({u"<TRACK {A}", u"NAME \"Lead Vox\"", u"VOLPAN 0.5 -0.25 -1 -1 1", u"NAME item",
                        u"VOLPAN 9 9", u"<TRACK", u"VOLPAN 1 0", u"NAME late", u"<TRACK", u"NAME \"\"",
                        u"NAME second"});
  ASSERT_EQ(p.tracks.size(), 3u);
  EXPECT_EQ(U8(p.tracks[0].name), "\"Lead Vox\"");
  EXPECT_EQ(p.tracks[0].volume, 0.5f);
  EXPECT_EQ(p.tracks[0].pan, -25.0f);
  EXPECT_EQ(U8(p.tracks[1].name), "");  // a name after the volume/pan line is ignored
  EXPECT_EQ(p.tracks[1].volume, 1.0f);
  EXPECT_EQ(p.tracks[1].pan, 0.0f);
  EXPECT_EQ(U8(p.tracks[2].name), "\"\"");
}

TEST(scanner, volpan_without_the_spaces_it_needs_gives_zero) {
  EXPECT_EQ(Scan({u"<TRACK", u"VOLPAN 0.5"}).tracks[0].volume, 0.0f);
  EXPECT_EQ(Scan({u"<TRACK", u"VOLPAN 0.5"}).tracks[0].pan, 0.0f);
  EXPECT_EQ(Scan({u"<TRACK", u"VOLPAN 0.5 0.3"}).tracks[0].pan, 0.0f);
  EXPECT_EQ(Scan({u"<TRACK", u"VOLPAN 0.5 0.3 1"}).tracks[0].pan, 100.0f * 0.3f);
  EXPECT_EQ(Scan({u"<TRACK", u"VOLPAN"}).tracks[0].volume, 0.0f);
}

TEST(scanner, mute_and_solo_read_fixed_characters) {
  ProjectData& p = Scan({u"<TRACK", u"MUTESOLO 1 2 0", u"<TRACK", u"MUTESOLO 0 1 0", u"<TRACK", u"<TRACK",
                        u"MUTESOLO", u"MUTESOLO 1 0 0"});
  ASSERT_EQ(p.tracks.size(), 4u);
  EXPECT_EQ(U8(p.tracks[0].mute + p.tracks[0].solo), "ONON");
  EXPECT_EQ(U8(p.tracks[1].mute + p.tracks[1].solo), "OFFOFF");
  EXPECT_EQ(U8(p.tracks[2].mute + p.tracks[2].solo), "");
  EXPECT_EQ(U8(p.tracks[3].mute + p.tracks[3].solo), "ONOFF");  // the last line wins
}

TEST(scanner, track_descriptions_give_the_six_kinds) {
  ProjectData& p = Scan({u"<TRACK", u"<FXCHAIN", u"BYPASS 0 0", u"<VST \"VSTi: Vital (Vital Audio)\" v.dll",
                        u"BYPASS 1 0", u"<VST \"VST: ReaComp (Cockos)\" c.dll", u"BYPASS 0",
                        u"<VST \"VST3i: Kontakt 7 (Native Instruments)\" k.vst3", u"BYPASS 0",
                        u"<VST \"VST3: Pro-L 2 (FabFilter)\" l.vst3", u"BYPASS 0", u"<CLAP \"CLAPi: Surge XT (Surge)\" s",
                        u"BYPASS 0", u"<CLAP \"CLAP: Dexed: FM (Digital Suburban)\" d", u"BYPASS 0",
                        u"<JS utility/volume \"\"", u"BYPASS 0", u"<VST \"AU: Thing\" x", u"BYPASS 0",
                        u"<VST \"VST: No closing quote"});
  ASSERT_EQ(p.tracks.size(), 1u);
  const auto& plugins = p.tracks[0].plugins;
  ASSERT_EQ(plugins.size(), 9u);
  const char* expected[] = {"online|VST2 instrument|Vital (Vital Audio)",
                            "bypass|VST2 effect|ReaComp (Cockos)",
                            "online|VST3 instrument|Kontakt 7 (Native Instruments)",
                            "online|VST3 effect|Pro-L 2 (FabFilter)",
                            "online|CLAP instrument|Surge XT (Surge)",
                            "online|CLAP effect|Dexed: FM (Digital Suburban)",
                            "online||",
                            "online||",
                            "online|VST2 effect|"};
  for (std::size_t i = 0; i < plugins.size(); ++i)
    EXPECT_EQ(U8(plugins[i].state + u"|" + plugins[i].kind + u"|" + plugins[i].name), expected[i]) << i;
}

TEST(scanner, track_bypass_is_online_only_for_zero) {
  ProjectData& p = Scan({u"<TRACK", u"<FXCHAIN", u"BYPASS 0", u"BYPASS 1", u"BYPASS 2", u"BYPASS"});
  const auto& plugins = p.tracks[0].plugins;
  ASSERT_EQ(plugins.size(), 4u);
  EXPECT_EQ(U8(plugins[0].state + plugins[1].state + plugins[2].state + plugins[3].state),
            "onlinebypassbypassbypass");
}

TEST(scanner, track_preset_loses_one_quote_each_side) {
  auto preset = [](TextView line) {
    ProjectData& p = Scan({u"<TRACK", u"<FXCHAIN", u"BYPASS 0", line});
    return U8(p.tracks[0].plugins[0].presetName);
  };
  EXPECT_EQ(preset(u"PRESETNAME \"Warm Pad\""), "Warm Pad");
  EXPECT_EQ(preset(u"PRESETNAME \"\"Quoted\"\""), "\"Quoted\"");
  EXPECT_EQ(preset(u"PRESETNAME \"open"), "open");
  EXPECT_EQ(preset(u"PRESETNAME close\""), "close");
  EXPECT_EQ(preset(u"PRESETNAME plain"), "plain");
  EXPECT_EQ(preset(u"PRESETNAME \""), "");
  EXPECT_EQ(preset(u"PRESETNAME"), "");
}

TEST(scanner, the_fx_chain_flag_stays_set_for_later_tracks) {
  ProjectData& p = Scan({u"<TRACK", u"<FXCHAIN", u"BYPASS 0", u"<VST \"VST: A (X)\" a", u"<TRACK",
                        u"<TRACK", u"<ITEM", u"<TAKEFX", u"BYPASS 0", u"<VST \"VST: B (X)\" b"});
  ASSERT_EQ(p.tracks.size(), 3u);
  EXPECT_EQ(p.tracks[0].plugins.size(), 1u);
  EXPECT_TRUE(p.tracks[1].plugins.empty());
  ASSERT_EQ(p.tracks[2].plugins.size(), 1u);  // a take FX counts as the track's
  EXPECT_EQ(U8(p.tracks[2].plugins[0].name), "B (X)");
}

TEST(scanner, lines_before_their_records_change_nothing) {
  ProjectData& p = Scan({u"NAME orphan", u"VOLPAN 1 1 1", u"MUTESOLO 1 2 0", u"<FXCHAIN", u"BYPASS 0",
                        u"<MASTERFXLIST", u"PRESETNAME x", u"<VST \"VST: A (X)\" a", u"<MASTERPLAYSPEEDENV",
                        u"<TRACK", u"<FXCHAIN", u"PRESETNAME y", u"<VST \"VST: B (X)\" b"});
  EXPECT_TRUE(p.master.plugins.empty());
  ASSERT_EQ(p.tracks.size(), 1u);
  EXPECT_TRUE(p.tracks[0].plugins.empty());
  EXPECT_EQ(U8(p.tracks[0].name + p.tracks[0].mute), "");
}

TEST(scanner, indented_or_lowercase_keywords_do_not_match) {
  ProjectData& p = Scan({u"\tTEMPO 120 4 4", u" <TRACK", u"<track", u"tempo 100 4 4"});
  EXPECT_EQ(p.info.tempo, 0);
  EXPECT_TRUE(p.tracks.empty());
}

TEST(scanner, non_ascii_names_are_kept_whole) {
  ProjectData& p = Scan({u"<TRACK", u"NAME \u30dc\u30fc\u30ab\u30eb \U0001F3B5", u"<FXCHAIN", u"BYPASS 0",
                        u"<VST \"VST3: \u00c9galiseur (Soci\u00e9t\u00e9)\" e.vst3"});
  EXPECT_EQ(U8(p.tracks[0].name), "\u30dc\u30fc\u30ab\u30eb \U0001F3B5");
  EXPECT_EQ(U8(p.tracks[0].plugins[0].name), "\u00c9galiseur (Soci\u00e9t\u00e9)");
}

// Each plug-in kind in both chains, from a line stored one byte per unit
// (checked by the scanner's filter first) and from the same line with a
// character beyond Latin-1 in the name (stored wide, never filtered).
TEST(scanner, every_plugin_kind_reads_alike_from_narrow_and_wide_lines) {
  struct Case {
    bool master;
    std::u16string_view line, kind;
  };
  const Case cases[] = {
      {true, u"<VST \"VST: Cmp# (X)\" c.dll", u"VST2 effect"},
      {true, u"<VST \"VST3: Cmp# (X)\" c.vst3", u"VST3 effect"},
      {true, u"<CLAP \"CLAP: Cmp# (X)\" c", u"CLAP effect"},
      {true, u"<LV2 \"VST3: Cmp# (X)\" c", u"VST3 effect"},  // "VST3:" counts whatever opens the line
      {true, u"XYZW \"VST3: Cmp# (X)\" c", u"VST3 effect"},
      {true, u"<VST \"VSTi: Cmp# (X)\" c.dll", u""},       // the master chain knows no instruments
      {true, u"<VST \"VST3i: Cmp# (X)\" c.vst3", u""},
      {true, u"<CLAP \"CLAPi: Cmp# (X)\" c", u""},
      {false, u"<VST \"VSTi: Cmp# (X)\" c.dll", u"VST2 instrument"},
      {false, u"<VST \"VST: Cmp# (X)\" c.dll", u"VST2 effect"},
      {false, u"<VST \"VST3i: Cmp# (X)\" c.vst3", u"VST3 instrument"},
      {false, u"<VST \"VST3: Cmp# (X)\" c.vst3", u"VST3 effect"},
      {false, u"<CLAP \"CLAPi: Cmp# (X)\" c", u"CLAP instrument"},
      {false, u"<CLAP \"CLAP: Cmp# (X)\" c", u"CLAP effect"},
      {false, u"<LV2 \"VST3: Cmp# (X)\" c", u""},  // in a track chain only "<VST" opens a VST3
      {false, u"<VST \"AU: Cmp# (X)\" c", u""},
      {false, u"<VST  \"VST: Cmp# (X)\" c.dll", u""},
  };
  for (const Case& c : cases) {
    for (char16_t unit : {u'o', u'\u014d'}) {
      Text line(c.line);
      const std::size_t mark = line.find(u'#');
      line[mark] = unit;
      ProjectData& p = c.master ? Scan({u"<MASTERFXLIST", u"BYPASS 0", line})
                                : Scan({u"<TRACK", u"<FXCHAIN", u"BYPASS 0", line});
      const auto& plugins = c.master ? p.master.plugins : p.tracks[0].plugins;
      ASSERT_EQ(plugins.size(), 1u) << U8(line);
      const Text name = c.kind.empty() ? Text() : u"Cmp" + Text(1, unit) + u" (X)";
      EXPECT_EQ(U8(plugins[0].kind + u"|" + plugins[0].name), U8(Text(c.kind) + u"|" + name)) << U8(line);
    }
  }
}

// The filter that skips narrow lines no test can take must let these through:
// they open with no tested keyword, one not even with "<".
TEST(scanner, master_list_takes_vst3_text_whatever_opens_the_line) {
  ProjectData& p = Scan({u"<MASTERFXLIST", u"BYPASS 0", u"<LV2 \"VST3: Odd (Z)\" x", u"BYPASS 1",
                        u"XYZW \"VST3: Even (Z)\" x", u"<MASTERPLAYSPEEDENV", u"BYPASS 0", u"XYZW \"VST3: Late (Z)\" x",
                        u"<TRACK", u"<FXCHAIN", u"BYPASS 0", u"XYZW \"VST3: Odd (Z)\" x"});
  ASSERT_EQ(p.master.plugins.size(), 2u);
  EXPECT_EQ(U8(p.master.plugins[0].kind + u"|" + p.master.plugins[0].name), "VST3 effect|Odd (Z)");
  EXPECT_EQ(U8(p.master.plugins[1].kind + u"|" + p.master.plugins[1].name), "VST3 effect|Even (Z)");
  ASSERT_EQ(p.tracks.size(), 1u);
  ASSERT_EQ(p.tracks[0].plugins.size(), 1u);
  EXPECT_EQ(U8(p.tracks[0].plugins[0].kind), "");  // tracks know no such kind
}
