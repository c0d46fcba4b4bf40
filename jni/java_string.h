// Copying a Java string argument into a fixed buffer of the native's own.
//
// Every native copies each of its string arguments, in argument order, the
// same way: the characters in the runtime's 8-bit UTF form (without asking
// whether a copy was made), a bounded copy, and the characters handed back
// at once, before the native does any work. The bytes are used as they are,
// with no character-set conversion.
#ifndef SFX_JAVA_STRING_H
#define SFX_JAVA_STRING_H

#include <cstddef>

#include <jni.h>

enum class JavaStringCopy {
    // The whole text and its terminator are in the buffer, NUL bytes after.
    copied,
    // No characters were had: the reference is null, or the runtime gave
    // none (it then has an exception pending for the Java caller).
    notObtained,
    // The text and its terminator do not fit. It is refused, never cut: the
    // buffer holds an empty text.
    tooLong,
};

// Copies `text` into `buffer` of `capacity` bytes (a text of capacity - 1
// bytes at most). Characters obtained from the runtime are released exactly
// once, before the call returns, whatever the outcome.
JavaStringCopy copyJavaString(JNIEnv* env, jstring text, char* buffer, size_t capacity);

template <size_t Capacity>
JavaStringCopy copyJavaString(JNIEnv* env, jstring text, char (&buffer)[Capacity]) {
    return copyJavaString(env, text, buffer, Capacity);
}

#endif
