#include <gtest/gtest.h>

#include <vector>

#include "focus_order.h"

namespace vossel {
namespace {

// The skin's ten elements in their table's order, at their corners: the
// launcher sits a little higher than the three small buttons beside it, the
// check boxes at the bottom with "Load CMOS default" on the left.
std::vector<FocusCandidate> Skin() {
    return {
        {362, 73, true},   // 0 update from server
        {362, 98, true},   // 1 update from file
        {362, 123, true},  // 2 save
        {362, 148, true},  // 3 about
        {250, 207, true},  // 4 clear DMI
        {475, 30, true},   // 5 minimize
        {504, 30, true},   // 6 exit
        {383, 23, true},   // 7 launcher
        {446, 30, true},   // 8 help
        {61, 207, true},   // 9 load CMOS default
    };
}

std::vector<int> Walk(const std::vector<FocusCandidate>& elements, int from, bool backward, size_t steps) {
    std::vector<int> seen;
    for (size_t i = 0; i < steps; ++i) {
        from = NextFocus(elements.data(), elements.size(), from, backward);
        seen.push_back(from);
    }
    return seen;
}

TEST(NextFocus, WalksTheEnabledElementsInReadingOrderBothWaysAndWraps) {
    const std::vector<int> reading = {7, 8, 5, 6, 0, 1, 2, 3, 9, 4};
    std::vector<int> twice = reading;
    twice.insert(twice.end(), reading.begin(), reading.end());
    EXPECT_EQ(Walk(Skin(), -1, false, 20), twice);
    const std::vector<int> back = {4, 9, 3, 2, 1, 0, 6, 5, 8, 7, 4};
    EXPECT_EQ(Walk(Skin(), -1, true, 11), back);
    // From an element in the middle, each way.
    EXPECT_EQ(NextFocus(Skin().data(), 10, 1, false), 2);
    EXPECT_EQ(NextFocus(Skin().data(), 10, 1, true), 0);
    // An index outside the list counts as none.
    EXPECT_EQ(NextFocus(Skin().data(), 10, 99, false), 7);
}

TEST(NextFocus, SkipsDisabledElementsAndFindsNoneWhenAllAre) {
    struct Case {
        const char* name;
        std::vector<int> disabled;
        int from;
        bool backward;
        int expected;
    };
    const Case cases[] = {
        {"the next one disabled", {2}, 1, false, 3},
        {"a run of them, across the wrap", {9, 4, 7}, 3, false, 8},
        {"backward over the wrap", {8, 7, 4}, 5, true, 9},
        {"the focused one itself disabled", {1}, 1, false, 2},
        {"only the focused one enabled", {0, 2, 3, 4, 5, 6, 7, 8, 9}, 1, false, 1},
        {"none enabled, from an element", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, false, -1},
        {"none enabled, from none", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, -1, true, -1},
    };
    for (const Case& c : cases) {
        std::vector<FocusCandidate> elements = Skin();
        for (int i : c.disabled) elements[size_t(i)].enabled = false;
        EXPECT_EQ(NextFocus(elements.data(), elements.size(), c.from, c.backward), c.expected) << c.name;
    }
    EXPECT_EQ(NextFocus(nullptr, 0, -1, false), -1) << "no elements";
}

}  // namespace
}  // namespace vossel
