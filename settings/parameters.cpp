#include "settings/parameters.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/xml.hpp"

#include <fmt/format.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <utility>

namespace amb {

namespace {

// Held around every read, change and write of "parameters.xml".
std::mutex g_settingsFileMutex;

// Control updates collected while the file lock is held and made once it is released: on Windows a
// control call from the worker waits for the window thread, which may itself be waiting for the lock
// in a saver.
using ControlUpdates = std::vector<std::function<void()>>;

std::filesystem::path parametersPath() { return gf_pathFromUtf8(g_parametersPath); }

// Loads the file. When it exists but cannot be read (damaged, cut short, not XML, not readable, not a
// file at all) it is moved aside to "parameters.xml.bad", where the user's settings can still be
// found, and the reason goes to `unreadable`; the caller then starts from the defaults.
bool loadFile(pugi::xml_document& doc, std::string* unreadable = nullptr) {
  const std::filesystem::path path = parametersPath();
  const pugi::xml_parse_result parsed = gf_loadXmlFile(doc, path);
  if (parsed) return true;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return false;
  const std::filesystem::path bad = gf_damagedFilePath(path);
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  const bool noFile = std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
  const std::string reason = noFile ? "it is no file"
                             : parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error
                                 ? "it cannot be opened"
                                 : fmt::format("{} at byte {}", parsed.description(), parsed.offset);
  if (gf_keepDamagedFile(path, ec))
    gf_logf("{} could not be read ({}), kept as {}", g_parametersPath, reason, gf_pathText(bad));
  else
    gf_logf("{} could not be read ({}) nor kept as {}: {}", g_parametersPath, reason, gf_pathText(bad), ec.message());
  if (unreadable) *unreadable = reason;
  return false;
}

// What is written back: one `parameters` element holding a copy of every `parameter` entry of the
// top-level `parameters` elements, in document order, with its `name` and `value` attributes and
// nothing else. Whatever else a damaged or hand-edited file holds is left out, so saving never
// grows with it (deeply nested elements would be written back indented one tab per level).
void copyEntries(const pugi::xml_node& from, pugi::xml_document& to) {
  pugi::xml_node parameters = to.append_child("parameters");
  for (pugi::xml_node top : from.root().children("parameters")) {
    for (pugi::xml_node entry : top.children("parameter")) {
      pugi::xml_node copy = parameters.append_child("parameter");
      for (const char* name : {"name", "value"}) {
        if (const pugi::xml_attribute a = entry.attribute(name)) copy.append_attribute(name).set_value(a.value());
      }
    }
  }
}

// The savers' write: the entries only, written beside and renamed into place, so that a crash or a
// full disk never leaves a half-written settings file. Logs nothing.
bool saveFile(const pugi::xml_document& doc) {
  pugi::xml_document entries;
  copyEntries(doc, entries);
  return gf_writeFileAtomic(parametersPath(), [&entries](std::ostream& out) {
    entries.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.good();
  });
}

// The load's write, which logs as gf_saveXml does.
void saveLoaded(const pugi::xml_document& doc) {
  pugi::xml_document entries;
  copyEntries(doc, entries);
  gf_saveXml(entries, parametersPath());
}

// The first element `child` with name == key under any top-level element `parent`, in document order.
pugi::xml_node findEntry(const pugi::xml_node& doc, const char* parent, const char* child, const std::string& key) {
  for (pugi::xml_node top : doc.root().children(parent)) {
    for (pugi::xml_node entry : top.children(child)) {
      if (key == entry.attribute("name").value()) return entry;
    }
  }
  return {};
}

pugi::xml_node findParameter(const pugi::xml_node& doc, const std::string& key) {
  return findEntry(doc, "parameters", "parameter", key);
}

bool appendParameter(pugi::xml_node node, const std::string& key, const char* text) {
  if (node.type() != pugi::node_element && node.type() != pugi::node_document) return false;
  pugi::xml_node entry = node.append_child("parameter");
  if (!entry) return false;
  return entry.append_attribute("name").set_value(key.c_str()) && entry.append_attribute("value").set_value(text);
}

void logAppendFailure(const std::string& key, const std::string& value) {
  gf_logf("{}adding init xml parameter {} with {} failed!", "===> ", key, value);
}

// Fresh file: one option's default.
void lf_initBoolParameter(BoolOption& option, pugi::xml_node parameters) {
  if (!gf_appendBoolParameter(parameters, option.key, option.defaultValue != 0))
    logAppendFailure(option.key, gf_boolText(option.value != 0));
  option.value = option.defaultValue;
  lf_logBoolOption(option);
}

void lf_initIntParameter(IntOption& option, pugi::xml_node parameters) {
  if (!gf_appendIntParameter(parameters, option.key, option.defaultValue))
    logAppendFailure(option.key, std::to_string(option.value.load()));
  option.value = option.defaultValue;
  lf_logIntOption(option);
}

void lf_initStringParameter(StringOption& option, pugi::xml_node parameters) {
  if (!gf_appendStringParameter(parameters, option.key, option.defaultValue))
    logAppendFailure(option.key, option.value());
  option.setValue(option.defaultValue);
  lf_logStringOption(option);
}

// Existing file: read one option and add its entry when it is missing.
void lf_loadBoolOption(pugi::xml_document& doc, BoolOption& option) {
  if (lf_readBoolOption(option, doc)) return;
  if (pugi::xml_node parameters = doc.child("parameters"))
    gf_appendBoolParameter(parameters, option.key, option.value != 0);
}

void lf_loadIntOption(pugi::xml_document& doc, IntOption& option) {
  if (gf_readIntOption(option, doc, true)) return;
  if (pugi::xml_node parameters = doc.child("parameters"))
    gf_appendIntParameter(parameters, option.key, option.value);
}

// The same for options shown in the window: the control shows the value once the file is released.
void lf_loadCheckBoxOption(pugi::xml_document& doc, BoolOptionCheckBox& option, ControlUpdates& updates) {
  lf_loadBoolOption(doc, option);
  updates.emplace_back([&option] { option.refresh(); });
}

void lf_loadIntEditOption(pugi::xml_document& doc, IntOptionEdit& option, ControlUpdates& updates) {
  lf_loadIntOption(doc, option);
  updates.emplace_back([&option] { gf_showIntOption(option); });
}

void lf_loadStringOption(pugi::xml_document& doc, StringOption& option) {
  if (lf_readStringOption(option, doc)) return;
  if (pugi::xml_node parameters = doc.child("parameters"))
    gf_appendStringParameter(parameters, option.key, option.value());
}

// Takes the option's entry out of the document; true when there was one.
bool removeEntry(pugi::xml_node doc, const std::string& key) {
  if (!doc.root().child("parameters")) return false;
  pugi::xml_node entry = findParameter(doc, key);
  if (!entry) return false;
  entry.parent().remove_child(entry);
  gf_logf("Parameter {} removed", key);
  return true;
}

void readFresh(pugi::xml_document& doc, const std::vector<BoolOption*>& plainBools,
               const std::vector<BoolOptionCheckBox*>& checkBoxBools, const std::vector<IntOption*>& plainInts,
               const std::vector<IntOptionEdit*>& editInts, const std::vector<StringOption*>& plainStrings,
               const std::vector<StringOptionEdit*>& editStrings, ControlUpdates& updates, bool unreadable) {
  if (unreadable)
    gf_logf("{} unreadable, default values taken:", g_parametersPath);
  else
    gf_logf("{} not found, default values taken:", g_parametersPath);
  doc.reset();
  pugi::xml_node parameters = doc.append_child("parameters");
  for (BoolOption* o : plainBools) lf_initBoolParameter(*o, parameters);
  for (BoolOptionCheckBox* o : checkBoxBools) {
    lf_initBoolParameter(*o, parameters);
    updates.emplace_back([o] { o->refresh(); });
  }
  for (IntOption* o : plainInts) lf_initIntParameter(*o, parameters);
  for (IntOptionEdit* o : editInts) {
    lf_initIntParameter(*o, parameters);
    updates.emplace_back([o] { gf_showIntOption(*o); });
  }
  for (StringOption* o : plainStrings) {
    if (lf_isFolderKey(o->key))
      o->setValue(o->defaultValue);  // folder keys get no entry in a fresh file
    else
      lf_initStringParameter(*o, parameters);
  }
  for (StringOptionEdit* o : editStrings) {
    lf_initStringParameter(*o, parameters);
    updates.emplace_back([o] { gf_showStringOption(*o); });
  }
  gf_saveXml(doc, parametersPath());
}

void readExisting(pugi::xml_document& doc, const std::vector<BoolOption*>& plainBools,
                  const std::vector<BoolOptionCheckBox*>& checkBoxBools, const std::vector<IntOption*>& plainInts,
                  const std::vector<IntOptionEdit*>& editInts, const std::vector<StringOption*>& plainStrings,
                  const std::vector<StringOptionEdit*>& editStrings, ControlUpdates& updates) {
  gf_logf("from \"{}\"", g_parametersPath);
  for (BoolOption* o : plainBools) lf_loadBoolOption(doc, *o);
  for (BoolOptionCheckBox* o : checkBoxBools) lf_loadCheckBoxOption(doc, *o, updates);
  for (IntOption* o : plainInts) lf_loadIntOption(doc, *o);
  for (IntOptionEdit* o : editInts) lf_loadIntEditOption(doc, *o, updates);
  for (StringOption* o : plainStrings) {
    if (lf_isFolderKey(o->key)) {
      // An empty folder entry is dropped from the file; a missing one is not added.
      lf_readFolderOption(*o, doc);
      if (o->value().empty()) removeEntry(doc, o->key);
    } else {
      lf_loadStringOption(doc, *o);
    }
  }
  for (StringOptionEdit* o : editStrings) {
    lf_loadStringOption(doc, *o);
    updates.emplace_back([o] { gf_showStringOption(*o); });
  }
  // A file without settings in it (some other XML document) is left as it is.
  if (doc.child("parameters")) saveLoaded(doc);
}

// Load, change the entries, save: the body of every saver. Several entries go in one write.
void storeEntries(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::lock_guard lock(g_settingsFileMutex);
  pugi::xml_document doc;
  const bool usable = loadFile(doc) && doc.child("parameters");
  // No usable file: whatever could be parsed stays, followed by a new `parameters` element.
  pugi::xml_node parameters = usable ? doc.child("parameters") : doc.append_child("parameters");
  for (const auto& [key, text] : entries) {
    if (pugi::xml_node entry = usable ? findParameter(doc, key) : pugi::xml_node{}) {
      // An entry without a value attribute is left as it is.
      entry.attribute("value").set_value(text.c_str());
    } else {
      appendParameter(parameters, key, text.c_str());
    }
    gf_logf("{}={}", key, text);
  }
  if (!saveFile(doc)) gf_log("saving xml did not work?");
}

void storeEntry(const Option& option, const std::function<std::string()>& valueText) {
  storeEntries({{option.key, valueText()}});
}

bool appendInfo(pugi::xml_node meta, const char* name, const std::string& value) {
  pugi::xml_node info = meta.append_child("info");
  return info && info.append_attribute("name").set_value(name) &&
         info.append_attribute("value").set_value(value.c_str());
}

}  // namespace

std::string lf_findParameterNode(const std::string& key) { return "/parameters/parameter[@name='" + key + "']"; }

bool lf_isFolderKey(const std::string& key) {
  return key.find("lfolder") != std::string::npos || key.find("afolder") != std::string::npos;
}

bool lf_readBoolOption(BoolOption& option, const pugi::xml_node& doc) {
  const pugi::xml_node entry = findParameter(doc, option.key);
  if (!entry) {
    option.value = option.defaultValue;
    lf_logBoolOption(option);
    return false;
  }
  // True when the text begins with 1, t, T, y or Y; false otherwise and without the attribute.
  option.value = entry.attribute("value").as_bool() ? 1 : 0;
  lf_logBoolOption(option);
  return true;
}

bool gf_readIntOption(IntOption& option, const pugi::xml_node& doc, bool log) {
  const pugi::xml_node entry = findParameter(doc, option.key);
  if (!entry) {
    option.value = option.defaultValue;
    if (log) lf_logIntOption(option);
    return false;
  }
  // White space, a sign, decimal or 0x digits up to the first other character; saturates at the
  // 32-bit limits; no digits give 0.
  option.value = option.clamped(entry.attribute("value").as_int());
  if (log) lf_logIntOption(option);
  return true;
}

bool lf_readStringOption(StringOption& option, const pugi::xml_node& doc) {
  const pugi::xml_node entry = findParameter(doc, option.key);
  if (!entry) {
    option.setValue(option.defaultValue);
    lf_logStringOption(option);
    return false;
  }
  option.setValue(entry.attribute("value").value());
  lf_logStringOption(option);
  return true;
}

bool lf_readFolderOption(StringOption& option, const pugi::xml_node& doc) {
  const pugi::xml_node entry = findParameter(doc, option.key);
  option.setValue(entry ? std::string(entry.attribute("value").value()) : option.defaultValue);
  if (!option.value().empty()) lf_logStringOption(option);
  return static_cast<bool>(entry);
}

void lf_readParameters(const std::vector<BoolOption*>& plainBools,
                       const std::vector<BoolOptionCheckBox*>& checkBoxBools,
                       const std::vector<IntOption*>& plainInts, const std::vector<IntOptionEdit*>& editInts,
                       const std::vector<StringOption*>& plainStrings,
                       const std::vector<StringOptionEdit*>& editStrings) {
  gf_log(gf_bannerLine(70, 0, true, false, "parameters"));
  ControlUpdates updates;
  {
    std::lock_guard lock(g_settingsFileMutex);
    pugi::xml_document doc;
    std::string unreadable;
    if (loadFile(doc, &unreadable))
      readExisting(doc, plainBools, checkBoxBools, plainInts, editInts, plainStrings, editStrings, updates);
    else
      readFresh(doc, plainBools, checkBoxBools, plainInts, editInts, plainStrings, editStrings, updates,
                !unreadable.empty());
  }
  for (const auto& update : updates) update();
  gf_log(gf_bannerLine(70, 10, false, true, ""));
}

void gf_saveBoolOption(const BoolOption& option) {
  storeEntry(option, [&] { return std::string(gf_boolText(option.value != 0)); });
}

void gf_saveIntOption(const IntOption& option) {
  storeEntry(option, [&] { return std::to_string(option.value.load()); });
}

void gf_saveIntOptions(std::initializer_list<const IntOption*> options) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const IntOption* option : options) entries.emplace_back(option->key, std::to_string(option->value.load()));
  storeEntries(entries);
}

void gf_saveStringOption(const StringOption& option) {
  storeEntry(option, [&] { return option.value(); });
}

void gf_setStringOption(StringOption& option, std::string text) {
  option.setValue(std::move(text));
  gf_saveStringOption(option);
}

void lf_removeParameter(const StringOption& option) {
  std::lock_guard lock(g_settingsFileMutex);
  pugi::xml_document doc;
  if (!loadFile(doc)) return;
  removeEntry(doc, option.key);
  if (!saveFile(doc)) gf_log("saving xml did not work?");
}

bool gf_appendBoolParameter(pugi::xml_node node, const std::string& key, bool value) {
  return appendParameter(node, key, gf_boolText(value));
}

bool gf_appendIntParameter(pugi::xml_node node, const std::string& key, std::int32_t value) {
  return appendParameter(node, key, std::to_string(value).c_str());
}

bool gf_appendStringParameter(pugi::xml_node node, const std::string& key, const std::string& value) {
  return appendParameter(node, key, value.c_str());
}

bool gf_appendIntAttribute(pugi::xml_node node, const char* name, std::int32_t value) {
  pugi::xml_attribute attribute = node.append_attribute(name);
  return attribute && attribute.set_value(value);
}

bool lf_writeMeta(pugi::xml_node node) {
  pugi::xml_node meta = node.append_child("meta");
  if (!meta) return false;
  return appendInfo(meta, "author", g_programName) &&
         appendInfo(meta, "version", gf_versionText(g_programVersion)) &&
         appendInfo(meta, "date", gf_dateString()) && appendInfo(meta, "copyright", META_COPYRIGHT.value());
}

bool lf_readMetaEntry(const pugi::xml_node& doc, StringOption& option) {
  const pugi::xml_node entry = findEntry(doc, "meta", "info", option.key);
  option.setValue(entry ? std::string(entry.attribute("value").value()) : std::string());
  return static_cast<bool>(entry);
}

bool gf_checkMeta(const pugi::xml_node& doc) {
  const bool ok =
      lf_readMetaEntry(doc, META_AUTHOR) && lf_readMetaEntry(doc, META_DATE) && lf_readMetaEntry(doc, META_VERSION);
  if (!ok) gf_logMarked("meta data incorrect?");
  return ok;
}

}  // namespace amb
