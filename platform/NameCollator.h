// NameCollator: the locale's ordering of names for lists shown to the user, ignoring case.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace veldo::platform {

// An ICU collator at secondary strength: letter case is ignored, accents and other marks are
// not ("Alpha" equals "alpha", "resume" sorts before "résumé"). Invalid UTF-8 compares as if
// each bad sequence were U+FFFD. compare() is const and may be called from several threads at
// once; construction is the only costly step, so callers sorting a list make one collator.
class NameCollator
{
public:
    // The collation locale of the process (LC_COLLATE as the process has set it with
    // setlocale); the root locale when that is "C" or "POSIX" (with or without a code set).
    NameCollator();
    // A named POSIX locale ("sv_SE.UTF-8", "de_DE@euro"); "C", "POSIX" and "" give the root.
    explicit NameCollator(std::string_view posixLocale);
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;
    NameCollator(NameCollator&&) noexcept;
    NameCollator& operator=(NameCollator&&) noexcept;

    // Negative when `a` sorts before `b`, zero when they compare equal, positive after. When no
    // collator could be made (ICU data missing) the bytes of the case-folded texts are compared.
    int compare(std::string_view a, std::string_view b) const;

    // The ICU locale name in use ("root", "sv_SE").
    const std::string& localeName() const { return m_localeName; }

private:
    struct Impl; // the ICU collator, kept out of this header
    std::unique_ptr<Impl> m_impl;
    std::string m_localeName;
};

} // namespace veldo::platform
