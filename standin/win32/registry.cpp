// The registry of the Linux stand-in: keys and values in memory, names compared without case
// like Windows does, failure injection for every call the plugin makes, and a .reg-style text
// file form for the demo host. With a file bound, the file is the registry: every call reads it
// as it is at that moment, and every change is written to it at once (a temporary file renamed
// over it, so a failed write leaves the old file whole); what cannot be read or written comes
// back as the error of the call that needed it. A call that changes the file holds a lock from
// its read to its write, so that hosts sharing one file lose none of each other's writes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "../scope.h"
#include "../fold.h"
#include "../wideformat.h"
#include "regfile.h"
#include "win32_control.h"

struct StandinRegistryKey {
    HKEY root;
    std::u16string path;
};

namespace standin {
namespace {

struct NamedValue {
    std::u16string name; // as written
    RegValue value;
};

struct Key {
    std::u16string path;                         // as first written
    std::map<std::u16string, NamedValue> values; // folded name -> the value
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
    RegFile file; // the bound file as last read or written
    // The bound file's identity when `file` and the keys in memory were last made from it
    // (device, inode, size, change time): a call that finds it unchanged reads nothing.
    struct stat stamp {};
    bool stamped = false;
    std::set<std::string> reported; // malformed lines already told, as "number:text"
    void (*problemHook)(const std::string&) = nullptr;
} g;

// Win32 errors of the file system work; the seam declares only those the plugin names.
constexpr LSTATUS ERROR_PATH_NOT_FOUND_ = 3;
constexpr LSTATUS ERROR_WRITE_FAULT_ = 29;
constexpr LSTATUS ERROR_DISK_FULL_ = 112;

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

const char* RootName(HKEY root) {
    if (root == HKEY_CURRENT_USER) return REG_ROOT_USER;
    if (root == HKEY_LOCAL_MACHINE) return REG_ROOT_MACHINE;
    return nullptr;
}

LSTATUS FromErrno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL_;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND_;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_WRITE_FAULT_;
}

// The whole file; a file that does not exist (yet) reads as empty.
LSTATUS ReadText(const std::string& path, std::string* text) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? ERROR_SUCCESS : FromErrno(errno);
    if (!S_ISREG(info.st_mode)) return ERROR_ACCESS_DENIED;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    char buffer[16384];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text->append(buffer, size_t(n));
    }
    int error = n < 0 ? errno : 0;
    close(fd);
    return error ? FromErrno(error) : ERROR_SUCCESS;
}

// The file a path names, through any symbolic links; the path itself when it names nothing yet.
std::string Resolved(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}

std::string TemporaryPrefix(const std::string& target) {
    return target + ".tmp";
}

// The folder of a file, and the file's name in it.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The lock that every read-change-write of the bound file holds from the read to the rename, so
// that hosts saving at once each change the file as the other left it, and none puts back a value
// it read before the other wrote. It is an exclusive flock on the file's folder: the file itself
// is replaced on every write, and a lock file would be one more file beside the user's.
struct FileLock {
    int fd = -1;
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (fd >= 0) close(fd); // closing the last descriptor lets the lock go
    }
};

// Removes the temporary files of writers killed before their rename: under the lock no writer is
// between its temporary file and its rename, so every one left is an orphan.
void RemoveOrphanedTemporaries(const std::string& target) {
    auto [folder, name] = SplitPath(TemporaryPrefix(target));
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        std::string entryName = entry->d_name;
        if (entryName.size() <= name.size() || entryName.compare(0, name.size(), name) != 0)
            continue;
        if (entryName.find_first_not_of("0123456789", name.size()) != std::string::npos) continue;
        unlinkat(dirfd(dir), entryName.c_str(), 0);
    }
    closedir(dir);
}

// With a file bound: takes the lock (waiting for a writer that holds it), then clears what killed
// writers left.
LSTATUS LockBoundFile(FileLock& lock) {
    if (g.boundFile.empty()) return ERROR_SUCCESS;
    std::string target = Resolved(g.boundFile);
    lock.fd = open(SplitPath(target).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock.fd < 0) return FromErrno(errno);
    while (flock(lock.fd, LOCK_EX) != 0)
        if (errno != EINTR) return FromErrno(errno);
    RemoveOrphanedTemporaries(target);
    return ERROR_SUCCESS;
}

// Replaces `path` by a file holding `text`: written beside it, flushed, then renamed over it, so
// the old file stays whole when anything fails. A file without write permission is refused even
// for root, as Windows refuses a read-only file; a symbolic link keeps pointing at the new file.
LSTATUS WriteAtomically(const std::string& path, const std::string& text) {
    std::string target = Resolved(path);
    struct stat info;
    mode_t mode = 0600;
    if (stat(target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || !(info.st_mode & 0222)) return ERROR_ACCESS_DENIED;
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return FromErrno(errno);
    }
    std::string temporary = TemporaryPrefix(target) + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return FromErrno(errno);
    int error = fchmod(fd, mode) != 0 ? errno : 0;
    for (size_t done = 0; done < text.size() && !error;) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n >= 0)
            done += size_t(n);
        else if (errno != EINTR)
            error = errno;
    }
    if (!error && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && !error) error = errno;
    if (!error && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (!error) return ERROR_SUCCESS;
    unlink(temporary.c_str());
    return FromErrno(error);
}

void Tell(const std::string& message) {
    if (g.problemHook)
        g.problemHook(message);
    else
        std::cerr << message;
}

// A line of the file as a warning shows it: a control character (C0, DEL or C1) or a byte that
// is no UTF-8 as \xNN, so that no file can steer the terminal, and at most SHOWN_CHARACTERS
// characters of it.
constexpr size_t SHOWN_CHARACTERS = 80;

std::string Printable(const std::string& text) {
    std::string out;
    size_t shown = 0;
    for (size_t i = 0; i < text.size(); ++shown) {
        if (shown == SHOWN_CHARACTERS) return out + "...";
        auto lead = uint8_t(text[i]);
        size_t length = lead < 0x80   ? 1
                        : lead < 0xC2 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4
                                      : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k) whole = (uint8_t(text[i + k]) & 0xC0) == 0x80;
        bool control =
            lead < 0x20 || lead == 0x7F || (lead == 0xC2 && whole && uint8_t(text[i + 1]) < 0xA0);
        if (!whole || control) {
            size_t bytes = whole ? length : 1;
            for (size_t k = 0; k < bytes; ++k) {
                char escaped[5];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", uint8_t(text[i + k]));
                out += escaped;
            }
            i += bytes;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

// Lines told in full in one run; of the others only their number is told.
constexpr size_t TOLD_LINES = 10;

// Tells each malformed line once per run, with its line number: the first TOLD_LINES of them,
// then how many more the read found.
void ReportProblems() {
    size_t untold = 0;
    for (const RegProblem& problem : RegFileProblems(g.file)) {
        std::string id = std::to_string(problem.line) + ":" + problem.text;
        if (!g.reported.insert(id).second) continue;
        if (g.reported.size() > TOLD_LINES) {
            ++untold;
            continue;
        }
        Tell(g.boundFile + ", line " + std::to_string(problem.line) + ": " + problem.problem +
             "; skipped: " + Printable(problem.text) + "\n");
    }
    if (untold)
        Tell(g.boundFile + ": " + std::to_string(untold) + " more lines that cannot be read; " +
             "skipped\n");
}

void PutInto(Key& key, const std::u16string& name, DWORD type, const std::vector<uint8_t>& data) {
    std::u16string folded = Fold(name);
    key.values[std::move(folded)] = NamedValue{name, RegValue{type, data}};
}

Key& KeyOf(HKEY root, const std::u16string& path) {
    Key& key = g.keys[Id(root, path)];
    if (key.path.empty()) key.path = path;
    return key;
}

void Put(HKEY root, const std::u16string& path, const std::u16string& name, DWORD type,
         const std::vector<uint8_t>& data) {
    PutInto(KeyOf(root, path), name, type, data);
}

// The keys and values of a parsed file in place of those in memory.
void TakeEntries(const RegFile& file) {
    g.keys.clear();
    for (const RegFileLine& line : file.lines) {
        if (line.kind != RegLineKind::Key) continue;
        KeyOf(line.root == REG_ROOT_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, line.path);
    }
    // (Values come in blocks of one key: the key of the last one is looked up once.)
    Key* key = nullptr;
    const RegFileLine* previous = nullptr;
    for (size_t i : RegFileLinesInForce(file)) {
        const RegFileLine& line = file.lines[i];
        if (!previous || line.root != previous->root || line.path != previous->path)
            key = &KeyOf(line.root == REG_ROOT_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                         line.path);
        PutInto(*key, line.name, line.type, line.data);
        previous = &line;
    }
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// With a file bound: the registry as the file holds it now. The file is read again only when it
// changed since it was last read or written (a write replaces it, with a new inode).
LSTATUS Refresh() {
    if (g.boundFile.empty()) return ERROR_SUCCESS;
    // (Taken before the read: a file replaced during the read shows a new identity next time.)
    struct stat now;
    bool exists = stat(g.boundFile.c_str(), &now) == 0;
    if (exists && g.stamped && SameFile(now, g.stamp)) return ERROR_SUCCESS;
    std::string text;
    LSTATUS status = ReadText(g.boundFile, &text);
    if (status != ERROR_SUCCESS) return status;
    g.file = ParseRegFile(text);
    ReportProblems();
    TakeEntries(g.file);
    g.stamp = now;
    g.stamped = exists;
    return ERROR_SUCCESS;
}

// With a file bound: writes `g.file`, which the caller has changed in place; the caller then
// makes the same change in memory. On a failure the next call reads the file again.
LSTATUS Persist() {
    if (g.boundFile.empty()) return ERROR_SUCCESS;
    g.stamped = false;
    LSTATUS status = WriteAtomically(g.boundFile, WriteRegFile(g.file));
    if (status != ERROR_SUCCESS) return status;
    g.stamped = stat(g.boundFile.c_str(), &g.stamp) == 0;
    return ERROR_SUCCESS;
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
    Put(root, path, name, type, data);
    g.stamped = false; // memory no longer what the file holds
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
    if (value) *value = v->second.value;
    return true;
}

bool RegistryKeyExists(HKEY root, const std::u16string& path) {
    return g.keys.count(Id(root, path)) != 0;
}

void RegistryDeleteKey(HKEY root, const std::u16string& path) {
    g.keys.erase(Id(root, path));
    g.stamped = false;
}

const std::vector<std::string>& RegistryLog() {
    return g.log;
}

int RegistryOpenKeyCount() {
    return g.openKeys;
}

bool RegistrySaveFile(const std::string& path) {
    RegFile file;
    for (auto& [id, key] : g.keys) {
        const char* root = RootName(reinterpret_cast<HKEY>(id.first));
        if (!root) continue;
        RegFileAddKey(file, root, key.path);
        for (auto& [folded, named] : key.values)
            RegFileSetValue(file, {root, key.path, named.name, named.value.type, named.value.data});
    }
    return WriteAtomically(path, WriteRegFile(file)) == ERROR_SUCCESS;
}

bool RegistryLoadFile(const std::string& path) {
    std::string text;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || ReadText(path, &text) != ERROR_SUCCESS) return false;
    TakeEntries(ParseRegFile(text));
    g.stamped = false;
    return true;
}

void RegistryBindFile(const std::string& path) {
    g.boundFile = path;
    g.reported.clear();
    g.file = RegFile();
    g.stamped = false;
}

void RegistrySetProblemHook(void (*hook)(const std::string& message)) {
    g.problemHook = hook;
}

} // namespace standin

using namespace standin;

extern "C" LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    STANDIN_SCOPE;
    g.log.push_back(std::string("open ") + RootText(root) + "\\" + ToUtf8(Text(subKey)));
    if (!result) return ERROR_ACCESS_DENIED;
    if (ShouldFail(RegOp::Open, u"")) return ERROR_ACCESS_DENIED;
    if (LSTATUS status = Refresh()) return status;
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
    FileLock lock;
    if (LSTATUS status = LockBoundFile(lock)) return status;
    if (LSTATUS status = Refresh()) return status;
    bool created = !g.keys.count(Id(root, Text(subKey)));
    if (!g.boundFile.empty() && RootName(root) &&
        !RegFileHasKey(g.file, RootName(root), Text(subKey))) {
        RegFileAddKey(g.file, RootName(root), Text(subKey));
        if (LSTATUS status = Persist()) return status;
    }
    Key& key = g.keys[Id(root, Text(subKey))];
    if (key.path.empty()) key.path = Text(subKey);
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
    if (LSTATUS status = Refresh()) return status;
    Key* k = Find(key);
    if (!k) return ERROR_FILE_NOT_FOUND;
    auto v = k->values.find(Fold(Text(name)));
    if (v == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const RegValue& found = v->second.value;
    if (type) *type = found.type;
    DWORD needed = DWORD(found.data.size());
    if (!size) return data ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    DWORD room = *size;
    *size = needed;
    if (!data) return ERROR_SUCCESS;
    if (room < needed) return ERROR_MORE_DATA;
    std::copy(found.data.begin(), found.data.end(), data);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data,
                                  DWORD size) {
    STANDIN_SCOPE;
    g.log.push_back("set " + ToUtf8(Text(name)));
    if (ShouldFail(RegOp::Set, Text(name))) return ERROR_ACCESS_DENIED;
    if (!key) return ERROR_ACCESS_DENIED;
    FileLock lock;
    if (LSTATUS status = LockBoundFile(lock)) return status;
    if (LSTATUS status = Refresh()) return status;
    std::vector<uint8_t> bytes(data, data + (data ? size : 0));
    if (!g.boundFile.empty() && RootName(key->root)) {
        // A key deleted from the file since it was opened comes back with the value.
        RegFileSetValue(g.file, {RootName(key->root), key->path, Text(name), type, bytes});
        if (LSTATUS status = Persist()) return status;
    } else if (!Find(key)) {
        return ERROR_ACCESS_DENIED;
    }
    Put(key->root, key->path, Text(name), type, bytes);
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
