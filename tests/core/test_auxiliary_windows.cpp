#include "ui/help_sections.h"
#include "ui/hyperlink_text.h"
#include "ui/plot_launch.h"
#include "ui/wait_box.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// Regression: closing the box (Enter, Escape) asked the port enumeration to stop, so the port list came out cut
// short although the box still waited for the job.
TEST(WaitBox, OnlyAnulujAsksTheJobToStopEarly) {
    using E = CWaitBoxState::Event;
    const struct {
        std::vector<E> events;
        std::vector<bool> ends; // whether each event ends the modal run
        bool stopRequested;
    } cases[] = {
        {{E::CloseKey}, {true}, false},
        {{E::CloseKey, E::JobDone}, {true, false}, false}, // the job's end while the box is already closing
        {{E::JobDone, E::CloseKey}, {true, false}, false},
        {{E::StopButton}, {false}, true},
        {{E::StopButton, E::JobDone}, {false, true}, true},
    };
    for (const auto& c : cases) {
        CWaitBoxState state;
        std::vector<bool> ends;
        for (const E event : c.events)
            ends.push_back(state.handle(event));
        EXPECT_EQ(ends, c.ends);
        EXPECT_EQ(state.stopRequested(), c.stopRequested);
    }
}

TEST(HyperlinkFallback, RegisteredCommandLosesItsPlaceholder) {
    const struct {
        const char* registered;
        const char* expected;
    } cases[] = {
        {"\"C:\\Web\\browser.exe\" \"%1\"", "\"C:\\Web\\browser.exe\"  https://hx350.example/"},
        {"browser.exe -nohome \"%1\" -new", "browser.exe -nohome  https://hx350.example/"},
        {"browser.exe %1", "browser.exe  https://hx350.example/"},
        {"browser.exe", "browser.exe https://hx350.example/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fallbackOpenCommand(c.registered, "https://hx350.example/"), c.expected) << c.registered;
}

TEST(HyperlinkFallback, ErrorTexts) {
    const struct {
        int code;
        const char* reason;
    } cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {26, "A sharing violation occurred. "},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {4, "Unknown Error (4) occurred."},
        {-7, "Unknown Error (-7) occurred."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(openErrorText(c.code), std::string("Unable to open hyperlink:\n\n") + c.reason) << c.code;
}

TEST(PlotLaunch, GrapherBesideTheProgramWithTheLiveRecording) {
    RecordingSettings on;
    on.binaryEnabled = 1;
    on.binaryFileName = "C:\\Pomiary\\pomiary \xb9\x9c.hxg"; // "ąś" in Windows-1250
    RecordingSettings off = on;
    off.binaryEnabled = 0;
    RecordingSettings unnamed;
    unnamed.binaryEnabled = 1;
    const struct {
        const char* program;
        const RecordingSettings* recording;
        const char* expected;
    } cases[] = {
        {"C:\\Program Files\\HX350\\HX350.exe", &on,
         "\"C:\\Program Files\\HX350\\Plot.exe\" \"C:\\Pomiary\\pomiary ąś.hxg\""},
        {"C:\\HX350\\HX350.exe", &off, "\"C:\\HX350\\Plot.exe\""},
        {"C:\\HX350\\HX350.exe", &unnamed, "\"C:\\HX350\\Plot.exe\""},
        {"\\\\server\\share\\HX350.exe", &off, "\"\\\\server\\share\\Plot.exe\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plotCommandLine(plotPath(c.program), *c.recording), c.expected) << c.program;
}

TEST(HelpSections, RequestsOpenTheirSection) {
    const struct {
        int context;
        const char* title;
    } cases[] = {{100, "Okno główne i menu"},
                 {150, "Łącza DDE dla arkuszy kalkulacyjnych"},
                 {0, "Okno główne i menu"},
                 {9999, "Okno główne i menu"}};
    for (const auto& c : cases)
        EXPECT_EQ(helpSections()[helpSectionFor(c.context)].title, c.title) << c.context;
}

// The help window finds a section by its heading: every title must be a heading of the document's source.
TEST(HelpSections, EveryTitleIsAHeadingOfTheDocument) {
    std::ifstream file(HX350_TEST_DATA_DIR "/../../res/help.txt");
    ASSERT_TRUE(file) << "res/help.txt";
    std::stringstream text;
    text << file.rdbuf();
    const std::string document = "\n" + text.str();
    for (const HelpSection& section : helpSections())
        EXPECT_NE(document.find("\n# " + section.title + "\n"), std::string::npos) << section.title;
}

} // namespace
