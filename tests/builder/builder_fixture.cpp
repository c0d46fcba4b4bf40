#include "builder_fixture.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive_reader.h"

namespace fs = std::filesystem;

void BuilderTest::SetUp() {
    ASSERT_FALSE(scratch.path().empty()) << "no scratch folder";
    stubContent = "MZ stub of the builder tests\r\n";
    stub = at("stub.exe");
    ASSERT_TRUE(writeWholeFile(stub, stubContent));
}

LoadedBuilder* BuilderTest::loadCopy() {
    const std::string built = builtBuilderPath();
    const std::string copy =
        at("builder-" + std::to_string(loaded.size()) + fs::path(built).extension().string());
    loaded.push_back(std::make_unique<LoadedBuilder>());
    std::string error;
    if (!loaded.back()->library.load(built, copy, &error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return loaded.back().get();
}

std::string BuilderTest::makeFile(const std::string& relative, size_t size) {
    const std::string path = at(relative);
    std::string bytes = textBytes(size);
    bytes.replace(0, std::min(size, relative.size()), relative.substr(0, size));
    EXPECT_TRUE(writeWholeFile(path, bytes)) << path;
    return path;
}

std::string BuilderTest::at(const std::string& relative) const {
    return (scratch.path() / fs::path(relative).make_preferred()).string();
}

std::string BuilderTest::pathOfLength(const std::string& folder, size_t length, char last) {
    const char separator = static_cast<char>(fs::path::preferred_separator);
    std::string path = folder;
    char letter = 'a';
    // Components of at most 100 bytes; the last one has at least one.
    while (length > path.size() + 101) {
        path += separator;
        path += std::string(100, letter++);
    }
    std::error_code error;
    fs::create_directories(path, error);
    EXPECT_FALSE(error) << path << ": " << error.message();
    EXPECT_GT(length, path.size() + 1) << "no room below " << folder;
    path += separator;
    path += std::string(length - path.size(), last);
    return path;
}

std::vector<std::string> BuilderTest::expectProgram(const std::string& output,
                                                    const std::vector<std::string>& sources,
                                                    const std::string& stubBytes) {
    std::vector<std::string> names;
    std::string bytes;
    if (!readWholeFile(output, &bytes)) {
        ADD_FAILURE() << "cannot read " << output;
        return names;
    }
    EXPECT_EQ(bytes.substr(0, stubBytes.size()), stubBytes) << "the program starts with the stub";
    ArchiveTrailer trailer;
    std::string error;
    if (!readArchiveTrailer(bytes, &trailer, &error)) {
        ADD_FAILURE() << output << ": " << error;
        return names;
    }
    EXPECT_EQ(trailer.version, "1.00");
    EXPECT_EQ(trailer.records.size(), sources.size());
    uint64_t next = stubBytes.size();
    for (size_t i = 0; i < trailer.records.size() && i < sources.size(); ++i) {
        const ArchiveRecord& record = trailer.records[i];
        names.push_back(record.name);
        EXPECT_EQ(record.dataOffset, next) << "entry " << i;
        std::string content;
        EXPECT_TRUE(inflateEntry(bytes, record.dataOffset, record.compressedSize, &content, &error))
            << "entry " << i << ": " << error;
        EXPECT_EQ(content, fileBytes(sources[i])) << "entry " << i;
        EXPECT_EQ(record.size, content.size()) << "entry " << i;
        next += record.compressedSize;
    }
    // Nothing between the streams and the trailer, nothing after the marker.
    EXPECT_EQ(trailer.trailerStart, next);
    return names;
}

std::string below(const std::string& folder, const std::string& name) {
    return folder + static_cast<char>(fs::path::preferred_separator) + name;
}

std::string entryName(const std::string& path, const std::string& base) {
    std::string name = path.substr(base.size() + 1);
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    return name;
}
