// The item key of the leftover scan.
#include "app/leftovers/ItemKey.h"

#include "app/leftovers/NameText.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::LeftoverScanner {

std::string itemKey(const platform::MacPath& url)
{
    std::string key = platform::lowercased(url.standardized().path());
    if (key.size() >= 2 && key.back() == '/')
        key.pop_back();
    return key;
}

} // namespace veldo::leftovers::LeftoverScanner
