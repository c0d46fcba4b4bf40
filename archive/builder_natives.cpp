// The natives of the builder library. The Java class
// com.halvory.mirelant.dx.launch.ExeArchiver fills the one process-wide
// archive object through addFile and addFolder, writes a runtime program
// through createArchive, and hears of each file's start through its own
// updateProgress(int).
#include <jni.h>

#include "java_string.h"
#include "sfx_archive.h"

namespace {

// A path argument: 255 bytes of text and the terminator.
const size_t BUILDER_PATH_SIZE = 256;

// Loading the library constructs the archive object and unloading destroys
// it; nothing else happens at either time. Its table only grows.
SfxArchive archive;

// The progress state of the running createArchive call. Nothing clears it
// afterwards; the next call sets it again.
JNIEnv* progressEnv = nullptr;
jobject progressTarget = nullptr;
int32_t filesStarted = 0;
int32_t filesTotal = 0;
// Called once updateProgress could not be found or has thrown. The Java
// exception is then pending and must reach createArchive's caller as it is:
// no JNI function may be called until the native returns. A throwing
// updateProgress is how a Java caller cancels, so the write stops: a stop
// asked for at a file's start ends the run before that file is compressed,
// so no further file start (and no further JNI call) follows, and the output
// keeps no trailer.
void haltProgress() { archive.requestStop(); }

void archiveProgress(int32_t event, void* /*argument*/, uint32_t /*userValue*/) {
    if (event != SFX_EVENT_FILE_START) return;
    ++filesStarted;
    // The writer starts no file of an empty table; this only keeps the
    // division below defined.
    if (filesTotal <= 0) return;
    const jint percent = static_cast<jint>(filesStarted * 100 / filesTotal);

    // Looked up anew for every file.
    JNIEnv* env = progressEnv;
    jclass targetClass = env->GetObjectClass(progressTarget);
    if (targetClass == nullptr) {
        haltProgress();
        return;
    }
    jmethodID updateProgress = env->GetMethodID(targetClass, "updateProgress", "(I)V");
    if (updateProgress == nullptr) {
        // NoSuchMethodError is pending. The class reference goes with the
        // native's frame; deleting it now would be a call under the exception.
        haltProgress();
        return;
    }
    // One reference per file would pile up in the native's frame until
    // createArchive returns, far beyond what a native may hold for a full
    // table. The method id stays valid: the object keeps its class loaded.
    env->DeleteLocalRef(targetClass);
    env->CallVoidMethod(progressTarget, updateProgress, percent);
    if (env->ExceptionCheck()) haltProgress();
}

}  // namespace

// Nothing of the archive core throws but a failed allocation; it must not
// unwind into the Java runtime's frames, so each native ends it here.

extern "C" JNIEXPORT void JNICALL
Java_com_halvory_mirelant_dx_launch_ExeArchiver_addFile(JNIEnv* env, jobject /*self*/,
                                                         jstring path, jstring base) {
    char pathCopy[BUILDER_PATH_SIZE];
    char baseCopy[BUILDER_PATH_SIZE];
    if (copyJavaString(env, path, pathCopy) != JavaStringCopy::copied) return;
    if (copyJavaString(env, base, baseCopy) != JavaStringCopy::copied) return;
    try {
        // Whether the file became an entry is not told to Java.
        archive.addFile(pathCopy, baseCopy);
    } catch (...) {
    }
}

extern "C" JNIEXPORT void JNICALL
Java_com_halvory_mirelant_dx_launch_ExeArchiver_addFolder(JNIEnv* env, jobject /*self*/,
                                                           jstring folder) {
    char folderCopy[BUILDER_PATH_SIZE];
    if (copyJavaString(env, folder, folderCopy) != JavaStringCopy::copied) return;
    try {
        // The folder is its own base: names are relative to it.
        archive.addFolder(folderCopy, folderCopy);
    } catch (...) {
    }
}

extern "C" JNIEXPORT jint JNICALL
Java_com_halvory_mirelant_dx_launch_ExeArchiver_createArchive(JNIEnv* env, jobject self,
                                                               jstring stubPath,
                                                               jstring outputPath) {
    progressEnv = env;
    progressTarget = self;

    char stubCopy[BUILDER_PATH_SIZE];
    char outputCopy[BUILDER_PATH_SIZE];
    if (copyJavaString(env, stubPath, stubCopy) != JavaStringCopy::copied ||
        copyJavaString(env, outputPath, outputCopy) != JavaStringCopy::copied) {
        return SFX_ERR_JAVA_STRING;
    }

    filesStarted = 0;
    filesTotal = archive.entryCount();
    try {
        return archive.create(stubCopy, outputCopy, archiveProgress, 0);
    } catch (...) {
        return SFX_ERR_FILE;
    }
}
