// The natives driven through a fake JNI environment: how they take their
// string arguments, and how createArchive calls updateProgress.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive_reader.h"
#include "builder_fixture.h"

namespace {

std::vector<std::string> stringCalls(const FakeJni& jni) {
    std::vector<std::string> found;
    for (const std::string& call : jni.calls) {
        if (call.find("StringUTFChars") != std::string::npos) found.push_back(call);
    }
    return found;
}

std::vector<std::string> progressCalls(const std::vector<int>& shares) {
    std::vector<std::string> calls;
    for (int share : shares) {
        calls.insert(calls.end(), {"GetObjectClass", "GetMethodID updateProgress (I)V",
                                   "DeleteLocalRef", "CallVoidMethod " + std::to_string(share),
                                   "ExceptionCheck"});
    }
    return calls;
}

}  // namespace

// An argument whose text cannot be had: the native stops at it, having
// released the characters of every argument before it once, and does
// nothing. Texts of 256 bytes are one byte longer than a path that works, so
// that a text cut to fit would show.
TEST_F(BuilderTest, ArgumentThatCannotBeHadStopsTheNative) {
    enum Native { ADD_FILE, ADD_FOLDER, CREATE_ARCHIVE };
    enum Fault { UNOBTAINABLE, NULL_REFERENCE, TOO_LONG };
    struct Case {
        Native native;
        int position;
        Fault fault;
    };
    const char* const labels[3][2] = {{"path", "base"}, {"folder", ""}, {"stub", "output"}};
    std::vector<Case> cases;
    for (Fault fault : {UNOBTAINABLE, NULL_REFERENCE, TOO_LONG}) {
        cases.push_back({ADD_FILE, 0, fault});
        cases.push_back({ADD_FILE, 1, fault});
        cases.push_back({ADD_FOLDER, 0, fault});
        cases.push_back({CREATE_ARCHIVE, 0, fault});
        cases.push_back({CREATE_ARCHIVE, 1, fault});
    }

    // Each argument works at 255 bytes; the 256-byte texts add one byte.
    const std::string base = at("long");
    const std::string file255 = pathOfLength(base, 255, 'f');
    ASSERT_TRUE(writeWholeFile(file255, "content"));
    const std::string folder255 = pathOfLength(base, 255, 'd');
    ASSERT_TRUE(writeWholeFile(below(folder255, "a"), "in the folder"));
    const std::string stub255 = pathOfLength(base, 255, 's');
    ASSERT_TRUE(writeWholeFile(stub255, stubContent));
    const std::string output255 = pathOfLength(base, 255, 'o');
    const std::string good[3][2] = {{file255, base}, {folder255, ""}, {stub255, output255}};
    const std::string tooLong[3][2] = {
        {file255 + "x", std::string(256, 'b')}, {folder255 + "x", ""}, {stub255 + "x", output255 + "x"}};

    for (const Case& c : cases) {
        const char* const faults[] = {"unobtainable", "a null reference", "256 bytes"};
        SCOPED_TRACE(std::string(labels[c.native][c.position]) + " is " + faults[c.fault]);
        LoadedBuilder* builder = loadCopy();
        ASSERT_NE(builder, nullptr);
        FakeJni& jni = builder->jni;
        const int arguments = c.native == ADD_FOLDER ? 1 : 2;
        if (c.native == CREATE_ARCHIVE) {
            builder->addFile(makeFile("entry.txt", 100), at(""));
            jni.calls.clear();
        }

        jstring strings[2] = {nullptr, nullptr};
        std::vector<std::string> expected;
        for (int i = 0; i < arguments; ++i) {
            const std::string label = labels[c.native][i];
            if (i != c.position) {
                strings[i] = jni.string(good[c.native][i], label);
            } else if (c.fault == UNOBTAINABLE) {
                strings[i] = jni.unobtainable(label);
            } else if (c.fault == TOO_LONG) {
                strings[i] = jni.string(tooLong[c.native][i], label);
            }
            if (i > c.position) continue;
            if (i < c.position || c.fault != NULL_REFERENCE) {
                expected.push_back("GetStringUTFChars " + label);
            }
            if (i < c.position || c.fault == TOO_LONG) {
                expected.push_back("ReleaseStringUTFChars " + label);
            }
        }

        jint result = 0;
        switch (c.native) {
            case ADD_FILE:
                builder->library.addFile(jni.env(), jni.target(), strings[0], strings[1]);
                break;
            case ADD_FOLDER:
                builder->library.addFolder(jni.env(), jni.target(), strings[0]);
                break;
            case CREATE_ARCHIVE:
                result = builder->library.createArchive(jni.env(), jni.target(), strings[0],
                                                        strings[1]);
                break;
        }

        // Nothing but the string calls: no progress lookups either.
        EXPECT_EQ(jni.calls, expected);
        EXPECT_EQ(jni.misuse, std::vector<std::string>());
        EXPECT_EQ(jni.charactersHeld(), 0);
        EXPECT_EQ(jni.takeException(), c.fault == UNOBTAINABLE);

        if (c.native == CREATE_ARCHIVE) {
            EXPECT_EQ(result, RESULT_JAVA_STRING);
            EXPECT_FALSE(fileExists(output255));
            // The table is as it was.
            EXPECT_EQ(builder->create(stub, at("after.exe")), RESULT_OK);
            expectProgram(at("after.exe"), {at("entry.txt")});
        } else {
            EXPECT_EQ(builder->create(stub, at("after.exe")), RESULT_NO_ENTRIES)
                << "the native added an entry";
        }
    }
}

TEST_F(BuilderTest, TextsOf255BytesPassUnchanged) {
    const std::string base = at("long");
    const std::string file255 = pathOfLength(base, 255, 'f');
    ASSERT_TRUE(writeWholeFile(file255, "a file named by 255 bytes"));
    const std::string folder255 = pathOfLength(base, 255, 'd');
    const std::string inFolder = below(folder255, "a");
    ASSERT_TRUE(writeWholeFile(inFolder, "the file in a folder named by 255 bytes"));
    const std::string stub255 = pathOfLength(base, 255, 's');
    const std::string otherStub = "MZ the stub at the long path";
    ASSERT_TRUE(writeWholeFile(stub255, otherStub));
    const std::string output255 = pathOfLength(base, 255, 'o');
    for (const std::string* path : {&file255, &folder255, &stub255, &output255}) {
        ASSERT_EQ(path->size(), 255u);
    }

    LoadedBuilder* builder = loadCopy();
    ASSERT_NE(builder, nullptr);
    builder->addFile(file255, base);
    builder->addFolder(folder255);
    EXPECT_EQ(builder->create(stub255, output255), RESULT_OK);

    EXPECT_EQ(expectProgram(output255, {file255, inFolder}, otherStub),
              (std::vector<std::string>{entryName(file255, base), "a"}));
    // Each argument in order, its characters released before the next.
    EXPECT_EQ(stringCalls(builder->jni),
              (std::vector<std::string>{
                  "GetStringUTFChars path", "ReleaseStringUTFChars path",
                  "GetStringUTFChars base", "ReleaseStringUTFChars base",
                  "GetStringUTFChars folder", "ReleaseStringUTFChars folder",
                  "GetStringUTFChars stub", "ReleaseStringUTFChars stub",
                  "GetStringUTFChars output", "ReleaseStringUTFChars output"}));
    EXPECT_EQ(builder->jni.misuse, std::vector<std::string>());
}

// One updateProgress per file with the share of files started, looked up
// anew each time; a second run without adds starts again and writes every
// entry again.
TEST_F(BuilderTest, UpdateProgressGetsTheShareOfFilesStarted) {
    struct Case {
        int files;
        std::vector<int> shares;
    };
    const Case cases[] = {{1, {100}}, {3, {33, 66, 100}}, {4, {25, 50, 75, 100}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files");
        LoadedBuilder* builder = loadCopy();
        ASSERT_NE(builder, nullptr);
        std::vector<std::string> sources;
        for (int i = 0; i < c.files; ++i) {
            sources.push_back(makeFile("share/" + std::to_string(i) + ".txt", 5000 * i));
            builder->addFile(sources.back(), at("share"));
        }
        for (int run = 0; run < 2; ++run) {
            FakeJni& jni = builder->jni;
            jni.calls.clear();
            jni.progress.clear();
            const std::string output = at("out" + std::to_string(c.files) + "-" + std::to_string(run));
            EXPECT_EQ(builder->create(stub, output), RESULT_OK);
            EXPECT_EQ(jni.progress, c.shares);
            std::vector<std::string> expected = {
                "GetStringUTFChars stub", "ReleaseStringUTFChars stub",
                "GetStringUTFChars output", "ReleaseStringUTFChars output"};
            const std::vector<std::string> progress = progressCalls(c.shares);
            expected.insert(expected.end(), progress.begin(), progress.end());
            EXPECT_EQ(jni.calls, expected);
            EXPECT_EQ(jni.misuse, std::vector<std::string>());
            EXPECT_EQ(jni.classReferencesHeld(), 0);
            expectProgram(output, sources);
        }
    }
}

// An updateProgress that cannot be found or throws ends the calls of that
// run: no JNI function is called while its exception is pending, which
// reaches createArchive's caller. It also cancels the write: the file whose
// start failed is not compressed, and the output keeps no trailer.
TEST_F(BuilderTest, FailingUpdateProgressCancelsItsRun) {
    struct Case {
        const char* name;
        bool methodMissing;
        int throwAtCall;
        size_t streamsWritten;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"missing", true, 0, 0, {"GetObjectClass", "GetMethodID updateProgress (I)V"}},
        {"throws at the first file", false, 1, 0, progressCalls({33})},
        {"throws at the second file", false, 2, 1, progressCalls({33, 66})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedBuilder* builder = loadCopy();
        ASSERT_NE(builder, nullptr);
        FakeJni& jni = builder->jni;
        std::vector<std::string> sources;
        for (int i = 0; i < 3; ++i) {
            sources.push_back(makeFile("fail/" + std::to_string(i), 3000));
            builder->addFile(sources.back(), at("fail"));
        }
        jni.methodMissing = c.methodMissing;
        jni.throwAtCall = c.throwAtCall;
        jni.calls.clear();

        EXPECT_EQ(builder->create(stub, at("out.exe")), RESULT_STOPPED);
        ASSERT_GE(jni.calls.size(), 4u);
        const std::vector<std::string> progress(jni.calls.begin() + 4, jni.calls.end());
        EXPECT_EQ(progress, c.calls);
        EXPECT_EQ(jni.misuse, std::vector<std::string>());
        EXPECT_TRUE(jni.takeException()) << "the exception did not stay pending";

        // The Java caller has seen the exception; the next run calls again.
        jni.methodMissing = false;
        jni.throwAtCall = 0;
        jni.progress.clear();
        EXPECT_EQ(builder->create(stub, at("again.exe")), RESULT_OK);
        EXPECT_EQ(jni.progress, (std::vector<int>{33, 66, 100}));
        EXPECT_EQ(jni.misuse, std::vector<std::string>());
        expectProgram(at("again.exe"), sources);

        // The cancelled output is the stub and the streams finished before
        // the failing start, as the complete run wrote them.
        const std::string cancelled = fileBytes(at("out.exe"));
        const std::string complete = fileBytes(at("again.exe"));
        ArchiveTrailer trailer;
        std::string error;
        ASSERT_TRUE(readArchiveTrailer(complete, &trailer, &error)) << error;
        const uint64_t end = trailer.records[c.streamsWritten].dataOffset;
        EXPECT_EQ(cancelled.size(), end);
        EXPECT_EQ(cancelled, complete.substr(0, static_cast<size_t>(end)));
    }
}
