// The natives on the platform's real file layer: on Windows the folder walk
// through FindFirstFileA, share modes at add time, and the stub copy through
// SHFileOperationA.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive_reader.h"
#include "builder_fixture.h"
#include "test_os.h"

// addFolder with an absolute folder names every file relative to it, the
// same names that addFile stores with that folder as its base.
TEST_F(BuilderTest, FolderWalkNamesFilesAsAddFileWithThatBase) {
    const std::string content = at("content");
    makeFile("content/readme.txt", 700);
    makeFile("content/img/logo.gif", 5000);
    makeFile("content/img/icons/a.png", 0);
    ASSERT_TRUE(std::filesystem::create_directories(at("content/empty")));

    LoadedBuilder* builder = loadCopy();
    ASSERT_NE(builder, nullptr);
    builder->addFolder(content);
    ASSERT_EQ(builder->create(stub, at("walked.exe")), RESULT_OK);
    std::string bytes = fileBytes(at("walked.exe"));
    ArchiveTrailer walked;
    std::string error;
    ASSERT_TRUE(readArchiveTrailer(bytes, &walked, &error)) << error;
    std::vector<std::string> names;
    for (const ArchiveRecord& record : walked.records) names.push_back(record.name);
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"img\\icons\\a.png", "img\\logo.gif", "readme.txt"}));

    // The same files through addFile, in the walk's order.
    std::vector<std::string> sources;
    for (const std::string& name : names) {
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        sources.push_back(at("content/" + relative));
    }
    for (const std::string& source : sources) builder->addFile(source, content);
    ASSERT_EQ(builder->create(stub, at("added.exe")), RESULT_OK);
    std::vector<std::string> both = sources;
    both.insert(both.end(), sources.begin(), sources.end());
    std::vector<std::string> expectedNames = names;
    expectedNames.insert(expectedNames.end(), names.begin(), names.end());
    EXPECT_EQ(expectProgram(at("added.exe"), both), expectedNames);
    EXPECT_EQ(builder->jni.misuse, std::vector<std::string>());
}

// A file that another holder keeps open without sharing is not added; the
// files around it are.
TEST_F(BuilderTest, FileHeldWithoutSharingIsNotAdded) {
    const std::string first = makeFile("held/first.txt", 100);
    const std::string held = makeFile("held/held.txt", 100);
    const std::string last = makeFile("held/last.txt", 100);
    LoadedBuilder* builder = loadCopy();
    ASSERT_NE(builder, nullptr);
    {
        ExclusiveHold hold;
        if (!hold.open(held)) GTEST_SKIP() << "this platform has no share modes";
        builder->addFile(first, at("held"));
        builder->addFile(held, at("held"));
        builder->addFile(last, at("held"));
    }
    ASSERT_EQ(builder->create(stub, at("out.exe")), RESULT_OK);
    EXPECT_EQ(expectProgram(at("out.exe"), {first, last}),
              (std::vector<std::string>{"first.txt", "last.txt"}));
    EXPECT_EQ(builder->jni.progress, (std::vector<int>{50, 100}));
}

// An existing output file is replaced by the stub's copy: nothing of its old
// content is left before, between or after the archive.
TEST_F(BuilderTest, StubCopyReplacesAnExistingOutput) {
    const std::string output = at("out.exe");
    ASSERT_TRUE(writeWholeFile(output, randomBytes(70000, 5)));
    const std::string source = makeFile("one.txt", 3000);

    LoadedBuilder* builder = loadCopy();
    ASSERT_NE(builder, nullptr);
    builder->addFile(source, scratch.text());
    ASSERT_EQ(builder->create(stub, output), RESULT_OK);
    // The stub, its one stream and the trailer back to back, the marker last.
    EXPECT_EQ(expectProgram(output, {source}), (std::vector<std::string>{"one.txt"}));
}
