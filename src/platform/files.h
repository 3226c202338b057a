// File-system operations on catalog paths (the fn_ family), advisory
// locking, whole-file replacement and small process utilities (working
// directory, processor clock, system error text, process exit).
#pragma once

#include <orvel.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

// Lock settings, read from the configuration at start-up; negative means
// "not set yet" and fp_lock then uses 0 seconds and 10 tries.
extern int flock_sleep_seconds;
extern int flock_max_tries;

enum { FLOCK_UNLOCK = 0, FLOCK_READ = 1, FLOCK_WRITE = 2 };

int fn_protect(const std::string &path);
int fn_protect_dir(const std::string &path);
int fn_setuid(const std::string &path);
int fn_make_executable(const std::string &path, bool setuid);
int fn_delete(const std::string &path);
int fn_rmdir(const std::string &path);
int fn_rename(const std::string &from, const std::string &to);
int fn_world_writable(const std::string &path);
int fn_world_execable(const std::string &path);
int fn_user_execable(const std::string &path);
// Entry names without "." and "..", in directory order; nullptr when the
// directory cannot be opened.  The caller frees the text (free_text).
text *fn_ls(const std::string &dir);
int fn_mkdir(const std::string &path, bool world_readable);
long long fn_size(const std::string &path);
int fn_delete_r(const std::string &path);
int fn_touch(const std::string &path);
int fn_exists(const std::string &path);
std::time_t fn_lastmod(const std::string &path);
long fn_owner(const std::string &path);
long fn_group(const std::string &path);

// The modes fn_protect and fn_protect_dir give (owner, plus group and
// others when TRUST_GROUP / TRUST_OTHER are set).
unsigned protect_file_mode();
unsigned protect_dir_mode();

// Reads a whole file; false when it cannot be opened or read.
bool fn_read_file(const std::string &path, std::string &contents);

// Replaces a whole file atomically: writes a temporary file in the same
// directory with the protected file mode, checks every write, the flush and
// the close, then renames it over `path`.  On any failure the old file is
// untouched, the temporary file is removed and false is returned (errno
// tells why).
bool fn_replace_file(const std::string &path, std::string_view contents);
// The temporary copies fn_replace_file writes are named "." + the file's
// name + TEMPORARY_MARK + six random characters.  One left behind by a
// killed process is removed by the purges once it is an hour old.
inline constexpr std::string_view TEMPORARY_MARK = ".tmp.";
bool is_temporary_name(std::string_view name);

// An exclusive lock that waits: held on a companion lock file ("path.lock")
// so that files replaced by rename keep one lock identity.  Waiting is
// bounded by the request alarm.  The lock is released when the object is
// destroyed (or by release()).
class FileLock {
public:
    FileLock() = default;
    explicit FileLock(const std::string &lock_path, bool exclusive = true);
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&other) noexcept;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();
    // The lock when it is free at once; otherwise an unheld lock, with
    // `busy` telling whether another process holds it (false: the lock
    // file could not be opened).
    static FileLock try_exclusive(const std::string &lock_path, bool &busy);
    bool held() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

// Process utilities.
const std::string &my_getcwd();
double my_clock();
std::string my_strerror(int code);
std::string record_error();
