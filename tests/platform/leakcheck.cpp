// The sanitizer build's leak check must still see our own leaks while it
// ignores the graphics driver's: a device is made and released (so the
// driver is loaded and its displays closed), then a block is lost on purpose.
// Run only by the sanitizer build's "leak check" test, which expects exactly
// this block reported and no allocation left without a module to blame.
#include <cstdlib>

#include "d3d8_fixture.h"

namespace {

using LeakCheck = d3d8test::GLDeviceTest;

[[gnu::noinline]] void LoseABlock() {
    void* volatile block = std::malloc(4242);
    static_cast<char*>(block)[0] = 1;
    block = nullptr;
}

TEST_F(LeakCheck, DISABLED_ReportsOurLeakAfterTheDriverUnloads) {
    Open(32, 32);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    EXPECT_EQ(d3d->Release(), 0u);
    d3d = nullptr;
    LoseABlock();
}

}  // namespace
