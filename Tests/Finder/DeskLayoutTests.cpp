#include "Finder/DeskLayout.h"
#include "Finder/FinderIcons.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

using Points = std::vector<cg::Point>;
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

ReplyItem positions(const Points& ps) {
    std::vector<ReplyItem> items;
    for (const auto& p : ps) items.push_back(ReplyItem::point(p.x, p.y));
    return ReplyItem::of(std::move(items));
}

ReplyItem reply(ReplyItem first, ReplyItem icon = ReplyItem::of(48.0), ReplyItem text = ReplyItem::of(14.0),
                ReplyItem label = ReplyItem::of(std::string("bottom"))) {
    return ReplyItem::of(std::vector<ReplyItem>{std::move(first), std::move(icon), std::move(text), std::move(label)});
}

DeskLayout parsed(const ReplyItem& r, PrefValue draws = {}) {
    const FinderResult result = FinderIcons::layout(r, draws);
    EXPECT_TRUE(result.ok());
    return result.ok() ? result.layout() : DeskLayout{};
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

TEST(DeskLayoutParse, AReplyWithoutFourItemsIsAnError) {
    const ReplyItem first = positions({{1, 2}});
    const ReplyItem three = ReplyItem::of(std::vector<ReplyItem>{first, ReplyItem::of(64.0), ReplyItem::of(12.0)});
    ReplyItem five = reply(first);
    five.items.push_back(ReplyItem::of(1.0));
    const ReplyItem missingFirst = reply(ReplyItem::none());
    for (const ReplyItem& r : {three, five, missingFirst, ReplyItem::none(), ReplyItem::of(3.0)}) {
        const FinderResult result = FinderIcons::layout(r, {});
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().domain, "Finder");
        EXPECT_EQ(result.error().code, -1);
    }
}

TEST(DeskLayoutParse, ASourceErrorPassesThroughUnchanged) {
    const FinderResult result = FinderIcons::layout(FinderError{"Finder", -1743, "not allowed"}, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, -1743);
}

TEST(DeskLayoutParse, SkipsMalformedPositionsAndKeepsTheRest) {
    using R = ReplyItem;
    const R first = R::of(std::vector<R>{
        R::point(10, 20),
        R::of(std::vector<R>{R::of(1.0)}),                        // one number
        R::of(std::vector<R>{R::of(1.0), R::of(2.0), R::of(3.0)}),  // three
        R::of(std::vector<R>{R::of(1.0), R::none()}),             // second missing
        R::of(std::vector<R>{R::none(), R::of(1.0)}),             // first missing
        R::of(std::vector<R>{R::of(std::string("3")), R::of(4.0)}),  // not a number
        R::of(std::vector<R>{R::of(notANumber), R::of(4.0)}),
        R::of(std::vector<R>{R::of(5.0), R::of(infinity)}),
        R::none(),
        R::of(7.0),
        R::point(30, 40),
    });
    EXPECT_EQ(parsed(reply(first)).centers, (Points{{10, 20}, {30, 40}}));
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
    for (const Case& c : cases) EXPECT_EQ(parsed(reply(positions(c.in))).centers, c.out);
}

TEST(DeskLayoutParse, SizesFallBackWhenMissingOrUnusable) {
    struct Case {
        ReplyItem icon, text;
        double iconSize, textSize;
    };
    const Case cases[] = {
        {ReplyItem::of(48.0), ReplyItem::of(14.0), 48, 14},
        {ReplyItem::none(), ReplyItem::none(), 64, 12},
        {ReplyItem::of(0.0), ReplyItem::of(-3.0), 64, 12},
        {ReplyItem::of(notANumber), ReplyItem::of(infinity), 64, 12},
        {ReplyItem::of(std::string("96")), ReplyItem::of(std::vector<ReplyItem>{}), 64, 12},
        // Sizes no icon manager draws (a broken setting) leave the defaults too; the range's ends count.
        {ReplyItem::of(0.5), ReplyItem::of(1e6), 64, 12},
        {ReplyItem::of(5000.0), ReplyItem::of(1e308), 64, 12},
        {ReplyItem::of(1e308), ReplyItem::of(3.5), 64, 12},
        {ReplyItem::of(8.0), ReplyItem::of(4.0), 8, 4},
        {ReplyItem::of(512.0), ReplyItem::of(128.0), 512, 128},
        {ReplyItem::of(513.0), ReplyItem::of(129.0), 64, 12},
    };
    for (const Case& c : cases) {
        const DeskLayout l = parsed(reply(positions({}), c.icon, c.text));
        EXPECT_EQ(l.iconSize, c.iconSize);
        EXPECT_EQ(l.textSize, c.textSize);
    }
}

TEST(DeskLayoutParse, LabelsStandRightOnlyForTheExactWordRight) {
    struct Case {
        ReplyItem label;
        bool right;
    };
    const Case cases[] = {
        {ReplyItem::of(std::string("right")), true},   {ReplyItem::of(std::string("bottom")), false},
        {ReplyItem::of(std::string("Right")), false},  {ReplyItem::of(std::string("right ")), false},
        {ReplyItem::none(), false},                    {ReplyItem::of(1.0), false},
    };
    for (const Case& c : cases) EXPECT_EQ(parsed(reply(positions({}), ReplyItem::none(), ReplyItem::none(), c.label)).labelsRight, c.right);
}

TEST(DeskLayoutParse, NoDesktopDropsThePositionsButKeepsTheSizesAndLabelSide) {
    const ReplyItem r = reply(positions({{1, 2}, {3, 4}}), ReplyItem::of(96.0), ReplyItem::of(16.0),
                              ReplyItem::of(std::string("right")));
    EXPECT_EQ(parsed(r, false), (DeskLayout{{}, 96, 16, true}));
    EXPECT_EQ(parsed(r, std::string("NO")), (DeskLayout{{}, 96, 16, true}));
    EXPECT_EQ(parsed(r, true), (DeskLayout{{{1, 2}, {3, 4}}, 96, 16, true}));
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
