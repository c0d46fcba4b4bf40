// The benchmark's operating-system layer on Linux.
#include "bench_os.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Calls `visit` for every item below `folder` (not for the folder itself),
// folders after their contents, without following links. False when a
// folder could not be read or `visit` said so.
template <typename Visit>
bool walk(const std::string& folder, Visit visit) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool ok = true;
    for (;;) {
        errno = 0;
        const struct dirent* item = ::readdir(dir);
        if (item == nullptr) {
            if (errno != 0) ok = false;
            break;
        }
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
        const std::string path = folder + "/" + item->d_name;
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(info.st_mode) && !walk(path, visit)) ok = false;
        if (!visit(path, info)) ok = false;
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

double monotonicSeconds() {
    struct timespec now;
    // CLOCK_MONOTONIC cannot fail with a valid pointer.
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double processSeconds() {
    struct timespec used;
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return 0;
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

bool makeTempFolder(const char* prefix, std::string* path) {
    std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
    std::vector<char> text(pattern.begin(), pattern.end());
    text.push_back('\0');
    if (::mkdtemp(text.data()) == nullptr) return false;
    *path = text.data();
    return true;
}

bool makeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool removeTree(const std::string& path) {
    bool ok = walk(path, [](const std::string& item, const struct stat& info) {
        return (S_ISDIR(info.st_mode) ? ::rmdir(item.c_str()) : ::unlink(item.c_str())) == 0;
    });
    return ::rmdir(path.c_str()) == 0 && ok;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool syncFileSystem(const std::string& path) {
    int fd = openRetrying(path.c_str(), O_RDONLY | O_DIRECTORY, 0);
    if (fd < 0) return false;
    bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
}

bool listFiles(const std::string& folder, std::vector<std::string>* files) {
    files->clear();
    bool ok = walk(folder, [files](const std::string& item, const struct stat& info) {
        if (S_ISREG(info.st_mode)) files->push_back(item);
        return true;
    });
    std::sort(files->begin(), files->end());
    return ok;
}

bool fileSize(const std::string& path, uint64_t* size) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

File::File() : fd(-1) {}

File::~File() {
    // A close that fails here has nobody to tell; callers that care close
    // explicitly.
    close();
}

bool File::openRead(const std::string& path) {
    if (fd >= 0) return false;
    fd = openRetrying(path.c_str(), O_RDONLY, 0);
    return fd >= 0;
}

bool File::create(const std::string& path) {
    if (fd >= 0) return false;
    fd = openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    return fd >= 0;
}

bool File::read(void* buffer, size_t size, size_t* got) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    *got = static_cast<size_t>(n);
    return true;
}

bool File::writeAll(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool File::close() {
    if (fd < 0) return true;
    // The descriptor is released whatever close returns; EINTR is not retried.
    int result = ::close(fd);
    fd = -1;
    return result == 0;
}

bool selfPath(std::string* path) {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return false;
    buffer[n] = '\0';
    *path = buffer;
    return true;
}

bool runChild(const std::string& program, const std::vector<std::string>& args,
              ChildResult* result) {
    // The argument vector is built before the fork: between fork and exec
    // the child may only make async-signal-safe calls.
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) return false;

    // A plain fork, not vfork or posix_spawn: a vfork child borrows the
    // parent's address space, and the kernel folds that space's peak into
    // the child's ru_maxrss at exec. A forked copy contributes only the
    // parent's current resident set, which this benchmark keeps small.
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return false;
    }
    if (pid == 0) {
        // dup2 leaves the copy without close-on-exec.
        if (::dup2(channel[1], STDOUT_FILENO) < 0) ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(channel[1]);

    result->output.clear();
    bool readOk = true;
    char buffer[512];
    for (;;) {
        ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readOk = false;
        if (n <= 0) break;
        result->output.append(buffer, static_cast<size_t>(n));
    }
    ::close(channel[0]);

    // The child is always reaped, even when its output could not be read.
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    pid_t waited;
    do {
        waited = ::wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid) return false;

    result->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result->maxRssKiB = usage.ru_maxrss;
    return readOk;
}

long ownMemoryKiB(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    const size_t length = std::strlen(field);
    long value = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return value;
}

}  // namespace bench
