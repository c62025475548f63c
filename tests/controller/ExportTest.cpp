// Exporting the cleanup report through a scripted save panel, and revealing an alert's items.
#include <nlohmann/json.hpp>

#include "app/leftovers/CleanupReportExport.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::LeftoverItem;
using platform::MacPath;
using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;

class Export : public ControllerFixture
{
protected:
    std::unique_ptr<UninstallViewModel> scriptedController()
    {
        ControllerServices services;
        services.chooseSaveLocation = [this](const SavePanelRequest& request,
                                             SavePanelAnswer answer) {
            m_requests.push_back(request);
            m_answer = std::move(answer);
        };
        services.showErrorAlert = [this](const std::string& message) {
            m_alerts.push_back(message);
        };
        services.reveal = [this](const std::vector<MacPath>& urls) { m_revealed.push_back(urls); };
        return makeController(std::move(services));
    }

    static void show(UninstallViewModel& vm, const InstalledApp& shown,
                     std::vector<LeftoverItem> items, IdSet ticked)
    {
        vm.setApps({shown});
        vm.setSelectedAppID(shown.id());
        vm.setSelectedAppIDs({shown.id()});
        vm.setDetailApp(shown);
        vm.setLeftovers(std::move(items));
        vm.setSelectedLeftoverIDs(std::move(ticked));
    }

    std::vector<SavePanelRequest> m_requests;
    SavePanelAnswer m_answer;
    std::vector<std::string> m_alerts;
    std::vector<std::vector<MacPath>> m_revealed;
};

TEST_F(Export, TheReportOfTheAppShownAtTheCallIsWrittenAndRevealed)
{
    auto vm = scriptedController();
    const InstalledApp acme = app("/Applications/Acme.app", "Acme", "com.acme");
    show(*vm, acme, {item("/Users/me/Library/Caches/com.acme", 40), item("/Users/me/x", 2)},
         {"/Users/me/Library/Caches/com.acme"});
    Task<void> exported = vm->exportReport();
    ASSERT_EQ(m_requests.size(), 1u);
    EXPECT_EQ(m_requests[0].title, "Export Cleanup Report");
    EXPECT_EQ(m_requests[0].proposedFileName, "Veldo Report - Acme.json");
    EXPECT_EQ(m_requests[0].allowedExtensions, std::vector<std::string>{"json"});
    EXPECT_TRUE(m_requests[0].canCreateDirectories);

    // Another app takes the detail pane while the panel is open.
    show(*vm, app("/Applications/Other.app", "Other"), {}, {});
    const MacPath destination = m_mac.home().appendingPathComponent("report.json");
    m_answer(destination);
    ASSERT_TRUE(waitFor([&] { return exported.isDone(); }));

    const nlohmann::json report = nlohmann::json::parse(m_mac.contents(destination));
    EXPECT_EQ(report["appName"], "Acme");
    EXPECT_EQ(report["appPath"], "/Applications/Acme.app");
    EXPECT_EQ(report["bundleID"], "com.acme");
    EXPECT_EQ(report["itemCount"], 2);
    EXPECT_EQ(report["selectedItemCount"], 1);
    EXPECT_EQ(report["selectedBytes"], 40);
    EXPECT_EQ(report["totalBytes"], 42);
    EXPECT_TRUE(report.contains("generatedAt"));
    ASSERT_EQ(report["items"].size(), 2u);
    EXPECT_EQ(report["items"][0]["selected"], true);
    EXPECT_EQ(m_revealed, std::vector<std::vector<MacPath>>{{destination}});
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(Export, NoAppOrACancelledPanelWritesNothing)
{
    auto vm = scriptedController();
    Task<void> none = vm->exportReport();
    EXPECT_TRUE(none.isDone());
    EXPECT_TRUE(m_requests.empty());

    show(*vm, app("/Applications/Acme.app", "Acme"), {}, {});
    Task<void> cancelled = vm->exportReport();
    m_answer(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return cancelled.isDone(); }));
    EXPECT_TRUE(m_revealed.empty());
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(Export, AFailedWriteShowsOneAlertWithItsSentence)
{
    const struct
    {
        std::string appName;
        MacPath destination;
        std::string alert;
    } cases[] = {
        {"Acme", "/Users/none/Missing/report.json"_mac,
         "The file “report.json” couldn’t be saved: No such file or directory."},
        {"Bad\xff Name", "/Users/report.json"_mac,
         "The file “report.json” couldn’t be saved because the app’s name or an item’s path "
         "isn’t valid UTF-8 text."},
    };
    for (const auto& c : cases) {
        m_alerts.clear();
        m_revealed.clear();
        auto vm = scriptedController();
        show(*vm, app("/Applications/X.app", c.appName), {}, {});
        Task<void> exported = vm->exportReport();
        m_answer(c.destination);
        ASSERT_TRUE(waitFor([&] { return exported.isDone(); })) << c.appName;
        EXPECT_EQ(m_alerts, std::vector<std::string>{c.alert}) << c.appName;
        EXPECT_TRUE(m_revealed.empty()) << c.appName;
        EXPECT_EQ(m_mac.contents(c.destination), "<missing>") << c.appName;
    }
}

TEST_F(Export, ProposedNamesReplaceWhatIsNotALetterDigitSpaceDashOrUnderscore)
{
    const struct
    {
        const char* name;
        const char* proposed;
    } cases[] = {
        {"AC/DC", "Veldo Report - AC-DC.json"},
        {"Tool: Pro_2", "Veldo Report - Tool- Pro_2.json"},
        {"Café Ünïcode 東京", "Veldo Report - Café Ünïcode 東京.json"},
    };
    auto vm = scriptedController();
    for (const auto& c : cases) {
        show(*vm, app("/Applications/X.app", c.name), {}, {});
        Task<void> exported = vm->exportReport();
        ASSERT_FALSE(m_requests.empty());
        EXPECT_EQ(m_requests.back().proposedFileName, c.proposed);
        m_answer(std::nullopt);
        ASSERT_TRUE(waitFor([&] { return exported.isDone(); }));
    }
}

TEST_F(Export, RevealKeepsTheItemsThatStillExistInOrder)
{
    auto vm = scriptedController();
    const MacPath file = m_mac.write(m_mac.home().appendingPathComponent("kept.txt"), "k");
    const MacPath link =
        m_mac.symlink(m_mac.home().appendingPathComponent("dangling"), "/nowhere/at/all");
    const MacPath gone = m_mac.home().appendingPathComponent("gone.txt");
    vm->revealAlertURLs({link, gone, file});
    EXPECT_EQ(m_revealed, (std::vector<std::vector<MacPath>>{{link, file}}));

    vm->revealAlertURLs({gone});
    EXPECT_EQ(m_revealed.size(), 1u);
}

} // namespace
} // namespace veldo::controller
