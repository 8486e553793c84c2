#include "report/html_writer.h"

#include "runtime/utf8.h"

#include <algorithm>

namespace {

// A text from the project file or its path, to be written HTML-escaped.
struct Esc {
  TextView text;
};

// The report's bytes go to the sink in blocks of about this size, and a long
// text is escaped and encoded this many units at a time, so that writing
// never holds a second copy of a huge name.
constexpr std::size_t kBlockBytes = 64 * 1024;
constexpr std::size_t kSliceUnits = 16 * 1024;

// UTF-8 bytes on their way to the sink.
class ReportBytes {
 public:
  explicit ReportBytes(DataSink& sink) : sink_(sink) {}
  ReportBytes& operator<<(TextView piece) {
    AppendUtf8Encoded(piece, bytes_);
    if (bytes_.size() >= kBlockBytes) flush();
    return *this;
  }
  ReportBytes& operator<<(Esc piece) {
    TextView rest = piece.text;
    while (!rest.empty()) {
      std::size_t n = std::min(rest.size(), kSliceUnits);
      if (n < rest.size() && rest[n - 1] >= 0xD800 && rest[n - 1] <= 0xDBFF) --n;  // a pair stays whole
      escaped_.clear();
      for (char16_t c : rest.substr(0, n)) {
        switch (c) {
          case u'&': escaped_ += u"&amp;"; break;
          case u'<': escaped_ += u"&lt;"; break;
          case u'>': escaped_ += u"&gt;"; break;
          case u'"': escaped_ += u"&quot;"; break;
          default: escaped_.push_back(c);
        }
      }
      *this << TextView(escaped_);
      rest.remove_prefix(n);
    }
    return *this;
  }
  // Hands what is pending to the sink; false once the sink refused anything.
  bool flush() {
    if (ok_ && !bytes_.empty()) ok_ = sink_.write(bytes_);
    bytes_.clear();
    return ok_;
  }

 private:
  DataSink& sink_;
  std::string bytes_;
  Text escaped_;
  bool ok_ = true;
};

class ReportWriter {
 public:
  ReportWriter(const ProjectData& project, DataSink& sink) : project_(project), out_(sink) {}

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

bool writeReport(const ProjectData& project, DataSink& sink) { return ReportWriter(project, sink).write(); }
