// Locale-aware, case-insensitive name ordering through ICU.
#include "platform/NameCollator.h"

#include <clocale>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

// "sv_SE.UTF-8@euro" -> "sv_SE@euro"; "C", "C.UTF-8", "POSIX" and "" -> "" (the root).
std::string icuLocaleFromPosix(std::string_view posix)
{
    std::string_view language = posix;
    std::string_view modifier;
    if (auto at = language.find('@'); at != std::string_view::npos) {
        modifier = language.substr(at);
        language = language.substr(0, at);
    }
    if (auto dot = language.find('.'); dot != std::string_view::npos)
        language = language.substr(0, dot);
    if (language.empty() || language == "C" || language == "POSIX")
        return {};
    return std::string(language) + std::string(modifier);
}

std::string processCollationLocale()
{
    // A query only; the application sets its locale once at start-up.
    const char* name = std::setlocale(LC_COLLATE, nullptr); // NOLINT(concurrency-mt-unsafe)
    return name ? name : "";
}

} // namespace

struct NameCollator::Impl
{
    std::unique_ptr<icu::Collator> collator;
};

NameCollator::NameCollator() : NameCollator(processCollationLocale())
{
}

NameCollator::NameCollator(std::string_view posixLocale)
{
    const std::string name = icuLocaleFromPosix(posixLocale);
    const icu::Locale locale = name.empty() ? icu::Locale::getRoot() : icu::Locale(name.c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator)
        return;
    collator->setStrength(icu::Collator::SECONDARY);
    m_impl = std::make_unique<Impl>(Impl{std::move(collator)});
    m_localeName = name.empty() ? "root" : locale.getName();
}

NameCollator::~NameCollator() = default;
NameCollator::NameCollator(NameCollator&&) noexcept = default;
NameCollator& NameCollator::operator=(NameCollator&&) noexcept = default;

int NameCollator::compare(std::string_view a, std::string_view b) const
{
    if (m_impl) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult r = m_impl->collator->compareUTF8(
            icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status))
            return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
    }
    const int r = foldForComparison(a).compare(foldForComparison(b));
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

} // namespace veldo::platform
