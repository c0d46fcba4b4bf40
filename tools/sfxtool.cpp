// sfxtool: builds a runtime program from the command line.
//
//   sfxtool build --stub STUB --out OUT PATH...
//
// A PATH that is a folder is added with its whole tree, names relative to
// the folder; a PATH that is a file is added under its file name.
#include "sfx_archive.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

const char USAGE[] = "usage: sfxtool build --stub STUB --out OUT PATH...";

struct Options {
    std::string stub;
    std::string out;
    std::vector<std::string> paths;
};

// Entries finished so far: the entry at this index is the one a failed run
// stopped at.
int32_t filesDone = 0;

void countFinished(int32_t event, void*, uint32_t) {
    if (event == SFX_EVENT_FILE_DONE) ++filesDone;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "sfxtool: %s\n", message.c_str());
    return 1;
}

bool parse(int argc, char** argv, Options* options) {
    if (argc < 2 || std::strcmp(argv[1], "build") != 0) return false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stub") == 0 && i + 1 < argc) {
            options->stub = argv[++i];
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            options->out = argv[++i];
        } else {
            options->paths.push_back(argv[i]);
        }
    }
    return !options->stub.empty() && !options->out.empty() && !options->paths.empty();
}

// The absolute normal form of a path, without a trailing separator unless it
// is a root.
bool normalFolder(SfxPlatform& platform, const std::string& path, std::string* folder) {
    if (!platform.fullPath(path.c_str(), folder)) return false;
    while (folder->size() > 1 && (folder->back() == '\\' || folder->back() == '/') &&
           (*folder)[folder->size() - 2] != ':') {
        folder->pop_back();
    }
    return true;
}

// Adds one command-line path; the message is empty when it was added.
std::string addPath(SfxArchive& archive, SfxPlatform& platform, const std::string& path) {
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(path, error);
    std::string full;
    if (!normalFolder(platform, path, &full)) return "path too long: " + path;
    if (isFolder) {
        const int32_t before = archive.entryCount();
        archive.addFolder(full.c_str(), full.c_str());
        if (archive.entryCount() == before) return "no files added from folder " + path;
        return std::string();
    }
    const std::string::size_type cut = full.find_last_of("\\/");
    const std::string base = full.substr(0, cut == std::string::npos ? 0 : cut);
    if (archive.addFile(full.c_str(), base.c_str()) != 1) {
        return archive.entryCount() == SFX_MAX_ENTRIES ? "entry table full at " + path
                                                       : "cannot read " + path;
    }
    return std::string();
}

std::string describe(const SfxArchive& archive, const Options& options, int32_t result) {
    switch (result) {
    case SFX_ERR_NO_ENTRIES: return "no files to archive";
    case SFX_ERR_COPY_STUB: return "cannot copy the stub " + options.stub + " to " + options.out;
    case SFX_ERR_OPEN_SOURCE:
        return "cannot open " + archive.entry(filesDone).sourcePath + "; " + options.out +
               " is incomplete";
    case SFX_ERR_FILE: return "file error while writing " + options.out + "; it is incomplete";
    default: return "unexpected result " + std::to_string(result);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, &options)) return fail(USAGE);

    SfxPlatform& platform = sfxNativePlatform();
    // The archive object holds its 1024-entry table: too large for a stack.
    std::unique_ptr<SfxArchive> archive(new SfxArchive(platform));
    for (const std::string& path : options.paths) {
        const std::string message = addPath(*archive, platform, path);
        if (!message.empty()) return fail(message);
    }

    const int32_t result =
        archive->create(options.stub.c_str(), options.out.c_str(), countFinished, 0);
    if (result != SFX_OK) return fail(describe(*archive, options, result));

    std::printf("wrote %s: %d entries\n", options.out.c_str(), archive->entryCount());
    for (int32_t i = 0; i < archive->entryCount(); ++i) {
        const SfxEntry& entry = archive->entry(i);
        std::printf("  %-40s %10u -> %10u at %u\n", entry.name.c_str(), entry.size,
                    entry.compressedSize, entry.dataOffset);
    }
    return 0;
}
