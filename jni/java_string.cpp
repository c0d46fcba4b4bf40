#include "java_string.h"

#include <cstring>

JavaStringCopy copyJavaString(JNIEnv* env, jstring text, char* buffer, size_t capacity) {
    // Whatever the outcome, the buffer never holds a partial or stale text.
    std::memset(buffer, 0, capacity);

    // The runtime takes no null reference here: a checking runtime stops the
    // process, another one may crash. A missing string has no characters.
    if (text == nullptr) return JavaStringCopy::notObtained;

    const char* chars = env->GetStringUTFChars(text, nullptr);
    if (chars == nullptr) return JavaStringCopy::notObtained;

    // Read no further than the buffer can take: the characters end at their
    // terminator, and a longer text is not looked at beyond the capacity.
    size_t length = 0;
    while (length < capacity && chars[length] != '\0') ++length;
    const bool fits = length < capacity;
    if (fits) std::memcpy(buffer, chars, length);

    env->ReleaseStringUTFChars(text, chars);
    return fits ? JavaStringCopy::copied : JavaStringCopy::tooLong;
}
