// FakeHelper: the fake helper daemon (fake-helper/FakeHelperMain.cpp) installed at the helper's
// Mac path in a fake Mac and serving the helper socket, for tests of the app's helper client.
//
// The test process makes the socket (bound in the fake Mac's "/private/var/run" through that
// folder's descriptor, listening) before it starts the copied program with the socket as its
// descriptor 3, so a client may connect as soon as the constructor returns, and the client sees
// the test process's credentials (root). Needs root: the client only trusts a root-owned folder
// chain and a root listener; check canRun first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

class FakeHelper
{
public:
    // The helper program's Mac path in the app bundle.
    static constexpr std::string_view kProgramPath =
        "/Applications/Veldo.app/Contents/MacOS/orbelkan.Veldo.Helper";

    // Whether the fake can serve a client here; `reason` says why not.
    static bool canRun(std::string& reason);

    // Installs and starts the fake. Fails the test when it can't.
    explicit FakeHelper(const FakeMac& mac);
    // Kills and reaps the program and removes the socket.
    ~FakeHelper();
    FakeHelper(const FakeHelper&) = delete;
    FakeHelper& operator=(const FakeHelper&) = delete;

    // What the fake sends for `method` ("moveToTrash", "restore", "version"): the reply frame's
    // payload, and the behaviour ("reply", "close", "hang", "late:<ms>", "oversize").
    void setReply(std::string_view method, std::string_view payload) const;
    void setBehaviour(std::string_view method, std::string_view behaviour) const;

    // Connections accepted so far. The fake serves one connection at a time in order, so after
    // a call that got its answer every earlier connection has been counted.
    std::size_t connections() const;
    // "<method> <request JSON>" for each request read.
    std::vector<std::string> requests() const;

private:
    void start();

    const FakeMac& m_mac;
    platform::MacPath m_control;
    pid_t m_pid = -1;
};

} // namespace veldo::testsupport
