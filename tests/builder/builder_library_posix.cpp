#include "builder_library.h"

#include <dlfcn.h>

bool BuilderLibrary::open(const std::string& path, std::string* error) {
    // RTLD_LOCAL: the copies' symbols stay apart from each other.
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        *error = "cannot load " + path + ": " + (reason != nullptr ? reason : "?");
        return false;
    }
    return true;
}

void* BuilderLibrary::find(const char* name) { return dlsym(handle, name); }

void BuilderLibrary::close() {
    dlclose(handle);
    handle = nullptr;
}

std::string builtBuilderPath() { return SFX_BUILDER_LIBRARY_PATH; }
