// An independent reader of runtime programs for tests: walks the directory
// trailer from the end of the file and inflates entry streams with zlib's
// inflate. It shares no code with the writer, so that a fault of the writer
// cannot hide behind the same fault here.
#ifndef SFX_ARCHIVE_READER_H
#define SFX_ARCHIVE_READER_H

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveRecord {
    uint32_t dataOffset = 0;
    uint32_t size = 0;
    uint32_t compressedSize = 0;
    std::string name;
};

struct ArchiveTrailer {
    uint32_t count = 0;
    std::string version;            // the 4 bytes before the marker
    std::vector<ArchiveRecord> records;  // in table order (entry 0 first)
    uint64_t trailerStart = 0;      // position of the first record
};

// Walks the trailer of a whole output file from its end. False, with the
// reason in *error, when the bytes do not end in a complete trailer (no
// marker, a count or name length reaching past the start of the file).
// Nothing is checked about the streams themselves.
bool readArchiveTrailer(const std::string& file, ArchiveTrailer* trailer, std::string* error);

// Inflates the `length` bytes at `offset` as one zlib stream. False, with the
// reason in *error, unless they are exactly one complete stream whose
// checksum holds.
bool inflateEntry(const std::string& file, uint64_t offset, uint64_t length,
                  std::string* content, std::string* error);

// Little-endian 32-bit value at `position`; the caller checks the bounds.
uint32_t readU32(const std::string& bytes, uint64_t position);

#endif
