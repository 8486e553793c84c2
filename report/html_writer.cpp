#include "report/html_writer.h"

#include "runtime/utf8.h"

#include <algorithm>

namespace {

// A text from the project file or its path, to be written HTML-escaped.
struct Esc {
  TextView text;
};

// A long text is escaped and encoded this many units at a time, so that
// writing never holds a second copy of a huge name.
constexpr std::size_t kSliceUnits = 16 * 1024;

// UTF-8 bytes on their way to the sink, encoded and escaped straight into
// the writer's buffer.
class ReportBytes {
 public:
  explicit ReportBytes(ByteSink& sink) : out_(sink) {}
  ReportBytes& operator<<(TextView piece) {
    while (!piece.empty()) {
      const std::size_t n = sliceLength(piece);
      AppendUtf8Encoded(piece.substr(0, n), out_.buffer());
      out_.flushIfFull();
      piece.remove_prefix(n);
    }
    return *this;
  }
  ReportBytes& operator<<(Esc piece) {
    TextView rest = piece.text;
    while (!rest.empty()) {
      std::size_t plain = 0;
      while (plain < rest.size() && !isSpecial(rest[plain])) ++plain;
      if (plain > 0) {
        *this << rest.substr(0, plain);
        rest.remove_prefix(plain);
        continue;
      }
      switch (rest[0]) {
        case u'&': out_ << "&amp;"; break;
        case u'<': out_ << "&lt;"; break;
        case u'>': out_ << "&gt;"; break;
        default: out_ << "&quot;"; break;
      }
      rest.remove_prefix(1);
    }
    return *this;
  }
  // Hands what is pending to the sink; false once the sink refused anything.
  bool flush() { return out_.flush(); }

 private:
  static bool isSpecial(char16_t c) { return c == u'&' || c == u'<' || c == u'>' || c == u'"'; }
  // At most kSliceUnits, a surrogate pair kept whole.
  static std::size_t sliceLength(TextView piece) {
    std::size_t n = std::min(piece.size(), kSliceUnits);
    if (n < piece.size() && piece[n - 1] >= 0xD800 && piece[n - 1] <= 0xDBFF) --n;
    return n;
  }

  BufferedWriter out_;
};

class ReportWriter {
 public:
  ReportWriter(const ProjectData& project, ByteSink& sink) : project_(project), out_(sink) {}

  bool write() {
    raw(u"<!doctype html>");
    raw(u"<html lang=\"en\">");
    raw(u"<head>");
    line() << u"<meta charset=\"utf-8\">";
    end();
    line() << u"<title>Reaper Project : " << Esc{project_.info.projectName} << u"</title>";
    end();
    raw(u"</head>");
    raw(u"<body>");
    writeSeparator();
    writeTitleParagraph();
    line() << u"Reaper Project : " << Esc{project_.info.projectName};
    end();
    writeCommonParagraph();
    line() << u"Project Date : " << Esc{project_.info.projectDate} << u"<br>";
    end();
    line() << u"Project Path : " << Esc{project_.info.projectFolder} << u"<br>";
    end();
    line() << u"Reaper Version : " << Esc{project_.info.reaperVersion} << u" (" << Esc{project_.info.reaperPlatform} << u")<br><br>";
    end();
    writeSeparator();
    writeInfoParagraph();
    line() << u"Project Tempo : " << IntegerToText(project_.info.tempo) << u"<br>";
    end();
    line() << u"Number of Tracks : " << IntegerToText(static_cast<std::int64_t>(project_.tracks.size())) << u"<br>";
    end();
    writeSeparator();
    writeInfoParagraph();
    line() << u"Master Volume : " << FloatToText(project_.master.volume) << u"<br>";
    end();
    writeSeparator();
    writeMaster();
    std::int64_t t = 0;
    for (const TrackRecord& track : project_.tracks) writeTrack(++t, track);
    line() << u"Quorvel<br>";
    end();
    line() << u"(17/07/2025)<br>";
    end();
    line() << u"by Velmorn<br>";
    end();
    writeSeparator();
    line() << u"<br>";
    end();
    raw(u"</body>");
    raw(u"</html>");
    return out_.flush();
  }

 private:
  void writeMaster() {
    writeSectionParagraph();
    line() << u"Master Plugins (" << Esc{project_.master.fxState} << u")<br>";
    end();
    std::int64_t i = 0;
    for (const PluginRecord& plugin : project_.master.plugins) {
      const Text number = IntegerToText(++i);
      writePluginHeadParagraph();
      line() << u"Master Plugin " << number << u" (" << Esc{plugin.state} << u")<br>";
      end();
      writePluginDetailParagraph();
      line() << u"Master Plugin " << number << u" type : " << Esc{plugin.kind} << u"<br>";
      end();
      line() << u"Master Plugin " << number << u" name : " << Esc{plugin.name} << u"<br>";
      end();
      line() << u"Master Plugin " << number << u" preset : " << Esc{plugin.presetName} << u"<br>";
      end();
      writeSeparator();
    }
  }

  void writeTrack(std::int64_t t, const TrackRecord& track) {
    const Text number = IntegerToText(t);
    writeSectionParagraph();
    line() << u"Track " << number << u"<br>";
    end();
    writeInfoParagraph();
    line() << u"Track Name : " << Esc{track.name} << u"<br>";
    end();
    line() << u"Track Volume : " << FloatToText(track.volume) << u"<br>";
    end();
    line() << u"Track Pan : " << FloatToText(track.pan) << u"<br>";
    end();
    line() << u"Track Mute : " << Esc{track.mute} << u"<br>";
    end();
    line() << u"Track Solo : " << Esc{track.solo} << u"<br>";
    end();
    writeSectionParagraph();
    line() << u"Track " << number << u" Plugins<br>";
    end();
    std::int64_t k = 0;
    for (const PluginRecord& plugin : track.plugins) {
      ++k;
      if (TextEquals(plugin.kind, u"")) continue;  // unrecognised: skipped, its number kept
      writePluginHeadParagraph();
      line() << u"Track " << number << u" Plugin " << IntegerToText(k) << u" (" << Esc{plugin.state} << u")<br>";
      end();
      writePluginDetailParagraph();
      line() << u"Plugin Type : " << Esc{plugin.kind} << u"<br>";
      end();
      line() << u"Plugin Name : " << Esc{plugin.name} << u"<br>";
      end();
      line() << u"Plugin Preset : " << Esc{plugin.presetName} << u"<br><br>";
      end();
    }
    writeSeparator();
  }

  void writeSeparator() {
    line() << u"<hr WIDTH=\"800px\" ALIGN=\"LEFT\"><br>";
    end();
  }
  void paragraph(TextView style) {
    line() << u"<p style=\"" << style << u"\">";
    end();
  }
  void writeTitleParagraph() { paragraph(u"color: blue; font-size: 40px; font-weight: bold;"); }
  void writeSectionParagraph() { paragraph(u"color: blue; font-size: 22px; font-weight: bold;"); }
  void writeCommonParagraph() { paragraph(u"color: black; font-size: 16px; padding-left: 40px;"); }
  void writeInfoParagraph() { paragraph(u"color: black; font-size: 18px; padding-left: 40px;"); }
  void writePluginHeadParagraph() {
    paragraph(u"color: black; font-size: 18px; font-weight: bold; padding-left: 60px;");
  }
  void writePluginDetailParagraph() { paragraph(u"color: black; font-size: 16px; padding-left: 80px;"); }

  // A structural line, written without the indent.
  void raw(TextView text) { out_ << text << u"\r\n"; }
  // Starts an indented line; end() ends it.
  ReportBytes& line() { return out_ << u"\t"; }
  void end() { out_ << u"\r\n"; }

  const ProjectData& project_;
  ReportBytes out_;
};

}  // namespace

bool writeReport(const ProjectData& project, ByteSink& sink) { return ReportWriter(project, sink).write(); }
