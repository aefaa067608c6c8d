#include "FilePreferenceDomains.h"

#include "Log.h"
#include "PropertyList.h"
#include "UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zed {

namespace {

std::string errnoText(int err) {
    return std::strerror(err);
}

// Why a file cannot be opened, as a reader would put it.
std::string openFailure(int err) {
    return err == EACCES || err == EPERM ? "permission denied" : errnoText(err);
}

// What a file that is no regular file is, for messages.
std::string kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "something else";
}

bool validDomainName(const std::string& domain) {
    if (domain.empty() || domain.size() > 200 || domain == "." || domain == ".." ||
        domain.front() == '.') {
        return false;
    }
    for (char c : domain) {
        if (c == '/' || c == '\0') {
            return false;
        }
    }
    return true;
}

std::string homeOf(const passwd* pw) {
    return (pw && pw->pw_dir && *pw->pw_dir) ? pw->pw_dir : "";
}

std::string currentUserName() {
    const passwd* pw = getpwuid(geteuid());
    return (pw && pw->pw_name) ? pw->pw_name : "";
}

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// Creates the missing folders of `path` for the user alone.
bool makeFolders(const std::string& path) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) {
            continue;
        }
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            zed::logErrno(errno, "cannot create the folder %s", partial.c_str());
            return false;
        }
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const std::string& folder) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        ::fsync(dir.get());
    }
}

// What mkstemp puts in place of "XXXXXX": letters and digits.
bool isTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) {
        return false;
    }
    for (char c : name.substr(prefix.size())) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

// Removes the temporary files of the domain file at `path` ("DOMAIN.plist."
// and six characters) that are ours and plain files. Call with the writer
// lock held: every writer holds it while its temporary file exists, so any
// such file now is left over from a writer that was killed.
void removeStaleTemporaries(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + ".";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isTemporaryName(entry->d_name, prefix)) {
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
            stale.emplace_back(entry->d_name);
        }
    }
    for (const std::string& name : stale) {
        if (::unlinkat(::dirfd(dir.get()), name.c_str(), 0) != 0 && errno != ENOENT) {
            zed::logErrno(errno, "cannot remove the stale temporary file %s/%s", folder.c_str(),
                          name.c_str());
        }
    }
}

// Where the domain file at `path` really is: its symbolic links followed, so
// that a file kept elsewhere (by a dotfile manager, say) is read and replaced
// there while the link stays. Only the links of the user this process runs as
// are followed: another user's link could send a privileged writer anywhere.
struct Location {
    std::string file;  // where the links end; `path` itself when it is no link
    std::string error; // why they cannot be followed
};

Location locate(const std::string& path) {
    constexpr int kMaxLinks = 40; // as the kernel allows
    Location out{path, {}};
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(out.file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return out; // the file, or nothing (a dangling link ends there too)
        }
        if (hops == kMaxLinks) {
            out.error = errnoText(ELOOP);
            return out;
        }
        if (st.st_uid != ::geteuid()) {
            out.error = "a symbolic link " + out.file + " of another user, not followed";
            return out;
        }
        std::vector<char> target(PATH_MAX);
        const ssize_t n = ::readlink(out.file.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            out.error = n < 0 ? errnoText(errno) : "an unusable symbolic link";
            return out;
        }
        const std::string next(target.data(), static_cast<std::size_t>(n));
        out.file = next.front() == '/' ? next : folderOf(out.file) + "/" + next;
    }
}

// The domain file for messages: where the user put it, and where it leads.
std::string shown(const std::string& path, const std::string& file) {
    return path == file ? path : path + " (a link to " + file + ")";
}

// Holds the advisory lock that serialises writers of one domain file. The lock
// lives on a file of its own because the domain file itself is replaced by
// rename on every write. A link planted in its place is not followed: it could
// have us create or lock a file anywhere.
class WriterLock {
public:
    // With `folderMissing`, a folder that does not exist is said there
    // rather than reported.
    explicit WriterLock(const std::string& path, bool* folderMissing = nullptr) {
        const std::string lockPath = path + ".lock";
        fd_.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd_) {
            if (errno == ENOENT && folderMissing) {
                *folderMissing = true;
            } else if (errno == ELOOP) {
                zed::log(
                    "the lock file %s is a symbolic link; not following it, so %s is left as it is",
                    lockPath.c_str(), path.c_str());
            } else {
                zed::logErrno(errno, "cannot open the lock file %s", lockPath.c_str());
            }
            return;
        }
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            zed::log("the lock file %s is not a regular file; %s is left as it is",
                     lockPath.c_str(), path.c_str());
            fd_.reset();
            return;
        }
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                zed::logErrno(errno, "cannot lock %s", lockPath.c_str());
                fd_.reset();
                return;
            }
        }
        removeStaleTemporaries(path);
    }
    bool held() const { return static_cast<bool>(fd_); }

private:
    UniqueFd fd_;
};

enum class ReadStatus { Ok, Missing, Unreadable, NotRegular, Corrupt };

struct FileContents {
    ReadStatus status = ReadStatus::Missing;
    Dictionary dict;
    std::string reason; // or, for NotRegular, what the file is
    dev_t device = 0;
    ino_t inode = 0;
};

// What is at `path` when it is there and neither a regular file nor a link.
std::optional<std::string> irregularKind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
        return std::nullopt;
    }
    return kindOf(st.st_mode);
}

// Reads the file at `path`, the end of its links. Only a regular file is
// opened: opening a FIFO or a device could block, or do something to it.
FileContents readFile(const std::string& path) {
    FileContents out;
    struct stat st {};
    if (auto kind = irregularKind(path)) {
        out.status = ReadStatus::NotRegular;
        out.reason = *kind;
        return out;
    }
    // Not blocking and not following a link: the file may have been
    // replaced since.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) {
        if (errno == ENOENT) {
            return out;
        }
        out.status = ReadStatus::Unreadable;
        out.reason = openFailure(errno);
        return out;
    }
    if (::fstat(fd.get(), &st) != 0) {
        out.status = ReadStatus::Unreadable;
        out.reason = errnoText(errno);
        return out;
    }
    if (!S_ISREG(st.st_mode)) {
        out.status = ReadStatus::NotRegular;
        out.reason = kindOf(st.st_mode);
        return out;
    }
    out.device = st.st_dev;
    out.inode = st.st_ino;
    if (st.st_size > FilePreferenceDomains::kMaxFileSize) {
        out.status = ReadStatus::Corrupt;
        out.reason =
            "larger than " + std::to_string(FilePreferenceDomains::kMaxFileSize) + " bytes";
        return out;
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    std::string error;
    auto value = parsePropertyList(bytes, &error);
    if (!value) {
        out.status = ReadStatus::Corrupt;
        out.reason = error;
        return out;
    }
    if (!value->asDictionary()) {
        out.status = ReadStatus::Corrupt;
        out.reason = std::string("its top level is a ") + value->typeName() + ", not a dictionary";
        return out;
    }
    out.status = ReadStatus::Ok;
    out.dict = std::move(*value->asDictionary());
    return out;
}

// Moves an unreadable domain file out of the way, keeping its bytes, so that
// the next write does not overwrite what the user had. Call with the writer
// lock held.
void moveAside(const std::string& path, const FileContents& bad) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || st.st_dev != bad.device || st.st_ino != bad.inode) {
        return; // replaced meanwhile by a writer: nothing of ours to move
    }
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string target = path + ".corrupt-" + stamp;
    for (int n = 2; ::access(target.c_str(), F_OK) == 0; ++n) {
        target = path + ".corrupt-" + stamp + "-" + std::to_string(n);
    }
    if (::rename(path.c_str(), target.c_str()) != 0) {
        zed::logErrno(errno, "%s cannot be read (%s) and cannot be moved aside", path.c_str(),
                      bad.reason.c_str());
        return;
    }
    syncFolder(folderOf(path));
    zed::log(
        "%s is not a readable property list (%s); moved it to %s and treating the domain as empty",
        path.c_str(), bad.reason.c_str(), target.c_str());
}

} // namespace

FilePreferenceDomains::FilePreferenceDomains(std::string folder) : folder_(std::move(folder)) {}

bool FilePreferenceDomains::couldNotRead(const std::string& domain, const std::string& user) const {
    return unreadable_.count(DomainKey(domain, user)) != 0;
}

FilePreferenceDomains::~FilePreferenceDomains() {
    flushAll();
}

std::string FilePreferenceDomains::pathFor(const std::string& domain,
                                           const std::string& user) const {
    if (!validDomainName(domain)) {
        zed::log("\"%s\" is not a valid preference domain name", domain.c_str());
        return {};
    }
    std::string folder = folder_;
    if (folder.empty()) {
        if (user.empty() || user == currentUserName()) {
            const char* xdg = std::getenv("XDG_CONFIG_HOME");
            const char* home = std::getenv("HOME");
            if (xdg && xdg[0] == '/') {
                folder = xdg;
            } else if (home && home[0] == '/') {
                folder = std::string(home) + "/.config";
            } else if (auto h = homeOf(getpwuid(geteuid())); !h.empty()) {
                folder = h + "/.config";
            }
        } else if (auto h = homeOf(getpwnam(user.c_str())); !h.empty()) {
            folder = h + "/.config";
        }
    }
    if (folder.empty()) {
        zed::log("no home folder for user \"%s\"; its preferences are unavailable",
                 user.empty() ? currentUserName().c_str() : user.c_str());
        return {};
    }
    return folder + "/" + domain + ".plist";
}

std::optional<Dictionary> FilePreferenceDomains::load(const std::string& domain,
                                                      const std::string& user) {
    const std::string path = pathFor(domain, user);
    if (path.empty()) {
        return std::nullopt;
    }
    const DomainKey key(domain, user);
    unreadable_.erase(key);
    const Location where = locate(path);
    if (!where.error.empty()) {
        zed::log("cannot read %s (%s)", path.c_str(), where.error.c_str());
        unreadable_.insert(key);
        return std::nullopt;
    }
    FileContents contents = readFile(where.file);
    switch (contents.status) {
    case ReadStatus::Ok:
        return std::move(contents.dict);
    case ReadStatus::Missing:
        return std::nullopt;
    case ReadStatus::Unreadable:
        zed::log("cannot read %s (%s)", shown(path, where.file).c_str(), contents.reason.c_str());
        unreadable_.insert(key);
        return std::nullopt;
    case ReadStatus::NotRegular:
        zed::log("%s is %s, not a regular file; settings are not read from it",
                 shown(path, where.file).c_str(), contents.reason.c_str());
        unreadable_.insert(key);
        return std::nullopt;
    case ReadStatus::Corrupt: {
        WriterLock lock(where.file);
        if (lock.held()) {
            moveAside(where.file, contents);
        }
        return std::nullopt;
    }
    }
    return std::nullopt;
}

bool FilePreferenceDomains::store(const std::string& domain, const std::string& user,
                                  const Change& change) {
    const std::string path = pathFor(domain, user);
    if (path.empty()) {
        return false;
    }
    const Location where = locate(path);
    if (!where.error.empty()) {
        zed::log("cannot write %s (%s); it is left as it is", path.c_str(), where.error.c_str());
        return false;
    }
    // Written through a link, the file is replaced where the link leads.
    const std::string& file = where.file;
    const bool linked = file != path;
    // Said before the lock is taken, so that no lock file is made beside a
    // device; said again should it turn up meanwhile.
    const auto refuseIrregular = [&](const std::string& kind) {
        zed::log("%s is %s, not a regular file; settings are not written to it",
                 shown(path, file).c_str(), kind.c_str());
        return false;
    };
    if (auto kind = irregularKind(file)) {
        return refuseIrregular(*kind);
    }
    // The folder is made on the first write only; should it go later, the
    // lock file cannot be made and it is made again. The folder a link leads
    // to is the user's business.
    const std::string folder = folderOf(path);
    if (!madeFolders_.count(folder)) {
        if (!makeFolders(folder)) {
            return false;
        }
        madeFolders_.insert(folder);
    }
    bool folderMissing = false;
    auto locked = std::make_unique<WriterLock>(file, linked ? nullptr : &folderMissing);
    if (folderMissing) {
        madeFolders_.erase(folder);
        if (!makeFolders(folder)) {
            return false;
        }
        madeFolders_.insert(folder);
        locked = std::make_unique<WriterLock>(file);
    }
    if (!locked->held()) {
        return false;
    }
    FileContents current = readFile(file);
    if (current.status == ReadStatus::Unreadable) {
        zed::log("cannot read %s (%s); not writing over it", shown(path, file).c_str(),
                 current.reason.c_str());
        return false;
    }
    if (current.status == ReadStatus::NotRegular) {
        return refuseIrregular(current.reason);
    }
    if (current.status == ReadStatus::Corrupt) {
        moveAside(file, current);
    }
    const bool existed = current.status == ReadStatus::Ok;
    std::optional<Dictionary> result =
        change(existed ? std::optional<Dictionary>(std::move(current.dict)) : std::nullopt);

    const std::string fileFolder = folderOf(file);
    if (!result) {
        // A link stays, dangling, which reads as no domain.
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            zed::logErrno(errno, "cannot remove %s", file.c_str());
            return false;
        }
        syncFolder(fileFolder);
        return true;
    }

    const std::string bytes = toXmlPropertyList(Value(std::move(*result)));
    std::string tmpl = file + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    UniqueFd tmp(::mkostemp(name.data(), O_CLOEXEC));
    if (!tmp) {
        zed::logErrno(errno, "cannot create a temporary file beside %s", file.c_str());
        return false;
    }
    const std::string tmpPath(name.data());
    const bool written =
        ::fchmod(tmp.get(), 0600) == 0 && writeAll(tmp.get(), bytes) && ::fsync(tmp.get()) == 0;
    const int writeErr = errno;
    if (!written || ::close(tmp.release()) != 0) {
        zed::logErrno(written ? errno : writeErr, "cannot write %s", tmpPath.c_str());
        ::unlink(tmpPath.c_str());
        return false;
    }
    if (::rename(tmpPath.c_str(), file.c_str()) != 0) {
        zed::logErrno(errno, "cannot replace %s", file.c_str());
        ::unlink(tmpPath.c_str());
        return false;
    }
    syncFolder(fileFolder);
    return true;
}

} // namespace zed
