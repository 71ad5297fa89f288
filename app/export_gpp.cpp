#include "app/export_gpp.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <set>

#include "runtime/text/ansi_text.h"

namespace vantrel::app {
namespace {

// The editor's icon for an item of a number type: 12 update, 13 delete.
constexpr int kImageUpdate = 12;
constexpr int kImageDelete = 13;

std::string Attribute(std::string_view name, std::string_view utf8Escaped) {
  return " " + std::string(name) + "=\"" + std::string(utf8Escaped) + "\"";
}

// The restart lines of `effects` joined into one sentence list.
std::string RestartText(const std::vector<TakesEffect>& effects) {
  std::string out;
  for (TakesEffect e : effects) {
    if (!out.empty()) out += " ";
    out += TakesEffectLine(e);
  }
  return out;
}

}  // namespace

GppStamp GppStampNow() {
  GppStamp stamp;
  const std::time_t now = std::time(nullptr);
  char changed[32] = "1970-01-01 00:00:00";
  if (const std::tm* utc = std::gmtime(&now)) {
    std::strftime(changed, sizeof changed, "%Y-%m-%d %H:%M:%S", utc);
  }
  stamp.changed = changed;
  stamp.newUid = [] {
    // The clock is mixed in because a random device is not random on every C++ library.
    thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    unsigned char b[16];
    for (int i = 0; i < 16; i += 8) {
      const std::uint64_t r = random();
      for (int j = 0; j < 8; ++j) b[i + j] = static_cast<unsigned char>(r >> (8 * j));
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4: random
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    char text[40];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return std::string(text);
  };
  return stamp;
}

std::string GppAttributeText(std::string_view ansi) {
  std::string out;
  for (char byte : ansi) {
    const char32_t c = AnsiCharOf(static_cast<unsigned char>(byte));
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // Controls never get here (the items refuse them) except the C1 range, which XML holds
        // but which is invisible and easily lost by an editor: written as references.
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          char ref[16];
          std::snprintf(ref, sizeof ref, "&#x%X;", static_cast<unsigned>(c));
          out += ref;
        } else {
          AppendUtf8(out, c);
        }
    }
  }
  return out;
}

ExportResult WriteGppRegistryXml(const std::vector<ExportItem>& items, ExportValues values,
                                 const GppStamp& stamp, bool sayRestarts) {
  ExportResult result;
  std::string& out = result.bytes;
  out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
  // A comment may not hold "--"; the restart lines hold none.
  out += "<!-- Vantrel registry values (" + std::string(ExportValuesName(values)) + ")";
  if (const std::vector<TakesEffect> restarts =
          sayRestarts ? ExportRestarts(items) : std::vector<TakesEffect>{};
      !restarts.empty()) {
    out += ". Once Group Policy applied them: " + RestartText(restarts);
  }
  out += " -->\r\n";
  out += "<RegistrySettings" + Attribute("clsid", kGppRegistrySettingsClsid) + ">";
  std::set<std::string> uids;
  for (const ExportItem& item : items) {
    std::string uid = stamp.newUid();
    // Items are told apart by their uid: never two alike in one file.
    for (int tries = 0; !uids.insert(uid).second; ++tries) {
      if (tries == 100) {
        result.bytes.clear();
        result.error = "no unique identifier for " + DescribeExportItem(item);
        return result;
      }
      uid = stamp.newUid();
    }
    // The editor lists an item by its name: the value's, or the key's last part for its default.
    const std::string shown =
        item.valueName.empty() ? item.keyName.substr(item.keyName.rfind('\\') + 1) : item.valueName;
    char data[16];
    std::snprintf(data, sizeof data, "%08x", static_cast<unsigned>(item.remove ? 0 : item.data));
    out += "<Registry" + Attribute("clsid", kGppRegistryClsid) +
           Attribute("name", GppAttributeText(shown)) +
           Attribute("status", GppAttributeText(shown)) +
           Attribute("image", std::to_string(item.remove ? kImageDelete : kImageUpdate)) +
           Attribute("changed", stamp.changed) + Attribute("uid", uid) +
           (sayRestarts
                ? Attribute("desc", GppAttributeText(RestartText({ExportItemTakesEffect(item)})))
                : std::string()) +
           ">";
    out += "<Properties" + Attribute("action", item.remove ? "D" : "U") +
           Attribute("displayDecimal", "1") +
           Attribute("default", item.valueName.empty() ? "1" : "0") +
           Attribute("hive", "HKEY_LOCAL_MACHINE") +
           Attribute("key", GppAttributeText(item.keyName)) +
           Attribute("name", GppAttributeText(item.valueName)) + Attribute("type", "REG_DWORD") +
           Attribute("value", data) + "/>";
    out += "</Registry>";
  }
  out += "</RegistrySettings>\r\n";
  return result;
}

}  // namespace vantrel::app
