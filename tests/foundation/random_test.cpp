#include "foundation/random.hpp"
#include "foundation/settings.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

class RandomChoices : public ::testing::Test {
protected:
    void SetUp() override { m_old = RANDOM.value(); }
    void TearDown() override { RANDOM.setValue(m_old); }

private:
    bool m_old = true;
};

std::vector<std::string> letters()
{
    std::vector<std::string> list;
    for (char c = 'A'; c <= 'Z'; ++c) {
        list.emplace_back(1, c);
    }
    return list;
}

} // namespace

TEST_F(RandomChoices, offMeansFirstChoiceAndUnchangedOrder)
{
    RANDOM.setValue(false);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(gf_randomBelow(10), 0u);
    }
    auto list = letters();
    for (int i = 0; i < 20; ++i) {
        gf_shuffle(list);
    }
    EXPECT_EQ(list, letters());
}

TEST_F(RandomChoices, onGivesEveryValueBelowTheBound)
{
    RANDOM.setValue(true);
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const auto value = gf_randomBelow(5);
        ASSERT_LT(value, 5u);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(gf_randomBelow(0), 0u);

    // 26! orders: twenty shuffles that all keep the order do not happen.
    auto list = letters();
    bool changed = false;
    for (int i = 0; i < 20 && !changed; ++i) {
        gf_shuffle(list);
        changed = list != letters();
    }
    EXPECT_TRUE(changed);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, letters()); // nothing lost or doubled
    std::vector<std::string> none;
    gf_shuffle(none);
    EXPECT_TRUE(none.empty());
}

TEST_F(RandomChoices, jitterIgnoresTheSetting)
{
    for (bool random : {false, true}) {
        RANDOM.setValue(random);
        std::set<double> seen;
        for (int i = 0; i < 200; ++i) {
            const double value = gf_randomJitter(8.0, 2.5);
            EXPECT_TRUE(value == 8.0 + 8.0 * 2.5 / 100.0 || value == 8.0 - 8.0 * 2.5 / 100.0) << value;
            seen.insert(value);
        }
        EXPECT_EQ(seen.size(), 2u) << random;
        EXPECT_EQ(gf_randomJitter(8.0, -5.0), 8.0);
    }
}
