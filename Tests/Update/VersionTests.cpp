// Version numbers: the strict grammar of their parts and the comparison the update check makes.

#include <gtest/gtest.h>

#include "Update/Version.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using Parts = std::optional<std::vector<int64_t>>;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(VersionParts, SplitsIntoOneToFourIntegersOrNothing) {
    struct Case {
        std::string text;
        Parts expected;
    };
    const Case cases[] = {
        {"1", std::vector<int64_t>{1}},
        {"1.10", std::vector<int64_t>{1, 10}},
        {"1.2.3.4", std::vector<int64_t>{1, 2, 3, 4}},
        {"007.0", std::vector<int64_t>{7, 0}},
        {"+2", std::vector<int64_t>{2}},
        {"-3.+4", std::vector<int64_t>{-3, 4}},
        {"-0", std::vector<int64_t>{0}},
        {"9223372036854775807", std::vector<int64_t>{kMax}},
        {"-9223372036854775808", std::vector<int64_t>{kMin}},
        {"1.2.3.4.5", std::nullopt},    // five parts, all numbers
        {"", std::nullopt},             // one empty piece
        {"1..2", std::nullopt},         // empty middle piece
        {"1.", std::nullopt},           // empty last piece
        {".1", std::nullopt},
        {".", std::nullopt},
        {"1.1-beta", std::nullopt},
        {"1.0b", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"++1", std::nullopt},
        {"+-1", std::nullopt},
        {"--1", std::nullopt},
        {"1+", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1.\t2", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
        {"\xd9\xa1", std::nullopt},      // ARABIC-INDIC DIGIT ONE is not an ASCII digit
        {"9223372036854775808", std::nullopt},   // one past the largest
        {"-9223372036854775809", std::nullopt},  // one past the smallest
        {"99999999999999999999999999", std::nullopt},
        {std::string("1\0" "2", 3), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Update::parts(c.text), c.expected) << '"' << c.text << '"';
}

TEST(VersionIsNewer, ComparesPartByPartAsNumbers) {
    struct Case {
        const char* candidate;
        const char* reference;
        bool newer;
    };
    const Case cases[] = {
        // The comparisons the self-test asserts.
        {"1.10", "1.9", true},
        {"2", "1.9.9", true},
        {"1.0", "1.0", false},
        {"1.0.0", "1.0", false},
        {"1.1-beta", "1.0", false},
        {"", "1.0", false},
        {"0.9", "1.0", false},
        // Further cases.
        {"1.2.3.4.5", "1.0", false},    // five parts: invalid
        {"2.0", "1.0b", false},         // an invalid running version never sees an update
        {"0.0.1", "0", true},           // an unreadable running version is "0"
        {"0", "0", false},
        {"1..2", "1.0", false},
        {"+2", "1.9", true},
        {"+2", "2", false},             // +2 equals 2
        {"1.0", "1.0.0.1", false},
        {"1.0.0.1", "1.0", true},
        {"1.9", "1.10", false},
        {"1.0", "-1", true},            // signed comparison
        {"-1", "0", false},
        {"9223372036854775807", "-9223372036854775808", true},
        {"-9223372036854775808", "9223372036854775807", false},
        {"1.2", "1.2 ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Update::isNewer(c.candidate, c.reference), c.newer) << c.candidate << " than " << c.reference;
}

}  // namespace
