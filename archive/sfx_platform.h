// The narrow layer through which the archive logic reaches the file system.
//
// The archive object never calls the operating system itself: every file and
// folder operation of the entry table and the writer goes through one
// SfxPlatform. There are two real implementations (sfx_platform_win32.cpp,
// sfx_platform_posix.cpp); tests put a fault-injecting one in their place.
#ifndef SFX_PLATFORM_H
#define SFX_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

// An open file. On Windows the value of a HANDLE, on POSIX a descriptor.
typedef intptr_t SfxFile;
const SfxFile SFX_NO_FILE = -1;

// A running folder enumeration.
typedef intptr_t SfxFind;
const SfxFind SFX_NO_FIND = -1;

// Room for one item name of an enumeration, terminator included (the size of
// the name field of a Windows find record).
const size_t SFX_FIND_NAME_SIZE = 260;

struct SfxFindItem {
    char name[SFX_FIND_NAME_SIZE];
    bool isDirectory;
    // A folder reached through a link (a symbolic link, a junction or another
    // reparse point). The walk never follows one, so that it always ends.
    bool isDirectoryLink;
};

class SfxPlatform {
public:
    virtual ~SfxPlatform() {}

    // Opens an existing file for reading while nobody else may hold it open.
    // Fails for a missing file, a directory, a file held open elsewhere.
    virtual SfxFile openExclusiveRead(const char* path) = 0;
    // Opens an existing file for reading; others may read and write it.
    virtual SfxFile openSharedRead(const char* path) = 0;
    // Opens an existing file for writing; others may read and write it. The
    // file is neither created nor truncated.
    virtual SfxFile openOutput(const char* path) = 0;

    // Reads up to `size` bytes; *got is 0 at the end of the file.
    virtual bool read(SfxFile file, void* buffer, uint32_t size, uint32_t* got) = 0;
    // Writes `size` bytes; *written tells how many arrived (fewer on a full
    // disk, when the call may still report success).
    virtual bool write(SfxFile file, const void* data, uint32_t size, uint32_t* written) = 0;
    virtual bool seekEnd(SfxFile file) = 0;
    virtual bool position(SfxFile file, uint64_t* position) = 0;
    virtual bool length(SfxFile file, uint64_t* length) = 0;
    // Releases the file whatever the result; false reports a failed close.
    virtual bool close(SfxFile file) = 0;

    // Leaves a byte copy of `from` at `to`, replacing a file already there.
    virtual bool copyFile(const char* from, const char* to) = 0;

    // Folder enumeration: every item matching the pattern, in the file
    // system's order, "." and ".." included.
    virtual SfxFind findFirst(const char* pattern, SfxFindItem* item) = 0;
    virtual bool findNext(SfxFind find, SfxFindItem* item) = 0;
    virtual void findClose(SfxFind find) = 0;

    // The absolute, normal form of a path; false when it cannot be made or
    // would not fit within maxPath().
    virtual bool fullPath(const char* path, std::string* full) = 0;

    // The longest path, in bytes without the terminator, that the platform's
    // file functions take. Longer paths are refused, never cut.
    virtual size_t maxPath() const = 0;
    // The separator between path components that the platform's own paths use.
    virtual char separator() const = 0;
};

// The implementation for the platform the program was built for.
SfxPlatform& sfxNativePlatform();

#endif
