// The archive's file operations on POSIX systems.
//
// POSIX has no share modes. Opening "without sharing" is approximated by
// refusing everything that is not a regular file; whether another process
// holds the file cannot be told.
#include "sfx_platform.h"
#include "sfx_path.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// A folder enumeration: the open folder, the name part of the pattern and
// the folder's own path for looking at the items' kinds.
struct PosixFind {
    DIR* dir;
    std::string folder;
    std::string wildcard;
};

int retryOpen(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO from blocking
// the open; it is cleared again for the reads.
SfxFile openRegularForReading(const char* path) {
    int fd = retryOpen(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0) return SFX_NO_FILE;
    struct stat info;
    int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return SFX_NO_FILE;
    }
    return fd;
}

bool matches(const std::string& wildcard, const char* name) {
    // "*.*" matches every name, as it does on Windows.
    if (wildcard == "*.*" || wildcard == "*") return true;
    return ::fnmatch(wildcard.c_str(), name, 0) == 0;
}

void describeItem(const PosixFind& find, const struct dirent* entry, SfxFindItem* item) {
    std::strncpy(item->name, entry->d_name, SFX_FIND_NAME_SIZE - 1);
    item->name[SFX_FIND_NAME_SIZE - 1] = '\0';
    item->isDirectory = false;
    item->isDirectoryLink = false;

    const std::string path = find.folder + "/" + entry->d_name;
    struct stat own;
    if (::lstat(path.c_str(), &own) != 0) return;
    if (S_ISDIR(own.st_mode)) {
        item->isDirectory = true;
        return;
    }
    struct stat target;
    if (S_ISLNK(own.st_mode) && ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        item->isDirectory = true;
        item->isDirectoryLink = true;
    }
}

bool nextMatch(PosixFind* find, SfxFindItem* item) {
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(find->dir);
        if (entry == nullptr) return false;
        // A name that does not fit the item is left out rather than cut.
        if (std::strlen(entry->d_name) >= SFX_FIND_NAME_SIZE) continue;
        if (!matches(find->wildcard, entry->d_name)) continue;
        describeItem(*find, entry, item);
        return true;
    }
}

class PosixPlatform : public SfxPlatform {
public:
    SfxFile openExclusiveRead(const char* path) override { return openRegularForReading(path); }
    SfxFile openSharedRead(const char* path) override { return openRegularForReading(path); }

    SfxFile openOutput(const char* path) override {
        int fd = retryOpen(path, O_WRONLY);
        return fd < 0 ? SFX_NO_FILE : fd;
    }

    bool read(SfxFile file, void* buffer, uint32_t size, uint32_t* got) override {
        ssize_t n;
        do {
            n = ::read(static_cast<int>(file), buffer, size);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return false;
        *got = static_cast<uint32_t>(n);
        return true;
    }

    bool write(SfxFile file, const void* data, uint32_t size, uint32_t* written) override {
        // Like a Windows file write, a call writes everything unless an error
        // (a full disk) stops it.
        const char* bytes = static_cast<const char*>(data);
        uint32_t done = 0;
        while (done < size) {
            ssize_t n = ::write(static_cast<int>(file), bytes + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<uint32_t>(n);
        }
        *written = done;
        return done == size;
    }

    bool seekEnd(SfxFile file) override {
        return ::lseek(static_cast<int>(file), 0, SEEK_END) >= 0;
    }

    bool position(SfxFile file, uint64_t* position) override {
        off_t at = ::lseek(static_cast<int>(file), 0, SEEK_CUR);
        if (at < 0) return false;
        *position = static_cast<uint64_t>(at);
        return true;
    }

    bool length(SfxFile file, uint64_t* length) override {
        struct stat info;
        if (::fstat(static_cast<int>(file), &info) != 0) return false;
        *length = static_cast<uint64_t>(info.st_size);
        return true;
    }

    bool close(SfxFile file) override {
        // The descriptor is gone after close whatever it returns; EINTR must
        // not be retried.
        return ::close(static_cast<int>(file)) == 0;
    }

    bool copyFile(const char* from, const char* to) override;

    SfxFind findFirst(const char* pattern, SfxFindItem* item) override {
        const std::string text = pattern;
        const std::string::size_type cut = text.rfind('/');
        PosixFind* find = new PosixFind;
        find->folder = cut == std::string::npos ? "." : text.substr(0, cut == 0 ? 1 : cut);
        find->wildcard = cut == std::string::npos ? text : text.substr(cut + 1);
        find->dir = ::opendir(find->folder.c_str());
        if (find->dir == nullptr || !nextMatch(find, item)) {
            if (find->dir != nullptr) ::closedir(find->dir);
            delete find;
            return SFX_NO_FIND;
        }
        return reinterpret_cast<SfxFind>(find);
    }

    bool findNext(SfxFind find, SfxFindItem* item) override {
        return nextMatch(reinterpret_cast<PosixFind*>(find), item);
    }

    void findClose(SfxFind find) override {
        PosixFind* open = reinterpret_cast<PosixFind*>(find);
        ::closedir(open->dir);
        delete open;
    }

    bool fullPath(const char* path, std::string* full) override {
        std::string result;
        if (path[0] == '/') {
            result = sfxLexicalFullPath("/", path);
        } else {
            char current[PATH_MAX];
            if (::getcwd(current, sizeof current) == nullptr) return false;
            result = sfxLexicalFullPath(current, path);
        }
        if (result.size() > maxPath()) return false;
        *full = result;
        return true;
    }

    size_t maxPath() const override { return PATH_MAX - 1; }
    char separator() const override { return '/'; }
};

bool PosixPlatform::copyFile(const char* from, const char* to) {
    SfxFile source = openRegularForReading(from);
    if (source == SFX_NO_FILE) return false;
    // Opened without truncation first: when the destination is the stub
    // itself, truncating it would destroy the stub.
    int target = retryOpen(to, O_WRONLY | O_CREAT, 0666);
    if (target < 0) {
        close(source);
        return false;
    }
    struct stat sourceInfo, targetInfo;
    bool ok = ::fstat(static_cast<int>(source), &sourceInfo) == 0 &&
              ::fstat(target, &targetInfo) == 0 && S_ISREG(targetInfo.st_mode) &&
              !(sourceInfo.st_dev == targetInfo.st_dev && sourceInfo.st_ino == targetInfo.st_ino) &&
              ::ftruncate(target, 0) == 0;

    char buffer[65536];
    while (ok) {
        uint32_t got = 0;
        if (!read(source, buffer, sizeof buffer, &got)) ok = false;
        else if (got == 0) break;
        else {
            uint32_t written = 0;
            ok = write(target, buffer, got, &written);
        }
    }
    bool targetClosed = close(target);
    close(source);
    return ok && targetClosed;
}

}  // namespace

SfxPlatform& sfxNativePlatform() {
    static PosixPlatform platform;
    return platform;
}
