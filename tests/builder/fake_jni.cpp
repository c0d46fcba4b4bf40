#include "fake_jni.h"

#include <cstdarg>
#include <cstring>

namespace {

// The functions of the table. They have the JNI calling convention so that
// the natives call them exactly as they would call a Java runtime.

const char* JNICALL getStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy) {
    FakeJni& jni = FakeJni::of(env);
    jni.expectNoException("GetStringUTFChars");
    FakeJni::String* string = jni.find(text);
    if (string == nullptr) {
        jni.misuse.push_back("GetStringUTFChars of an unknown string");
        return nullptr;
    }
    jni.record("GetStringUTFChars " + string->label);
    if (isCopy != nullptr) jni.misuse.push_back("GetStringUTFChars asked for the copy flag");
    if (!string->obtainable) {
        jni.exceptionPending = true;
        return nullptr;
    }
    char* chars = new char[string->text.size() + 1];
    std::memcpy(chars, string->text.c_str(), string->text.size() + 1);
    string->handedOut.push_back(chars);
    return chars;
}

void JNICALL releaseStringUTFChars(JNIEnv* env, jstring text, const char* chars) {
    FakeJni& jni = FakeJni::of(env);
    // Allowed under a pending exception by the JNI rules, but the natives
    // never have one to release under.
    jni.expectNoException("ReleaseStringUTFChars");
    FakeJni::String* string = jni.find(text);
    if (string == nullptr) {
        jni.misuse.push_back("ReleaseStringUTFChars of an unknown string");
        return;
    }
    jni.record("ReleaseStringUTFChars " + string->label);
    for (std::vector<char*>::iterator it = string->handedOut.begin();
         it != string->handedOut.end(); ++it) {
        if (*it == chars) {
            delete[] *it;
            string->handedOut.erase(it);
            return;
        }
    }
    jni.misuse.push_back("ReleaseStringUTFChars of characters not held: " + string->label);
}

jclass JNICALL getObjectClass(JNIEnv* env, jobject object) {
    FakeJni& jni = FakeJni::of(env);
    jni.expectNoException("GetObjectClass");
    jni.record("GetObjectClass");
    if (object != jni.target()) jni.misuse.push_back("GetObjectClass of another object");
    ++jni.classReferences;
    return reinterpret_cast<jclass>(&jni.targetClass);
}

jmethodID JNICALL getMethodID(JNIEnv* env, jclass type, const char* name, const char* signature) {
    FakeJni& jni = FakeJni::of(env);
    jni.expectNoException("GetMethodID");
    jni.record(std::string("GetMethodID ") + name + " " + signature);
    if (type != reinterpret_cast<jclass>(&jni.targetClass)) {
        jni.misuse.push_back("GetMethodID of another class");
    }
    if (jni.methodMissing || std::strcmp(name, "updateProgress") != 0 ||
        std::strcmp(signature, "(I)V") != 0) {
        // NoSuchMethodError.
        jni.exceptionPending = true;
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(&jni.updateProgressId);
}

void JNICALL deleteLocalRef(JNIEnv* env, jobject reference) {
    FakeJni& jni = FakeJni::of(env);
    jni.expectNoException("DeleteLocalRef");
    jni.record("DeleteLocalRef");
    if (reference != reinterpret_cast<jobject>(&jni.targetClass) || jni.classReferences == 0) {
        jni.misuse.push_back("DeleteLocalRef of a reference not held");
        return;
    }
    --jni.classReferences;
}

void voidCall(FakeJni& jni, jobject object, jmethodID method, jint value) {
    jni.expectNoException("CallVoidMethod");
    jni.record("CallVoidMethod " + std::to_string(value));
    if (object != jni.target()) jni.misuse.push_back("CallVoidMethod on another object");
    if (method != reinterpret_cast<jmethodID>(&jni.updateProgressId)) {
        jni.misuse.push_back("CallVoidMethod of another method");
    }
    jni.progress.push_back(value);
    ++jni.voidCalls;
    if (jni.voidCalls == jni.throwAtCall) jni.exceptionPending = true;
}

// jni.h's C++ form of CallVoidMethod goes through the va_list variant; the
// C form calls the variadic one. Both carry the one int of updateProgress.
void JNICALL callVoidMethodV(JNIEnv* env, jobject object, jmethodID method, va_list arguments) {
    voidCall(FakeJni::of(env), object, method, va_arg(arguments, jint));
}

void JNICALL callVoidMethod(JNIEnv* env, jobject object, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    const jint value = va_arg(arguments, jint);
    va_end(arguments);
    voidCall(FakeJni::of(env), object, method, value);
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
    FakeJni& jni = FakeJni::of(env);
    jni.record("ExceptionCheck");
    return jni.exceptionPending ? JNI_TRUE : JNI_FALSE;
}

}  // namespace

FakeJni::FakeJni() {
    std::memset(&table, 0, sizeof table);
    table.GetStringUTFChars = getStringUTFChars;
    table.ReleaseStringUTFChars = releaseStringUTFChars;
    table.GetObjectClass = getObjectClass;
    table.GetMethodID = getMethodID;
    table.DeleteLocalRef = deleteLocalRef;
    table.CallVoidMethod = callVoidMethod;
    table.CallVoidMethodV = callVoidMethodV;
    table.ExceptionCheck = exceptionCheck;
    box.env.functions = &table;
    box.owner = this;
}

FakeJni::~FakeJni() {
    for (String& string : strings) {
        for (char* chars : string.handedOut) delete[] chars;
    }
}

FakeJni& FakeJni::of(JNIEnv* env) { return *reinterpret_cast<Box*>(env)->owner; }

jstring FakeJni::string(const std::string& text, const std::string& label) {
    strings.push_back(String{text, label, true, {}});
    return reinterpret_cast<jstring>(&strings.back());
}

jstring FakeJni::unobtainable(const std::string& label) {
    strings.push_back(String{std::string(), label, false, {}});
    return reinterpret_cast<jstring>(&strings.back());
}

bool FakeJni::takeException() {
    const bool was = exceptionPending;
    exceptionPending = false;
    return was;
}

int FakeJni::charactersHeld() const {
    int held = 0;
    for (const String& string : strings) held += static_cast<int>(string.handedOut.size());
    return held;
}

std::vector<std::string> FakeJni::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    }
    return found;
}

void FakeJni::record(const std::string& call) { calls.push_back(call); }

void FakeJni::expectNoException(const char* function) {
    if (exceptionPending) misuse.push_back(std::string(function) + " with an exception pending");
}

FakeJni::String* FakeJni::find(jstring text) {
    for (String& string : strings) {
        if (reinterpret_cast<jstring>(&string) == text) return &string;
    }
    return nullptr;
}
