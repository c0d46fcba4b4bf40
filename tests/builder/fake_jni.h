// A JNI environment of the tests' own: the JDK's function table, filled with
// the few functions that the builder's natives may call, each of which
// records its call and checks how it was called. Every other slot is null,
// so that a call the natives should never make fails at once.
#ifndef SFX_FAKE_JNI_H
#define SFX_FAKE_JNI_H

#include <deque>
#include <string>
#include <vector>

#include <jni.h>

class FakeJni {
public:
    FakeJni();
    ~FakeJni();
    FakeJni(const FakeJni&) = delete;
    FakeJni& operator=(const FakeJni&) = delete;

    JNIEnv* env() { return &box.env; }
    // The ExeArchiver object that the natives receive.
    jobject target() { return reinterpret_cast<jobject>(&targetObject); }

    // A Java string. Its characters are handed out by GetStringUTFChars as a
    // fresh allocation of exactly their size, so that reading past the
    // terminator shows under the address sanitizer. An unobtainable string
    // gives null and leaves an exception pending, as a runtime out of
    // memory does. Calls name the string by its label.
    jstring string(const std::string& text, const std::string& label);
    jstring unobtainable(const std::string& label);

    // How the object's updateProgress behaves: missing (GetMethodID fails
    // with an exception pending), or throwing at the given call of
    // CallVoidMethod, counted over the object's life from 1; 0 never.
    bool methodMissing = false;
    int throwAtCall = 0;

    // What the Java caller does when the native has returned: it sees the
    // pending exception, if any, and clears it. True when one was pending.
    bool takeException();

    // Every call, in order: "GetStringUTFChars path", "ReleaseStringUTFChars
    // path", "GetObjectClass", "GetMethodID updateProgress (I)V",
    // "DeleteLocalRef", "CallVoidMethod 33", "ExceptionCheck".
    std::vector<std::string> calls;
    // The values given to updateProgress.
    std::vector<int> progress;
    // Calls made the wrong way: under a pending exception, with a copy flag,
    // with a foreign environment, object, class or method, releasing
    // characters not handed out or twice.
    std::vector<std::string> misuse;

    // Characters handed out and not yet released, and class references not
    // yet deleted.
    int charactersHeld() const;
    int classReferencesHeld() const { return classReferences; }

    // Calls whose name starts with `prefix`, in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;

    struct String {
        std::string text;
        std::string label;
        bool obtainable;
        std::vector<char*> handedOut;
    };

    // The environment the natives receive, followed by the way back to its
    // owner (JNIEnv_ holds nothing but the table pointer).
    struct Box {
        JNIEnv_ env;
        FakeJni* owner;
    };

    // Used by the table's functions.
    static FakeJni& of(JNIEnv* env);
    void record(const std::string& call);
    void expectNoException(const char* function);
    String* find(jstring text);

    Box box;
    JNINativeInterface_ table;
    std::deque<String> strings;
    char targetObject = 0;
    char targetClass = 0;
    char updateProgressId = 0;
    bool exceptionPending = false;
    int voidCalls = 0;
    int classReferences = 0;
};

#endif
