// Construction and comparison of SystemError values.
#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace veldo::platform {

SystemError::SystemError(ErrorDomain domain, int code, std::string localizedDescription)
    : m_domain(domain), m_code(code), m_description(std::move(localizedDescription))
{
}

SystemError::SystemError(ErrorDomain domain, int code, std::string localizedDescription,
                         SystemError underlying)
    : m_domain(domain), m_code(code), m_description(std::move(localizedDescription)),
      m_underlying(std::make_shared<const SystemError>(std::move(underlying)))
{
}

SystemError SystemError::posix(int err)
{
    char buffer[256] = {};
    // GNU strerror_r: returns the text, which may or may not live in `buffer`.
    const char* text = ::strerror_r(err, buffer, sizeof buffer);
    return SystemError(ErrorDomain::posix, err, text ? text : "");
}

bool operator==(const SystemError& a, const SystemError& b)
{
    const SystemError* x = &a;
    const SystemError* y = &b;
    while (x && y) {
        if (x->m_domain != y->m_domain || x->m_code != y->m_code ||
            x->m_description != y->m_description)
            return false;
        x = x->underlyingError();
        y = y->underlyingError();
    }
    return x == nullptr && y == nullptr;
}

std::optional<int> posixErrorCode(const SystemError& error)
{
    for (const SystemError* e = &error; e; e = e->underlyingError()) {
        if (e->domain() == ErrorDomain::posix)
            return e->code();
    }
    return std::nullopt;
}

bool meansMissing(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

bool meansMissing(const SystemError& error)
{
    const auto err = posixErrorCode(error);
    return err && meansMissing(*err);
}

} // namespace veldo::platform
