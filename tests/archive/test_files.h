// Scratch folders and whole-file input and output for the archive tests.
//
// Paths are handed to the archive in the platform's own form (backslashes on
// Windows, where the shell's copy mishandles '/'-rooted paths).
#ifndef SFX_TEST_FILES_H
#define SFX_TEST_FILES_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// The separator of the platform's own paths.
const char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// A fresh, empty folder below the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return root; }
    // The folder itself, or a path below it, as the archive takes paths.
    std::string text() const { return root.string(); }
    std::string text(const std::filesystem::path& relative) const {
        return (root / relative).string();
    }

private:
    std::filesystem::path root;
};

// Writes `bytes` to `path`, making the folders above it; false on failure.
bool writeWholeFile(const std::filesystem::path& path, const std::string& bytes);
// The whole content of `path`; false when it cannot be read.
bool readWholeFile(const std::filesystem::path& path, std::string* bytes);
// The file's content, or an empty string when it cannot be read (for
// comparisons where a failed read shows up as a mismatch anyway).
std::string fileBytes(const std::filesystem::path& path);
bool fileExists(const std::filesystem::path& path);

// `size` reproducible bytes that deflate cannot shrink.
std::string randomBytes(size_t size, uint32_t seed);
// `size` bytes of readable, repetitive text.
std::string textBytes(size_t size);

// True when the file ends with the archive marker.
bool endsWithMarker(const std::string& bytes);

#endif
