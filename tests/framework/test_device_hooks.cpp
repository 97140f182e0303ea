// The device hooks: release callbacks in the order of registration, restore callbacks in the
// reverse order, and the list safe to change from inside a callback.
#include <gtest/gtest.h>

#include <string>

#include "framework/device_hooks.h"

namespace {

class DeviceHooks : public ::testing::Test {
  protected:
    ~DeviceHooks() override {
        for (int id : ids)
            remove_device_hooks(id);
    }
    int add(const std::string& name) {
        ids.push_back(
            add_device_hooks([this, name] { log += "-" + name; }, [this, name] { log += "+" + name; }));
        return ids.back();
    }
    std::vector<int> ids;
    std::string log;
};

TEST_F(DeviceHooks, ReleaseInOrderRestoreInReverse) {
    const int before = device_hook_count();
    add("a");
    const int b = add("b");
    add("c");
    EXPECT_EQ(device_hook_count(), before + 3);
    run_device_release_hooks();
    run_device_restore_hooks();
    EXPECT_EQ(log, "-a-b-c+c+b+a");
    remove_device_hooks(b);
    remove_device_hooks(b); // unknown now: ignored
    remove_device_hooks(-5);
    log.clear();
    run_device_release_hooks();
    run_device_restore_hooks();
    EXPECT_EQ(log, "-a-c+c+a");
    EXPECT_EQ(device_hook_count(), before + 2);
}

TEST_F(DeviceHooks, ACallbackMayUnregisterItselfAndEmptyOnesAreSkipped) {
    int self = 0;
    self = add_device_hooks(
        [&] {
            log += "-once";
            remove_device_hooks(self);
        },
        nullptr);
    ids.push_back(add_device_hooks(nullptr, [this] { log += "+only"; }));
    add("x");
    run_device_release_hooks();
    run_device_restore_hooks();
    run_device_release_hooks();
    EXPECT_EQ(log, "-once-x+x+only-x");
}

} // namespace
