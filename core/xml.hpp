#pragma once
// Small helpers on top of pugixml shared by every subsystem that reads or writes XML files.

#include <pugixml.hpp>

#include <filesystem>
#include <string>

namespace amb {

// Saves the document with the library's default layout (tab indentation, an XML declaration when the
// document has none, UTF-8), written beside and renamed into place (gf_writeFileAtomic): a failed
// save leaves the previous file whole.
// Logs "\"<path>\" saved" or "could not save to \"<path>\"" and returns whether it worked; never throws
// for a failed save.
bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path);

// The attribute's value; empty when the node is empty or has no such attribute.
std::string gf_attributeString(const pugi::xml_node& node, const char* name);

// The text between the first "<Path>" and the first "</Path>" of the line, untrimmed; empty when
// either tag is missing.
std::string gf_extractPath(const std::string& line);

}  // namespace amb
