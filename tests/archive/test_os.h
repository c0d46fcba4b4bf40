// The few operating-system actions that the archive tests need and that the
// portable library cannot do: holding a file open against other openers and
// making a folder link. One implementation per platform (test_os_*.cpp).
#ifndef SFX_TEST_OS_H
#define SFX_TEST_OS_H

#include <cstdint>
#include <string>

// Keeps a file open with no sharing for as long as the object lives.
class ExclusiveHold {
public:
    ExclusiveHold();
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

    // False when the file cannot be held, or when the platform has no share
    // modes to keep other openers out.
    bool open(const std::string& path);

private:
    intptr_t handle;
};

// Makes `link` a link to the folder `target`. False when the platform or the
// file system cannot make one that really is a link.
bool makeFolderLink(const std::string& target, const std::string& link);

#endif
