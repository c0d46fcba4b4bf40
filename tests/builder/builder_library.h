// The builder library as the Java runtime meets it: a dynamic library that
// is loaded and whose natives are found by their exported names.
//
// Every object loads a private copy of the built library (copied into a
// scratch folder under a name of its own), so that each test starts with a
// fresh archive object and an empty table: the table only grows for as long
// as a library is loaded.
#ifndef SFX_BUILDER_LIBRARY_H
#define SFX_BUILDER_LIBRARY_H

#include <string>

#include <jni.h>

typedef void(JNICALL* AddFileNative)(JNIEnv*, jobject, jstring, jstring);
typedef void(JNICALL* AddFolderNative)(JNIEnv*, jobject, jstring);
typedef jint(JNICALL* CreateArchiveNative)(JNIEnv*, jobject, jstring, jstring);

class BuilderLibrary {
public:
    BuilderLibrary();
    ~BuilderLibrary();
    BuilderLibrary(const BuilderLibrary&) = delete;
    BuilderLibrary& operator=(const BuilderLibrary&) = delete;

    // Copies the library at `builtPath` to `copyPath`, loads the copy and
    // finds the three natives. False, with the reason in *error, when any of
    // that fails.
    bool load(const std::string& builtPath, const std::string& copyPath, std::string* error);

    AddFileNative addFile;
    AddFolderNative addFolder;
    CreateArchiveNative createArchive;

private:
    // Platform parts (builder_library_posix.cpp, builder_library_win32.cpp).
    bool open(const std::string& path, std::string* error);
    void* find(const char* name);
    void close();

    void* handle;
};

// Where the build put the library, as the test's platform spells a path.
std::string builtBuilderPath();

#endif
