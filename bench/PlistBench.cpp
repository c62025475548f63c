// Reading a typical application Info.plist, XML and binary, and the guard's share of it.
#include <string>

#include <benchmark/benchmark.h>

#include "platform/PlistGuard.h"
#include "platform/PropertyList.h"

using veldo::platform::PlistFormat;
using veldo::platform::PlistValue;

namespace {

PlistValue documentType(const char* name, const char* extension, const char* uti)
{
    return PlistValue::Dictionary{
        {"CFBundleTypeName", name},
        {"CFBundleTypeRole", "Editor"},
        {"CFBundleTypeExtensions", PlistValue::Array{extension}},
        {"CFBundleTypeIconFile", "Document"},
        {"LSHandlerRank", "Owner"},
        {"LSItemContentTypes", PlistValue::Array{uti}},
        {"NSDocumentClass", "Document"},
    };
}

// About 3 KB of XML: the keys a shipping app carries, with document and URL types.
PlistValue infoPlist()
{
    return PlistValue::Dictionary{
        {"BuildMachineOSBuild", "23A344"},
        {"CFBundleDevelopmentRegion", "en"},
        {"CFBundleDisplayName", "Example Editor"},
        {"CFBundleDocumentTypes",
         PlistValue::Array{documentType("Example Document", "exdoc", "com.example.document"),
                           documentType("Example Template", "extpl", "com.example.template"),
                           documentType("Plain Text", "txt", "public.plain-text")}},
        {"CFBundleExecutable", "Example Editor"},
        {"CFBundleIconFile", "AppIcon"},
        {"CFBundleIconName", "AppIcon"},
        {"CFBundleIdentifier", "com.example.editor"},
        {"CFBundleInfoDictionaryVersion", "6.0"},
        {"CFBundleName", "Example Editor"},
        {"CFBundlePackageType", "APPL"},
        {"CFBundleShortVersionString", "4.2.1"},
        {"CFBundleSupportedPlatforms", PlistValue::Array{"MacOSX"}},
        {"CFBundleURLTypes", PlistValue::Array{PlistValue::Dictionary{
                                 {"CFBundleURLName", "com.example.editor.url"},
                                 {"CFBundleURLSchemes", PlistValue::Array{"example", "exed"}},
                             }}},
        {"CFBundleVersion", "4210"},
        {"DTCompiler", "com.apple.compilers.llvm.clang.1_0"},
        {"DTPlatformBuild", ""},
        {"DTPlatformName", "macosx"},
        {"DTPlatformVersion", "14.0"},
        {"DTSDKBuild", "23A334"},
        {"DTSDKName", "macosx14.0"},
        {"DTXcode", "1500"},
        {"DTXcodeBuild", "15A240d"},
        {"LSApplicationCategoryType", "public.app-category.productivity"},
        {"LSMinimumSystemVersion", "12.0"},
        {"LSUIElement", false},
        {"NSAppTransportSecurity",
         PlistValue::Dictionary{
             {"NSAllowsArbitraryLoads", false},
             {"NSExceptionDomains",
              PlistValue::Dictionary{{"example.com",
                                      PlistValue::Dictionary{
                                          {"NSIncludesSubdomains", true},
                                          {"NSExceptionMinimumTLSVersion", "TLSv1.2"},
                                      }}}}}},
        {"NSHighResolutionCapable", true},
        {"NSHumanReadableCopyright", "Copyright \xC2\xA9 2024 Example Ltd. All rights reserved."},
        {"NSMainNibFile", "MainMenu"},
        {"NSPrincipalClass", "NSApplication"},
        {"NSSupportsAutomaticTermination", true},
        {"NSSupportsSuddenTermination", true},
        {"SUFeedURL", "https://example.com/appcast.xml"},
        {"SUPublicEDKey", "rAnDoMbAsE64kEyStRiNgThAtIsFoRtYfOuRcHaRsLoNg="},
    };
}

const std::string& infoBytes(PlistFormat format)
{
    static const std::string xml =
        *veldo::platform::serializePropertyList(infoPlist(), PlistFormat::xml);
    static const std::string binary =
        *veldo::platform::serializePropertyList(infoPlist(), PlistFormat::binary);
    return format == PlistFormat::xml ? xml : binary;
}

void parseInfoPlist(benchmark::State& state, PlistFormat format)
{
    const std::string& bytes = infoBytes(format);
    for (auto _ : state)
        benchmark::DoNotOptimize(veldo::platform::parsePropertyList(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void guardInfoPlist(benchmark::State& state, PlistFormat format)
{
    const std::string& bytes = infoBytes(format);
    for (auto _ : state)
        benchmark::DoNotOptimize(veldo::platform::plistguard::isSafeToParse(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

} // namespace

BENCHMARK_CAPTURE(parseInfoPlist, xml, PlistFormat::xml);
BENCHMARK_CAPTURE(parseInfoPlist, binary, PlistFormat::binary);
BENCHMARK_CAPTURE(guardInfoPlist, xml, PlistFormat::xml);
BENCHMARK_CAPTURE(guardInfoPlist, binary, PlistFormat::binary);
