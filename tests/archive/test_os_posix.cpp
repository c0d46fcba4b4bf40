#include "test_os.h"

#include <sys/stat.h>
#include <unistd.h>

ExclusiveHold::ExclusiveHold() : handle(-1) {}

ExclusiveHold::~ExclusiveHold() {}

bool ExclusiveHold::open(const std::string&) {
    // Without share modes another process cannot be kept out of a file.
    return false;
}

bool makeFolderLink(const std::string& target, const std::string& link) {
    if (::symlink(target.c_str(), link.c_str()) != 0) return false;
    struct stat info;
    return ::lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}
