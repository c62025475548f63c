// Result<T>: a value or an Error, with the member names of std::expected.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace veldo::base {

// What went wrong, for code to branch on.
enum class ErrorCode
{
    ioFailure,       // a system call failed; see `systemErrno`
    invalidArgument, // the caller passed something unusable
    unreadable,      // outside data that could not be parsed
    refused,         // a policy refused the operation
    cancelled,       // the operation was stopped
    timedOut,
};

// A failure: a code to branch on, the errno when a system call failed (0 otherwise) and the Mac
// path concerned (may be empty). It holds no sentence: the layer that shows a failure to a user
// chooses the sentence from the code and the errno. Both factories take what failed first, then
// the path.
struct Error
{
    ErrorCode code = ErrorCode::ioFailure;
    int systemErrno = 0;
    std::string path;

    static Error fromErrno(int err, std::string path = {})
    {
        return Error{ErrorCode::ioFailure, err, std::move(path)};
    }
    static Error make(ErrorCode code, std::string path = {})
    {
        return Error{code, 0, std::move(path)};
    }
};

// Wraps an Error so that Result's constructors can tell it from a value.
struct Unexpected
{
    Error error;
};

inline Unexpected unexpected(Error error)
{
    return Unexpected{std::move(error)};
}

template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Result(Unexpected u) : m_data(std::in_place_index<1>, std::move(u.error)) {}
    Result(Error e) : m_data(std::in_place_index<1>, std::move(e)) {}

    bool has_value() const { return m_data.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() &
    {
        assert(has_value());
        return std::get<0>(m_data);
    }
    const T& value() const&
    {
        assert(has_value());
        return std::get<0>(m_data);
    }
    T&& value() &&
    {
        assert(has_value());
        return std::get<0>(std::move(m_data));
    }
    const Error& error() const
    {
        assert(!has_value());
        return std::get<1>(m_data);
    }
    T value_or(T fallback) const { return has_value() ? std::get<0>(m_data) : std::move(fallback); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, Error> m_data;
};

template <>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Unexpected u) : m_error(std::move(u.error)), m_failed(true) {}
    Result(Error e) : m_error(std::move(e)), m_failed(true) {}

    bool has_value() const { return !m_failed; }
    explicit operator bool() const { return has_value(); }
    void value() const { assert(has_value()); }
    const Error& error() const
    {
        assert(m_failed);
        return m_error;
    }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace veldo::base

// The vocabulary of every layer, so that code in namespace veldo and below names it unqualified.
namespace veldo {
using base::Error;
using base::ErrorCode;
using base::Result;
using base::Unexpected;
using base::unexpected;
} // namespace veldo
