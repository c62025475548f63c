// Helpers that write Homebrew's Caskroom bookkeeping into a fake Mac, as brew leaves it.
#pragma once

#include <string>
#include <vector>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

inline const platform::MacPath kCaskroom("/opt/homebrew/Caskroom");

// brew's JSON for one cask whose "app" artifact is `appArtifact` (a JSON array such as
// ["Foo.app"]), with "zap" and "pkg" artifacts when asked.
inline std::string caskJson(const std::string& token, const std::string& appArtifact,
                            bool zap = false, bool pkg = false)
{
    std::string json = R"({"token":")" + token + R"(","tap":"homebrew/cask","version":"0",)";
    json += R"("artifacts":[{"uninstall":[{"quit":"com.example"}]},{"app":)" + appArtifact + "}";
    if (pkg)
        json += R"(,{"pkg":["Installer.pkg"]})";
    if (zap)
        json += R"(,{"zap":[{"trash":["~/Library/Caches/com.example"]}]})";
    return json + "]}";
}

// The installed version folder of a cask, without bookkeeping.
inline platform::MacPath addCaskFolder(const FakeMac& mac, const std::string& token,
                                       const std::string& version,
                                       const platform::MacPath& caskroom = kCaskroom)
{
    return mac.mkdir(caskroom.appendingPathComponent(token).appendingPathComponent(version));
}

// A cask file in a cask folder's bookkeeping: ".metadata/<version>/<stamp>/Casks/<file>".
inline platform::MacPath addCaskFile(const FakeMac& mac, const std::string& token,
                                     const std::string& version, const std::string& stamp,
                                     const std::string& fileName, const std::string& contents,
                                     const platform::MacPath& caskroom = kCaskroom)
{
    return mac.write(caskroom.appendingPathComponent(token)
                         .appendingPathComponent(".metadata")
                         .appendingPathComponent(version)
                         .appendingPathComponent(stamp)
                         .appendingPathComponent("Casks")
                         .appendingPathComponent(fileName),
                     contents);
}

// An installed cask with its version folder and a JSON cask file in its bookkeeping.
inline void addJsonCask(const FakeMac& mac, const std::string& token, const std::string& version,
                        const std::string& json, const platform::MacPath& caskroom = kCaskroom)
{
    addCaskFolder(mac, token, version, caskroom);
    addCaskFile(mac, token, version, "20240101120000.000", token + ".json", json, caskroom);
}

} // namespace veldo::testsupport
