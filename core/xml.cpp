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

pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const std::filesystem::path& path,
                                      unsigned int options) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::is_regular_file(status)) {
    doc.reset();
    pugi::xml_parse_result result;
    result.status = std::filesystem::exists(status) ? pugi::status_io_error : pugi::status_file_not_found;
    return result;
  }
  return doc.load_file(path.c_str(), options);
}

std::filesystem::path gf_damagedFilePath(const std::filesystem::path& path) {
  std::filesystem::path bad = path;
  bad += ".bad";
  return bad;
}

bool gf_keepDamagedFile(const std::filesystem::path& path, std::error_code& ec) {
  const std::filesystem::path bad = gf_damagedFilePath(path);
  std::filesystem::rename(path, bad, ec);
  std::error_code probe;
  if (ec && std::filesystem::exists(std::filesystem::symlink_status(bad, probe))) {
    // A kept entry of another kind (a file where a folder is to go, or the other way round) goes first.
    std::error_code removed;
    std::filesystem::remove(bad, removed);
    if (!removed) std::filesystem::rename(path, bad, ec);
  }
  return !ec;
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
