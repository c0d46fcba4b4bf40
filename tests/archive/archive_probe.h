// Reaches into the archive object where a test cannot get by its interface:
// the compressor's allocation hooks and the two values behind filePercent.
// Defined once, here, because SfxArchive names it as a friend.
#ifndef SFX_ARCHIVE_PROBE_H
#define SFX_ARCHIVE_PROBE_H

#include <cstdint>
#include <cstdlib>

#include "sfx_archive.h"

struct SfxArchiveProbe {
    // An allocator that has nothing to give: deflateInit then fails.
    static voidpf refuse(voidpf, uInt, uInt) { return Z_NULL; }
    static void release(voidpf, voidpf address) { std::free(address); }

    static void starveCompressor(SfxArchive& archive) {
        archive.stream.zalloc = &SfxArchiveProbe::refuse;
        archive.stream.zfree = &SfxArchiveProbe::release;
        archive.stream.opaque = Z_NULL;
    }

    // The input the compressor has consumed of the current file.
    static uint32_t consumed(const SfxArchive& archive) {
        return static_cast<uint32_t>(archive.stream.total_in);
    }

    // The state filePercent reads: the measured length and the input that
    // the compressor has consumed.
    static void setProgressState(SfxArchive& archive, int32_t length, uint32_t consumed) {
        archive.currentLength = length;
        archive.stream.total_in = consumed;
    }
};

#endif
