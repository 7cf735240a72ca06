#pragma once
// The settings file "parameters.xml" (at g_parametersPath): root element `parameters` with one
// element `parameter` (attributes `name`, then `value`) per stored option. Bools are written "true" or
// "false", ints in decimal, strings as they are. Also the meta block that the program's other XML
// files carry, and small helpers to append parameter entries to any XML element.
//
// Threading: the load, every saver and the removal each hold one process-wide lock from reading the
// file to writing it back, so changes from the window, worker and exit threads never overwrite each
// other. Controls are only touched after the lock is released.

#include "settings/options.hpp"

#include <pugixml.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace amb {

// The XPath text that selects, under the top-level `parameters` element, the `parameter` elements
// whose `name` is the key ("/parameters/parameter[@name='KEY']").
std::string lf_findParameterNode(const std::string& key);

// True for the livery and scenery folder keys (containing "lfolder" or "afolder").
bool lf_isFolderKey(const std::string& key);

// Readers: each looks up the option's entry in the document (the first one in document order), sets
// the value and says whether the entry was there. A missing entry gives the default; a missing
// `value` attribute gives false, 0 (then clamped) or the empty text. Each logs "<key>=<value>";
// gf_readIntOption only when asked, lf_readFolderOption only for a non-empty value.
bool lf_readBoolOption(BoolOption& option, const pugi::xml_node& doc);
bool gf_readIntOption(IntOption& option, const pugi::xml_node& doc, bool log);
bool lf_readStringOption(StringOption& option, const pugi::xml_node& doc);
bool lf_readFolderOption(StringOption& option, const pugi::xml_node& doc);

// The load: reads every option of the six lists from the file, adds missing entries, removes empty
// folder entries and writes the file back; a file that cannot be loaded is replaced by one holding
// the defaults. Check boxes and edit boxes show the values read.
void lf_readParameters(const std::vector<BoolOption*>& plainBools,
                       const std::vector<BoolOptionCheckBox*>& checkBoxBools,
                       const std::vector<IntOption*>& plainInts, const std::vector<IntOptionEdit*>& editInts,
                       const std::vector<StringOption*>& plainStrings,
                       const std::vector<StringOptionEdit*>& editStrings);

// Savers: store the option's current value in the file, changing its entry or appending one. Without
// a readable file the file is written with this one entry. A failed save is only logged ("saving xml
// did not work?"); the value stays in memory.
void gf_saveBoolOption(const BoolOption& option);
void gf_saveIntOption(const IntOption& option);
// Several at once, in one write of the file.
void gf_saveIntOptions(std::initializer_list<const IntOption*> options);
void gf_saveStringOption(const StringOption& option);
// Sets the value to the text, then saves it.
void gf_setStringOption(StringOption& option, std::string text);

// Removes the option's entry from the file, logging "Parameter <key> removed".
void lf_removeParameter(const StringOption& option);

// Appends a `parameter` element (name = key, value as text) to an element or a document; false when
// the node is neither or the element cannot be added.
bool gf_appendBoolParameter(pugi::xml_node node, const std::string& key, bool value);
bool gf_appendIntParameter(pugi::xml_node node, const std::string& key, std::int32_t value);
bool gf_appendStringParameter(pugi::xml_node node, const std::string& key, const std::string& value);
// Appends an attribute with the value in decimal; false when the node takes no attribute.
bool gf_appendIntAttribute(pugi::xml_node node, const char* name, std::int32_t value);

// The meta block: a top-level element `meta` with four `info` elements (`name`, `value`): "author"
// (the program's name), "version" (the running version), "date" (today, UTC) and "copyright".
// lf_writeMeta appends it to the node (callers pass the document) and returns false when any part of
// it cannot be added.
bool lf_writeMeta(pugi::xml_node node);
// Reads the `info` entry named by the option's key into the option (empty when missing).
bool lf_readMetaEntry(const pugi::xml_node& doc, StringOption& option);
// True when the document's meta block holds "author", "date" and "version"; otherwise logs the
// marked line "meta data incorrect?".
bool gf_checkMeta(const pugi::xml_node& doc);

}  // namespace amb
