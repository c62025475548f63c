// helper-app-client: the app's own helper client (app/removal's PrivilegedHelper) as a program,
// for tests that install it as the test bundle's executable.
//
//   move <request JSON>     moveItemsWithHelper
//   restore <request JSON>  restoreItemsWithHelper
// Prints the reply record (JSON) on one line when the helper answered, else "unavailable
// <sentence>" or "interrupted <sentence>". Exit status 0 when it answered, 1 otherwise.
//
//   cleanup <home> <paths>  the administrator move's helper batch (AdminRemover::moveWithHelper)
//                           for the user whose home is <home>, of the paths given one per line
// Prints one line per item: "moved <path><TAB><destination>", "left <path>" (for the script),
// "missing <path>" or "failed <path><TAB><sentence>"; exit status 0.
//
//   undo <request JSON>     the Undo's helper batch (AdminRemover::restoreWithHelper) of restore
//                           points the helper moved, one per request item
// Prints one line per point: "restored <original path>", "failed <original path><TAB><sentence>
// <TAB>retryable|final", or "left <original path>" (for another Undo); exit status 0.
//
// An argument "-" is read from the standard input instead (to its end).
#include <iostream>
#include <iterator>
#include <sstream>
#include <string_view>

#include "app/removal/AdminMover.h"
#include "app/removal/AdminRestorer.h"
#include "app/removal/PrivilegedHelper.h"
#include "common/VeldoHelperReply.h"

namespace {

int cleanup(const std::string& home, const std::string& paths)
{
    std::vector<veldo::platform::MacPath> items;
    std::istringstream lines(paths);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            items.emplace_back(line);
    const veldo::common::RemovalSafety::Context context{
        veldo::platform::MacPath(home),
        {veldo::platform::MacPath("/Applications/Veldo.app")},
        {},
        false};
    const auto [result, left] = veldo::removal::AdminRemover::moveWithHelper(items, context);
    for (const auto& move : result.moved)
        std::cout << "moved " << move.source.path() << "\t" << move.destination.path() << "\n";
    for (const auto& item : left)
        std::cout << "left " << item.path() << "\n";
    for (const std::string& path : result.missing)
        std::cout << "missing " << path << "\n";
    for (const auto& [path, sentence] : result.failures)
        std::cout << "failed " << path << "\t" << sentence << "\n";
    std::cout << std::flush;
    return 0;
}

int undo(const veldo::common::VeldoHelperRestoreRequest& request)
{
    std::vector<veldo::removal::RestorePoint> points;
    for (const auto& item : request.items) {
        veldo::removal::RestorePoint point;
        point.item.url = veldo::platform::MacPath(item.originalPath);
        point.trashURL = veldo::platform::MacPath(item.trashPath);
        point.needsAdmin = true;
        point.movedByHelper = true;
        points.push_back(std::move(point));
    }
    const auto [result, left] = veldo::removal::AdminRemover::restoreWithHelper(points);
    for (const std::string& id : result.restoredIDs)
        std::cout << "restored " << id << "\n";
    for (const auto& [id, sentence] : result.failures)
        std::cout << "failed " << id << "\t" << sentence << "\t"
                  << (result.retryableIDs.contains(id) ? "retryable" : "final") << "\n";
    for (const auto& point : left)
        std::cout << "left " << point.item.url.path() << "\n";
    std::cout << std::flush;
    return 0;
}

} // namespace

namespace helper = veldo::removal::PrivilegedHelper;

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string_view mode = argv[1];
    auto argument = [&](int at) {
        if (std::string_view(argv[at]) != "-")
            return std::string(argv[at]);
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    };
    if (mode == "cleanup")
        return argc == 4 ? cleanup(argv[2], argument(3)) : 2;
    if (argc != 3)
        return 2;
    helper::BatchResponse response;
    if (mode == "move") {
        const auto request = veldo::common::VeldoHelperMoveRequest::decodeJSON(argv[2]);
        if (!request)
            return 2;
        response = helper::moveItemsWithHelper(*request);
    } else if (mode == "restore") {
        const auto request = veldo::common::VeldoHelperRestoreRequest::decodeJSON(argv[2]);
        if (!request)
            return 2;
        response = helper::restoreItemsWithHelper(*request);
    } else if (mode == "undo") {
        const auto request = veldo::common::VeldoHelperRestoreRequest::decodeJSON(argument(2));
        return request ? undo(*request) : 2;
    } else {
        return 2;
    }
    switch (response.kind) {
    case helper::BatchResponse::Kind::results: {
        veldo::common::VeldoHelperReply reply;
        reply.results = response.results;
        const auto text = reply.encodeJSON();
        std::cout << (text ? *text : std::string()) << std::endl;
        return 0;
    }
    case helper::BatchResponse::Kind::unavailable:
        std::cout << "unavailable " << response.sentence << std::endl;
        return 1;
    case helper::BatchResponse::Kind::interrupted:
        std::cout << "interrupted " << response.sentence << std::endl;
        return 1;
    }
    return 1;
}
