// A fake helper daemon for the client's tests: serves the listening socket it inherits as
// descriptor 3, one connection at a time, as its control folder (the only argument) says.
//
// For each connection it appends a line to "<control>/connections", reads one request frame,
// and, when the request envelope decodes, appends "<method> <request JSON>" to
// "<control>/requests". Then it behaves as "<control>/<method>.behaviour" says (default
// "reply"):
//   reply      sends "<control>/<method>.reply" as one frame (an empty payload when missing);
//   close      closes without a reply;
//   hang       sends nothing and waits until the client goes;
//   late:<ms>  waits that long, then sends the reply (to a client that may be gone);
//   oversize   sends a frame header announcing one byte more than the frame limit.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "common/HelperFrame.h"
#include "common/HelperRequestEnvelope.h"

namespace {

using namespace veldo;

std::string readControl(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

void appendLine(const std::string& path, const std::string& line)
{
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << line << '\n';
}

void waitUntilClientGoes(int fd)
{
    char byte = 0;
    while (::recv(fd, &byte, 1, 0) > 0) {
    }
}

void serve(int fd, const std::string& control)
{
    appendLine(control + "/connections", "connection");
    auto frame = common::readFrame(fd);
    if (!frame || !*frame)
        return;
    auto envelope = common::HelperRequestEnvelope::decodeJSON(**frame);
    if (!envelope)
        return;
    const std::string method(base::rawValue(envelope->method));
    appendLine(control + "/requests", method + " " + envelope->request.value_or(""));

    std::string behaviour = readControl(control + "/" + method + ".behaviour");
    if (behaviour.empty())
        behaviour = "reply";
    const std::string reply = readControl(control + "/" + method + ".reply");
    if (behaviour == "close")
        return;
    if (behaviour == "hang") {
        waitUntilClientGoes(fd);
        return;
    }
    if (behaviour == "oversize") {
        const auto length = static_cast<std::uint32_t>(common::kMaxHelperFramePayload + 1);
        const unsigned char header[4] = {
            static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
            static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
        (void)::send(fd, header, sizeof header, MSG_NOSIGNAL);
        waitUntilClientGoes(fd);
        return;
    }
    if (behaviour.rfind("late:", 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(behaviour.substr(5))));
    (void)common::writeFrame(fd, reply);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 64;
    std::signal(SIGPIPE, SIG_IGN);
    const std::string control = argv[1];
    constexpr int kListener = 3;
    for (;;) {
        UniqueFd client(::accept4(kListener, nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return 1;
        }
        serve(client.get(), control);
    }
}
