// The client's pauses as the program links them (the client's other tests link their own in
// their place): a pause lasts its time, and a raised wake ends one at once. The bounds are
// generous for a loaded machine: half of what a pause made ten times longer would take.
#include "platform.h"
#include "support/harness.h"

namespace nimbrel {

TEST(Pause, LastsItsTimeAndEndsAtOnceWhenWoken) {
    std::uint16_t version = 0;
    ASSERT_EQ(platform::StartUp(0x0101, version), 1);
    platform::Socket in = platform::kInvalidSocket, out = platform::kInvalidSocket;
    ASSERT_EQ(platform::OpenWake(in, out), 1);
    for (const platform::Socket wake : {platform::kInvalidSocket, in}) {
        const auto start = test::Clock::now();
        platform::SleepMs(500, wake);
        const auto took = test::Clock::now() - start;
        EXPECT_TRUE(took >= std::chrono::milliseconds(450) &&
                    took < std::chrono::milliseconds(2500))
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    }
    platform::RaiseWake(out);
    const auto start = test::Clock::now();
    platform::SleepMs(5000, in);
    EXPECT_LT(test::Clock::now() - start, std::chrono::milliseconds(2500));
    platform::CloseWake(in, out);
    platform::CleanUp();
}

}  // namespace nimbrel
