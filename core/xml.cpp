#include "core/xml.hpp"

#include "core/files.hpp"
#include "core/log.hpp"


namespace amb {

bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path) {
  const bool ok = gf_writeFileAtomic(path, [&doc](std::ostream& out) {
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.good();
  });
  if (ok)
    gf_logf("\"{}\" saved", gf_pathText(path));
  else
    gf_logf("could not save to \"{}\"", gf_pathText(path));
  return ok;
}

std::string gf_attributeString(const pugi::xml_node& node, const char* name) {
  if (!node) return {};
  return node.attribute(name).value();
}

std::string gf_extractPath(const std::string& line) {
  static constexpr std::string_view open = "<Path>";
  static constexpr std::string_view close = "</Path>";
  const auto start = line.find(open);
  const auto end = line.find(close);
  if (start == std::string::npos || end == std::string::npos) return {};
  const auto from = start + open.size();
  if (end < from) return {};
  return line.substr(from, end - from);
}

}  // namespace amb
