// Failures under SfxArchive::create and addFile: every failing file
// operation gives its result code (never SFX_OK), leaves no file open and no
// marker at the end of the output.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive_probe.h"
#include "archive_reader.h"
#include "fault_platform.h"
#include "sfx_archive.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

std::vector<int32_t>* recordedCodes = nullptr;

void recordCode(int32_t code, void*, uint32_t) { recordedCodes->push_back(code); }

// Three entries (text across several buffers, incompressible, empty) over a
// fault-injecting layer on the native one.
class ArchiveFaults : public ::testing::Test {
protected:
    ArchiveFaults() : platform(sfxNativePlatform()), archive(new SfxArchive(platform)) {}

    void SetUp() override {
        ASSERT_TRUE(writeWholeFile(scratch.path() / "stub.exe", std::string("MZ") + randomBytes(200, 1)));
        add("a.txt", textBytes(10000));
        add("b.bin", randomBytes(6000, 2));
        add("c.txt", "");
        platform.resetCounts();
        recordedCodes = &codes;
    }
    void TearDown() override { recordedCodes = nullptr; }

    void add(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(writeWholeFile(scratch.path() / name, bytes));
        ASSERT_EQ(1, archive->addFile(scratch.text(name).c_str(), scratch.text().c_str()));
    }
    int32_t create() {
        codes.clear();
        return archive->create(scratch.text("stub.exe").c_str(), scratch.text("out.exe").c_str(),
                               recordCode, 0);
    }
    std::string output() const { return fileBytes(scratch.path() / "out.exe"); }

    ScratchFolder scratch;
    FaultPlatform platform;
    std::unique_ptr<SfxArchive> archive;
    std::vector<int32_t> codes;
};

struct FaultCase {
    const char* what;
    PlatformCall call;
    int occurrence;
    bool shortWrite;
    int32_t result;
    bool outputComplete;  // whether the output still ends in the marker
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.what; }

class OneFault : public ArchiveFaults, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(OneFault, GivesItsResultAndReleasesEveryFile) {
    const FaultCase& c = GetParam();
    platform.failAt(c.call, c.occurrence, c.shortWrite);
    const int32_t result = create();

    ASSERT_TRUE(platform.faultDelivered()) << "the run never reached the fault";
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(0u, platform.openFiles());
    EXPECT_EQ(c.outputComplete, endsWithMarker(output()));
    // The entry whose file failed is never reported done: of the three
    // entries, fewer than three are.
    int32_t done = 0;
    for (int32_t code : codes) done += code == SFX_EVENT_FILE_DONE;
    if (!c.outputComplete) {
        EXPECT_LT(done, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, OneFault,
    ::testing::Values(
        FaultCase{"copy_of_the_stub", PlatformCall::CopyFile, 1, false, SFX_ERR_COPY_STUB, false},
        FaultCase{"open_output", PlatformCall::OpenOutput, 1, false, SFX_ERR_FILE, false},
        FaultCase{"seek_to_the_end", PlatformCall::SeekEnd, 1, false, SFX_ERR_FILE, false},
        FaultCase{"open_first_source", PlatformCall::OpenSharedRead, 1, false, SFX_ERR_OPEN_SOURCE, false},
        FaultCase{"open_last_source", PlatformCall::OpenSharedRead, 3, false, SFX_ERR_OPEN_SOURCE, false},
        FaultCase{"first_read", PlatformCall::Read, 1, false, SFX_ERR_FILE, false},
        FaultCase{"read_within_a_file", PlatformCall::Read, 2, false, SFX_ERR_FILE, false},
        FaultCase{"first_write", PlatformCall::Write, 1, false, SFX_ERR_FILE, false},
        FaultCase{"short_first_write", PlatformCall::Write, 1, true, SFX_ERR_FILE, false},
        FaultCase{"position_of_first_entry", PlatformCall::Position, 1, false, SFX_ERR_FILE, false},
        FaultCase{"position_of_second_entry", PlatformCall::Position, 2, false, SFX_ERR_FILE, false},
        FaultCase{"length_of_a_source", PlatformCall::Length, 2, false, SFX_ERR_FILE, false},
        FaultCase{"close_of_a_source", PlatformCall::CloseOther, 1, false, SFX_ERR_FILE, false},
        FaultCase{"close_of_last_source", PlatformCall::CloseOther, 3, false, SFX_ERR_FILE, false},
        // Everything was written; the close is where the data may be lost.
        FaultCase{"close_of_output", PlatformCall::CloseOutput, 1, false, SFX_ERR_FILE, true}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.what); });

// Every single write of a run, failed or cut short in turn: each stops the
// run with a file error and leaves an output without a marker. The same for
// every read.
struct SweepCase {
    const char* what;
    PlatformCall call;
    bool shortWrite;
};

void PrintTo(const SweepCase& c, std::ostream* out) { *out << c.what; }

class EverySingleCall : public ArchiveFaults, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(EverySingleCall, FailsTheRun) {
    const SweepCase& c = GetParam();
    ASSERT_EQ(SFX_OK, create());
    const int total = platform.calls(c.call);
    ASSERT_GT(total, 3);

    for (int k = 1; k <= total; ++k) {
        SCOPED_TRACE(std::string(platformCallName(c.call)) + " " + std::to_string(k) + " of " +
                     std::to_string(total));
        platform.failAt(c.call, k, c.shortWrite);
        EXPECT_EQ(SFX_ERR_FILE, create());
        EXPECT_TRUE(platform.faultDelivered());
        EXPECT_EQ(0u, platform.openFiles());
        EXPECT_FALSE(endsWithMarker(output()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, EverySingleCall,
    ::testing::Values(SweepCase{"write", PlatformCall::Write, false},
                      SweepCase{"short_write", PlatformCall::Write, true},
                      SweepCase{"read", PlatformCall::Read, false}),
    [](const ::testing::TestParamInfo<SweepCase>& info) { return std::string(info.param.what); });

// A compressor that cannot start stores nothing: a file error, no entry
// reported done.
TEST_F(ArchiveFaults, CompressorThatCannotStartIsAFileError) {
    SfxArchiveProbe::starveCompressor(*archive);
    EXPECT_EQ(SFX_ERR_FILE, create());
    EXPECT_EQ(0u, platform.openFiles());
    EXPECT_FALSE(endsWithMarker(output()));
    EXPECT_EQ(std::vector<int32_t>{SFX_EVENT_FILE_START}, codes);
}

// A source removed after it was added stops the run at its entry: the
// output holds the stub and the complete streams before it, nothing more,
// and no event follows.
TEST_F(ArchiveFaults, SourceRemovedAfterAddStopsTheRunAtItsEntry) {
    ASSERT_TRUE(fs::remove(scratch.path() / "b.bin"));
    EXPECT_EQ(SFX_ERR_OPEN_SOURCE, create());
    EXPECT_EQ(0u, platform.openFiles());

    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(SFX_EVENT_FILE_START, codes.front());
    EXPECT_EQ(SFX_EVENT_FILE_DONE, codes.back());
    int32_t starts = 0;
    for (int32_t code : codes) starts += code == SFX_EVENT_FILE_START;
    EXPECT_EQ(1, starts);

    const std::string out = output();
    const SfxEntry& first = archive->entry(0);
    const std::string stub = fileBytes(scratch.path() / "stub.exe");
    EXPECT_EQ(stub.size(), first.dataOffset);
    EXPECT_EQ(stub.size() + first.compressedSize, out.size());
    std::string inflated, error;
    ASSERT_TRUE(inflateEntry(out, first.dataOffset, first.compressedSize, &inflated, &error)) << error;
    EXPECT_TRUE(inflated == textBytes(10000));
}

// At add time a file that cannot be opened or measured is refused, and the
// file that was opened is closed again.
struct AddFaultCase {
    const char* what;
    PlatformCall call;
};

void PrintTo(const AddFaultCase& c, std::ostream* out) { *out << c.what; }

class AddFault : public ::testing::TestWithParam<AddFaultCase> {};

TEST_P(AddFault, RefusesTheFile) {
    ScratchFolder scratch;
    ASSERT_TRUE(writeWholeFile(scratch.path() / "a.txt", "a"));
    FaultPlatform platform(sfxNativePlatform());
    SfxArchive archive(platform);
    platform.failAt(GetParam().call);
    EXPECT_EQ(0, archive.addFile(scratch.text("a.txt").c_str(), scratch.text().c_str()));
    EXPECT_TRUE(platform.faultDelivered());
    EXPECT_EQ(0, archive.entryCount());
    EXPECT_EQ(0u, platform.openFiles());
    EXPECT_EQ(1, archive.addFile(scratch.text("a.txt").c_str(), scratch.text().c_str()));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, AddFault,
    ::testing::Values(AddFaultCase{"open", PlatformCall::OpenExclusiveRead},
                      AddFaultCase{"length", PlatformCall::Length}),
    [](const ::testing::TestParamInfo<AddFaultCase>& info) { return std::string(info.param.what); });

}  // namespace
