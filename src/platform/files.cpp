#include "platform/files.h"

#include "config/config.h"
#include "platform/log.h"
#include "vars/vars.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int flock_sleep_seconds = -1;
int flock_max_tries = -1;

namespace {

bool stat_path(const std::string &path, struct stat &st) { return ::stat(path.c_str(), &st) == 0; }

int mode_bit(const std::string &path, mode_t bit) {
    struct stat st;
    if (!stat_path(path, st)) return -1;
    return (st.st_mode & bit) ? 1 : 0;
}

}  // namespace

unsigned protect_file_mode() {
    static int mode = -1;
    if (mode < 0) {
        mode = 0600;
        if (config_boolean("TRUST_GROUP")) mode |= 0060;
        if (config_boolean("TRUST_OTHER")) mode |= 0006;
    }
    return static_cast<unsigned>(mode);
}

unsigned protect_dir_mode() {
    static int mode = -1;
    if (mode < 0) {
        mode = 0700;
        if (config_boolean("TRUST_GROUP")) mode |= 0070;
        if (config_boolean("TRUST_OTHER")) mode |= 0007;
    }
    return static_cast<unsigned>(mode);
}

int fn_protect(const std::string &path) { return ::chmod(path.c_str(), protect_file_mode()) == 0; }
int fn_protect_dir(const std::string &path) { return ::chmod(path.c_str(), protect_dir_mode()) == 0; }
int fn_setuid(const std::string &path) { return mode_bit(path, S_ISUID); }
int fn_make_executable(const std::string &path, bool setuid) {
    return ::chmod(path.c_str(), setuid ? 04755 : 0755) == 0;
}
int fn_delete(const std::string &path) { return ::unlink(path.c_str()); }
int fn_rmdir(const std::string &path) { return ::rmdir(path.c_str()); }
int fn_rename(const std::string &from, const std::string &to) { return ::rename(from.c_str(), to.c_str()); }
int fn_world_writable(const std::string &path) { return mode_bit(path, S_IWOTH); }
int fn_world_execable(const std::string &path) { return mode_bit(path, S_IXOTH); }
int fn_user_execable(const std::string &path) { return mode_bit(path, S_IXUSR); }

text *fn_ls(const std::string &dir) {
    DIR *d = ::opendir(dir.c_str());
    if (!d) return nullptr;
    text *names = new_text(nullptr);
    while (struct dirent *e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        text_addstring(names, ::strdup(e->d_name));
    }
    ::closedir(d);
    return names;
}

int fn_mkdir(const std::string &path, bool world_readable) {
    return ::mkdir(path.c_str(), world_readable ? 0755 : 0700);
}

long long fn_size(const std::string &path) {
    struct stat st;
    return stat_path(path, st) ? static_cast<long long>(st.st_size) : -1;
}

int fn_delete_r(const std::string &path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return -1;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str());
    if (text *names = fn_ls(path)) {
        for (textstring *n = names->first; n; n = n->next) fn_delete_r(path + "/" + n->string);
        free_text(names);
    }
    return ::rmdir(path.c_str());
}

int fn_touch(const std::string &path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, protect_file_mode());
    if (fd < 0) return 0;
    return ::close(fd) == 0;
}

int fn_exists(const std::string &path) {
    struct stat st;
    return stat_path(path, st) ? 1 : 0;
}

std::time_t fn_lastmod(const std::string &path) {
    struct stat st;
    return stat_path(path, st) ? st.st_mtime : -1;
}

long fn_owner(const std::string &path) {
    struct stat st;
    return stat_path(path, st) ? static_cast<long>(st.st_uid) : -1;
}

long fn_group(const std::string &path) {
    struct stat st;
    return stat_path(path, st) ? static_cast<long>(st.st_gid) : -1;
}

bool fn_read_file(const std::string &path, std::string &contents) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    contents.clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        contents.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

namespace {

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string temporary_pattern(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, base) + "." + path.substr(base) + std::string(TEMPORARY_MARK) + "XXXXXX";
}

bool is_temporary_name(std::string_view name) {
    return !name.empty() && name.front() == '.' && name.find(TEMPORARY_MARK) != std::string_view::npos;
}

bool fn_replace_file(const std::string &path, std::string_view contents) {
    // The temporary copy is a dot file: it never matches a purge pattern
    // ("user*", "last*", "*.txt"), so no purge removes it while it is
    // being written.
    std::string tmp = temporary_pattern(path);
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);  // created 0600: never wider than the final mode
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, protect_file_mode()) == 0 && write_all(fd, contents);
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return true;
    if (ok) saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return false;
}

FileLock::FileLock(const std::string &lock_path, bool exclusive) {
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, protect_file_mode());
    if (fd_ < 0) return;
    // Waits for the lock; the request alarm ends a wait that takes too long.
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
        if (errno == EINTR) continue;
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

FileLock FileLock::try_exclusive(const std::string &lock_path, bool &busy) {
    busy = false;
    FileLock lock;
    lock.fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, protect_file_mode());
    if (lock.fd_ < 0) return lock;
    while (::flock(lock.fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        busy = errno == EWOULDBLOCK;
        ::close(lock.fd_);
        lock.fd_ = -1;
        break;
    }
    return lock;
}

FileLock::FileLock(FileLock &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileLock &FileLock::operator=(FileLock &&other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() { release(); }

void FileLock::release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

namespace {

const char *lock_type_name(int type) {
    switch (type) {
    case FLOCK_UNLOCK: return "FLOCK_UNLOCK";
    case FLOCK_READ: return "FLOCK_READ";
    case FLOCK_WRITE: return "FLOCK_WRITE";
    default: return "???";
    }
}

}  // namespace

extern "C" int fp_lock(FILE *file, int type) {
    int op;
    switch (type) {
    case FLOCK_UNLOCK: op = LOCK_UN; break;
    case FLOCK_READ: op = LOCK_SH; break;
    case FLOCK_WRITE: op = LOCK_EX; break;
    default: return 1;
    }
    if (config_boolean("FLOCK_DISABLED")) return -1;
    if (flock_sleep_seconds < 0) flock_sleep_seconds = 0;
    if (flock_max_tries < 0) flock_max_tries = 10;
    if (!file) return -1;
    int result = ::flock(::fileno(file), op | LOCK_NB);
    for (int retry = 0; result != 0 && retry < flock_max_tries; ++retry) {
        if (flock_sleep_seconds > 0) ::sleep(static_cast<unsigned>(flock_sleep_seconds));
        result = ::flock(::fileno(file), op | LOCK_NB);
    }
    if (result != 0) {
        overror("warning: lock failed (%d;%s)", result, std::strerror(errno));
        return result < 0 ? result : -result;
    }
    return 0;
}

extern "C" int fp_lock_debug(FILE *file, int type, const char *path) {
    static int disabled = -1;
    if (disabled < 0) disabled = config_boolean("FLOCK_DISABLED") ? 1 : 0;
    if (disabled) return -1;
    int result = fp_lock(file, type);
    if (result != 0)
        ovdebug("fp_lock_debug(%p, %s, \"%s\") => %d;", static_cast<void *>(file), lock_type_name(type),
                path ? path : "", result);
    return result;
}

extern "C" const char *Orvel_getenv(const char *name) {
    const char *v = name ? ::getenv(name) : nullptr;
    return v ? v : "";
}

const std::string &my_getcwd() {
    static std::string cwd = [] {
        std::string buf(8192, '\0');
        if (!::getcwd(buf.data(), buf.size())) return std::string();
        buf.resize(std::strlen(buf.c_str()));
        return buf;
    }();
    return cwd;
}

double my_clock() { return static_cast<double>(::clock()) / 1000000.0; }

std::string my_strerror(int code) { return std::strerror(code); }

std::string record_error() {
    int code = errno;
    if (code == 0) {
        if (DICT_CONFIG) unset_var(DICT_CONFIG, std::string_view("SYSERR"));
        return {};
    }
    std::string text = my_strerror(code) + " (errno = " + std::to_string(code) + ")";
    if (DICT_CONFIG) set_string(DICT_CONFIG, "SYSERR", text);
    return text;
}
