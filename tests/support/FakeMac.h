// FakeMac: a temporary folder with the macOS shape, installed as the Mac root for one test.
//
// The constructor builds /Applications, /System/Applications, /Library,
// /Users/<login>/{Applications, Library,.Trash}, /private/{var,tmp,etc} with /var, /tmp and /etc as
// links into /private, /private/var/tmp (mode 1777, like /private/tmp), /usr/bin, /bin, /sbin
// (system folders with mode 0755 whatever the umask), /opt/homebrew, /Volumes, the helper socket's
// folder /private/var/run (0755, like /private and /private/var) and the service manager's
// registration folder (group "admin", 0775; the group is made when missing), and sets the process's
// Mac root to it; the destructor restores the empty root and removes the folder. All paths taken by
// the helpers are Mac paths.
#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::testsupport {

class FakeMac
{
public:
    // Where the fake Mac's folder lies: in the temporary folder, or in memory (/dev/shm, where
    // there is one) for tests that make and remove tens of thousands of folders, which a disk
    // takes seconds for.
    enum class Storage
    {
        disk,
        memory
    };

    explicit FakeMac(Storage storage = Storage::disk);
    // A fake Mac in the host folder `parent` (which must exist), for tests of a root whose host
    // path holds spaces, quotes or shell syntax.
    explicit FakeMac(const std::string& parent);
    ~FakeMac();
    FakeMac(const FakeMac&) = delete;
    FakeMac& operator=(const FakeMac&) = delete;

    // The host folder that holds the fake Mac.
    const std::string& root() const { return m_root; }
    // The host path of a Mac path.
    std::string host(const platform::MacPath& macPath) const;
    // The current user's home ("/Users/<login>").
    platform::MacPath home() const;

    // Creation helpers; parents are made as needed. Each fails the test on error.
    platform::MacPath mkdir(const platform::MacPath& path, mode_t mode = 0755) const;
    // `path` holding `branches` folders of `leaves` empty folders each, for walks that take a
    // while (best in memory storage).
    platform::MacPath wideTree(const platform::MacPath& path, int branches, int leaves) const;
    platform::MacPath write(const platform::MacPath& path, std::string_view contents,
                            mode_t mode = 0644) const;
    platform::MacPath symlink(const platform::MacPath& linkPath, std::string_view target) const;
    platform::MacPath hardlink(const platform::MacPath& existing,
                               const platform::MacPath& linkPath) const;
    // The whole file at `path`, or "<missing>" when it can't be read.
    std::string contents(const platform::MacPath& path) const;

    // An app bundle with Contents/Info.plist holding `info` (XML unless `binary`), and an
    // executable file at Contents/MacOS/<CFBundleExecutable> when the dictionary names one.
    platform::MacPath makeApp(const platform::MacPath& bundlePath, const platform::PlistValue& info,
                              bool binary = false) const;
    // A property list file in the given format.
    platform::MacPath writePlist(const platform::MacPath& path, const platform::PlistValue& value,
                                 bool binary = false) const;

private:
    std::string m_root;
};

} // namespace veldo::testsupport
