#include "runtime/system/os_version.h"

#include <cstring>

#include "runtime/text/text_case.h"

namespace vantrel {
namespace {

void AppendWin9x(std::string& out, const OsVersionRecord& r, const std::string& sp) {
  const char second = sp.size() > 1 ? sp[1] : '\0';
  if (r.major != 4) {
    out += "Unknown";
  } else if (r.minor == 0) {
    out += "95";
    if (second == 'B' || second == 'C') out += " OSR2";
  } else if (r.minor == 10) {
    out += "98";
    if (second == 'A') out += " SE";
  } else if (r.minor == 90) {
    out += "Me";
  } else {
    out += "Unknown";
  }
  out += " Build " + std::to_string(r.build >> 24) + "." + std::to_string((r.build >> 16) & 0xFF) +
         "." + std::to_string(r.build & 0xFFFF);
  if (!sp.empty()) {
    if (sp[0] != ' ') out += ' ';
    out += sp;
  }
}

void AppendExtendedEdition(std::string& out, const OsVersionRecord& r,
                           const OsVersionSources& sources) {
  auto metric = [&sources](int index) {
    return sources.systemMetric ? sources.systemMetric(index) : 0;
  };
  auto suite = [&r](std::uint16_t bit) { return (r.suiteMask & bit) != 0; };
  if (r.productType == kProductWorkstation) {
    if (r.major <= 4) {
      out += " WorkStation";
    } else if (r.major == 5) {
      if (metric(kSmTabletPc) != 0) {
        out += " Tablet PC Edition";
      } else if (metric(kSmMediaCenter) != 0) {
        out += " Media Center Edition";
      } else if (metric(kSmStarter) != 0) {
        out += " Starter Edition";
      } else if (suite(kSuitePersonal)) {
        out += " Home Edition";
      } else {
        out += " Professional";
      }
    } else if (r.major == 6) {
      // 6.2 and 6.3 are Windows 8 and 8.1; any later 6.x keeps the name of 6.1.
      out += r.minor == 0 ? "Vista" : r.minor == 2 ? "8" : r.minor == 3 ? "8.1" : "7";
      out += suite(kSuitePersonal) ? " Home Premium/Basic" : " Business/Ultimate";
    }
  } else if (r.productType == kProductServer) {
    if (r.major == 6) {
      // Server 2012 is 6.2 and Server 2012 R2 6.3, as Windows 8 and 8.1 are.
      out += r.minor >= 2 ? "Server 2012" : "Server 2008";
      if (r.minor == 1 || r.minor == 3) out += " R2";
    } else if (r.major == 5 && r.minor == 2) {
      if (suite(kSuiteHomeServer)) {
        // Home Server's name says it all.
      } else if (metric(kSmServerR2) != 0) {
        out += " R2";
      } else {
        if (suite(kSuiteDatacenter)) {
          out += " Datacenter";
        } else if (suite(kSuiteEnterprise)) {
          out += " Enterprise";
        } else if (suite(kSuiteBlade)) {
          out += " Web";
        } else {
          out += " Standard";
        }
        out += " Edition";
      }
    } else if (r.major == 5 && r.minor == 0) {
      if (suite(kSuiteDatacenter)) {
        out += " Datacenter";
      } else if (suite(kSuiteEnterprise)) {
        out += " Advanced";
      } else if (suite(kSuiteSmallBusiness)) {
        out += " Small Business";
      }
      out += " Server";
    } else if (r.major <= 4) {
      if (suite(kSuiteEnterprise)) {
        out += r.major == 4 ? " Server, Enterprise Edition" : " Advanced Server";
      } else {
        out += " Server";
      }
    }
  }
}

void AppendBasicEdition(std::string& out, const OsVersionRecord& r,
                        const OsVersionSources& sources) {
  if (!sources.productType) return;
  const std::optional<std::string> type = sources.productType();
  if (!type) return;
  if (EqualsIgnoreCase(*type, "WINNT")) {
    out += " Professional";
  } else if (EqualsIgnoreCase(*type, "SERVERNT")) {
    out += r.major <= 4 || r.minor == 0 ? " Advanced" : " Enterprise";
    out += " Server";
  } else {
    out += " Server";
  }
}

std::uint8_t ProductTypeFromOption(const std::optional<std::string>& type) {
  if (!type) return 0;
  if (EqualsIgnoreCase(*type, "WINNT")) return kProductWorkstation;
  if (EqualsIgnoreCase(*type, "LANMANNT")) return kProductDomainController;
  if (EqualsIgnoreCase(*type, "SERVERNT")) return kProductServer;
  return 0;
}

// Every Windows from 10 on reports major version 10, so the name comes from the build: a
// workstation is 11 from build 22000, and each server release has its own first build (2016:
// 14393, 2019: 17763, 2022: 20348, 2025: 26100). The name says everything an edition would, so
// none is appended after it.
void AppendMajor10Name(std::string& out, std::uint32_t build, std::uint8_t productType) {
  if (productType == kProductServer || productType == kProductDomainController) {
    out += build >= 26100   ? "Server 2025"
           : build >= 20348 ? "Server 2022"
           : build >= 17763 ? "Server 2019"
                            : "Server 2016";
  } else {
    out += build >= 22000 ? "11" : "10";
  }
}

}  // namespace

std::string ComposeWindowsVersion(const OsVersionRecord& r, const OsVersionSources& sources) {
  if (r.platform == 0) return "Win32s";
  std::string out = "Windows ";
  const std::string sp(r.servicePack, strnlen(r.servicePack, sizeof r.servicePack));
  if (r.platform == 1) {
    AppendWin9x(out, r, sp);
    return out;
  }
  if (r.major == 3) {
    out += "NT 3.5";
  } else if (r.major == 4) {
    out += "NT 4";
  } else if (r.major == 5) {
    if (r.minor == 0) {
      out += "2000";
    } else if (r.minor == 1) {
      out += "XP";
    } else if (r.minor == 2) {
      out += (r.suiteMask & kSuiteHomeServer) != 0 ? "Home Server" : "Server 2003";
    }
  }
  if (r.major == 10) {
    std::uint8_t productType = r.productType;
    if (r.size == OsVersionRecord::kBasicSize && sources.productType) {
      productType = ProductTypeFromOption(sources.productType());
    }
    AppendMajor10Name(out, r.build, productType);
  } else if (r.size == OsVersionRecord::kExtendedSize) {
    AppendExtendedEdition(out, r, sources);
  } else if (r.size == OsVersionRecord::kBasicSize) {
    AppendBasicEdition(out, r, sources);
  }
  if (!sp.empty()) out += " " + sp;
  out += " Build " + std::to_string(r.build);
  return out;
}

OsVersionRecord RecordFromPackedVersion(std::uint32_t packed) {
  OsVersionRecord r;
  r.minor = (packed >> 8) & 0xFF;
  r.major = packed & 0xFF;
  if ((packed & 0x80000000u) == 0) {
    r.platform = 2;
  } else {
    r.platform = r.major == 3 ? 0 : 1;
  }
  r.build = r.platform == 1 ? 0 : (packed >> 16) & 0x7FFF;
  return r;
}

}  // namespace vantrel
