// SystemError: a failure as the Mac's file manager reports it, with its domain, code, optional
// underlying error and localised description.
//
// The Trash and move stand-ins report their failures in this shape so that the code above them
// can read an error the way it would read a Foundation error on a Mac: a Cocoa file error (513
// "no permission to write", 512 "unknown write failure", …) usually wraps the POSIX error that
// caused it. Plain value: copies share the immutable underlying chain.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace veldo::platform {

enum class ErrorDomain
{
    posix, // the code is an errno value of this system (compare by name: EPERM, EACCES)
    cocoa, // the code is one of the kCocoa… values below
    other,
};

// Cocoa error codes of the file manager that Veldo reads.
inline constexpr int kCocoaFileReadUnknownError = 256;
inline constexpr int kCocoaFileReadNoPermissionError = 257;
inline constexpr int kCocoaFileWriteUnknownError = 512;
inline constexpr int kCocoaFileWriteNoPermissionError = 513;

class SystemError
{
public:
    SystemError(ErrorDomain domain, int code, std::string localizedDescription);
    SystemError(ErrorDomain domain, int code, std::string localizedDescription,
                SystemError underlying);

    // A POSIX error whose description is the system's text for `err`.
    static SystemError posix(int err);

    ErrorDomain domain() const { return m_domain; }
    int code() const { return m_code; }
    const std::string& localizedDescription() const { return m_description; }
    // The error that caused this one; nullptr when there is none.
    const SystemError* underlyingError() const { return m_underlying.get(); }

    // Equal when domain, code, description and the whole underlying chain are equal.
    friend bool operator==(const SystemError& a, const SystemError& b);

private:
    ErrorDomain m_domain;
    int m_code;
    std::string m_description;
    std::shared_ptr<const SystemError> m_underlying;
};

// The code of the first POSIX error in the chain (`error` itself, then its underlying errors):
// the errno a file-manager failure wraps. None when the chain holds no POSIX error.
std::optional<int> posixErrorCode(const SystemError& error);

// Whether a failure with errno `err` says the entry is missing: only ENOENT (nothing by that name)
// and ENOTDIR (something on the way is not a folder). Any other failure (EACCES, ELOOP,
// ENAMETOOLONG, …) says nothing of the entry, which may well still be there.
bool meansMissing(int err);
// The same for the POSIX error that a file-manager failure wraps (posixErrorCode); false when it
// wraps none.
bool meansMissing(const SystemError& error);

} // namespace veldo::platform
