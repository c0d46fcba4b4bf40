#include "test_files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "sfx_archive.h"

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    // Test programs run in parallel (and ctest may run one program's tests
    // as separate processes): the name mixes time, a random number and a
    // counter so that two folders never meet.
    static std::atomic<unsigned> serial{0};
    std::random_device random;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code error;
    const fs::path temp = fs::temp_directory_path(error);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "sfx-archive-test-" << std::hex << now << '-' << random() << '-' << serial++;
        fs::path candidate = temp / name.str();
        // create_directory is false for a folder that already exists.
        if (fs::create_directory(candidate, error)) {
            root = candidate;
            return;
        }
    }
    // Left empty: every path below it then fails loudly in the test.
}

ScratchFolder::~ScratchFolder() {
    if (root.empty()) return;
    std::error_code error;
    fs::remove_all(root, error);
}

bool writeWholeFile(const fs::path& path, const std::string& bytes) {
    std::error_code error;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

bool readWholeFile(const fs::path& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    // An empty file leaves the stream with failbit set by operator<<.
    *bytes = content.str();
    return !in.bad();
}

std::string fileBytes(const fs::path& path) {
    std::string bytes;
    return readWholeFile(path, &bytes) ? bytes : std::string();
}

bool fileExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

std::string randomBytes(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::string textBytes(size_t size) {
    static const char line[] = "The quick brown fox jumps over the lazy dog 0123456789.\n";
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) bytes += line;
    bytes.resize(size);
    return bytes;
}

bool endsWithMarker(const std::string& bytes) {
    return bytes.size() >= SFX_MARKER_LENGTH &&
           bytes.compare(bytes.size() - SFX_MARKER_LENGTH, SFX_MARKER_LENGTH, SFX_MARKER) == 0;
}
