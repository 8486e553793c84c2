#include "report/html_writer.h"

#include "runtime/numbered_file.h"

namespace {

// A text from the project file or its path, to be written HTML-escaped.
struct Esc {
  TextView text;
};

struct LineBuilder {
  Text text;
  LineBuilder& operator<<(TextView piece) {
    text += piece;
    return *this;
  }
  LineBuilder& operator<<(Esc piece) {
    for (char16_t c : piece.text) {
      switch (c) {
        case u'&': text += u"&amp;"; break;
        case u'<': text += u"&lt;"; break;
        case u'>': text += u"&gt;"; break;
        case u'"': text += u"&quot;"; break;
        default: text.push_back(c);
      }
    }
    return *this;
  }
};

class ReportWriter {
 public:
  ReportWriter(const ProjectData& project, std::int64_t file) : project_(project), file_(file) {}

  void write() {
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
  void raw(TextView text) { WriteTextLine(file_, text); }
  // Starts an indented line.
  LineBuilder& line() {
    builder_.text.assign(1, u'\t');
    return builder_;
  }
  void end() { WriteTextLine(file_, builder_.text); }

  const ProjectData& project_;
  std::int64_t file_;
  LineBuilder builder_;
};

}  // namespace

void writeReport(const ProjectData& project, std::int64_t fileNumber) { ReportWriter(project, fileNumber).write(); }
