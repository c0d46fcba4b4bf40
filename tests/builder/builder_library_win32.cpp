#include "builder_library.h"

#include <windows.h>

bool BuilderLibrary::open(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == NULL) {
        *error = "cannot load " + path + ": error " + std::to_string(GetLastError());
        return false;
    }
    handle = reinterpret_cast<void*>(module);
    return true;
}

void* BuilderLibrary::find(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

void BuilderLibrary::close() {
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
    handle = nullptr;
}

std::string builtBuilderPath() {
    // The build names the library with the building machine's path. Under
    // wine that machine's root is the drive Z:, and Windows paths take
    // backslashes.
    std::string path = SFX_BUILDER_LIBRARY_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}
