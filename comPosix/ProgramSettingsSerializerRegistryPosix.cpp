#include "comPosix/ProgramSettingsSerializerRegistryPosix.h"

#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxFileSize = 4 * 1024 * 1024;

std::string Escape(const std::string &p_strText) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : p_strText) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string &p_strText, std::string &p_rstrOut) {
  p_rstrOut.clear();
  for (size_t i = 0; i < p_strText.size(); ++i) {
    const char c = p_strText[i];
    if (c != '\\') {
      p_rstrOut += c;
      continue;
    }
    if (++i >= p_strText.size()) {
      return false;
    }
    switch (p_strText[i]) {
    case '\\': p_rstrOut += '\\'; break;
    case 'n': p_rstrOut += '\n'; break;
    case 'r': p_rstrOut += '\r'; break;
    case 'x': {
      if (i + 2 >= p_strText.size()) return false;
      const int hi = HexDigit(p_strText[i + 1]);
      const int lo = HexDigit(p_strText[i + 2]);
      if (hi < 0 || lo < 0) return false;
      const char byte = static_cast<char>(hi * 16 + lo);
      if (byte == '\0') return false;
      p_rstrOut += byte;
      i += 2;
      break;
    }
    default:
      return false;
    }
  }
  return true;
}

bool ParseInt32(const std::string &p_strText, int32_t &p_ri32Value) {
  if (p_strText.empty() || p_strText.size() > 12) {
    return false;
  }
  char *end = nullptr;
  errno = 0;
  const long long v = std::strtoll(p_strText.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0' || v < INT32_MIN || v > UINT32_MAX) {
    return false;
  }
  // Unsigned values above INT32_MAX are the same 32-bit pattern.
  p_ri32Value = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

bool ValidKey(const std::string &p_strKey) {
  if (p_strKey.empty() || p_strKey.size() > 255) {
    return false;
  }
  for (unsigned char c : p_strKey) {
    if (c <= 0x20 || c == '=' || c == '[' || c == ']' || c == 0x7F) {
      return false;
    }
  }
  return true;
}

} // namespace

KTX_ProgramSettingsSerializerRegistry::KTX_ProgramSettingsSerializerRegistry(const char *p_szSection,
                                                                             const char *p_szPath)
    : c_strSection(p_szSection != nullptr ? p_szSection : "Settings"),
      c_strPath(p_szPath != nullptr ? p_szPath : DefaultPath()), c_bLoaded(false) {}

std::string KTX_ProgramSettingsSerializerRegistry::DefaultPath() {
  std::string base;
  if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char *home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.config";
  } else {
    base = ".";
  }
  return base + "/Tarnvel/Tarnvel Wizard.conf";
}

int32_t KTX_ProgramSettingsSerializerRegistry::Parse(const char *p_pData, size_t p_uSize, Store &p_roStore,
                                                     int32_t &p_ri32BadLines) {
  p_ri32BadLines = 0;
  std::string section;
  bool inSection = false;
  size_t pos = 0;
  while (pos < p_uSize) {
    const void *nl = std::memchr(p_pData + pos, '\n', p_uSize - pos);
    const size_t end = nl != nullptr ? static_cast<size_t>(static_cast<const char *>(nl) - p_pData) : p_uSize;
    std::string line(p_pData + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line[0] == '#' || line[0] == ';') {
      continue;
    }
    if (line.find('\0') != std::string::npos) {
      ++p_ri32BadLines;
      continue;
    }
    if (line.front() == '[') {
      if (line.size() < 3 || line.back() != ']') {
        ++p_ri32BadLines;
        inSection = false;
        continue;
      }
      section = line.substr(1, line.size() - 2);
      inSection = true;
      continue;
    }
    const size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos || !ValidKey(line.substr(0, eq))) {
      ++p_ri32BadLines;
      continue;
    }
    const std::string key = line.substr(0, eq);
    const std::string rest = line.substr(eq + 1);
    Value value{false, 0, std::string()};
    if (rest.compare(0, 4, "int:") == 0 && ParseInt32(rest.substr(4), value.i32Number)) {
      value.bIsString = false;
    } else if (rest.compare(0, 4, "str:") == 0 && Unescape(rest.substr(4), value.strText)) {
      value.bIsString = true;
    } else {
      ++p_ri32BadLines;
      continue;
    }
    p_roStore[section][key] = value;
  }
  return p_ri32BadLines == 0 ? KTX_RC_OK : KTX_RC_FILE_INVALID_FORMAT;
}

std::string KTX_ProgramSettingsSerializerRegistry::Format(const Store &p_roStore) {
  std::string out;
  for (const auto &[name, section] : p_roStore) {
    out += "[" + name + "]\n";
    for (const auto &[key, value] : section) {
      out += key;
      if (value.bIsString) {
        out += "=str:" + Escape(value.strText) + "\n";
      } else {
        out += "=int:" + std::to_string(value.i32Number) + "\n";
      }
    }
    out += "\n";
  }
  return out;
}

void KTX_ProgramSettingsSerializerRegistry::Load() {
  if (c_bLoaded) {
    return;
  }
  c_bLoaded = true;
  c_oStore.clear();
  const int fd = ::open(c_strPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) {
      KTX_LOG(KTX_WARNING, "Settings store %s cannot be read (%s); using defaults", c_strPath.c_str(),
              std::strerror(errno));
    }
    return;
  }
  std::string data;
  char chunk[8192];
  ssize_t n;
  while ((n = ::read(fd, chunk, sizeof chunk)) > 0) {
    data.append(chunk, static_cast<size_t>(n));
    if (data.size() > kMaxFileSize) {
      break;
    }
  }
  ::close(fd);
  if (data.size() > kMaxFileSize) {
    KTX_LOG(KTX_WARNING, "Settings store %s is too large; using defaults", c_strPath.c_str());
    return;
  }
  int32_t bad = 0;
  if (Parse(data.data(), data.size(), c_oStore, bad) != KTX_RC_OK) {
    KTX_LOG(KTX_WARNING, "Settings store %s: %d unreadable line(s) ignored", c_strPath.c_str(), bad);
  }
}

int32_t KTX_ProgramSettingsSerializerRegistry::Save() {
  // Create the folders on the way (…/Tarnvel/).
  for (size_t slash = c_strPath.find('/', 1); slash != std::string::npos; slash = c_strPath.find('/', slash + 1)) {
    ::mkdir(c_strPath.substr(0, slash).c_str(), 0700);
  }
  const std::string temp = c_strPath + ".tmp";
  const std::string text = Format(c_oStore);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    KTX_LOG(KTX_ERROR, "Settings store %s cannot be written (%s)", c_strPath.c_str(), std::strerror(errno));
    return KTX_RC_FILE_OPEN_FAILED;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t w = ::write(fd, text.data() + done, text.size() - done);
    if (w <= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      KTX_LOG(KTX_ERROR, "Settings store %s cannot be written (%s)", c_strPath.c_str(), std::strerror(errno));
      return KTX_RC_FILE_GENERIC_ERROR;
    }
    done += static_cast<size_t>(w);
  }
  ::close(fd);
  if (::rename(temp.c_str(), c_strPath.c_str()) != 0) {
    ::unlink(temp.c_str());
    KTX_LOG(KTX_ERROR, "Settings store %s cannot be replaced (%s)", c_strPath.c_str(), std::strerror(errno));
    return KTX_RC_FILE_GENERIC_ERROR;
  }
  return KTX_RC_OK;
}

const KTX_ProgramSettingsSerializerRegistry::Value *KTX_ProgramSettingsSerializerRegistry::Find(const char *p_szKey) {
  Load();
  auto section = c_oStore.find(c_strSection);
  if (section == c_oStore.end() || p_szKey == nullptr) {
    return nullptr;
  }
  auto it = section->second.find(p_szKey);
  return it == section->second.end() ? nullptr : &it->second;
}

int32_t KTX_ProgramSettingsSerializerRegistry::ReadInt(const char *p_szKey, int32_t &p_ri32Value,
                                                       int32_t p_i32Default, int32_t p_i32Minimum,
                                                       int32_t p_i32Maximum) {
  const Value *v = Find(p_szKey);
  int32_t value = (v != nullptr && !v->bIsString) ? v->i32Number : p_i32Default;
  value = value < p_i32Minimum ? p_i32Minimum : value;
  value = value > p_i32Maximum ? p_i32Maximum : value;
  p_ri32Value = value;
  return KTX_RC_OK;
}

int32_t KTX_ProgramSettingsSerializerRegistry::ReadUint(const char *p_szKey, uint32_t &p_ru32Value,
                                                        uint32_t p_u32Default, uint32_t p_u32Minimum,
                                                        uint32_t p_u32Maximum) {
  const Value *v = Find(p_szKey);
  uint32_t value = (v != nullptr && !v->bIsString) ? static_cast<uint32_t>(v->i32Number) : p_u32Default;
  value = value < p_u32Minimum ? p_u32Minimum : value;
  value = value > p_u32Maximum ? p_u32Maximum : value;
  p_ru32Value = value;
  return KTX_RC_OK;
}

int32_t KTX_ProgramSettingsSerializerRegistry::ReadString(const char *p_szKey, KTX_StringAscii &p_roValue,
                                                          const char *p_szDefault) {
  const Value *v = Find(p_szKey);
  if (v != nullptr && v->bIsString) {
    p_roValue.Assign(v->strText.c_str());
  } else {
    p_roValue.Assign(p_szDefault != nullptr ? p_szDefault : "");
  }
  return KTX_RC_OK;
}

int32_t KTX_ProgramSettingsSerializerRegistry::WriteInt(const char *p_szKey, int32_t p_i32Value) {
  if (p_szKey == nullptr || !ValidKey(p_szKey)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  Load();
  c_oStore[c_strSection][p_szKey] = Value{false, p_i32Value, std::string()};
  return Save();
}

int32_t KTX_ProgramSettingsSerializerRegistry::WriteUint(const char *p_szKey, const uint32_t &p_ru32Value, uint32_t,
                                                         uint32_t) {
  return WriteInt(p_szKey, static_cast<int32_t>(p_ru32Value));
}

int32_t KTX_ProgramSettingsSerializerRegistry::WriteString(const char *p_szKey, const char *p_szValue) {
  if (p_szKey == nullptr || !ValidKey(p_szKey)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  Load();
  c_oStore[c_strSection][p_szKey] = Value{true, 0, p_szValue != nullptr ? p_szValue : ""};
  return Save();
}
