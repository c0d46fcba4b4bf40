// The entry table: which files SfxArchive::addFile and addFolder take, under
// which names, in which order, and what a full table does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fault_platform.h"
#include "sfx_archive.h"
#include "sfx_path.h"
#include "test_files.h"
#include "test_os.h"

namespace fs = std::filesystem;

namespace {

std::string withBackslashes(std::string text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::vector<std::string> entryNames(const SfxArchive& archive) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < archive.entryCount(); ++i) names.push_back(archive.entry(i).name);
    return names;
}

// A file layer with a made-up folder tree whose enumeration order the test
// fixes. It records what the walk opens and enumerates.
class ScriptedPlatform : public SfxPlatform {
public:
    enum Kind { File, Folder, FolderLink };
    struct Item {
        std::string name;
        Kind kind;
    };

    explicit ScriptedPlatform(char separator_) : sep(separator_) {}

    // The folder enumerates "." and "..", then `items` in the given order.
    void script(const std::string& folder, const std::vector<Item>& items) {
        std::vector<SfxFindItem> listing = {item(".", Folder), item("..", Folder)};
        for (const Item& entry : items) {
            listing.push_back(item(entry.name, entry.kind));
            if (entry.kind == File) files[folder + sep + entry.name] = entry.name.size();
        }
        folders[folder] = listing;
    }
    void addFileOnly(const std::string& path) { files[path] = 1; }

    std::vector<std::string> opened;    // paths passed to openExclusiveRead
    std::vector<std::string> patterns;  // patterns passed to findFirst
    int findCloses = 0;
    int openFiles = 0;

    SfxFile openExclusiveRead(const char* path) override {
        opened.push_back(path);
        auto found = files.find(path);
        if (found == files.end()) return SFX_NO_FILE;
        ++openFiles;
        handles.push_back(found->second);
        return static_cast<SfxFile>(handles.size() - 1);
    }
    bool length(SfxFile file, uint64_t* length) override {
        *length = handles.at(static_cast<size_t>(file));
        return true;
    }
    bool close(SfxFile) override {
        --openFiles;
        return true;
    }

    SfxFind findFirst(const char* pattern, SfxFindItem* out) override {
        patterns.push_back(pattern);
        const std::string suffix = std::string(1, sep) + "*.*";
        const std::string text = pattern;
        if (text.size() < suffix.size() ||
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) {
            return SFX_NO_FIND;
        }
        auto found = folders.find(text.substr(0, text.size() - suffix.size()));
        if (found == folders.end()) return SFX_NO_FIND;
        finds.push_back(Enumeration{&found->second, 0});
        const SfxFind find = static_cast<SfxFind>(finds.size() - 1);
        return findNext(find, out) ? find : SFX_NO_FIND;
    }
    bool findNext(SfxFind find, SfxFindItem* out) override {
        Enumeration& running = finds.at(static_cast<size_t>(find));
        if (running.next >= running.items->size()) return false;
        *out = (*running.items)[running.next++];
        return true;
    }
    void findClose(SfxFind) override { ++findCloses; }
    // The scripted folders are already absolute and in normal form.
    bool fullPath(const char* path, std::string* full) override {
        *full = path;
        return true;
    }
    size_t maxPath() const override { return 259; }
    char separator() const override { return sep; }

    // The writer's operations are not part of these tests.
    SfxFile openSharedRead(const char*) override { return SFX_NO_FILE; }
    SfxFile openOutput(const char*) override { return SFX_NO_FILE; }
    bool read(SfxFile, void*, uint32_t, uint32_t*) override { return false; }
    bool write(SfxFile, const void*, uint32_t, uint32_t*) override { return false; }
    bool seekEnd(SfxFile) override { return false; }
    bool position(SfxFile, uint64_t*) override { return false; }
    bool copyFile(const char*, const char*) override { return false; }

private:
    struct Enumeration {
        const std::vector<SfxFindItem>* items;
        size_t next;
    };

    static SfxFindItem item(const std::string& name, Kind kind) {
        SfxFindItem result = {};
        name.copy(result.name, sizeof result.name - 1);
        result.isDirectory = kind != File;
        result.isDirectoryLink = kind == FolderLink;
        return result;
    }

    char sep;
    std::map<std::string, uint64_t> files;
    std::map<std::string, std::vector<SfxFindItem>> folders;
    std::vector<uint64_t> handles;
    std::vector<Enumeration> finds;
};

}  // namespace

// --- Names -------------------------------------------------------------------

struct NameCase {
    const char* what;
    // The base, made from the folder and the file's path.
    std::string (*base)(const std::string& folder, const std::string& path);
    // The expected name, made from the file's path.
    std::string (*name)(const std::string& path);
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.what; }

class EntryName : public ::testing::TestWithParam<NameCase> {};

// The name is the path less the base's length and one more byte, whatever
// the base says; names carry backslashes between components.
TEST_P(EntryName, IsThePathLessTheBaseAndOneByte) {
    const NameCase& c = GetParam();
    ScratchFolder scratch;
    const std::string folder = scratch.text("content");
    const std::string path = scratch.text(fs::path("content") / "sub" / "file.txt");
    ASSERT_TRUE(writeWholeFile(path, "12345"));

    SfxArchive archive;
    ASSERT_EQ(1, archive.addFile(path.c_str(), c.base(folder, path).c_str()));
    ASSERT_EQ(1, archive.entryCount());
    EXPECT_EQ(c.name(path), archive.entry(0).name);
    EXPECT_EQ(path, archive.entry(0).sourcePath);
    EXPECT_EQ(5u, archive.entry(0).size);
}

INSTANTIATE_TEST_SUITE_P(
    Bases, EntryName,
    ::testing::Values(
        NameCase{"folder",
                 [](const std::string& folder, const std::string&) { return folder; },
                 [](const std::string&) { return std::string("sub\\file.txt"); }},
        NameCase{"folder with a trailing separator",
                 [](const std::string& folder, const std::string&) {
                     return folder + kSeparator;
                 },
                 [](const std::string&) { return std::string("ub\\file.txt"); }},
        NameCase{"unrelated text of the folder's length",
                 [](const std::string& folder, const std::string&) {
                     return std::string(folder.size(), 'x');
                 },
                 [](const std::string&) { return std::string("sub\\file.txt"); }},
        NameCase{"empty base",
                 [](const std::string&, const std::string&) { return std::string(); },
                 [](const std::string& path) { return withBackslashes(path.substr(1)); }},
        NameCase{"path less two bytes",
                 [](const std::string&, const std::string& path) {
                     return path.substr(0, path.size() - 2);
                 },
                 [](const std::string&) { return std::string("t"); }},
        NameCase{"path less one byte",
                 [](const std::string&, const std::string& path) {
                     return path.substr(0, path.size() - 1);
                 },
                 [](const std::string&) { return std::string(); }},
        NameCase{"the path itself",
                 [](const std::string&, const std::string& path) { return path; },
                 [](const std::string&) { return std::string(); }},
        NameCase{"longer than the path",
                 [](const std::string&, const std::string& path) { return path + "/more"; },
                 [](const std::string&) { return std::string(); }}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

// --- Refused files -----------------------------------------------------------

struct RefusedCase {
    const char* what;
    std::string (*path)(const ScratchFolder& scratch, size_t maxPath);
    bool opened;  // whether the layer is asked to open it
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.what; }

class RefusedPath : public ::testing::TestWithParam<RefusedCase> {};

// A refused path adds nothing, and its slot is the next add's.
TEST_P(RefusedPath, AddsNothing) {
    const RefusedCase& c = GetParam();
    ScratchFolder scratch;
    ASSERT_TRUE(writeWholeFile(scratch.path() / "good.txt", "good"));
    ASSERT_TRUE(writeWholeFile(scratch.path() / "folder" / "inside.txt", "x"));
    FaultPlatform platform(sfxNativePlatform());
    SfxArchive archive(platform);

    const std::string path = c.path(scratch, platform.maxPath());
    EXPECT_EQ(0, archive.addFile(path.c_str(), scratch.text().c_str()));
    EXPECT_EQ(0, archive.entryCount());
    EXPECT_EQ(c.opened ? 1u : 0u, platform.openedPaths().size());
    EXPECT_EQ(0u, platform.openFiles());

    ASSERT_EQ(1, archive.addFile(scratch.text("good.txt").c_str(), scratch.text().c_str()));
    EXPECT_EQ("good.txt", archive.entry(0).name);
    EXPECT_EQ(4u, archive.entry(0).size);
}

// A missing file at exactly the longest path length: still tried (the limit
// is not off by one).
std::string longestPath(const ScratchFolder& scratch, size_t maxPath) {
    std::string path = scratch.text() + kSeparator;
    path += std::string(maxPath - path.size(), 'n');
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RefusedPath,
    ::testing::Values(
        RefusedCase{"directory",
                    [](const ScratchFolder& scratch, size_t) { return scratch.text("folder"); },
                    true},
        RefusedCase{"missing",
                    [](const ScratchFolder& scratch, size_t) { return scratch.text("missing.txt"); },
                    true},
        RefusedCase{"longest", longestPath, true},
        RefusedCase{"too_long",
                    [](const ScratchFolder& scratch, size_t maxPath) {
                        return longestPath(scratch, maxPath) + "n";
                    },
                    false}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.what); });

TEST(ArchiveTable, FileHeldOpenByAnotherOpenerIsRefused) {
    ScratchFolder scratch;
    const std::string path = scratch.text("held.txt");
    ASSERT_TRUE(writeWholeFile(path, "held"));
    SfxArchive archive;
    {
        ExclusiveHold hold;
        if (!hold.open(path)) GTEST_SKIP() << "this platform cannot keep other openers out";
        EXPECT_EQ(0, archive.addFile(path.c_str(), scratch.text().c_str()));
        EXPECT_EQ(0, archive.entryCount());
    }
    EXPECT_EQ(1, archive.addFile(path.c_str(), scratch.text().c_str()));
}

// --- A full table ------------------------------------------------------------

TEST(ArchiveTable, HoldsAtMost1024EntriesAndRefusesMoreWithoutOpening) {
    ScratchFolder scratch;
    const std::string path = scratch.text("same.txt");
    ASSERT_TRUE(writeWholeFile(path, "same"));
    ASSERT_TRUE(writeWholeFile(scratch.path() / "walk" / "one.txt", "1"));
    ASSERT_TRUE(writeWholeFile(scratch.path() / "walk" / "sub" / "two.txt", "2"));
    FaultPlatform platform(sfxNativePlatform());
    SfxArchive archive(platform);

    // The same file over and over: every add is an entry of its own.
    int32_t added = 0;
    for (int32_t i = 0; i < SFX_MAX_ENTRIES; ++i) added += archive.addFile(path.c_str(), scratch.text().c_str());
    ASSERT_EQ(1024, added);
    EXPECT_EQ("same.txt", archive.entry(1023).name);

    platform.resetCounts();
    EXPECT_EQ(0, archive.addFile(path.c_str(), scratch.text().c_str()));
    archive.addFolder(scratch.text("walk").c_str(), scratch.text("walk").c_str());
    EXPECT_EQ(1024, archive.entryCount());
    EXPECT_TRUE(platform.openedPaths().empty());
    // The walk still went through the whole tree.
    EXPECT_EQ(2, platform.calls(PlatformCall::FindFirst));
    EXPECT_EQ(2, platform.calls(PlatformCall::FindClose));
}

// --- Folder walks over a scripted tree -----------------------------------------

struct WalkCase {
    const char* what;
    char separator;
    std::string root;
};

void PrintTo(const WalkCase& c, std::ostream* out) { *out << c.root; }

class ScriptedWalk : public ::testing::TestWithParam<WalkCase> {
protected:
    void SetUp() override {
        const WalkCase& c = GetParam();
        platform.reset(new ScriptedPlatform(c.separator));
        platform->script(c.root, {{"a.txt", ScriptedPlatform::File},
                                  {"sub", ScriptedPlatform::Folder},
                                  {"c.txt", ScriptedPlatform::File}});
        platform->script(sub(), {{"b.txt", ScriptedPlatform::File}});
        archive.reset(new SfxArchive(*platform));
    }
    std::string at(const std::string& relative) const {
        return GetParam().root + GetParam().separator + relative;
    }
    std::string sub() const { return at("sub"); }

    std::unique_ptr<ScriptedPlatform> platform;
    std::unique_ptr<SfxArchive> archive;
};

// Depth first, in enumeration order: a sub-folder's files enter the table
// where the sub-folder was met; names carry backslashes whatever the
// platform's separator.
TEST_P(ScriptedWalk, IsDepthFirstInEnumerationOrder) {
    const std::string root = GetParam().root;
    archive->addFolder(root.c_str(), root.c_str());

    EXPECT_EQ((std::vector<std::string>{"a.txt", "sub\\b.txt", "c.txt"}), entryNames(*archive));
    ASSERT_EQ(3, archive->entryCount());
    EXPECT_EQ(at("a.txt"), archive->entry(0).sourcePath);
    EXPECT_EQ(sub() + GetParam().separator + "b.txt", archive->entry(1).sourcePath);
    EXPECT_EQ(at("c.txt"), archive->entry(2).sourcePath);
    EXPECT_EQ(2, platform->findCloses);
    EXPECT_EQ(0, platform->openFiles);
}

// Once the table is full, the walk still visits every folder but opens no
// further file.
TEST_P(ScriptedWalk, GoesOnWithoutOpeningOnceTheTableIsFull) {
    const std::string root = GetParam().root;
    platform->addFileOnly(at("filler"));
    for (int32_t i = 0; i < SFX_MAX_ENTRIES - 2; ++i) {
        ASSERT_EQ(1, archive->addFile(at("filler").c_str(), root.c_str()));
    }
    platform->opened.clear();

    archive->addFolder(root.c_str(), root.c_str());
    EXPECT_EQ(SFX_MAX_ENTRIES, archive->entryCount());
    EXPECT_EQ("a.txt", archive->entry(SFX_MAX_ENTRIES - 2).name);
    EXPECT_EQ("sub\\b.txt", archive->entry(SFX_MAX_ENTRIES - 1).name);
    EXPECT_EQ((std::vector<std::string>{at("a.txt"), sub() + GetParam().separator + "b.txt"}),
              platform->opened);
    EXPECT_EQ((std::vector<std::string>{at("*.*"), sub() + GetParam().separator + "*.*"}),
              platform->patterns);
    EXPECT_EQ(2, platform->findCloses);
}

// Folder links are never walked (they may lead back into the tree); an item
// whose path would pass the platform's limit is neither opened nor walked.
TEST_P(ScriptedWalk, LeavesFolderLinksAndOverlongPathsAlone) {
    const std::string root = GetParam().root;
    const std::string longName(platform->maxPath() - root.size(), 'L');
    platform->script(root, {{"loop", ScriptedPlatform::FolderLink},
                            {longName, ScriptedPlatform::File},
                            {longName + "D", ScriptedPlatform::Folder},
                            {"a.txt", ScriptedPlatform::File}});
    archive->addFolder(root.c_str(), root.c_str());

    EXPECT_EQ((std::vector<std::string>{"a.txt"}), entryNames(*archive));
    EXPECT_EQ((std::vector<std::string>{at("a.txt")}), platform->opened);
    EXPECT_EQ((std::vector<std::string>{at("*.*")}), platform->patterns);
}

INSTANTIATE_TEST_SUITE_P(
    Separators, ScriptedWalk,
    ::testing::Values(WalkCase{"backslash", '\\', "C:\\content"},
                      WalkCase{"slash", '/', "/content"}),
    [](const ::testing::TestParamInfo<WalkCase>& info) { return std::string(info.param.what); });

// --- Folder walks over real folders ------------------------------------------

class RealWalk : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratch.path() / "content";
        for (const auto& file : files) {
            std::string relative = file.first;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            ASSERT_TRUE(writeWholeFile(folder / fs::path(relative).make_preferred(), file.second));
            allNames.push_back(file.first);
        }
    }

    ScratchFolder scratch;
    fs::path folder;
    // Name in the archive -> content. "*.*" takes every name, those without
    // a dot and dot files included.
    const std::map<std::string, std::string> files = {
        {"a.txt", "a"},
        {"noext", "no extension"},
        {".hidden", "dot file"},
        {"sub\\b.txt", "bb"},
        {"sub\\deeper\\d.txt", "dddd"},
        {"z.txt", "zzz"},
    };
    // The names of `files`, sorted.
    std::vector<std::string> allNames;
};

TEST_F(RealWalk, AddsEveryFileDepthFirstWithBackslashedNames) {
    SfxArchive archive;
    archive.addFolder(folder.string().c_str(), folder.string().c_str());

    const std::vector<std::string> names = entryNames(archive);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    std::map<std::string, std::string> found;
    for (int32_t i = 0; i < archive.entryCount(); ++i) {
        const SfxEntry& entry = archive.entry(i);
        found[entry.name] = fileBytes(entry.sourcePath);
        EXPECT_EQ(found[entry.name].size(), entry.size) << entry.name;
        // The source path is the folder and the name, in the platform's form.
        std::string relative = entry.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        EXPECT_EQ((folder / fs::path(relative).make_preferred()).string(), entry.sourcePath);
    }
    EXPECT_EQ(files, found);

    // Depth first: the files below sub are next to each other, those below
    // sub\deeper included.
    std::vector<size_t> inSub;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].compare(0, 4, "sub\\") == 0) inSub.push_back(i);
    }
    ASSERT_EQ(2u, inSub.size());
    EXPECT_EQ(inSub[0] + 1, inSub[1]);
}

// The walk's item paths are the folder's normal form whatever spelling the
// folder came in; the names stay relative to the base.
TEST_F(RealWalk, FolderSpellingDoesNotChangeTheNames) {
    const std::string base = folder.string();
    const std::string spellings[] = {
        base + kSeparator,
        (folder / "sub" / "..").string(),
        (folder / "." / "sub" / "deeper" / ".." / "..").string(),
    };
    for (const std::string& spelling : spellings) {
        SCOPED_TRACE(spelling);
        SfxArchive archive;
        archive.addFolder(spelling.c_str(), base.c_str());
        std::vector<std::string> names = entryNames(archive);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(allNames, names);
    }
}

TEST_F(RealWalk, MissingFolderAddsNothing) {
    SfxArchive archive;
    const std::string missing = scratch.text("missing");
    archive.addFolder(missing.c_str(), missing.c_str());
    EXPECT_EQ(0, archive.entryCount());
}

TEST_F(RealWalk, FolderLinkIsNotFollowed) {
    // A link inside the tree to a folder outside it, and one back to the
    // tree's own root.
    ASSERT_TRUE(writeWholeFile(scratch.path() / "outside" / "x.txt", "x"));
    if (!makeFolderLink(scratch.text("outside"), (folder / "away").string()) ||
        !makeFolderLink(folder.string(), (folder / "sub" / "loop").string())) {
        GTEST_SKIP() << "folder links cannot be made here";
    }
    SfxArchive archive;
    archive.addFolder(folder.string().c_str(), folder.string().c_str());
    std::vector<std::string> names = entryNames(archive);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(allNames, names);
}

// --- The lexical full path -----------------------------------------------------

struct LexicalCase {
    const char* current;
    const char* path;
    const char* full;
};

void PrintTo(const LexicalCase& c, std::ostream* out) {
    *out << '"' << c.path << "\" in " << c.current;
}

class LexicalFullPath : public ::testing::TestWithParam<LexicalCase> {};

TEST_P(LexicalFullPath, MatchesTheWindowsFullPathRules) {
    const LexicalCase& c = GetParam();
    EXPECT_EQ(c.full, sfxLexicalFullPath(c.current, c.path)) << c.current << " + " << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LexicalFullPath,
    ::testing::Values(
        LexicalCase{"/home/user", "docs/a.txt", "/home/user/docs/a.txt"},
        LexicalCase{"/home/user", ".", "/home/user"},
        LexicalCase{"/home/user", "..", "/home"},
        LexicalCase{"/home/user", "./docs/./a.txt", "/home/user/docs/a.txt"},
        LexicalCase{"/home/user", "../../../..", "/"},
        LexicalCase{"/home/user", "/../../etc", "/etc"},
        LexicalCase{"/", "x", "/x"},
        LexicalCase{"/home/user", "/", "/"},
        LexicalCase{"/home/user", "/a//b///c", "/a/b/c"},
        LexicalCase{"/home/user", "//a", "/a"},
        LexicalCase{"/home/user", "/a/b/", "/a/b/"},
        LexicalCase{"/home/user", "docs/", "/home/user/docs/"},
        LexicalCase{"/home/user", "/a/b/.", "/a/b"},
        LexicalCase{"/home/user", "/a/b/..", "/a"},
        LexicalCase{"/home/user", "/a/b/../c/*.*", "/a/c/*.*"},
        LexicalCase{"/home/user", "sub/../*.*", "/home/user/*.*"},
        LexicalCase{"/home/user", "a..b/.x", "/home/user/a..b/.x"}));
