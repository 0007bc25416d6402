#pragma once

// The one place that decides how entry points leave the library. The build hides every symbol
// by default; what the host looks up by name is marked here.
//
// XLL_EXPORT marks a plain-named entry point (xlAutoOpen, ClearStatus, ...).
// XLL_EXPORT_ALIAS(function, "exported") exports an extern "C" function defined in the same file
// under a second name that may hold characters C++ names cannot, such as "?Add_Version".
// On ELF the alias is an assembler label in quotes; the function itself keeps its plain name,
// so the compiler's split parts (".cold" and the like) never get attached to the quoted one.
// On Windows it is the linker directive a dllexport writes, spelled out: export the name, bound
// to the function (a dllexport on a quoted label would carry the quotes into the directive).
// The ELF builds also link with a version script that keeps every other name local, since
// library headers mark some of their own names visible.

#if defined(_WIN32)
#define XLL_EXPORT __declspec(dllexport)
#define XLL_EXPORT_ALIAS(function, exported)                                                  \
    [[gnu::section(".drectve"), gnu::used]] static const char function##_export_directive[] = \
        " -export:\"" exported "\"=" #function
#else
#define XLL_EXPORT __attribute__((visibility("default")))
#define XLL_EXPORT_ALIAS(function, exported)                                      \
    extern "C" decltype(function) function##_exported __asm__("\"" exported "\"") \
        __attribute__((alias(#function), visibility("default")))
#endif
