// What the writer's benchmark needs from the operating system: a clock,
// temporary folders, plain sequential file input and output, and child
// processes whose peak resident memory can be read.
#ifndef BENCH_OS_H
#define BENCH_OS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Seconds on a clock that never jumps; only differences mean anything.
double monotonicSeconds();
// Processor time this process has used, user and system together. Other
// programs competing for the processors hardly change it.
double processSeconds();

// A new, empty folder below /tmp whose name starts with `prefix`.
bool makeTempFolder(const char* prefix, std::string* path);
bool makeFolder(const std::string& path);
// Removes a folder and everything below it, never following links; false
// when something could not be removed.
bool removeTree(const std::string& path);
bool removeFile(const std::string& path);
// Writes everything waiting in the cache of the file system that holds
// `path` to its disk and waits for that.
bool syncFileSystem(const std::string& path);

// The regular files below a folder at any depth, sorted by path; links are
// neither listed nor followed.
bool listFiles(const std::string& folder, std::vector<std::string>* files);
bool fileSize(const std::string& path, uint64_t* size);

// A file read or written sequentially, closed at the latest when the object
// goes away.
class File {
public:
    File();
    ~File();
    bool openRead(const std::string& path);
    // Creates the file, or empties one that is already there.
    bool create(const std::string& path);
    // Reads up to `size` bytes; *got is 0 at the end of the file.
    bool read(void* buffer, size_t size, size_t* got);
    bool writeAll(const void* data, size_t size);
    // False when the file was open and closing it failed.
    bool close();

private:
    File(const File&);
    File& operator=(const File&);
    int fd;
};

// The program file of the running process, to start it again in another mode.
bool selfPath(std::string* path);

struct ChildResult {
    int exitCode;       // -1 when a signal ended the child
    long maxRssKiB;     // ru_maxrss of the child as its parent's wait sees it
    std::string output; // everything the child wrote to its standard output
};

// Starts `program` with `args` (args[0] included), collects its standard
// output and waits for it to end.
bool runChild(const std::string& program, const std::vector<std::string>& args,
              ChildResult* result);

// A KiB figure of this process's own address space from /proc/self/status:
// "VmHWM" (peak resident set) or "VmRSS" (resident set now); -1 when it
// cannot be read.
long ownMemoryKiB(const char* field);

}  // namespace bench

#endif
