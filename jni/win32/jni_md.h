/* The machine-dependent part of the Java Native Interface declarations for
   the Windows targets (mingw-w64, 32 and 64 bits). The JDK's jni.h includes
   this file by name; the JDK ships no Windows version of it on this machine,
   and a Linux one must never stand in for it.

   Natives are exported from the DLL and use the standard-call convention, as
   the Java runtime for 32-bit Windows calls them (64-bit Windows has a single
   convention and the compiler ignores the keyword there).

   A library whose exports a module-definition file lists defines JNIEXPORT
   empty: on 32-bit Windows a dllexport would export each native a second
   time, under the name without its leading underscore. */
#ifndef SFX_JNI_MD_H
#define SFX_JNI_MD_H

#include <stdint.h>

#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

/* The Java integer types have the same width on every platform. */
typedef int32_t jint;
typedef int64_t jlong;
typedef int8_t jbyte;

#endif
