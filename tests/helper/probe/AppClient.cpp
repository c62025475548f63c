// helper-app-client: the app's own helper client (app/removal's PrivilegedHelper) as a program,
// for tests that install it as the test bundle's executable.
//
//   move <request JSON>     moveItemsWithHelper
//   restore <request JSON>  restoreItemsWithHelper
// Prints the reply record (JSON) on one line when the helper answered, else "unavailable
// <sentence>" or "interrupted <sentence>". Exit status 0 when it answered, 1 otherwise.
#include <iostream>
#include <string_view>

#include "app/removal/PrivilegedHelper.h"
#include "common/VeldoHelperReply.h"

namespace helper = veldo::removal::PrivilegedHelper;

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string_view mode = argv[1];
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
