#include "Finder/DeskLayout.h"
#include "Finder/FinderIcons.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Points = std::vector<cg::Point>;
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

DeskLayout stored(Points centers, double icon = 48, double text = 14, bool right = false) {
    return DeskLayout{std::move(centers), icon, text, right};
}

DeskLayout parsed(const DeskLayout& in, PrefValue draws = {}) {
    const FinderResult result = FinderIcons::layout(in, draws);
    EXPECT_TRUE(result.ok());
    return result.ok() ? result.layout() : DeskLayout{};
}

// The layout a layout file holding `json` gives, read through the reader as the program does.
FinderResult fromFile(const std::string& json) {
    TempDir dir;
    return FinderIcons(std::make_shared<LayoutFileSource>(dir.write("desktop-icons.json", json))).read();
}

}  // namespace

TEST(DrawsDesktop, ReadsTheSwitchLikeTheManagerDoes) {
    struct Case {
        PrefValue value;
        bool draws;
    };
    const Case cases[] = {
        {std::monostate{}, true},        {true, true},
        {std::string("1"), true},        {false, false},
        {std::string("false"), false},   {std::string("NO"), false},
        {0.0, false},                    {std::string("0"), false},
        {std::string("False"), false},   {std::string("fAlSe"), false},
        {std::string("No"), false},      {std::string("nO"), false},
        {std::string("yes"), true},      {std::string("off"), true},
        {std::string(""), true},         {std::string(" no"), true},
        {1.0, true},                     {2.0, true},
        {0.5, true},                     {OtherPref{}, true},
    };
    for (const Case& c : cases) EXPECT_EQ(FinderIcons::drawsDesktop(c.value), c.draws) << c.value.index();
}

// A layout file with no list of centres has no layout: the error names the file's source.
TEST(DeskLayoutParse, ALayoutFileWithoutCentresIsAnErrorNamingTheSource) {
    for (const char* json : {R"({"iconSize": 64})", R"({"centers": 3})", R"({"centers": "[[1, 2]]"})",
                             R"({"centers": null, "iconSize": 48})"}) {
        const FinderResult result = fromFile(json);
        ASSERT_FALSE(result.ok()) << json;
        EXPECT_EQ(result.error().source.rfind("layout file ", 0), 0u) << result.error().source;
        EXPECT_EQ(result.error().code, FinderError::unavailable);
        EXPECT_NE(result.error().reason.find("no \"centers\" list"), std::string::npos) << result.error().reason;
    }
}

TEST(DeskLayoutParse, ASourceErrorPassesThroughUnchanged) {
    const FinderResult result = FinderIcons::layout(FinderError{"gvfs metadata (Nemo)", -1743, "not allowed"}, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), (FinderError{"gvfs metadata (Nemo)", -1743, ""}));
    EXPECT_EQ(result.error().reason, "not allowed");
}

TEST(DeskLayoutParse, SkipsCentresThatAreNotFiniteAndKeepsTheRest) {
    const Points in = {{10, 20}, {notANumber, 4}, {5, infinity}, {-infinity, 1}, {30, 40}};
    EXPECT_EQ(parsed(stored(in)).centers, (Points{{10, 20}, {30, 40}}));
}

TEST(DeskLayoutParse, ALayoutFileSkipsMalformedPositionsAndKeepsTheRest) {
    const FinderResult result = fromFile(R"({"centers": [[10, 20], [1], [1, 2, 3], [1, null], [null, 1],
                                              ["3", 4], 7, null, {"x": 1, "y": 2}, [30, 40]]})");
    ASSERT_TRUE(result.ok()) << result.error().reason;
    EXPECT_EQ(result.layout().centers, (Points{{10, 20}, {30, 40}}));
}

TEST(DeskLayoutParse, SortsByXThenY) {
    struct Case {
        Points in, out;
    };
    const Case cases[] = {
        {{{1800, 300}, {100, 50}}, {{100, 50}, {1800, 300}}},
        {{{5, 9}, {5, 3}}, {{5, 3}, {5, 9}}},
        {{{5, 9}, {-1, 0}, {5, 3}, {5, 9}, {0, 100}}, {{-1, 0}, {0, 100}, {5, 3}, {5, 9}, {5, 9}}},
        {{}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(parsed(stored(c.in)).centers, c.out);
}

TEST(DeskLayoutParse, SizesFallBackWhenUnusable) {
    struct Case {
        double icon, text;
        double iconSize, textSize;
    };
    const Case cases[] = {
        {48, 14, 48, 14},
        {0, -3, 64, 12},
        {notANumber, infinity, 64, 12},
        // Sizes no icon manager draws (a broken setting) leave the defaults too; the range's ends count.
        {0.5, 1e6, 64, 12},
        {5000, 1e308, 64, 12},
        {1e308, 3.5, 64, 12},
        {8, 4, 8, 4},
        {512, 128, 512, 128},
        {513, 129, 64, 12},
    };
    for (const Case& c : cases) {
        const DeskLayout l = parsed(stored({}, c.icon, c.text));
        EXPECT_EQ(l.iconSize, c.iconSize) << c.icon;
        EXPECT_EQ(l.textSize, c.textSize) << c.text;
    }
}

TEST(DeskLayoutParse, ALayoutFileSizeThatIsMissingOrNotANumberLeavesTheDefault) {
    struct Case {
        const char* sizes;
        double iconSize, textSize;
    };
    const Case cases[] = {
        {R"("iconSize": 48, "textSize": 14)", 48, 14},
        {"", 64, 12},
        {R"("iconSize": null, "textSize": null)", 64, 12},
        {R"("iconSize": "96", "textSize": [])", 64, 12},
        {R"("iconSize": 5000, "textSize": 1e6)", 64, 12},
        {R"("iconSize": 512, "textSize": 4)", 512, 4},
    };
    for (const Case& c : cases) {
        const std::string sep = *c.sizes ? ", " : "";
        const FinderResult result = fromFile(std::string(R"({"centers": [])") + sep + c.sizes + "}");
        ASSERT_TRUE(result.ok()) << c.sizes;
        EXPECT_EQ(result.layout().iconSize, c.iconSize) << c.sizes;
        EXPECT_EQ(result.layout().textSize, c.textSize) << c.sizes;
    }
}

TEST(DeskLayoutParse, LabelsStandRightOnlyForTheExactWordRight) {
    struct Case {
        const char* label;
        bool right;
    };
    const Case cases[] = {
        {R"(, "labelPosition": "right")", true},   {R"(, "labelPosition": "bottom")", false},
        {R"(, "labelPosition": "Right")", false},  {R"(, "labelPosition": "right ")", false},
        {"", false},                               {R"(, "labelPosition": 1)", false},
        {R"(, "labelPosition": ["right"])", false},
    };
    for (const Case& c : cases) {
        const FinderResult result = fromFile(std::string(R"({"centers": [])") + c.label + "}");
        ASSERT_TRUE(result.ok()) << c.label;
        EXPECT_EQ(result.layout().labelsRight, c.right) << c.label;
    }
}

TEST(DeskLayoutParse, NoDesktopDropsThePositionsButKeepsTheSizesAndLabelSide) {
    const DeskLayout in = stored({{1, 2}, {3, 4}}, 96, 16, true);
    EXPECT_EQ(parsed(in, false), (DeskLayout{{}, 96, 16, true}));
    EXPECT_EQ(parsed(in, std::string("NO")), (DeskLayout{{}, 96, 16, true}));
    EXPECT_EQ(parsed(in, true), (DeskLayout{{{1, 2}, {3, 4}}, 96, 16, true}));
}

TEST(DeskLayoutPrint, ShowsEveryFieldSoAFailureSaysWhatDiffers) {
    struct Case {
        FinderResult value;
        const char* text;
    };
    const Case cases[] = {
        {DeskLayout{{{1.5, 2}, {3, 4}}, 48, 10, true},
         "DeskLayout{icon 48, text 10, labels right, centers [(1.5, 2), (3, 4)]}"},
        {DeskLayout{}, "DeskLayout{icon 64, text 12, labels bottom, centers []}"},
        {FinderError{"layout file /x.json", -1, "cannot read /x.json", true},
         "FinderError{layout file /x.json, code -1, \"cannot read /x.json\", quiet}"},
        {FinderError{"fake", 7, "why"}, "FinderError{fake, code 7, \"why\"}"},
    };
    for (const Case& c : cases) EXPECT_EQ(testing::PrintToString(c.value), c.text);
}

TEST(DeskLayoutCenters, ConvertsToEachScreenAndKeepsOnlyItsOwn) {
    const DeskLayout layout{{{100, 50}, {1800, 300}}};
    EXPECT_EQ(layout.centersOn(cg::Rect(0, 0, 1710, 1112), 1112), (Points{{100, 50}}));
    EXPECT_EQ(layout.centersOn(cg::Rect(1710, 12, 1920, 1000), 1112), (Points{{90, 200}}));
}

TEST(DeskLayoutCenters, EdgesBelongToTheScreenThatStartsThere) {
    // Two screens side by side, 100 × 100 each, the second one 100 points lower.
    const cg::Rect left(0, 0, 100, 100), right(100, -100, 100, 100);
    struct Case {
        cg::Point p;
        Points onLeft, onRight;
    };
    const Case cases[] = {
        {{0, 0}, {{0, 0}}, {}},
        {{100, 50}, {}, {}},           // right edge of the left screen; above the right one
        {{100, 150}, {}, {{0, 50}}},   // left edge of the right screen
        {{50, 100}, {}, {}},           // bottom edge of the left screen
        {{150, 100}, {}, {{50, 0}}},   // top edge of the right screen
        {{notANumber, 10}, {}, {}},
        {{10, notANumber}, {}, {}},
        {{-0.5, 10}, {}, {}},
    };
    for (const Case& c : cases) {
        const DeskLayout l{{c.p}};
        EXPECT_EQ(l.centersOn(left, 100), c.onLeft) << c.p.x << "," << c.p.y;
        EXPECT_EQ(l.centersOn(right, 100), c.onRight) << c.p.x << "," << c.p.y;
    }
}
