#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "profile_values.h"

namespace vossel {
namespace {

// Answers every key with the same text.
class OneValue : public ProfileReader {
public:
    explicit OneValue(std::string value) : value_(std::move(value)) {}
    std::string Get(const std::string&, const std::string&) const override { return value_; }

private:
    std::string value_;
};

TEST(ReadProfileValue, CutsAsTheEngineBufferDoes) {
    struct Case {
        std::string stored;
        std::string read;
    };
    const Case cases[] = {
        {"", ""},
        {"Main", "Main"},
        {std::string(254, 'a'), std::string(254, 'a')},
        {std::string(254, 'a') + "b", std::string(254, 'a')},
        {std::string(5000, 'c'), std::string(254, 'c')},
        {std::string("ab\0cd", 5), "ab"},                  // a buffer ends at its first zero byte
        {std::string("\0cd", 3), ""},                      // ... which makes the value absent
        {"\xC4\xE3\xBA\xC3 \xFF", "\xC4\xE3\xBA\xC3 \xFF"},  // bytes above 0x7F pass unchanged
        {std::string(253, 'd') + "\xB1\xA1", std::string(253, 'd') + "\xB1"},  // counted in bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.size());
        EXPECT_EQ(c.read, ReadProfileValue(OneValue(c.stored), "S", "K"));
    }
}

TEST(LeadingDecimalInteger, Table) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"1", 1},
        {" \t12x", 12},
        {"-3", -3},
        {"+7", 7},
        {"007", 7},
        {"1.9", 1},
        {"0x10", 0},
        {"- 1", 0},
        {"\xB1" "5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.value, LeadingDecimalInteger(c.text));
    }
}

TEST(LeadingDecimalNumber, Table) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string text;
        double value;
    };
    const Case cases[] = {
        {"", 0.0},
        {"abc", 0.0},
        {"2.34", 2.34},
        {"2.35", 2.35},
        {"2.34abc", 2.34},
        {" \t2.5", 2.5},
        {"-1.5", -1.5},
        {"+3", 3.0},
        {".5", 0.5},
        {"5.", 5.0},
        {".", 0.0},
        {"-.", 0.0},
        {"1e2", 100.0},
        {"1E-1", 0.1},
        {"1e", 1.0},
        {"1e+", 1.0},
        {"1.5e+2x", 150.0},
        {"inf", 0.0},
        {"nan", 0.0},
        {"0x1p3", 0.0},
        {"1e999", inf},
        {"-1e999", -inf},
        {"1e-999", 0.0},
        {"1" + std::string(400, '0'), inf},
        {"0." + std::string(400, '0') + "1", 0.0},
        {"0." + std::string(400, '0') + "1e500", 1e99},
        {"0." + std::string(400, '0') + "1e800", inf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.value, LeadingDecimalNumber(c.text));
    }
}

}  // namespace
}  // namespace vossel
