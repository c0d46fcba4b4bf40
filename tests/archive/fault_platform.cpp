#include "fault_platform.h"

const char* platformCallName(PlatformCall call) {
    switch (call) {
    case PlatformCall::CopyFile: return "CopyFile";
    case PlatformCall::OpenExclusiveRead: return "OpenExclusiveRead";
    case PlatformCall::OpenSharedRead: return "OpenSharedRead";
    case PlatformCall::OpenOutput: return "OpenOutput";
    case PlatformCall::Read: return "Read";
    case PlatformCall::Write: return "Write";
    case PlatformCall::SeekEnd: return "SeekEnd";
    case PlatformCall::Position: return "Position";
    case PlatformCall::Length: return "Length";
    case PlatformCall::CloseOutput: return "CloseOutput";
    case PlatformCall::CloseOther: return "CloseOther";
    case PlatformCall::FindFirst: return "FindFirst";
    case PlatformCall::FindNext: return "FindNext";
    case PlatformCall::FindClose: return "FindClose";
    case PlatformCall::FullPath: return "FullPath";
    }
    return "?";
}

FaultPlatform::FaultPlatform(SfxPlatform& inner_)
    : inner(inner_), armed(false), delivered(false), target(PlatformCall::CopyFile),
      remaining(0), shortWrite(false) {}

void FaultPlatform::failAt(PlatformCall call, int occurrence, bool shortWrite_) {
    armed = true;
    delivered = false;
    target = call;
    remaining = occurrence;
    shortWrite = shortWrite_;
}

int FaultPlatform::calls(PlatformCall call) const {
    auto found = counts.find(call);
    return found == counts.end() ? 0 : found->second;
}

void FaultPlatform::resetCounts() {
    counts.clear();
    opened.clear();
}

bool FaultPlatform::strike(PlatformCall call) {
    ++counts[call];
    if (!armed || call != target) return false;
    if (--remaining > 0) return false;
    armed = false;
    delivered = true;
    return true;
}

SfxFile FaultPlatform::opened_(SfxFile file, bool isOutput) {
    if (file == SFX_NO_FILE) return file;
    live.insert(file);
    if (isOutput) outputs.insert(file);
    return file;
}

SfxFile FaultPlatform::openExclusiveRead(const char* path) {
    opened.push_back(path);
    if (strike(PlatformCall::OpenExclusiveRead)) return SFX_NO_FILE;
    return opened_(inner.openExclusiveRead(path), false);
}

SfxFile FaultPlatform::openSharedRead(const char* path) {
    opened.push_back(path);
    if (strike(PlatformCall::OpenSharedRead)) return SFX_NO_FILE;
    return opened_(inner.openSharedRead(path), false);
}

SfxFile FaultPlatform::openOutput(const char* path) {
    opened.push_back(path);
    if (strike(PlatformCall::OpenOutput)) return SFX_NO_FILE;
    return opened_(inner.openOutput(path), true);
}

bool FaultPlatform::read(SfxFile file, void* buffer, uint32_t size, uint32_t* got) {
    if (strike(PlatformCall::Read)) return false;
    return inner.read(file, buffer, size, got);
}

bool FaultPlatform::write(SfxFile file, const void* data, uint32_t size, uint32_t* written) {
    if (!strike(PlatformCall::Write)) return inner.write(file, data, size, written);
    if (!shortWrite) return false;
    // What a full disk does: part of the data arrives and the call still
    // reports success.
    const uint32_t part = size / 2;
    uint32_t done = 0;
    if (part != 0 && !inner.write(file, data, part, &done)) return false;
    *written = done;
    return true;
}

bool FaultPlatform::seekEnd(SfxFile file) {
    if (strike(PlatformCall::SeekEnd)) return false;
    return inner.seekEnd(file);
}

bool FaultPlatform::position(SfxFile file, uint64_t* position) {
    if (strike(PlatformCall::Position)) return false;
    return inner.position(file, position);
}

bool FaultPlatform::length(SfxFile file, uint64_t* length) {
    if (strike(PlatformCall::Length)) return false;
    return inner.length(file, length);
}

bool FaultPlatform::close(SfxFile file) {
    const bool isOutput = outputs.erase(file) != 0;
    live.erase(file);
    const bool fail = strike(isOutput ? PlatformCall::CloseOutput : PlatformCall::CloseOther);
    // The file is released whatever the result, as the real layers do.
    const bool closed = inner.close(file);
    return closed && !fail;
}

bool FaultPlatform::copyFile(const char* from, const char* to) {
    if (strike(PlatformCall::CopyFile)) return false;
    return inner.copyFile(from, to);
}

SfxFind FaultPlatform::findFirst(const char* pattern, SfxFindItem* item) {
    if (strike(PlatformCall::FindFirst)) return SFX_NO_FIND;
    return inner.findFirst(pattern, item);
}

bool FaultPlatform::findNext(SfxFind find, SfxFindItem* item) {
    if (strike(PlatformCall::FindNext)) return false;
    return inner.findNext(find, item);
}

void FaultPlatform::findClose(SfxFind find) {
    strike(PlatformCall::FindClose);
    inner.findClose(find);
}

bool FaultPlatform::fullPath(const char* path, std::string* full) {
    if (strike(PlatformCall::FullPath)) return false;
    return inner.fullPath(path, full);
}
