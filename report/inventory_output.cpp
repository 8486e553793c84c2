#include "report/inventory_output.h"

std::string_view replaceLoneSurrogates(std::string_view text, std::string& scratch) {
  // A surrogate's encoding starts with ED A0..ED BF; nothing else does.
  std::size_t i = text.find('\xED');
  while (i != std::string_view::npos && !(i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0))
    i = text.find('\xED', i + 1);
  if (i == std::string_view::npos) return text;
  scratch.clear();
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\xED' && k + 2 < text.size() && static_cast<unsigned char>(text[k + 1]) >= 0xA0) {
      scratch += "\xEF\xBF\xBD";
      k += 2;
    } else {
      scratch.push_back(text[k]);
    }
  }
  return scratch;
}

std::unique_ptr<InventoryWriter> makeInventoryWriter(InventoryFormat format, std::optional<std::string> resources,
                                                     ByteSink& sink, InventoryStamp stamp, CsvTable table) {
  switch (format) {
    case InventoryFormat::Html: return makeInventoryHtmlWriter(std::move(resources), sink, std::move(stamp));
    case InventoryFormat::Json: return makeInventoryJsonWriter(std::move(resources), sink, std::move(stamp));
    case InventoryFormat::Csv: break;
  }
  return makeInventoryCsvWriter(sink, table);
}
