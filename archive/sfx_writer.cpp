// The writer: a copy of the stub, then one zlib stream per entry in table
// order, then the directory trailer.
#include "sfx_archive.h"

#include <cstring>

namespace {

uint32_t low32(uint64_t value) { return static_cast<uint32_t>(value & 0xFFFFFFFFu); }

// Above this length the percent is taken as n / (L / 100) so that the
// product n * 100 never leaves 32 bits.
const int32_t SFX_PERCENT_SPLIT = 10000000;

}  // namespace

int32_t SfxArchive::create(const char* stubPath, const char* outputPath,
                           SfxProgressFn progress, uint32_t userValue) {
    // A request to stop belongs to the run in which it was made.
    stopRequested = false;
    if (count < 1) return SFX_ERR_NO_ENTRIES;
    if (!platform.copyFile(stubPath, outputPath)) return SFX_ERR_COPY_STUB;

    SfxFile output = platform.openOutput(outputPath);
    if (output == SFX_NO_FILE) return SFX_ERR_FILE;

    int32_t outcome = platform.seekEnd(output)
                          ? writeEntries(output, progress, userValue)
                          : SFX_ERR_FILE;
    // Data may still be in flight until the close: a failed close means the
    // program on disk may not be what was written.
    bool closed = platform.close(output);

    // A run that stopped early reports the writer's own code, never success.
    if (outcome != SFX_WRITE_COMPLETE) return outcome;
    return closed ? SFX_OK : SFX_ERR_FILE;
}

int32_t SfxArchive::writeEntries(SfxFile output, SfxProgressFn progress, uint32_t userValue) {
    for (int32_t i = 0; i < count; ++i) {
        int32_t outcome = writeEntry(entries[i], output, progress, userValue);
        if (outcome != SFX_WRITE_COMPLETE) return outcome;
    }
    return writeTrailer(output) ? SFX_WRITE_COMPLETE : SFX_ERR_FILE;
}

int32_t SfxArchive::writeEntry(SfxEntry& entry, SfxFile output,
                               SfxProgressFn progress, uint32_t userValue) {
    SfxFile source = platform.openSharedRead(entry.sourcePath.c_str());
    if (source == SFX_NO_FILE) return SFX_ERR_OPEN_SOURCE;
    if (progress) progress(SFX_EVENT_FILE_START, &entry, userValue);
    if (stopRequested) {
        platform.close(source);
        return SFX_ERR_STOPPED;
    }

    int32_t outcome = deflateSource(entry, source, output, progress, userValue);
    if (outcome != SFX_WRITE_COMPLETE) return outcome;
    if (progress) progress(SFX_EVENT_FILE_DONE, &entry, userValue);
    // A request made during this file's events ends the run before the next
    // file and before the trailer.
    return stopRequested ? SFX_ERR_STOPPED : SFX_WRITE_COMPLETE;
}

void SfxArchive::requestStop() { stopRequested = true; }

// Compresses one open source into the output and closes the source. The
// entry's compressed size is recorded only for a stream that is complete.
int32_t SfxArchive::deflateSource(SfxEntry& entry, SfxFile source, SfxFile output,
                                  SfxProgressFn progress, uint32_t userValue) {
    uint64_t position = 0;
    uint64_t length = 0;
    if (!platform.position(output, &position) || !platform.length(source, &length)) {
        platform.close(source);
        return SFX_ERR_FILE;
    }
    entry.dataOffset = low32(position);

    stream.avail_in = 0;
    stream.next_out = outBuffer;
    stream.avail_out = SFX_BUFFER_SIZE;
    currentLength = static_cast<int32_t>(low32(length));

    // Without a compressor nothing of this source can be stored.
    if (deflateInit(&stream, SFX_COMPRESSION_LEVEL) != Z_OK) {
        platform.close(source);
        return SFX_ERR_FILE;
    }

    bool complete = compressInput(source, output, progress, userValue);
    // The source is read to its end before the stream is finished.
    bool closed = platform.close(source);
    complete = complete && closed && finishStream(output);
    // deflateEnd reports a stream freed before its end; that is expected on
    // the failure path, where the entry is not recorded anyway.
    int ended = deflateEnd(&stream);
    if (!complete || ended != Z_OK) return SFX_ERR_FILE;

    entry.compressedSize = low32(stream.total_out);
    return SFX_WRITE_COMPLETE;
}

bool SfxArchive::compressInput(SfxFile source, SfxFile output,
                               SfxProgressFn progress, uint32_t userValue) {
    for (;;) {
        int32_t waiting = fillInput(source);
        if (waiting < 0) return false;
        if (waiting == 0) return true;

        int result = deflate(&stream, Z_NO_FLUSH);
        if (flushOutput(output) < 0) return false;
        // Stopping here would leave the rest of the source out of a stream
        // that looks complete.
        if (result != Z_OK) return false;

        if (progress) {
            int32_t percent = filePercent();
            progress(SFX_EVENT_FILE_PERCENT, &percent, userValue);
        }
    }
}

bool SfxArchive::finishStream(SfxFile output) {
    for (;;) {
        int result = deflate(&stream, Z_FINISH);
        int32_t written = flushOutput(output);
        if (written < 0) return false;
        if (result == Z_STREAM_END) return true;
        // Anything but progress towards the stream's end leaves it unfinished.
        if (result != Z_OK || written == 0) return false;
    }
}

int32_t SfxArchive::fillInput(SfxFile source) {
    if (stream.avail_in == 0) {
        uint32_t got = 0;
        if (!platform.read(source, inBuffer, SFX_BUFFER_SIZE, &got)) return -1;
        stream.next_in = inBuffer;
        stream.avail_in = got;
    }
    return static_cast<int32_t>(stream.avail_in);
}

int32_t SfxArchive::flushOutput(SfxFile output) {
    uint32_t pending = SFX_BUFFER_SIZE - stream.avail_out;
    if (pending != 0) {
        if (!writeBytes(output, outBuffer, pending)) return -1;
        stream.next_out = outBuffer;
        stream.avail_out = SFX_BUFFER_SIZE;
    }
    return static_cast<int32_t>(pending);
}

int32_t SfxArchive::filePercent() const {
    const int32_t length = currentLength;
    const uint32_t consumed = low32(stream.total_in);
    if (length == 0) return 100;
    if (length > SFX_PERCENT_SPLIT) {
        return static_cast<int32_t>(consumed / static_cast<uint32_t>(length / 100));
    }
    // The product is formed in 32 bits: below the split it cannot overflow
    // for a file that did not grow since it was measured.
    return static_cast<int32_t>((consumed * 100u) / static_cast<uint32_t>(length));
}

bool SfxArchive::writeTrailer(SfxFile output) {
    for (int32_t i = 0; i < count; ++i) {
        const SfxEntry& entry = entries[i];
        const uint32_t nameLength = static_cast<uint32_t>(entry.name.size());
        if (!writeU32(output, entry.dataOffset) || !writeU32(output, entry.size) ||
            !writeU32(output, entry.compressedSize) ||
            !writeBytes(output, entry.name.data(), nameLength) ||
            !writeU32(output, nameLength)) {
            return false;
        }
    }
    return writeU32(output, static_cast<uint32_t>(count)) &&
           writeBytes(output, SFX_VERSION_TEXT, SFX_VERSION_LENGTH) &&
           writeBytes(output, SFX_MARKER, SFX_MARKER_LENGTH);
}

bool SfxArchive::writeBytes(SfxFile output, const void* data, uint32_t size) {
    // An empty name has nothing to write.
    if (size == 0) return true;
    uint32_t written = 0;
    return platform.write(output, data, size, &written) && written == size;
}

bool SfxArchive::writeU32(SfxFile output, uint32_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return writeBytes(output, bytes, sizeof bytes);
}
