// The registry of the Linux stand-in: keys and values in memory, names compared without case
// like Windows does, failure injection for every call the plugin makes, and a .reg-style text
// file form for the demo host.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "../scope.h"
#include "../wideformat.h"
#include "win32_control.h"

struct StandinRegistryKey {
    HKEY root;
    std::u16string path;
};

namespace standin {
namespace {

std::u16string Fold(const std::u16string& text) {
    std::u16string out(text);
    for (auto& ch : out)
        if (ch >= u'a' && ch <= u'z') ch = char16_t(ch - u'a' + u'A');
    return out;
}

struct Key {
    std::u16string path;                            // as first written
    std::map<std::u16string, std::u16string> names; // folded name -> name as written
    std::map<std::u16string, RegValue> values;      // folded name -> value
};

struct FailPlan {
    RegOp op;
    int remaining;
    std::u16string valueName;
};

struct State {
    std::map<std::pair<uintptr_t, std::u16string>, Key> keys; // (root, folded path)
    std::vector<FailPlan> failures;
    std::vector<std::string> log;
    int openKeys = 0;
    std::string boundFile;
} g;

const char* RootText(HKEY root) {
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    return "?";
}

bool ShouldFail(RegOp op, const std::u16string& valueName) {
    for (auto it = g.failures.begin(); it != g.failures.end(); ++it) {
        if (it->op != op) continue;
        if (!it->valueName.empty() && Fold(it->valueName) != Fold(valueName)) continue;
        if (--it->remaining == 0) {
            g.failures.erase(it);
            return true;
        }
    }
    return false;
}

std::pair<uintptr_t, std::u16string> Id(HKEY root, const std::u16string& path) {
    return {reinterpret_cast<uintptr_t>(root), Fold(path)};
}

std::u16string Text(const WCHAR* text) {
    return text ? std::u16string(text) : std::u16string();
}

Key* Find(HKEY key) {
    if (!key) return nullptr;
    auto it = g.keys.find(Id(key->root, key->path));
    return it == g.keys.end() ? nullptr : &it->second;
}

} // namespace

void RegistryReset() {
    g = State();
}

void RegistryFailNext(RegOp op, int nth, const std::u16string& valueName) {
    g.failures.push_back({op, nth < 1 ? 1 : nth, valueName});
}

void RegistryPut(HKEY root, const std::u16string& path, const std::u16string& name, DWORD type,
                 const std::vector<uint8_t>& data) {
    Key& key = g.keys[Id(root, path)];
    if (key.path.empty()) key.path = path;
    key.names[Fold(name)] = name;
    key.values[Fold(name)] = RegValue{type, data};
}

void RegistryPutDword(HKEY root, const std::u16string& path, const std::u16string& name,
                      uint32_t value) {
    std::vector<uint8_t> data(4);
    for (int i = 0; i < 4; ++i) data[i] = uint8_t(value >> (8 * i));
    RegistryPut(root, path, name, REG_DWORD, data);
}

bool RegistryGet(HKEY root, const std::u16string& path, const std::u16string& name,
                 RegValue* value) {
    auto it = g.keys.find(Id(root, path));
    if (it == g.keys.end()) return false;
    auto v = it->second.values.find(Fold(name));
    if (v == it->second.values.end()) return false;
    if (value) *value = v->second;
    return true;
}

bool RegistryKeyExists(HKEY root, const std::u16string& path) {
    return g.keys.count(Id(root, path)) != 0;
}

void RegistryDeleteKey(HKEY root, const std::u16string& path) {
    g.keys.erase(Id(root, path));
}

const std::vector<std::string>& RegistryLog() {
    return g.log;
}

int RegistryOpenKeyCount() {
    return g.openKeys;
}

bool RegistrySaveFile(const std::string& path) {
    std::ofstream out(path, std::ios::trunc);
    if (!out) return false;
    out << "Windows Registry Editor Version 5.00\n";
    for (auto& [id, key] : g.keys) {
        const char* root = reinterpret_cast<HKEY>(id.first) == HKEY_CURRENT_USER
                               ? "HKEY_CURRENT_USER"
                               : "HKEY_LOCAL_MACHINE";
        out << "\n[" << root << "\\" << ToUtf8(key.path) << "]\n";
        for (auto& [folded, value] : key.values) {
            out << "\"" << ToUtf8(key.names[folded]) << "\"=";
            if (value.type == REG_DWORD && value.data.size() == 4) {
                uint32_t v = 0;
                for (int i = 3; i >= 0; --i) v = (v << 8) | value.data[i];
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", v);
                out << hex << "\n";
            } else {
                out << "hex(" << std::hex << value.type << std::dec << "):";
                for (size_t i = 0; i < value.data.size(); ++i) {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%02x", value.data[i]);
                    out << (i ? "," : "") << hex;
                }
                out << "\n";
            }
        }
    }
    return bool(out);
}

bool RegistryLoadFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    g.keys.clear();
    std::string line;
    HKEY root = nullptr;
    std::u16string keyPath;
    auto widen = [](const std::string& s) { return std::u16string(s.begin(), s.end()); };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            std::string name = line.substr(1, line.size() - 2);
            size_t slash = name.find('\\');
            std::string rootName = name.substr(0, slash);
            root = rootName == "HKEY_CURRENT_USER"    ? HKEY_CURRENT_USER
                   : rootName == "HKEY_LOCAL_MACHINE" ? HKEY_LOCAL_MACHINE
                                                      : nullptr;
            keyPath = slash == std::string::npos ? u"" : widen(name.substr(slash + 1));
            if (root) g.keys[Id(root, keyPath)].path = keyPath;
            continue;
        }
        size_t eq = line.find("\"=");
        if (!root || line.empty() || line[0] != '"' || eq == std::string::npos) continue;
        std::u16string name = widen(line.substr(1, eq - 1));
        std::string data = line.substr(eq + 2);
        if (data.rfind("dword:", 0) == 0) {
            RegistryPutDword(root, keyPath, name,
                             uint32_t(std::stoul(data.substr(6), nullptr, 16)));
        } else if (data.rfind("hex(", 0) == 0) {
            size_t close = data.find("):");
            if (close == std::string::npos) continue;
            DWORD type = DWORD(std::stoul(data.substr(4, close - 4), nullptr, 16));
            std::vector<uint8_t> bytes;
            std::stringstream hex(data.substr(close + 2));
            for (std::string byte; std::getline(hex, byte, ',');)
                if (!byte.empty()) bytes.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
            RegistryPut(root, keyPath, name, type, bytes);
        }
    }
    return true;
}

void RegistryBindFile(const std::string& path) {
    g.boundFile = path;
}

} // namespace standin

using namespace standin;

extern "C" LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    STANDIN_SCOPE;
    g.log.push_back(std::string("open ") + RootText(root) + "\\" + ToUtf8(Text(subKey)));
    if (!result) return ERROR_ACCESS_DENIED;
    if (ShouldFail(RegOp::Open, u"")) return ERROR_ACCESS_DENIED;
    if (!g.keys.count(Id(root, Text(subKey)))) return ERROR_FILE_NOT_FOUND;
    *result = new StandinRegistryKey{root, Text(subKey)};
    ++g.openKeys;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM,
                                   LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    STANDIN_SCOPE;
    g.log.push_back(std::string("create ") + RootText(root) + "\\" + ToUtf8(Text(subKey)));
    if (!result) return ERROR_ACCESS_DENIED;
    if (ShouldFail(RegOp::Create, u"")) return ERROR_ACCESS_DENIED;
    Key& key = g.keys[Id(root, Text(subKey))];
    bool created = key.path.empty();
    if (created) key.path = Text(subKey);
    if (disposition) *disposition = created ? 1 : 2;
    *result = new StandinRegistryKey{root, Text(subKey)};
    ++g.openKeys;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, BYTE* data,
                                    LPDWORD size) {
    STANDIN_SCOPE;
    g.log.push_back("query " + ToUtf8(Text(name)));
    if (ShouldFail(RegOp::Query, Text(name))) return ERROR_ACCESS_DENIED;
    Key* k = Find(key);
    if (!k) return ERROR_FILE_NOT_FOUND;
    auto v = k->values.find(Fold(Text(name)));
    if (v == k->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->second.type;
    DWORD needed = DWORD(v->second.data.size());
    if (!size) return data ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    DWORD room = *size;
    *size = needed;
    if (!data) return ERROR_SUCCESS;
    if (room < needed) return ERROR_MORE_DATA;
    std::copy(v->second.data.begin(), v->second.data.end(), data);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data,
                                  DWORD size) {
    STANDIN_SCOPE;
    g.log.push_back("set " + ToUtf8(Text(name)));
    if (ShouldFail(RegOp::Set, Text(name))) return ERROR_ACCESS_DENIED;
    Key* k = Find(key);
    if (!k) return ERROR_ACCESS_DENIED;
    std::vector<uint8_t> bytes(data, data + (data ? size : 0));
    RegistryPut(key->root, key->path, Text(name), type, bytes);
    if (!g.boundFile.empty()) RegistrySaveFile(g.boundFile);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegCloseKey(HKEY key) {
    STANDIN_SCOPE;
    g.log.push_back("close");
    if (!key || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
    delete key;
    --g.openKeys;
    return ERROR_SUCCESS;
}
