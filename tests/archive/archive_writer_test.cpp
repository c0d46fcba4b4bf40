// SfxArchive::create: its progress events, its result codes for an empty
// table and a missing stub, and repeated runs over the same table.
#include <gtest/gtest.h>

#include <algorithm>
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

// A user value with its top bit set, so that a value cut or sign-extended
// on its way shows.
const uint32_t kUserValue = 0xC0FFEE42u;

struct Event {
    int32_t code;
    const SfxEntry* entry;  // 1000 and 1001
    int32_t percent;        // 1002
    uint32_t compressedSize;  // of the entry, as it stood at the event
    uint32_t userValue;

    bool operator==(const Event& other) const {
        return code == other.code && entry == other.entry && percent == other.percent &&
               userValue == other.userValue;
    }
};

std::ostream& operator<<(std::ostream& out, const Event& event) {
    out << event.code;
    if (event.code == SFX_EVENT_FILE_PERCENT) out << " (" << event.percent << "%)";
    else out << " (entry " << event.entry << ")";
    return out << " user " << std::hex << event.userValue << std::dec;
}

// The progress function has no room for a pointer to the test's state (the
// user value is 32 bits), so the recorder is reached through a global.
std::vector<Event>* recorded = nullptr;

void recordEvent(int32_t code, void* argument, uint32_t userValue) {
    Event event = {code, nullptr, -1, 0, userValue};
    if (code == SFX_EVENT_FILE_PERCENT) {
        event.percent = *static_cast<int32_t*>(argument);
    } else {
        event.entry = static_cast<const SfxEntry*>(argument);
        event.compressedSize = event.entry->compressedSize;
    }
    recorded->push_back(event);
}

Event start(const SfxEntry& entry) { return {SFX_EVENT_FILE_START, &entry, -1, 0, kUserValue}; }
Event done(const SfxEntry& entry) { return {SFX_EVENT_FILE_DONE, &entry, -1, 0, kUserValue}; }
Event percent(int32_t value) { return {SFX_EVENT_FILE_PERCENT, nullptr, value, 0, kUserValue}; }

class ArchiveWriter : public ::testing::Test {
protected:
    void SetUp() override {
        stub = std::string("MZ") + randomBytes(510, 3);
        ASSERT_TRUE(writeWholeFile(scratch.path() / "stub.exe", stub));
        recorded = &events;
    }
    void TearDown() override { recorded = nullptr; }

    // Writes a file below the scratch folder and adds it under its name.
    void add(SfxArchive& archive, const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(writeWholeFile(scratch.path() / name, bytes));
        ASSERT_EQ(1, archive.addFile(scratch.text(name).c_str(), scratch.text().c_str()));
    }
    int32_t create(SfxArchive& archive, const std::string& output, SfxProgressFn progress) {
        return archive.create(scratch.text("stub.exe").c_str(), scratch.text(output).c_str(),
                              progress, kUserValue);
    }
    std::string output(const std::string& name) const { return fileBytes(scratch.path() / name); }

    ScratchFolder scratch;
    std::string stub;
    std::vector<Event> events;
};

}  // namespace

// Each entry is framed by 1000 and 1001; in between one percent event per
// compressor call of the input phase (4096 bytes each), none for an empty
// file. The user value comes through unchanged.
TEST_F(ArchiveWriter, ReportsEachFileAndItsPercents) {
    SfxArchive archive;
    add(archive, "ten-thousand.bin", randomBytes(10000, 1));
    add(archive, "empty.bin", "");
    add(archive, "one-more-than-a-buffer.txt", textBytes(4097));
    ASSERT_EQ(SFX_OK, create(archive, "out.exe", recordEvent));

    const SfxEntry& first = archive.entry(0);
    const SfxEntry& second = archive.entry(1);
    const SfxEntry& third = archive.entry(2);
    const std::vector<Event> expected = {
        start(first), percent(40), percent(81), percent(100), done(first),
        start(second), done(second),
        start(third), percent(99), percent(100), done(third),
    };
    EXPECT_EQ(expected, events);
    // By the time 1001 is sent the entry's compressed size is in place.
    for (const Event& event : events) {
        if (event.code == SFX_EVENT_FILE_DONE) {
            EXPECT_NE(0u, event.compressedSize);
            EXPECT_EQ(event.entry->compressedSize, event.compressedSize);
        }
    }
}

// Above 10,000,000 bytes the percent is n / (L / 100), n the input that the
// compressor has consumed: for 20,000,000 bytes, n / 200,000, from 0 after
// the first 4096 bytes to 100 at the end. Checked as the events arrive
// instead of keeping some five thousand of them.
struct PercentCheck {
    const SfxArchive* archive = nullptr;
    int64_t length = 0;
    int64_t percents = 0;  // percent events seen
    int32_t starts = 0;
    int32_t dones = 0;
    int32_t firstPercent = -1;
    int32_t lastPercent = -1;
    int64_t mismatches = 0;
    std::string firstMismatch;
};
PercentCheck* percentCheck = nullptr;

void checkPercent(int32_t code, void* argument, uint32_t userValue) {
    PercentCheck& check = *percentCheck;
    if (userValue != kUserValue) ++check.mismatches;
    if (code == SFX_EVENT_FILE_START) ++check.starts;
    if (code == SFX_EVENT_FILE_DONE) ++check.dones;
    if (code != SFX_EVENT_FILE_PERCENT) return;

    const int32_t value = *static_cast<int32_t*>(argument);
    ++check.percents;
    // The compressor does not always take a whole buffer (it stops when its
    // output is full): the percent follows what it did take.
    const int64_t consumed = SfxArchiveProbe::consumed(*check.archive);
    const int64_t expected = consumed / (check.length / 100);
    const bool backwards = check.lastPercent > value;
    if ((value != expected || backwards) && check.mismatches++ == 0) {
        check.firstMismatch = "event " + std::to_string(check.percents) + ": " +
                              std::to_string(value) + " after " + std::to_string(consumed) +
                              " bytes, expected " + std::to_string(expected);
    }
    if (check.firstPercent < 0) check.firstPercent = value;
    check.lastPercent = value;
}

TEST_F(ArchiveWriter, LargeFilePercentsStayWithin32Bits) {
    const int64_t length = 20000000;
    std::unique_ptr<SfxArchive> archive(new SfxArchive);
    add(*archive, "large.txt", textBytes(static_cast<size_t>(length)));
    PercentCheck check;
    check.archive = archive.get();
    check.length = length;
    percentCheck = &check;
    const int32_t result = create(*archive, "out.exe", checkPercent);
    percentCheck = nullptr;

    ASSERT_EQ(SFX_OK, result);
    EXPECT_EQ(1, check.starts);
    EXPECT_EQ(1, check.dones);
    EXPECT_GE(check.percents, (length + 4095) / 4096);
    EXPECT_EQ(0, check.firstPercent);
    EXPECT_EQ(100, check.lastPercent);
    EXPECT_EQ(0, check.mismatches) << check.firstMismatch;
}

// The percent arithmetic at lengths that real files would make slow: the
// split at 10,000,000 keeps n * 100 from leaving 32 bits.
struct PercentCase {
    int32_t length;
    uint32_t consumed;
    int32_t percent;
};

void PrintTo(const PercentCase& c, std::ostream* out) {
    *out << c.consumed << " of " << c.length;
}

class FilePercent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(FilePercent, FollowsTheTwoBranches) {
    const PercentCase& c = GetParam();
    std::unique_ptr<SfxArchive> archive(new SfxArchive);
    SfxArchiveProbe::setProgressState(*archive, c.length, c.consumed);
    EXPECT_EQ(c.percent, archive->filePercent()) << c.consumed << " of " << c.length;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FilePercent,
    ::testing::Values(PercentCase{0, 0, 100},
                      PercentCase{10000, 4096, 40},
                      PercentCase{10000, 10000, 100},
                      PercentCase{10000000, 9999999, 99},
                      PercentCase{10000000, 10000000, 100},
                      PercentCase{10000001, 10000001, 100},
                      PercentCase{20000000, 4096, 0},
                      PercentCase{20000000, 19999999, 99},
                      PercentCase{100000000, 50000000, 50},
                      PercentCase{100000000, 100000000, 100},
                      PercentCase{2147483647, 2147483647, 100}));

// The progress function only listens: without one the output is the same,
// byte for byte.
TEST_F(ArchiveWriter, OutputIsTheSameWithoutProgressFunction) {
    SfxArchive archive;
    add(archive, "text.txt", textBytes(30000));
    add(archive, "random.bin", randomBytes(9000, 5));
    ASSERT_EQ(SFX_OK, create(archive, "with.exe", recordEvent));
    ASSERT_EQ(SFX_OK, create(archive, "without.exe", nullptr));
    const std::string with = output("with.exe");
    EXPECT_TRUE(endsWithMarker(with));
    EXPECT_TRUE(with == output("without.exe"));
}

// Nothing empties the table: each run writes every entry again behind a
// fresh copy of the stub, also over an earlier, longer output.
TEST_F(ArchiveWriter, EveryRunWritesAllEntriesBehindAFreshStub) {
    SfxArchive archive;
    add(archive, "a.txt", textBytes(5000));
    add(archive, "b.bin", randomBytes(3000, 9));
    ASSERT_EQ(SFX_OK, create(archive, "first.exe", nullptr));
    const std::string first = output("first.exe");
    ASSERT_TRUE(endsWithMarker(first));

    ASSERT_EQ(SFX_OK, create(archive, "first.exe", nullptr));
    EXPECT_TRUE(first == output("first.exe")) << "a run over an existing output";
    ASSERT_EQ(SFX_OK, create(archive, "second.exe", nullptr));
    EXPECT_TRUE(first == output("second.exe")) << "a second run to a new output";

    add(archive, "c.txt", "added later");
    ASSERT_EQ(SFX_OK, create(archive, "third.exe", nullptr));
    const std::string third = output("third.exe");
    ArchiveTrailer trailer;
    std::string error;
    ASSERT_TRUE(readArchiveTrailer(third, &trailer, &error)) << error;
    ASSERT_EQ(3u, trailer.records.size());
    EXPECT_EQ("a.txt", trailer.records[0].name);
    EXPECT_EQ("b.bin", trailer.records[1].name);
    EXPECT_EQ("c.txt", trailer.records[2].name);
    EXPECT_EQ(stub.size(), trailer.records[0].dataOffset);
    EXPECT_TRUE(third.compare(0, stub.size(), stub) == 0);
    // The first two streams are the same as in the first run.
    const uint32_t firstTwo = trailer.records[2].dataOffset;
    EXPECT_TRUE(third.compare(0, firstTwo, first, 0, firstTwo) == 0);
}

// An empty table is refused before anything is touched.
TEST_F(ArchiveWriter, EmptyTableTouchesNothing) {
    ASSERT_TRUE(writeWholeFile(scratch.path() / "out.exe", "left alone"));
    FaultPlatform platform(sfxNativePlatform());
    SfxArchive archive(platform);
    EXPECT_EQ(SFX_ERR_NO_ENTRIES, create(archive, "out.exe", recordEvent));
    EXPECT_EQ(0, platform.calls(PlatformCall::CopyFile));
    EXPECT_TRUE(platform.openedPaths().empty());
    EXPECT_EQ("left alone", output("out.exe"));
    EXPECT_TRUE(events.empty());
}

TEST_F(ArchiveWriter, MissingStubIsACopyFailure) {
    FaultPlatform platform(sfxNativePlatform());
    SfxArchive archive(platform);
    add(archive, "a.txt", "a");
    platform.resetCounts();
    EXPECT_EQ(SFX_ERR_COPY_STUB,
              archive.create(scratch.text("no-stub.exe").c_str(), scratch.text("out.exe").c_str(),
                             recordEvent, kUserValue));
    EXPECT_FALSE(fileExists(scratch.path() / "out.exe"));
    EXPECT_TRUE(platform.openedPaths().empty());
    EXPECT_TRUE(events.empty());
}

// A progress function that asks the run to stop ends it before the next
// file, or before the file whose start it was told of, and never with a
// trailer. The next run is not affected.
struct StopCase {
    const char* what;
    int32_t code;      // the event at which the stop is asked for
    int occurrence;    // counted from 1 among events of that code
    int32_t entriesDone;  // streams complete in the stopped output
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.what; }

struct StopRequest {
    SfxArchive* archive = nullptr;
    StopCase when = {};
    int seen = 0;
};
StopRequest* stopRequest = nullptr;

void stopAtEvent(int32_t code, void* argument, uint32_t userValue) {
    recordEvent(code, argument, userValue);
    if (code == stopRequest->when.code && ++stopRequest->seen == stopRequest->when.occurrence) {
        stopRequest->archive->requestStop();
    }
}

class StopRequested : public ArchiveWriter, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopRequested, EndsTheRunWithoutTrailer) {
    const StopCase& c = GetParam();
    FaultPlatform platform(sfxNativePlatform());
    std::unique_ptr<SfxArchive> archive(new SfxArchive(platform));
    add(*archive, "a.txt", textBytes(10000));
    add(*archive, "b.bin", randomBytes(5000, 4));
    add(*archive, "c.txt", textBytes(300));
    ASSERT_EQ(SFX_OK, create(*archive, "complete.exe", nullptr));
    const std::string complete = output("complete.exe");

    StopRequest request;
    request.archive = archive.get();
    request.when = c;
    stopRequest = &request;
    const int32_t result = create(*archive, "stopped.exe", stopAtEvent);
    stopRequest = nullptr;

    EXPECT_EQ(SFX_ERR_STOPPED, result);
    EXPECT_EQ(0u, platform.openFiles());
    // The stub and the streams finished before the stop, nothing more.
    const SfxEntry& last = archive->entry(c.entriesDone - 1 < 0 ? 0 : c.entriesDone - 1);
    const uint32_t end = c.entriesDone == 0 ? static_cast<uint32_t>(stub.size())
                                            : last.dataOffset + last.compressedSize;
    const std::string stopped = output("stopped.exe");
    EXPECT_FALSE(endsWithMarker(stopped));
    EXPECT_EQ(end, stopped.size());
    EXPECT_TRUE(complete.compare(0, end, stopped) == 0);
    int32_t starts = 0, dones = 0;
    for (const Event& event : events) {
        starts += event.code == SFX_EVENT_FILE_START;
        dones += event.code == SFX_EVENT_FILE_DONE;
    }
    EXPECT_EQ(c.entriesDone, dones);
    EXPECT_EQ(c.code == SFX_EVENT_FILE_START ? c.entriesDone + 1 : c.entriesDone, starts);

    // The request belonged to that run.
    ASSERT_EQ(SFX_OK, create(*archive, "again.exe", nullptr));
    EXPECT_TRUE(complete == output("again.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Events, StopRequested,
    ::testing::Values(StopCase{"at_the_first_start", SFX_EVENT_FILE_START, 1, 0},
                      StopCase{"at_the_second_start", SFX_EVENT_FILE_START, 2, 1},
                      StopCase{"at_a_percent_of_the_first_file", SFX_EVENT_FILE_PERCENT, 1, 1},
                      StopCase{"at_the_last_done", SFX_EVENT_FILE_DONE, 3, 3}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.what); });
