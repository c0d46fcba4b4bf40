// The bytes that SfxArchive::create appends to the stub: the worked example
// byte for byte, the stream of an empty file, and a mixed set of files read
// back by walking the trailer from the end and inflating every stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "archive_reader.h"
#include "sfx_archive.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

// "78 9C 4B" -> the three bytes.
std::string bytesFromHex(const char* text) {
    std::string bytes;
    unsigned value = 0;
    int digits = 0;
    for (const char* at = text; *at; ++at) {
        const char c = *at;
        if (c == ' ') continue;
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (++digits == 2) {
            bytes += static_cast<char>(value);
            value = 0;
            digits = 0;
        }
    }
    return bytes;
}

// Bytes as spaced hexadecimal, so that a mismatch shows where it is.
std::string hex(const std::string& bytes) {
    std::string text;
    char pair[4];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    return text;
}

std::string stubBytes(size_t size) {
    std::string stub;
    for (size_t i = 0; i < size; ++i) stub += static_cast<char>('M' + i % 13);
    return stub;
}

}  // namespace

TEST(ArchiveFormat, WorkedExampleIsReproducedByteForByte) {
    ScratchFolder scratch;
    const fs::path content = scratch.path() / "content";
    ASSERT_TRUE(writeWholeFile(content / "readme.txt", "abc"));
    const std::string stub = stubBytes(64);
    ASSERT_TRUE(writeWholeFile(scratch.path() / "stub.exe", stub));

    SfxArchive archive;
    ASSERT_EQ(1, archive.addFile((content / "readme.txt").string().c_str(), content.string().c_str()));
    ASSERT_EQ(SFX_OK, archive.create(scratch.text("stub.exe").c_str(),
                                     scratch.text("out.exe").c_str(), nullptr, 0));

    const std::string expected = stub + bytesFromHex(
        "78 9C 4B 4C 4A 06 00 02 4D 01 27"       // the stream of "abc"
        "40 00 00 00"                            // data offset 64
        "03 00 00 00"                            // uncompressed size 3
        "0B 00 00 00"                            // compressed size 11
        "72 65 61 64 6D 65 2E 74 78 74"          // readme.txt
        "0A 00 00 00"                            // name length 10
        "01 00 00 00"                            // entry count 1
        "31 2E 30 30"                            // "1.00"
        "23 48 4D 52 45 5F 53 46 58 23");        // "#HMRE_SFX#"
    ASSERT_EQ(119u, expected.size());
    EXPECT_EQ(hex(expected), hex(fileBytes(scratch.path() / "out.exe")));
    EXPECT_EQ(64u, archive.entry(0).dataOffset);
    EXPECT_EQ(11u, archive.entry(0).compressedSize);
}

TEST(ArchiveFormat, EmptyFileHasAnEightByteStream) {
    ScratchFolder scratch;
    ASSERT_TRUE(writeWholeFile(scratch.path() / "empty.txt", ""));
    const std::string stub = stubBytes(100);
    ASSERT_TRUE(writeWholeFile(scratch.path() / "stub.exe", stub));

    SfxArchive archive;
    ASSERT_EQ(1, archive.addFile(scratch.text("empty.txt").c_str(), scratch.text().c_str()));
    ASSERT_EQ(SFX_OK, archive.create(scratch.text("stub.exe").c_str(),
                                     scratch.text("out.exe").c_str(), nullptr, 0));

    const std::string out = fileBytes(scratch.path() / "out.exe");
    ASSERT_GE(out.size(), stub.size() + 8);
    EXPECT_EQ(hex(bytesFromHex("78 9C 03 00 00 00 00 01")), hex(out.substr(stub.size(), 8)));
    ArchiveTrailer trailer;
    std::string error;
    ASSERT_TRUE(readArchiveTrailer(out, &trailer, &error)) << error;
    ASSERT_EQ(1u, trailer.records.size());
    EXPECT_EQ(100u, trailer.records[0].dataOffset);
    EXPECT_EQ(0u, trailer.records[0].size);
    EXPECT_EQ(8u, trailer.records[0].compressedSize);
    EXPECT_EQ("empty.txt", trailer.records[0].name);
    EXPECT_EQ(stub.size() + 8, trailer.trailerStart);
}

// A folder walk over text, incompressible, empty and nested files, the same
// file a second time and an entry with an empty name: walking the trailer
// from the end recovers every record, and each stream inflates to its
// source's bytes.
TEST(ArchiveFormat, MixedSetReadsBackFromTheEnd) {
    ScratchFolder scratch;
    const fs::path content = scratch.path() / "content";
    // Name in the archive -> bytes, for the files the walk finds.
    const std::map<std::string, std::string> files = {
        {"notes.txt", textBytes(3000)},
        {"random.bin", randomBytes(100 * 1024, 7)},
        {"empty.dat", ""},
        {"large.txt", textBytes(70 * 1024)},
        {"nested\\list.txt", textBytes(12345)},
        {"nested\\deeper\\inner.bin", randomBytes(5000, 11)},
    };
    for (const auto& file : files) {
        std::string relative = file.first;
        for (char& c : relative) {
            if (c == '\\') c = '/';
        }
        ASSERT_TRUE(writeWholeFile(content / fs::path(relative).make_preferred(), file.second));
    }
    const std::string stub = stubBytes(1536);
    ASSERT_TRUE(writeWholeFile(scratch.path() / "stub.exe", stub));

    SfxArchive archive;
    archive.addFolder(content.string().c_str(), content.string().c_str());
    ASSERT_EQ(6, archive.entryCount());
    // The same file again, and once more under an empty name (a base one byte
    // shorter than the path).
    const std::string notes = (content / "notes.txt").string();
    ASSERT_EQ(1, archive.addFile(notes.c_str(), content.string().c_str()));
    ASSERT_EQ(1, archive.addFile(notes.c_str(), notes.substr(0, notes.size() - 1).c_str()));
    ASSERT_EQ(SFX_OK, archive.create(scratch.text("stub.exe").c_str(),
                                     scratch.text("out.exe").c_str(), nullptr, 0));

    const std::string out = fileBytes(scratch.path() / "out.exe");
    ASSERT_EQ(stub, out.substr(0, stub.size()));
    ArchiveTrailer trailer;
    std::string error;
    ASSERT_TRUE(readArchiveTrailer(out, &trailer, &error)) << error;
    EXPECT_EQ("1.00", trailer.version);
    ASSERT_EQ(8u, trailer.count);
    ASSERT_EQ(8u, trailer.records.size());

    // The walk's order is the file system's: compare the walked names as a set.
    std::set<std::string> walked;
    for (size_t i = 0; i < 6; ++i) walked.insert(trailer.records[i].name);
    std::set<std::string> expectedNames;
    for (const auto& file : files) expectedNames.insert(file.first);
    EXPECT_EQ(expectedNames, walked);
    EXPECT_EQ("notes.txt", trailer.records[6].name);
    EXPECT_EQ("", trailer.records[7].name);

    uint64_t expectedOffset = stub.size();
    for (size_t i = 0; i < trailer.records.size(); ++i) {
        const ArchiveRecord& record = trailer.records[i];
        SCOPED_TRACE("record " + std::to_string(i) + " '" + record.name + "'");
        const std::string& source =
            record.name.empty() ? files.at("notes.txt") : files.at(record.name);
        EXPECT_EQ(expectedOffset, record.dataOffset);
        EXPECT_EQ(source.size(), record.size);
        EXPECT_EQ(archive.entry(static_cast<int32_t>(i)).name, record.name);
        EXPECT_EQ(archive.entry(static_cast<int32_t>(i)).dataOffset, record.dataOffset);
        EXPECT_EQ(archive.entry(static_cast<int32_t>(i)).compressedSize, record.compressedSize);
        // Level 6 with the default window gives this header.
        ASSERT_LT(record.dataOffset + 1u, out.size());
        EXPECT_EQ(hex("\x78\x9C"), hex(out.substr(record.dataOffset, 2)));

        std::string inflated;
        ASSERT_TRUE(inflateEntry(out, record.dataOffset, record.compressedSize, &inflated, &error))
            << error;
        EXPECT_TRUE(inflated == source) << "inflated " << inflated.size() << " bytes";
        expectedOffset = record.dataOffset + static_cast<uint64_t>(record.compressedSize);
    }
    EXPECT_EQ(expectedOffset, trailer.trailerStart);
}
