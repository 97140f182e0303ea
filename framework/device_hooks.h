// Device hooks: whatever keeps default-pool resources on the device outside the framework (a
// battle's render targets, for example) registers a pair of callbacks here. recover_device runs
// every release callback before the device is reset and every restore callback after it, on
// every screen, so no default-pool resource is alive when Reset is called, whoever owns it.
#pragma once
#include <functional>

using device_hook = std::function<void()>;

// Registers a pair (either may be empty); returns an id for remove_device_hooks. Release
// callbacks run in the order of registration, restore callbacks in the reverse order.
int add_device_hooks(device_hook release, device_hook restore);
// Unregisters a pair; an unknown id is ignored.
void remove_device_hooks(int id);
// Called by the recovery around a reset: every owner gives up its default-pool resources,
// and afterwards makes them again. Safe to call when nothing is registered.
void run_device_release_hooks();
void run_device_restore_hooks();
// Registered pairs (for tests and diagnostics).
int device_hook_count();
