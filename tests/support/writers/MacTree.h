// MacTree: writes files of the macOS shape into a host folder that stands for a Mac's root.
//
// What the test fixtures (FakeMac) and the demo generator share, without GoogleTest: every call
// answers an error instead of failing a test, naming the host path and the errno. Paths taken
// are Mac paths below the folder; parents are made as needed (mode 0755). A write follows a link
// at its name, as a test that plants one expects. Not thread-safe.
#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

#include "base/Result.h"
#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::testsupport {

class MacTree
{
public:
    explicit MacTree(std::string root) : m_root(std::move(root)) {}

    // The host folder that holds the Mac.
    const std::string& root() const { return m_root; }
    // The host path of a Mac path.
    std::string host(const platform::MacPath& macPath) const;

    // The system folders, their modes and links (/var, /tmp and /etc into /private), and the
    // folders of the home `home` ("/Users/<login>"). System folders get their modes here,
    // never from the umask.
    base::Result<void> makeShape(const platform::MacPath& home) const;

    base::Result<platform::MacPath> mkdir(const platform::MacPath& path, mode_t mode = 0755) const;
    base::Result<platform::MacPath> write(const platform::MacPath& path, std::string_view contents,
                                          mode_t mode = 0644) const;
    base::Result<platform::MacPath> symlink(const platform::MacPath& linkPath,
                                            std::string_view target) const;
    base::Result<platform::MacPath> hardlink(const platform::MacPath& existing,
                                             const platform::MacPath& linkPath) const;
    // A property list file in the given format.
    base::Result<platform::MacPath> writePlist(const platform::MacPath& path,
                                               const platform::PlistValue& value,
                                               bool binary = false) const;
    // An app bundle with Contents/Info.plist holding `info` (XML unless `binary`), and an
    // executable file at Contents/MacOS/<CFBundleExecutable> when the dictionary names one.
    base::Result<platform::MacPath> makeApp(const platform::MacPath& bundlePath,
                                            const platform::PlistValue& info,
                                            bool binary = false) const;

private:
    base::Result<void> makeParents(const platform::MacPath& path) const;

    std::string m_root;
};

} // namespace veldo::testsupport
