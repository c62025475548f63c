// Silencing, around one statement, a warning that GCC 12's optimiser gives on sound code.
#pragma once

// GCC 12 warns about code it has inlined and then misread: `-Wrestrict` or `-Wstringop-overflow`
// (which one depends on what else the unit inlined) on `"x" + string` and on assigning a literal
// to a string (the standard library's own code, fixed in GCC 13), and
// `-Wnull-dereference` where a QPointer or a std::function is read again after it was checked.
// Wrap exactly the statement the warning names, once the code is known to be sound there:
//
//     VELDO_GCC12_IGNORE("-Wnull-dereference")
//     m_sheet->open();
//     VELDO_GCC12_IGNORE_END
//
// VELDO_GCC12_IGNORE_STRING_COPY … VELDO_GCC12_IGNORE_END silences both warnings about a string.
//
// The pragma applies to the statement and to everything inlined into it. Other compilers, and GCC
// from 13 on, keep the warning.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#define VELDO_GCC12_PRAGMA_TEXT(text) #text
#define VELDO_GCC12_IGNORE(warning)                                                                \
    _Pragma("GCC diagnostic push") _Pragma(VELDO_GCC12_PRAGMA_TEXT(GCC diagnostic ignored warning))
#define VELDO_GCC12_IGNORE_STRING_COPY                                                             \
    VELDO_GCC12_IGNORE("-Wrestrict") _Pragma("GCC diagnostic ignored \"-Wstringop-overflow\"")
#define VELDO_GCC12_IGNORE_END _Pragma("GCC diagnostic pop")
#else
#define VELDO_GCC12_IGNORE(warning)
#define VELDO_GCC12_IGNORE_STRING_COPY
#define VELDO_GCC12_IGNORE_END
#endif
