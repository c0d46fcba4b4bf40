// The runtime archive builder: the entry table and the writer that turns it
// into a runtime program (a stub copy, one zlib stream per entry, and the
// directory trailer that ends in "#HMRE_SFX#").
#ifndef SFX_ARCHIVE_H
#define SFX_ARCHIVE_H

#include <cstdint>
#include <string>

#include <zlib.h>

#include "sfx_platform.h"

// --- Format constants -------------------------------------------------------
#define SFX_MARKER "#HMRE_SFX#"
const uint32_t SFX_MARKER_LENGTH = 10;
#define SFX_VERSION_TEXT "1.00"
const uint32_t SFX_VERSION_LENGTH = 4;
const int32_t SFX_MAX_ENTRIES = 1024;
const int SFX_COMPRESSION_LEVEL = 6;
const uint32_t SFX_BUFFER_SIZE = 4096;
// Entry count, version text and marker behind the last directory record.
const uint32_t SFX_END_BLOCK_SIZE = 4 + SFX_VERSION_LENGTH + SFX_MARKER_LENGTH;
// Data offset, size and compressed size of a record; the name length follows
// the name.
const uint32_t SFX_RECORD_FIXED_SIZE = 16;

// --- Progress events --------------------------------------------------------
const int32_t SFX_EVENT_FILE_START = 1000;    // argument: the entry's SfxEntry
const int32_t SFX_EVENT_FILE_DONE = 1001;     // argument: the entry's SfxEntry
const int32_t SFX_EVENT_FILE_PERCENT = 1002;  // argument: int32_t percent

// --- Result codes of create and outcomes of writeEntries -------------------
const int32_t SFX_ERR_JAVA_STRING = -1;
const int32_t SFX_OK = 1002;
const int32_t SFX_ERR_COPY_STUB = 1003;
const int32_t SFX_ERR_NO_ENTRIES = 1004;
const int32_t SFX_ERR_FILE = 1005;
const int32_t SFX_ERR_OPEN_SOURCE = 1006;
const int32_t SFX_WRITE_COMPLETE = 1008;
// A progress function asked the run to stop (requestStop).
const int32_t SFX_ERR_STOPPED = 1009;

// Receives the writer's events. The user value is the caller's own, passed
// through unchanged.
typedef void (*SfxProgressFn)(int32_t event, void* argument, uint32_t userValue);

// One slot of the entry table.
class SfxEntry {
public:
    std::string name;        // name in the archive: sourcePath less base and one byte
    std::string sourcePath;  // the path as it was added; the writer opens it
    uint32_t size;           // length at add time, low 32 bits
    uint32_t compressedSize; // length of the entry's stream, set by the writer
    uint32_t dataOffset;     // position of the entry's stream, set by the writer

    SfxEntry();
    // Measures the file and fills the entry: 1, or 0 when the file cannot be
    // opened without sharing (the entry is then unchanged).
    int32_t setFromPath(SfxPlatform& platform, const char* path, const char* base);
    void clear();
};

class SfxArchive {
public:
    SfxArchive();
    explicit SfxArchive(SfxPlatform& platform);
    virtual ~SfxArchive();

    // 1 when the file became an entry, 0 when not (full table, or the file
    // cannot be opened without sharing, or its path is too long).
    int32_t addFile(const char* path, const char* base);
    // Adds every file below the folder, depth first, names relative to base.
    void addFolder(const char* folder, const char* base);
    int32_t entryCount() const;
    const SfxEntry& entry(int32_t index) const;

    // Writes the runtime program: SFX_OK, or SFX_ERR_NO_ENTRIES,
    // SFX_ERR_COPY_STUB, SFX_ERR_FILE, SFX_ERR_OPEN_SOURCE, SFX_ERR_STOPPED.
    int32_t create(const char* stubPath, const char* outputPath,
                   SfxProgressFn progress, uint32_t userValue);
    // Appends every entry's stream and the trailer: SFX_WRITE_COMPLETE, or
    // SFX_ERR_OPEN_SOURCE, SFX_ERR_FILE, SFX_ERR_STOPPED.
    int32_t writeEntries(SfxFile output, SfxProgressFn progress, uint32_t userValue);
    // Called by a progress function during create: the run ends with
    // SFX_ERR_STOPPED before the next file and without a trailer; a request
    // made at a file's start ends it before that file is compressed.
    void requestStop();
    // Input bytes waiting in the stream, refilled from the source when none
    // are left; -1 when the read failed.
    int32_t fillInput(SfxFile source);
    // Bytes written from the output buffer; -1 for a failed or short write.
    int32_t flushOutput(SfxFile output);
    // Percent of the current file consumed so far.
    int32_t filePercent() const;

private:
    // Tests reach the compressor's allocation hooks through this to make
    // deflateInit fail.
    friend struct SfxArchiveProbe;

    SfxArchive(const SfxArchive&);
    SfxArchive& operator=(const SfxArchive&);

    int32_t writeEntry(SfxEntry& entry, SfxFile output,
                       SfxProgressFn progress, uint32_t userValue);
    int32_t deflateSource(SfxEntry& entry, SfxFile source, SfxFile output,
                          SfxProgressFn progress, uint32_t userValue);
    bool compressInput(SfxFile source, SfxFile output,
                       SfxProgressFn progress, uint32_t userValue);
    bool finishStream(SfxFile output);
    bool writeTrailer(SfxFile output);
    bool writeBytes(SfxFile output, const void* data, uint32_t size);
    bool writeU32(SfxFile output, uint32_t value);

    SfxPlatform& platform;
    SfxEntry entries[SFX_MAX_ENTRIES];
    int32_t count;

    z_stream stream;
    unsigned char inBuffer[SFX_BUFFER_SIZE];
    unsigned char outBuffer[SFX_BUFFER_SIZE];
    int32_t currentLength;
    bool stopRequested;
};

#endif
