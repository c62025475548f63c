// ASSERT_OK / EXPECT_OK and ASSERT_ERRNO / EXPECT_ERRNO: checks of a Result that print the error
// (its code, errno by name and path) when they fail, instead of a bare "false".
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "base/Result.h"
#include "platform/ErrnoName.h"

namespace veldo::testsupport {

inline std::string describe(const Error& error)
{
    static constexpr const char* kCodes[] = {"ioFailure", "invalidArgument", "unreadable",
                                             "refused",   "cancelled",       "timedOut"};
    const auto index = static_cast<std::size_t>(error.code);
    std::string text = index < std::size(kCodes) ? kCodes[index] : "code " + std::to_string(index);
    if (error.systemErrno != 0)
        text += " " + std::string(platform::errnoName(error.systemErrno));
    if (!error.path.empty())
        text += " at " + error.path;
    return text;
}

template <typename T>
::testing::AssertionResult resultIsOk(const char* expression, const Result<T>& result)
{
    if (result)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << expression << " failed: " << describe(result.error());
}

template <typename T>
::testing::AssertionResult resultHasErrno(const char* expression, const char* errnoExpression,
                                          const Result<T>& result, int err)
{
    if (!result && result.error().systemErrno == err)
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << expression << " should fail with " << errnoExpression << " ("
            << platform::errnoName(err) << ") but ";
    if (result)
        failure << "succeeded";
    else
        failure << "failed: " << describe(result.error());
    return failure;
}

} // namespace veldo::testsupport

#define ASSERT_OK(result) ASSERT_PRED_FORMAT1(::veldo::testsupport::resultIsOk, result)
#define EXPECT_OK(result) EXPECT_PRED_FORMAT1(::veldo::testsupport::resultIsOk, result)
#define ASSERT_ERRNO(result, err)                                                                  \
    ASSERT_PRED_FORMAT2(::veldo::testsupport::resultHasErrno, result, err)
#define EXPECT_ERRNO(result, err)                                                                  \
    EXPECT_PRED_FORMAT2(::veldo::testsupport::resultHasErrno, result, err)
