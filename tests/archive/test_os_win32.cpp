#include "test_os.h"

#include <windows.h>

namespace {

HANDLE asHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// Not in the headers for the Windows version the product targets; looked up
// at run time instead.
typedef BOOLEAN(WINAPI* CreateSymbolicLinkFn)(LPCSTR link, LPCSTR target, DWORD flags);
const DWORD kSymbolicLinkDirectory = 0x1;

}  // namespace

ExclusiveHold::ExclusiveHold() : handle(reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE)) {}

ExclusiveHold::~ExclusiveHold() {
    if (asHandle(handle) != INVALID_HANDLE_VALUE) CloseHandle(asHandle(handle));
}

bool ExclusiveHold::open(const std::string& path) {
    if (asHandle(handle) != INVALID_HANDLE_VALUE) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle = reinterpret_cast<intptr_t>(file);
    return true;
}

bool makeFolderLink(const std::string& target, const std::string& link) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return false;
    CreateSymbolicLinkFn create = reinterpret_cast<CreateSymbolicLinkFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CreateSymbolicLinkA")));
    if (create == NULL) return false;
    if (!create(link.c_str(), target.c_str(), kSymbolicLinkDirectory)) return false;
    // Some implementations report success and make nothing, or make a plain
    // folder: only a folder that is a reparse point is a link.
    const DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
