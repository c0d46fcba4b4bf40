// The entry table: which files go into the runtime program, under which names
// and with which sizes.
#include "sfx_archive.h"

#include <cstring>

namespace {

// Names in the archive are read back by a Windows program: between path
// components they carry backslashes, whatever separator the platform that
// built the archive uses.
void useArchiveSeparators(std::string* name, char platformSeparator) {
    if (platformSeparator == '\\') return;
    for (std::string::size_type i = 0; i < name->size(); ++i) {
        if ((*name)[i] == platformSeparator) (*name)[i] = '\\';
    }
}

bool endsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool isDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

SfxEntry::SfxEntry() : size(0), compressedSize(0), dataOffset(0) {}

void SfxEntry::clear() {
    name.clear();
    sourcePath.clear();
    size = 0;
}

int32_t SfxEntry::setFromPath(SfxPlatform& platform, const char* path, const char* base) {
    SfxFile file = platform.openExclusiveRead(path);
    if (file == SFX_NO_FILE) return 0;
    uint64_t length = 0;
    bool measured = platform.length(file, &length);
    // A failed close of a file that was only read loses nothing: the entry
    // stands on the size measured above.
    platform.close(file);
    if (!measured) return 0;

    size = static_cast<uint32_t>(length);
    sourcePath = path;
    // The name is cut by count alone: the path is not checked to begin with
    // the base, nor is the byte skipped after it.
    std::string::size_type skip = std::strlen(base) + 1;
    name = sourcePath.size() > skip ? sourcePath.substr(skip) : std::string();
    useArchiveSeparators(&name, platform.separator());
    return 1;
}

SfxArchive::SfxArchive() : SfxArchive(sfxNativePlatform()) {}

SfxArchive::SfxArchive(SfxPlatform& platform_)
    : platform(platform_), count(0), currentLength(0), stopRequested(false) {
    // Allocation hooks unset: zlib uses its own allocator.
    std::memset(&stream, 0, sizeof stream);
    std::memset(inBuffer, 0, sizeof inBuffer);
    std::memset(outBuffer, 0, sizeof outBuffer);
}

SfxArchive::~SfxArchive() {}

int32_t SfxArchive::entryCount() const { return count; }

const SfxEntry& SfxArchive::entry(int32_t index) const { return entries[index]; }

int32_t SfxArchive::addFile(const char* path, const char* base) {
    if (count >= SFX_MAX_ENTRIES) return 0;
    // A path beyond the platform's limit is refused, never cut short.
    if (std::strlen(path) > platform.maxPath()) return 0;
    if (entries[count].setFromPath(platform, path, base) != 1) return 0;
    ++count;
    return 1;
}

void SfxArchive::addFolder(const char* folder, const char* base) {
    const char separator = platform.separator();
    std::string pattern = folder;
    pattern += separator;
    pattern += "*.*";
    if (pattern.size() > platform.maxPath()) return;

    SfxFindItem item;
    SfxFind find = platform.findFirst(pattern.c_str(), &item);
    if (find == SFX_NO_FIND) return;

    // The walk's root is the full path of the pattern up to its last
    // separator, so item paths are absolute and in normal form whatever form
    // the folder was given in.
    std::string root;
    if (platform.fullPath(pattern.c_str(), &root)) {
        std::string::size_type cut = root.find_last_of("\\/");
        root.erase(cut == std::string::npos ? 0 : cut);
        if (!endsWithSeparator(root)) root += separator;

        do {
            if (item.isDirectory && isDotEntry(item.name)) continue;
            // A folder link may lead back into the walked tree.
            if (item.isDirectoryLink) continue;
            std::string itemPath = root + item.name;
            if (itemPath.size() > platform.maxPath()) continue;
            if (item.isDirectory) {
                addFolder(itemPath.c_str(), base);
            } else {
                addFile(itemPath.c_str(), base);
            }
        } while (platform.findNext(find, &item));
    }
    platform.findClose(find);
}
