// What the builder's tests share: a private copy of the library in a
// scratch folder, a fake JNI environment to call it through, a stub, and a
// reader that checks a written program from end to end.
#ifndef SFX_BUILDER_FIXTURE_H
#define SFX_BUILDER_FIXTURE_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "builder_library.h"
#include "fake_jni.h"
#include "test_files.h"

const int32_t RESULT_JAVA_STRING = -1;
const int32_t RESULT_OK = 1002;
const int32_t RESULT_NO_ENTRIES = 1004;
const int32_t RESULT_STOPPED = 1009;

// One loaded copy of the library with its own environment.
struct LoadedBuilder {
    BuilderLibrary library;
    FakeJni jni;

    void addFile(const std::string& path, const std::string& base) {
        library.addFile(jni.env(), jni.target(), jni.string(path, "path"),
                        jni.string(base, "base"));
    }
    void addFolder(const std::string& folder) {
        library.addFolder(jni.env(), jni.target(), jni.string(folder, "folder"));
    }
    jint create(const std::string& stub, const std::string& output) {
        return library.createArchive(jni.env(), jni.target(), jni.string(stub, "stub"),
                                     jni.string(output, "output"));
    }
};

class BuilderTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Loads one more private copy of the library; null (with a failure
    // recorded) when it cannot be loaded.
    LoadedBuilder* loadCopy();

    // A file below the scratch folder with content of its own (it begins
    // with `relative`); its path.
    std::string makeFile(const std::string& relative, size_t size);
    // The path of `relative` below the scratch folder, in the platform's form.
    std::string at(const std::string& relative) const;
    // A path of exactly `length` bytes below `folder` whose last component
    // is made of `last`; the folders above it are made.
    std::string pathOfLength(const std::string& folder, size_t length, char last);

    // Checks that `output` is the stub followed by one stream per source,
    // in order, and the trailer; gives the entry names.
    std::vector<std::string> expectProgram(const std::string& output,
                                           const std::vector<std::string>& sources,
                                           const std::string& stubBytes);
    std::vector<std::string> expectProgram(const std::string& output,
                                           const std::vector<std::string>& sources) {
        return expectProgram(output, sources, stubContent);
    }

    // Declared first, gone last: the copies are unloaded before their
    // files are removed.
    ScratchFolder scratch;
    std::vector<std::unique_ptr<LoadedBuilder>> loaded;
    std::string stub;
    std::string stubContent;
};

// `name` below `folder`, joined with the platform's separator.
std::string below(const std::string& folder, const std::string& name);

// The name an entry added with `base` gets: the path after the base and one
// separator, with backslashes between components.
std::string entryName(const std::string& path, const std::string& base);

#endif
