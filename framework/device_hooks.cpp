#include "framework/device_hooks.h"

#include <algorithm>
#include <vector>

namespace {

struct hook_pair {
    int id;
    device_hook release;
    device_hook restore;
};

// Function-local so that a registration from any static initialiser finds the list made.
std::vector<hook_pair>& hooks() {
    static std::vector<hook_pair> list;
    return list;
}

int next_id = 1;

} // namespace

int add_device_hooks(device_hook release, device_hook restore) {
    hooks().push_back({next_id, std::move(release), std::move(restore)});
    return next_id++;
}

void remove_device_hooks(int id) {
    std::erase_if(hooks(), [id](const hook_pair& h) { return h.id == id; });
}

void run_device_release_hooks() {
    // A copy: a callback may unregister itself (or another) while the list is walked.
    const std::vector<hook_pair> list = hooks();
    for (const hook_pair& h : list)
        if (h.release) h.release();
}

void run_device_restore_hooks() {
    // Reverse order: what was given up last is made again first, as with nested owners.
    const std::vector<hook_pair> list = hooks();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->restore) it->restore();
}

int device_hook_count() {
    return static_cast<int>(hooks().size());
}
