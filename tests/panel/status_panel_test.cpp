#include "ui/panel/status_panel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "burn/shared_values.h"
#include "tests/panel/recording_canvas.h"

namespace norvane {
namespace {

using testing::Fill;
using testing::RecordingCanvas;
using testing::Text;
using Kind = RecordingCanvas::Kind;

bool operator==(const PanelRect& a, const PanelRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class StatusPanelTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetBurnValues(); }
    void TearDown() override { ResetBurnValues(); }

    RecordingCanvas canvas;
};

// Every element must set transparent text before it draws anything, and every
// text area must be erased before its text is drawn, or a shorter number would
// leave digits of a longer one behind.
void ExpectErasedBeforeDrawn(const RecordingCanvas& canvas) {
    ASSERT_FALSE(canvas.operations.empty());
    EXPECT_EQ(canvas.operations.front().kind, Kind::Transparent);
    bool seenText = false;
    for (const auto& op : canvas.operations) {
        if (op.kind == Kind::Text) {
            seenText = true;
        }
        if (op.kind == Kind::Fill) {
            EXPECT_FALSE(seenText) << "an area was filled after a text was drawn";
        }
    }
}

TEST_F(StatusPanelTest, BarGeometryFollowsThePercentage) {
    struct Case {
        std::int32_t percent;
        int right;
    };
    const Case cases[] = {{0, 10},    {1, 15},  {33, 178},  {50, 265},      {99, 514},
                          {100, 520}, {-5, 10}, {101, 520}, {INT_MAX, 520}, {INT_MIN, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        canvas.operations.clear();
        progress = c.percent;
        DisplayProgressBar(canvas);
        const std::vector<Fill> fills = canvas.Fills();
        ASSERT_EQ(fills.size(), 3u);
        EXPECT_TRUE((fills[0].rect == PanelRect{10, 105, 520, 125}));
        EXPECT_EQ(fills[0].colour, PanelColour::BarBackground);
        EXPECT_TRUE((fills[1].rect == PanelRect{10, 105, c.right, 125}));
        EXPECT_EQ(fills[1].colour, PanelColour::BarFill);
        EXPECT_TRUE((fills[2].rect == PanelRect{10, 140, 130, 160}));
        EXPECT_EQ(fills[2].colour, PanelColour::Background);
        ExpectErasedBeforeDrawn(canvas);
    }
}

TEST_F(StatusPanelTest, NumbersAreRightAlignedAndNeverCut) {
    struct Case {
        std::int32_t value;
        const char* shown;
    };
    const Case cases[] = {{0, "  0"},
                          {7, "  7"},
                          {42, " 42"},
                          {100, "100"},
                          {1234, "1234"},
                          {-1, " -1"},
                          {INT_MAX, "2147483647"},
                          {INT_MIN, "-2147483648"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(PanelNumber(c.value), c.shown);

        canvas.operations.clear();
        elapsedTime = c.value;
        DisplayElapsedTime(canvas);
        const std::vector<Text> texts = canvas.Texts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[1].x, 270);
        EXPECT_EQ(texts[1].y, 70);
        EXPECT_EQ(texts[1].text, c.shown);
    }
}

TEST_F(StatusPanelTest, ElapsedTimeErasesItsAreaAndDrawsTheLabel) {
    elapsedTime = 7;
    DisplayElapsedTime(canvas);
    ExpectErasedBeforeDrawn(canvas);
    const std::vector<Fill> fills = canvas.Fills();
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_TRUE((fills[0].rect == PanelRect{160, 70, 335, 90}));
    EXPECT_EQ(fills[0].colour, PanelColour::Background);
    const std::vector<Text> texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "Elapsed Time:" + std::string(14, ' ') + "sec");
    EXPECT_EQ(texts[0].x, 160);
    EXPECT_EQ(texts[0].y, 70);
}

TEST_F(StatusPanelTest, ProgressTextPutsTheNumberBeforeThePercentSign) {
    progress = 50;
    DisplayProgressBar(canvas);
    const std::vector<Text> texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "Progress:" + std::string(12, ' ') + "%");
    EXPECT_EQ(texts[0].x, 10);
    EXPECT_EQ(texts[0].y, 140);
    EXPECT_EQ(texts[1].text, " 50");
    EXPECT_EQ(texts[1].x, 85);
    EXPECT_EQ(texts[1].y, 140);
}

TEST_F(StatusPanelTest, PhaseWordFollowsFlashStatus) {
    struct Case {
        std::int32_t phase;
        const char* word;  // nullptr: only the label is drawn
    };
    const Case cases[] = {{0, "Idle"},  {1, "Erasing"}, {2, "Programming"},
                          {3, nullptr}, {-1, nullptr},  {INT_MAX, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        canvas.operations.clear();
        flashStatus = c.phase;
        DisplayStatus(canvas);
        ExpectErasedBeforeDrawn(canvas);
        const std::vector<Fill> fills = canvas.Fills();
        ASSERT_EQ(fills.size(), 1u);
        EXPECT_TRUE((fills[0].rect == PanelRect{160, 140, 300, 160}));
        const std::vector<Text> texts = canvas.Texts();
        ASSERT_EQ(texts.size(), c.word ? 2u : 1u);
        EXPECT_EQ(texts[0].text, "Status: ");
        EXPECT_EQ(texts[0].x, 160);
        if (c.word != nullptr) {
            EXPECT_EQ(texts[1].text, c.word);
            EXPECT_EQ(texts[1].x, 209);
            EXPECT_EQ(texts[1].y, 140);
        }
    }
}

TEST_F(StatusPanelTest, RetryCountersShowBothNumbersInFull) {
    struct Case {
        std::int32_t current;
        std::int32_t total;
        const char* shown;
    };
    const Case cases[] = {
        {0, 0, "# of Error/Total Error: 0/0"},
        {2, 5, "# of Error/Total Error: 2/5"},
        {INT_MIN, INT_MAX, "# of Error/Total Error: -2147483648/2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        canvas.operations.clear();
        errCounter = c.current;
        totalErrCounter = c.total;
        DisplayErrCounter(canvas);
        ExpectErasedBeforeDrawn(canvas);
        const std::vector<Fill> fills = canvas.Fills();
        ASSERT_EQ(fills.size(), 1u);
        EXPECT_TRUE((fills[0].rect == PanelRect{320, 140, 540, 160}));
        const std::vector<Text> texts = canvas.Texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, c.shown);
        EXPECT_EQ(texts[0].x, 320);
        EXPECT_EQ(texts[0].y, 140);
    }
}

TEST_F(StatusPanelTest, DateAndLogoAreDrawnInPlaceWithoutErasing) {
    DisplayDate(canvas);
    DisplayLogo(canvas);
    EXPECT_TRUE(canvas.Fills().empty());
    const std::vector<Text> texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "Date: 2022/06/13");
    EXPECT_EQ(texts[0].x, 300);
    EXPECT_EQ(texts[0].y, 25);
    ASSERT_EQ(canvas.operations.back().kind, Kind::Logo);
    EXPECT_EQ(canvas.operations.back().rect.left, 435);
    EXPECT_EQ(canvas.operations.back().rect.top, 15);
}

int CountLogos(const RecordingCanvas& canvas) {
    int logos = 0;
    for (const auto& op : canvas.operations) {
        logos += op.kind == Kind::Logo ? 1 : 0;
    }
    return logos;
}

TEST_F(StatusPanelTest, PaintLeavesTheLogoToTheNextTick) {
    PaintStatusPanel(canvas);
    EXPECT_EQ(CountLogos(canvas), 0);
    const std::vector<Text> painted = canvas.Texts();

    RecordingCanvas tick;
    RefreshStatusPanel(tick);
    EXPECT_EQ(CountLogos(tick), 1);
    EXPECT_EQ(tick.operations.back().kind, Kind::Logo);
    const std::vector<Text> ticked = tick.Texts();
    ASSERT_EQ(ticked.size(), painted.size());
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        EXPECT_EQ(ticked[i].text, painted[i].text);
    }
}

TEST_F(StatusPanelTest, IdlePanelBetweenBurns) {
    RefreshStatusPanel(canvas);
    std::vector<std::string> texts;
    for (const Text& t : canvas.Texts()) {
        texts.push_back(t.text);
    }
    const std::vector<std::string> expected = {
        "Elapsed Time:" + std::string(14, ' ') + "sec",
        "  0",
        "Progress:" + std::string(12, ' ') + "%",
        "  0",
        "Status: ",
        "Idle",
        "# of Error/Total Error: 0/0",
        "Date: 2022/06/13",
    };
    EXPECT_EQ(texts, expected);
    for (const Fill& fill : canvas.Fills()) {
        if (fill.colour == PanelColour::BarFill) {
            EXPECT_EQ(fill.rect.right, fill.rect.left) << "an idle bar shows no red";
        }
    }
}

}  // namespace
}  // namespace norvane
