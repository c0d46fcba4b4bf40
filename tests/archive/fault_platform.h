// A file layer for tests that passes every call on to another one (usually
// the native layer), counts the calls, keeps track of the files that are
// open, and can make one chosen call fail.
#ifndef SFX_FAULT_PLATFORM_H
#define SFX_FAULT_PLATFORM_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "sfx_platform.h"

enum class PlatformCall {
    CopyFile,
    OpenExclusiveRead,
    OpenSharedRead,
    OpenOutput,
    Read,
    Write,
    SeekEnd,
    Position,
    Length,
    CloseOutput,  // close of a file that openOutput opened
    CloseOther,   // close of any other file (the sources)
    FindFirst,
    FindNext,
    FindClose,
    FullPath,
};

const char* platformCallName(PlatformCall call);

class FaultPlatform : public SfxPlatform {
public:
    explicit FaultPlatform(SfxPlatform& inner);

    // Makes the `occurrence`-th call (counted from 1, from now on) of `call`
    // fail. For Write, `shortWrite` makes it report success while fewer
    // bytes than asked arrive.
    void failAt(PlatformCall call, int occurrence = 1, bool shortWrite = false);
    // Whether the armed fault has been delivered.
    bool faultDelivered() const { return delivered; }

    int calls(PlatformCall call) const;
    // Every path passed to an open, in order.
    const std::vector<std::string>& openedPaths() const { return opened; }
    // Files opened through this layer and not closed yet.
    size_t openFiles() const { return live.size(); }
    void resetCounts();

    SfxFile openExclusiveRead(const char* path) override;
    SfxFile openSharedRead(const char* path) override;
    SfxFile openOutput(const char* path) override;
    bool read(SfxFile file, void* buffer, uint32_t size, uint32_t* got) override;
    bool write(SfxFile file, const void* data, uint32_t size, uint32_t* written) override;
    bool seekEnd(SfxFile file) override;
    bool position(SfxFile file, uint64_t* position) override;
    bool length(SfxFile file, uint64_t* length) override;
    bool close(SfxFile file) override;
    bool copyFile(const char* from, const char* to) override;
    SfxFind findFirst(const char* pattern, SfxFindItem* item) override;
    bool findNext(SfxFind find, SfxFindItem* item) override;
    void findClose(SfxFind find) override;
    bool fullPath(const char* path, std::string* full) override;
    size_t maxPath() const override { return inner.maxPath(); }
    char separator() const override { return inner.separator(); }

private:
    // Counts the call and tells whether it is the one that must fail.
    bool strike(PlatformCall call);
    SfxFile opened_(SfxFile file, bool isOutput);

    SfxPlatform& inner;
    std::map<PlatformCall, int> counts;
    std::vector<std::string> opened;
    std::set<SfxFile> live;
    std::set<SfxFile> outputs;

    bool armed;
    bool delivered;
    PlatformCall target;
    int remaining;
    bool shortWrite;
};

#endif
