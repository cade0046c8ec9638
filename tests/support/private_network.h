// A network namespace of the test's own, so that loopback servers on fixed ports never
// collide with another test or with anything else on the machine.
#pragma once

#include <string>

namespace nimbrel::test {

// Moves the calling process into a new network namespace with only loopback, brought up.
// Call it before starting any thread. Returns an empty text on success, or why not.
std::string EnterPrivateNetwork();

}  // namespace nimbrel::test

// Skips the test where namespaces are not permitted; under CI, where they must be, fails it.
#define NIMBREL_ENTER_PRIVATE_NETWORK()                                 \
    do {                                                                \
        const std::string why = ::nimbrel::test::EnterPrivateNetwork(); \
        if (!why.empty()) {                                             \
            if (std::getenv("CI") != nullptr) FAIL() << why;            \
            GTEST_SKIP() << why;                                        \
        }                                                               \
    } while (0)
