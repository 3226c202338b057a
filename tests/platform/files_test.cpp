#include "platform/files.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvel_test;

namespace {

// A child process that holds an exclusive flock on `path` until told to
// let go through the returned pipe.
struct LockHolder {
    pid_t pid = -1;
    int release_fd = -1;
    explicit LockHolder(const std::string &path) {
        int to_child[2], ready[2];
        if (::pipe(to_child) != 0 || ::pipe(ready) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(to_child[1]);
            ::close(ready[0]);
            int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
            ::flock(fd, LOCK_EX);
            char c = 'r';
            if (::write(ready[1], &c, 1) != 1) ::_exit(1);
            if (::read(to_child[0], &c, 1) < 0) ::_exit(1);
            ::_exit(0);
        }
        ::close(to_child[0]);
        ::close(ready[1]);
        char c;
        if (::read(ready[0], &c, 1) != 1) ADD_FAILURE() << "lock holder did not start";
        ::close(ready[0]);
        release_fd = to_child[1];
    }
    void release() {
        if (release_fd < 0) return;
        ::close(release_fd);
        release_fd = -1;
        ::waitpid(pid, nullptr, 0);
    }
    ~LockHolder() { release(); }
};

std::vector<std::string> names_of(text *t) {
    std::vector<std::string> names;
    for (textstring *n = t ? t->first : nullptr; n; n = n->next) names.push_back(n->string);
    return names;
}

}  // namespace

TEST(Files, ListingAndRecursiveDelete) {
    TempDir dir;
    EXPECT_EQ(fn_ls(dir.path() + "/missing"), nullptr);
    dir.write("empty/.keep", "");
    ::unlink((dir.path() + "/empty/.keep").c_str());
    text *empty = fn_ls(dir.path() + "/empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(text_length(empty), 0);
    free_text(empty);

    dir.write("tree/a.txt", "a");
    dir.write("tree/sub/b.txt", "b");
    text *listing = fn_ls(dir.path() + "/tree");
    auto names = names_of(listing);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub"}));
    free_text(listing);
    EXPECT_EQ(fn_delete_r(dir.path() + "/tree"), 0);
    EXPECT_EQ(fn_exists(dir.path() + "/tree"), 0);
    EXPECT_EQ(fn_size(dir.path() + "/tree"), -1);
    EXPECT_EQ(fn_lastmod(dir.path() + "/tree"), -1);
}

TEST(Files, TouchSizeAndModes) {
    FreshDictionaries dicts;
    TempDir dir;
    std::string f = dir.path() + "/f";
    EXPECT_EQ(fn_touch(f), 1);
    EXPECT_EQ(fn_size(f), 0);
    EXPECT_EQ(fn_protect(f), 1);
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, protect_file_mode());
    EXPECT_EQ(fn_make_executable(f, false), 1);
    EXPECT_EQ(fn_user_execable(f), 1);
    EXPECT_EQ(fn_world_execable(f), 1);
    EXPECT_EQ(fn_world_writable(f), 0);
    EXPECT_EQ(fn_setuid(f), 0);
    EXPECT_EQ(fn_world_writable(dir.path() + "/none"), -1);
    EXPECT_EQ(fn_touch(dir.path() + "/no/such/dir/f"), 0);
}

TEST(Files, ReplaceIsAtomicAndKeepsTheOldFileOnFailure) {
    FreshDictionaries dicts;
    TempDir dir;
    std::string f = dir.path() + "/data.txt";
    ASSERT_TRUE(fn_replace_file(f, "first\n"));
    ASSERT_TRUE(fn_replace_file(f, std::string(100000, 'x')));
    std::string contents;
    ASSERT_TRUE(fn_read_file(f, contents));
    EXPECT_EQ(contents.size(), 100000u);
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, protect_file_mode());

    EXPECT_FALSE(fn_replace_file(dir.path() + "/missing/dir/f", "x"));
    // A directory in the way: the rename fails and the directory stays.
    dir.write("blocked/inner", "keep");
    EXPECT_FALSE(fn_replace_file(dir.path() + "/blocked", "x"));
    EXPECT_EQ(dir.read("blocked/inner"), "keep");
    text *left = fn_ls(dir.path());
    auto names = names_of(left);
    free_text(left);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"blocked", "data.txt"})) << "temporary file left behind";
}

TEST(Locks, NonBlockingLockRetriesAndWarnsOnce) {
    FreshDictionaries dicts;
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    reset_log_state();
    dir.write("orvel.err", "");
    std::string path = dir.path() + "/locked";
    LockHolder holder(path);
    FILE *f = std::fopen(path.c_str(), "r+");
    ASSERT_NE(f, nullptr);
    flock_sleep_seconds = -1;
    flock_max_tries = -1;
    EXPECT_LT(fp_lock(f, FLOCK_WRITE), 0);
    EXPECT_EQ(flock_max_tries, 10);
    std::string log = dir.read("orvel.err");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("warning: lock failed (-1;"), std::string::npos) << log;
    EXPECT_EQ(fp_lock(f, 7), 1);
    holder.release();
    EXPECT_EQ(fp_lock(f, FLOCK_WRITE), 0);
    EXPECT_EQ(fp_lock(f, FLOCK_UNLOCK), 0);
    std::fclose(f);
    reset_log_state();
}

TEST(Locks, DisabledLockingReturnsMinusOneSilently) {
    FreshDictionaries dicts;
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    reset_log_state();
    dir.write("orvel.err", "");
    set_integer(DICT_CONFIG, "FLOCK_DISABLED", 1);
    FILE *f = std::fopen((dir.path() + "/x").c_str(), "w");
    EXPECT_EQ(fp_lock(f, FLOCK_WRITE), -1);
    std::fclose(f);
    EXPECT_EQ(dir.read("orvel.err"), "");
    reset_log_state();
}

TEST(Locks, WaitingLockWaitsForTheHolder) {
    FreshDictionaries dicts;
    TempDir dir;
    std::string lock = dir.path() + "/data.lock";
    std::string data = dir.path() + "/data";
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        FileLock held(lock);
        char c = 'g';
        if (::write(go[1], &c, 1) != 1) ::_exit(1);
        ::usleep(200 * 1000);
        FILE *f = std::fopen(data.c_str(), "a");
        std::fputs("A", f);
        std::fclose(f);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(go[0], &c, 1), 1);
    {
        FileLock mine(lock);
        EXPECT_TRUE(mine.held());
        FILE *f = std::fopen(data.c_str(), "a");
        std::fputs("B", f);
        std::fclose(f);
    }
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(dir.read("data"), "AB");
}

TEST(Process, EnvironmentAndErrors) {
    FreshDictionaries dicts;
    ::unsetenv("ORVEL_SURELY_UNSET");
    EXPECT_STREQ(Orvel_getenv("ORVEL_SURELY_UNSET"), "");
    errno = ENOENT;
    EXPECT_EQ(record_error(), "No such file or directory (errno = 2)");
    EXPECT_EQ(std::string(var_string(DICT_CONFIG, "SYSERR")), "No such file or directory (errno = 2)");
    errno = 0;
    EXPECT_EQ(record_error(), "");
    EXPECT_FALSE(var_defined(DICT_CONFIG, "SYSERR"));
}
