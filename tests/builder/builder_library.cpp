#include "builder_library.h"

#include <filesystem>
#include <system_error>

#ifndef SFX_BUILDER_LIBRARY_PATH
#error "SFX_BUILDER_LIBRARY_PATH names the built library"
#endif

BuilderLibrary::BuilderLibrary()
    : addFile(nullptr), addFolder(nullptr), createArchive(nullptr), handle(nullptr) {}

BuilderLibrary::~BuilderLibrary() {
    if (handle != nullptr) close();
}

bool BuilderLibrary::load(const std::string& builtPath, const std::string& copyPath,
                          std::string* error) {
    std::error_code failure;
    std::filesystem::copy_file(builtPath, copyPath,
                               std::filesystem::copy_options::overwrite_existing, failure);
    if (failure) {
        *error = "cannot copy " + builtPath + ": " + failure.message();
        return false;
    }
    if (!open(copyPath, error)) return false;

    // The names a Java runtime derives from the class and its methods.
    addFile = reinterpret_cast<AddFileNative>(
        find("Java_com_halvory_mirelant_dx_launch_ExeArchiver_addFile"));
    addFolder = reinterpret_cast<AddFolderNative>(
        find("Java_com_halvory_mirelant_dx_launch_ExeArchiver_addFolder"));
    createArchive = reinterpret_cast<CreateArchiveNative>(
        find("Java_com_halvory_mirelant_dx_launch_ExeArchiver_createArchive"));
    if (addFile == nullptr || addFolder == nullptr || createArchive == nullptr) {
        *error = "a native is missing from " + builtPath;
        return false;
    }
    return true;
}
