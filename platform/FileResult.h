// FileResult<T>: a value, or the SystemError a file-manager call failed with.
//
// The file manager's calls fail the way a Mac's file manager does (a Cocoa file error wrapping
// the POSIX error), so their results carry a SystemError rather than an Error. Same member names
// as Result<T> (those of std::expected).
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

#include "platform/SystemError.h"

namespace veldo::platform {

template <typename T>
class [[nodiscard]] FileResult
{
public:
    FileResult(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    FileResult(SystemError error) : m_data(std::in_place_index<1>, std::move(error)) {}

    bool has_value() const { return m_data.index() == 0; }
    explicit operator bool() const { return has_value(); }

    const T& value() const
    {
        assert(has_value());
        return std::get<0>(m_data);
    }
    const SystemError& error() const
    {
        assert(!has_value());
        return std::get<1>(m_data);
    }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, SystemError> m_data;
};

template <>
class [[nodiscard]] FileResult<void>
{
public:
    FileResult() = default;
    FileResult(SystemError error) : m_error(std::in_place, std::move(error)) {}

    bool has_value() const { return !m_error.has_value(); }
    explicit operator bool() const { return has_value(); }
    const SystemError& error() const
    {
        assert(m_error);
        return *m_error;
    }

private:
    std::optional<SystemError> m_error;
};

} // namespace veldo::platform
