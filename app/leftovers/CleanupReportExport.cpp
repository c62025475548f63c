// The cleanup report's file name, JSON encoding and write.
#include "app/leftovers/CleanupReportExport.h"

#include <chrono>
#include <cstdio>

#include <nlohmann/json.hpp>
#include <unicode/uchar.h>

#include "app/leftovers/NameText.h"
#include "platform/AtomicFile.h"
#include "platform/Unicode.h"

namespace veldo::leftovers {

namespace {

bool isAlphanumeric(char32_t c)
{
    constexpr auto kLettersMarksDigits = U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK;
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & kLettersMarksDigits) != 0;
}

// The JSON object keeps its members sorted by key.
nlohmann::json itemJson(const CleanupReport::Item& item)
{
    return nlohmann::json{
        {"category", item.category}, {"confidence", item.confidence},
        {"path", item.path},         {"requiresAdmin", item.requiresAdmin},
        {"selected", item.selected}, {"sizeBytes", item.sizeBytes},
    };
}

} // namespace

std::string sanitizedReportName(std::string_view appName)
{
    std::string result;
    result.reserve(appName.size());
    std::size_t i = 0;
    while (i < appName.size()) {
        const std::size_t start = i;
        // An invalid byte decodes as U+FFFD, a symbol, and so is replaced.
        const char32_t c = platform::decodeNext(appName, i);
        if (c == U' ' || c == U'-' || c == U'_' || isAlphanumeric(c))
            result.append(appName.substr(start, i - start));
        else
            result.push_back('-');
    }
    return result;
}

std::string proposedReportFileName(std::string_view appName)
{
    return "Veldo Report - " + sanitizedReportName(appName) + ".json";
}

std::string iso8601UTC(core::Date date)
{
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(date);
    const auto days = floor<std::chrono::days>(seconds);
    const year_month_day ymd(days);
    const hh_mm_ss time(seconds - days);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

Result<std::string> encodedCleanupReport(const CleanupReport& report)
{
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : report.items)
        items.push_back(itemJson(item));
    nlohmann::json object{
        {"appName", report.appName},
        {"appPath", report.appPath},
        {"generatedAt", iso8601UTC(report.generatedAt)},
        {"itemCount", report.itemCount},
        {"items", std::move(items)},
        {"selectedBytes", report.selectedBytes},
        {"selectedItemCount", report.selectedItemCount},
        {"totalBytes", report.totalBytes},
    };
    if (report.bundleID)
        object["bundleID"] = *report.bundleID;
    if (report.version)
        object["version"] = *report.version;
    try {
        return object.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return Error::make(ErrorCode::invalidArgument);
    }
}

Result<void> writeCleanupReport(const CleanupReport& report, const platform::MacPath& destination)
{
    auto text = encodedCleanupReport(report);
    if (!text)
        return text.error();
    return platform::writeFileAtomically(destination, *text);
}

} // namespace veldo::leftovers
