#pragma once
// Small helpers on top of pugixml shared by every subsystem that reads or writes XML files.

#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <system_error>

namespace amb {

// Saves the document with the library's default layout (tab indentation, an XML declaration when the
// document has none, UTF-8), written beside and renamed into place (gf_writeFileAtomic): a failed
// save leaves the previous file whole.
// Logs "\"<path>\" saved" or "could not save to \"<path>\"" and returns whether it worked; never throws
// for a failed save.
bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path);

// Loads the file as pugixml's load_file does, but only a regular file (links followed): a folder of
// that name reads as a file of absurd size, and a pipe or a device never ends. Anything else gives
// status_file_not_found when nothing is there and status_io_error otherwise.
pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const std::filesystem::path& path,
                                      unsigned int options = pugi::parse_default);

// Moves a file the program cannot read back (damaged, cut short, not a file at all) out of the way to
// gf_damagedFilePath beside it, where the user still finds it and a new file can take its place; an
// older one there is replaced. False with ec set when it cannot be moved.
bool gf_keepDamagedFile(const std::filesystem::path& path, std::error_code& ec);
// "<name>.bad"
std::filesystem::path gf_damagedFilePath(const std::filesystem::path& path);

// The attribute's value; empty when the node is empty or has no such attribute.
std::string gf_attributeString(const pugi::xml_node& node, const char* name);

// The text between the first "<Path>" and the first "</Path>" of the line, untrimmed; empty when
// either tag is missing.
std::string gf_extractPath(const std::string& line);

}  // namespace amb
