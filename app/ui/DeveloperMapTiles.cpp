// The map's tiles, header summary and hints.
#include "app/ui/DeveloperMapTiles.h"

#include <algorithm>
#include <string>

#include "app/ui/ToolchainKindColor.h"
#include "base/RawValue.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"

namespace veldo::ui {
namespace {

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

const core::ToolchainGroup* selectedGroup(const std::vector<core::ToolchainGroup>& groups,
                                          std::optional<core::ToolchainKind> kind)
{
    if (!kind)
        return nullptr;
    const auto it = std::find_if(groups.begin(), groups.end(),
                                 [&](const core::ToolchainGroup& g) { return g.kind == *kind; });
    return it == groups.end() ? nullptr : &*it;
}

std::int64_t totalBytes(const std::vector<core::ToolchainItem>& items)
{
    std::int64_t sum = 0;
    for (const core::ToolchainItem& item : items)
        if (__builtin_add_overflow(sum, item.sizeBytes, &sum))
            sum = item.sizeBytes > 0 ? std::numeric_limits<std::int64_t>::max()
                                     : std::numeric_limits<std::int64_t>::min();
    return sum;
}

std::vector<TreemapTile> developerCategoryTable(const std::vector<core::ToolchainGroup>& groups,
                                                std::optional<core::ToolchainKind> kind,
                                                ColorScheme scheme)
{
    std::vector<TreemapTile> tiles;
    if (const core::ToolchainGroup* group = selectedGroup(groups, kind)) {
        std::vector<const core::ToolchainItem*> items;
        for (const core::ToolchainItem& item : group->items)
            items.push_back(&item);
        std::stable_sort(items.begin(), items.end(),
                         [](const auto* a, const auto* b) { return a->sizeBytes > b->sizeBytes; });
        const QColor tint = color(group->kind, scheme);
        for (const core::ToolchainItem* item : items)
            tiles.push_back({item->url.path(), text(item->title), item->sizeBytes, tint, {}});
        return tiles;
    }
    for (const core::ToolchainGroup& group : groups)
        tiles.push_back({std::string(base::rawValue(group.kind)), text(core::title(group.kind)),
                         totalBytes(group.items), color(group.kind, scheme),
                         std::string(core::symbolName(group.kind))});
    return tiles;
}

QString mapActionHint(std::optional<core::ToolchainKind> kind)
{
    return kind ? QStringLiteral("Reveals in Finder") : QStringLiteral("Shows its contents");
}

QString mapGroupSummary(const core::ToolchainGroup& group)
{
    const std::string markup = "^[" + std::to_string(group.items.size()) +
                               " item](inflect: true) · " +
                               platform::sizeText(totalBytes(group.items));
    return QString::fromStdString(platform::inflect(markup));
}

} // namespace veldo::ui
