// RemovalVerdicts: judging many paths under one prepared context.
#include "app/controller/RemovalVerdicts.h"

namespace veldo::controller {

RemovalVerdicts RemovalVerdicts::judge(const std::vector<platform::MacPath>& urls,
                                       common::RemovalSafety::Context context, const Check& check,
                                       std::stop_token stop)
{
    RemovalVerdicts verdicts;
    const common::RemovalSafety::PreparedContext& prepared =
        verdicts.context.emplace(std::move(context));
    verdicts.letThrough.reserve(urls.size());
    for (const platform::MacPath& url : urls) {
        if (stop.stop_requested())
            break;
        if (!verdicts.letThrough.contains(url.path()))
            verdicts.letThrough.emplace(url.path(), !check(url, prepared));
    }
    return verdicts;
}

} // namespace veldo::controller
