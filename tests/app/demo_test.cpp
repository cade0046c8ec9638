// scripts/demo, run as a user would run it, in a private network.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/child_process.h"
#include "support/private_network.h"
#include "support/temp_dir.h"

namespace nimbrel {
namespace {

TEST(Demo, TranscriptShowsTheBotsGreetings) {
    NIMBREL_ENTER_PRIVATE_NETWORK();
    test::TempDir dir;
    test::ChildProcess demo("/bin/bash", {NIMBREL_SOURCE_DIR "/scripts/demo"}, dir.Path().string(),
                            dir.File("stdout"), {"NIMBREL_BIN_DIR=" NIMBREL_BINARY_DIR});
    ASSERT_TRUE(demo.Started());
    EXPECT_EQ(demo.WaitForExit(std::chrono::seconds(60)), 0);
    const std::string output = test::ReadFile(dir.File("stdout"));
    for (const char* line : {"<Guest> Hi, all!\n", "<Guest> Hi, Alice!\n", "<Guest> Hi, Bob!\n",
                             "<Alice> Hello, is anyone here?\n", "Attempting to connect...\n"}) {
        EXPECT_NE(output.find(line), std::string::npos) << line << " is missing from:\n" << output;
    }
}

}  // namespace
}  // namespace nimbrel
