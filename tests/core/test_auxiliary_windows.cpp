#include "base/dpi_scale.h"
#include "ui/help_sections.h"
#include "ui/hyperlink_text.h"
#include "ui/plot_launch.h"
#include "ui/wait_box.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <tuple>

namespace {

// Regression: closing the box (Enter, Escape) asked the port enumeration to stop, so the port list came out cut
// short although the box still waited for the job.
TEST(WaitBox, OnlyAnulujAsksTheJobToStopEarly) {
    using E = CWaitBoxState::Event;
    const std::tuple<std::vector<E>, std::vector<bool>, bool> cases[] = {
        // the events, whether each ends the modal run, whether the job is asked to stop
        {{E::CloseKey}, {true}, false},
        {{E::CloseKey, E::JobDone}, {true, false}, false}, // the job's end while the box is already closing
        {{E::JobDone, E::CloseKey}, {true, false}, false},
        {{E::StopButton}, {false}, true},
        {{E::StopButton, E::JobDone}, {false, true}, true},
    };
    for (const auto& [events, ends, stopRequested] : cases) {
        CWaitBoxState state;
        std::vector<bool> ended;
        for (const E event : events)
            ended.push_back(state.handle(event));
        EXPECT_EQ(ended, ends);
        EXPECT_EQ(state.stopRequested(), stopRequested);
    }
}

TEST(HyperlinkFallback, RegisteredCommandLosesItsPlaceholder) {
    const std::tuple<const char*, const char*> cases[] = {
        {"\"C:\\Web\\browser.exe\" \"%1\"", "\"C:\\Web\\browser.exe\"  https://hx350.example/"},
        {"browser.exe -nohome \"%1\" -new", "browser.exe -nohome  https://hx350.example/"},
        {"browser.exe %1", "browser.exe  https://hx350.example/"},
        {"browser.exe", "browser.exe https://hx350.example/"},
    };
    for (const auto& [registered, expected] : cases)
        EXPECT_EQ(fallbackOpenCommand(registered, "https://hx350.example/"), expected) << registered;
    EXPECT_EQ(openErrorText(26), "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(openErrorText(-7), "Unable to open hyperlink:\n\nUnknown Error (-7) occurred.");
}

TEST(PlotLaunch, GrapherBesideTheProgramWithTheLiveRecording) {
    RecordingSettings on;
    on.binaryEnabled = 1;
    on.binaryFileName = "C:\\Pomiary\\pomiary \xb9\x9c.hxg"; // "ąś" in Windows-1250
    RecordingSettings off = on;
    off.binaryEnabled = 0;
    RecordingSettings unnamed;
    unnamed.binaryEnabled = 1;
    const std::tuple<const char*, const RecordingSettings*, const char*> cases[] = {
        {"C:\\Program Files\\HX350\\HX350.exe", &on,
         "\"C:\\Program Files\\HX350\\Plot.exe\" \"C:\\Pomiary\\pomiary ąś.hxg\""},
        {"C:\\HX350\\HX350.exe", &off, "\"C:\\HX350\\Plot.exe\""},
        {"C:\\HX350\\HX350.exe", &unnamed, "\"C:\\HX350\\Plot.exe\""},
        {"\\\\server\\share\\HX350.exe", &off, "\"\\\\server\\share\\Plot.exe\""},
    };
    for (const auto& [program, recording, expected] : cases)
        EXPECT_EQ(plotCommandLine(plotPath(program), *recording), expected) << program;
}

// The help window finds a section by its heading: every title must be a heading of the document's source.
TEST(HelpSections, RequestsOpenTheirSectionFoundByItsHeading) {
    for (const auto& [context, title] : std::vector<std::pair<int, const char*>>{
             {100, "Okno główne i menu"}, {150, "Łącza DDE dla arkuszy kalkulacyjnych"}, {0, "Okno główne i menu"}})
        EXPECT_EQ(helpSections()[helpSectionFor(context)].title, title) << context;
    std::ifstream file(HX350_TEST_DATA_DIR "/../../res/help.txt");
    ASSERT_TRUE(file) << "res/help.txt";
    std::stringstream text;
    text << file.rdbuf();
    const std::string document = "\n" + text.str();
    for (const HelpSection& section : helpSections())
        EXPECT_NE(document.find("\n# " + section.title + "\n"), std::string::npos) << section.title;
}

TEST(DpiScale, ScalesFrom96DpiUnitsAndKeepsTheMarginInItsRange) {
    const std::tuple<int, int, int> cases[] = {
        {60, 96, 60},      {60, 144, 90}, {60, 192, 120}, {101, 144, 152},         {-60, 144, -90},
        {-101, 144, -152}, {3, 120, 4},   {100, 0, 100},  {INT_MAX, 192, INT_MAX}, {INT_MIN, 192, INT_MIN},
    };
    for (const auto& [value, dpi, pixels] : cases)
        EXPECT_EQ(scaleToDpi(value, dpi), pixels) << value << " at " << dpi;
    const std::tuple<int, int, int> margins[] = {{3, 96, 3}, {3, 144, 5}, {0, 192, 4}, {40, 96, 20}, {40, 144, 30}};
    for (const auto& [frame, dpi, margin] : margins)
        EXPECT_EQ(layoutMargin(frame, dpi), margin) << frame << " at " << dpi;
}

// What the settings file holds must come back unchanged from a window on any monitor.
TEST(DpiScale, SettingsRoundTripUnchanged) {
    for (int dpi : {96, 120, 144, 168, 192, 288})
        for (int value : {-32000, -101, -60, -1, 0, 1, 2, 7, 60, 99, 101, 700, 1279, 32000}) {
            EXPECT_EQ(scaleTo96(scaleToDpi(value, dpi), dpi), value) << value << " at " << dpi;
            const WindowRect rect{value, value + 1, value + 600, value + 400};
            const WindowRect back = rectTo96(rectToDpi(rect, dpi), dpi);
            EXPECT_EQ(back.left, rect.left);
            EXPECT_EQ(back.bottom, rect.bottom);
        }
}

} // namespace
