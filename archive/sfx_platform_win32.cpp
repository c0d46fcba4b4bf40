// The archive's file operations on Windows, through the 8-bit (ANSI) forms
// of the Win32 file, find and shell functions.
#include "sfx_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

namespace {

HANDLE asHandle(SfxFile file) { return reinterpret_cast<HANDLE>(file); }

SfxFile asFile(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? SFX_NO_FILE : reinterpret_cast<SfxFile>(handle);
}

// The find functions take no longer paths than this (259 bytes and a
// terminator).
const size_t WIN32_MAX_PATH_LENGTH = MAX_PATH - 1;

bool fits(const char* path) { return std::strlen(path) <= WIN32_MAX_PATH_LENGTH; }

static_assert(SFX_FIND_NAME_SIZE == sizeof(WIN32_FIND_DATAA().cFileName),
              "an item holds a find record's whole name");

void describeItem(const WIN32_FIND_DATAA& data, SfxFindItem* item) {
    // cFileName is always terminated.
    std::memcpy(item->name, data.cFileName, SFX_FIND_NAME_SIZE);
    item->name[SFX_FIND_NAME_SIZE - 1] = '\0';
    item->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item->isDirectoryLink =
        item->isDirectory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// One path followed by two NUL bytes, as the shell's file operation takes
// its lists of paths.
struct ShellPathList {
    char text[MAX_PATH + 1];
    bool set(const char* path) {
        if (!fits(path)) return false;
        std::memset(text, 0, sizeof text);
        std::memcpy(text, path, std::strlen(path));
        return true;
    }
};

class Win32Platform : public SfxPlatform {
public:
    SfxFile openExclusiveRead(const char* path) override {
        return asFile(CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    }

    SfxFile openSharedRead(const char* path) override {
        return asFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    }

    SfxFile openOutput(const char* path) override {
        return asFile(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    }

    bool read(SfxFile file, void* buffer, uint32_t size, uint32_t* got) override {
        DWORD n = 0;
        if (!ReadFile(asHandle(file), buffer, size, &n, NULL)) return false;
        *got = n;
        return true;
    }

    bool write(SfxFile file, const void* data, uint32_t size, uint32_t* written) override {
        DWORD n = 0;
        BOOL ok = WriteFile(asHandle(file), data, size, &n, NULL);
        *written = n;
        return ok != FALSE;
    }

    bool seekEnd(SfxFile file) override {
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        return SetFilePointerEx(asHandle(file), zero, NULL, FILE_END) != FALSE;
    }

    bool position(SfxFile file, uint64_t* position) override {
        LARGE_INTEGER zero, at;
        zero.QuadPart = 0;
        if (!SetFilePointerEx(asHandle(file), zero, &at, FILE_CURRENT)) return false;
        *position = static_cast<uint64_t>(at.QuadPart);
        return true;
    }

    bool length(SfxFile file, uint64_t* length) override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(asHandle(file), &size)) return false;
        *length = static_cast<uint64_t>(size.QuadPart);
        return true;
    }

    bool close(SfxFile file) override { return CloseHandle(asHandle(file)) != FALSE; }

    bool copyFile(const char* from, const char* to) override {
        ShellPathList source, destination;
        if (!source.set(from) || !destination.set(to)) return false;
        SHFILEOPSTRUCTA operation;
        std::memset(&operation, 0, sizeof operation);
        operation.hwnd = NULL;
        operation.wFunc = FO_COPY;
        operation.pFrom = source.text;
        operation.pTo = destination.text;
        operation.fFlags = FOF_FILESONLY | FOF_NOCONFIRMATION | FOF_SILENT;
        operation.hNameMappings = NULL;
        operation.lpszProgressTitle = NULL;
        return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
    }

    SfxFind findFirst(const char* pattern, SfxFindItem* item) override {
        if (!fits(pattern)) return SFX_NO_FIND;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(pattern, &data);
        if (find == INVALID_HANDLE_VALUE) return SFX_NO_FIND;
        describeItem(data, item);
        return reinterpret_cast<SfxFind>(find);
    }

    bool findNext(SfxFind find, SfxFindItem* item) override {
        WIN32_FIND_DATAA data;
        if (!FindNextFileA(reinterpret_cast<HANDLE>(find), &data)) return false;
        describeItem(data, item);
        return true;
    }

    void findClose(SfxFind find) override { FindClose(reinterpret_cast<HANDLE>(find)); }

    bool fullPath(const char* path, std::string* full) override {
        char buffer[MAX_PATH];
        // The result is the length without the terminator when it fits, the
        // size needed when it does not, 0 on failure.
        DWORD length = GetFullPathNameA(path, sizeof buffer, buffer, NULL);
        if (length == 0 || length >= sizeof buffer) return false;
        full->assign(buffer, length);
        return true;
    }

    size_t maxPath() const override { return WIN32_MAX_PATH_LENGTH; }
    char separator() const override { return '\\'; }
};

}  // namespace

SfxPlatform& sfxNativePlatform() {
    static Win32Platform platform;
    return platform;
}
