#pragma once

// The one place that decides how entry points leave the library. The build hides every symbol
// by default; what the host looks up by name is marked here.
//
// XLL_EXPORT marks a plain-named entry point (xlAutoOpen, ClearStatus, ...).
// XLL_EXPORT_ALIAS(function, "exported") gives an extern "C" function defined in the same file
// a second, exported name that may hold characters C++ names cannot, such as "?Add_Version".
// On ELF the alias is an assembler label in quotes; the function itself keeps its plain name,
// so the compiler's split parts (".cold" and the like) never get attached to the quoted one.
// The Windows build takes these names from its module-definition file instead; the other builds
// link with a version script made from that file, which keeps every other name local.

#if defined(_WIN32)
#define XLL_EXPORT
#define XLL_EXPORT_ALIAS(function, exported) static_assert(true)
#else
#define XLL_EXPORT __attribute__((visibility("default")))
#define XLL_EXPORT_ALIAS(function, exported)                                      \
    extern "C" decltype(function) function##_exported __asm__("\"" exported "\"") \
        __attribute__((alias(#function), visibility("default")))
#endif
