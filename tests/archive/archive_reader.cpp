#include "archive_reader.h"

#include <cstring>
#include <limits>

#include <zlib.h>

namespace {

// Fixed by the format, spelled out here rather than taken from the writer's
// header so that a wrong constant there is caught.
const char kMarker[] = "#HMRE_SFX#";
const uint64_t kMarkerLength = 10;
const uint64_t kEndBlockLength = 4 + 4 + kMarkerLength;
const uint64_t kRecordFixedLength = 16;

}  // namespace

uint32_t readU32(const std::string& bytes, uint64_t position) {
    const unsigned char* at = reinterpret_cast<const unsigned char*>(bytes.data()) + position;
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

bool readArchiveTrailer(const std::string& file, ArchiveTrailer* trailer, std::string* error) {
    ArchiveTrailer result;
    if (file.size() < kEndBlockLength) {
        *error = "shorter than the end block";
        return false;
    }
    if (file.compare(file.size() - kMarkerLength, kMarkerLength, kMarker) != 0) {
        *error = "no marker at the end";
        return false;
    }
    result.version = file.substr(file.size() - kMarkerLength - 4, 4);
    result.count = readU32(file, file.size() - kEndBlockLength);

    // E: the position just behind the record being taken apart.
    uint64_t end = file.size() - kEndBlockLength;
    std::vector<ArchiveRecord> backwards;
    for (uint32_t i = 0; i < result.count; ++i) {
        if (end < 4) {
            *error = "record " + std::to_string(result.count - 1 - i) + ": no room for its name length";
            return false;
        }
        const uint32_t nameLength = readU32(file, end - 4);
        if (end - 4 < static_cast<uint64_t>(nameLength) + 12) {
            *error = "record " + std::to_string(result.count - 1 - i) + ": reaches before the file";
            return false;
        }
        ArchiveRecord record;
        const uint64_t nameStart = end - 4 - nameLength;
        record.name = file.substr(nameStart, nameLength);
        record.compressedSize = readU32(file, nameStart - 4);
        record.size = readU32(file, nameStart - 8);
        record.dataOffset = readU32(file, nameStart - 12);
        backwards.push_back(record);
        end -= kRecordFixedLength + nameLength;
    }
    result.records.assign(backwards.rbegin(), backwards.rend());
    result.trailerStart = end;
    *trailer = result;
    return true;
}

bool inflateEntry(const std::string& file, uint64_t offset, uint64_t length,
                  std::string* content, std::string* error) {
    if (offset > file.size() || length > file.size() - offset) {
        *error = "stream reaches past the end of the file";
        return false;
    }
    if (length > std::numeric_limits<uInt>::max()) {
        *error = "stream too long for one inflate call";
        return false;
    }
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK) {
        *error = "inflateInit failed";
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data() + offset));
    stream.avail_in = static_cast<uInt>(length);

    std::string out;
    unsigned char buffer[16384];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(reinterpret_cast<char*>(buffer), sizeof buffer - stream.avail_out);
        // Z_BUF_ERROR with input left would mean no progress; without input
        // left it means the stream is cut short. Both end the loop below.
    }
    const uInt unused = stream.avail_in;
    inflateEnd(&stream);

    if (result != Z_STREAM_END) {
        *error = std::string("stream does not end properly: ") + zError(result);
        return false;
    }
    if (unused != 0) {
        *error = std::to_string(unused) + " bytes behind the stream's end";
        return false;
    }
    *content = out;
    return true;
}
