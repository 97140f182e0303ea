// kill_during_write DIR PREFIX DELAY_US GAME: starts GAME in DIR and watches DIR; when the game
// creates a file whose name begins with PREFIX (the temporary file of a settings write), waits
// DELAY_US microseconds and kills the game with SIGKILL. With DELAY_US -1 it does not kill but
// prints how long the write took: from the creation to the rename over PREFIX's file.
// Before acting it lists other files beginning with PREFIX: a temporary file of an earlier run
// that the game's start did not remove ("STALE name").
// Prints KILLED, WRITTEN <microseconds> or EXITED <code>; exit code 0 when the game was killed or
// measured, 2 when it ended without writing, 3 when a stale file was found, 4 on a usage error.
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

int report_stale(const std::string& dir, const std::string& prefix, const std::string& current) {
    int found = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (starts_with(name, prefix) && name != current) {
                std::printf("STALE %s\n", name.c_str());
                ++found;
            }
        }
        closedir(d);
    }
    return found;
}

int g_status = -1; // the game's wait status once it has ended by itself

// The next event in DIR; false when the game ended or a minute passed.
bool next_event(int fd, pid_t game, std::string& name, uint32_t& mask) {
    static char buf[4096] __attribute__((aligned(__alignof__(inotify_event))));
    static ssize_t len = 0, at = 0;
    for (int waited = 0; waited < 60000;) {
        if (at < len) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            name = ev->len ? ev->name : "";
            mask = ev->mask;
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            len = read(fd, buf, sizeof buf);
            at = 0;
            if (len <= 0) return false;
            continue;
        }
        waited += 50;
        if (waitpid(game, &g_status, WNOHANG) == game) return false;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s DIR PREFIX DELAY_US GAME\n", argv[0]);
        return 4;
    }
    std::string dir = argv[1], prefix = argv[2];
    long delay_us = std::strtol(argv[3], nullptr, 10);
    // The game starts in DIR, so its path must not be relative.
    std::string game_path;
    if (char* resolved = realpath(argv[4], nullptr)) {
        game_path = resolved;
        std::free(resolved);
    } else {
        return 4;
    }
    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO) < 0) return 4;
    pid_t game = fork();
    if (game == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        execl(game_path.c_str(), game_path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string name, target = prefix.substr(0, prefix.rfind(".tmp-"));
    uint32_t mask = 0;
    while (next_event(fd, game, name, mask)) {
        if (!(mask & IN_CREATE) || !starts_with(name, prefix)) continue;
        auto created = std::chrono::steady_clock::now();
        int stale = report_stale(dir, prefix, name);
        if (delay_us < 0) {
            while (next_event(fd, game, name, mask))
                if ((mask & IN_MOVED_TO) && name == target) break;
            auto took = std::chrono::steady_clock::now() - created;
            std::printf(
                "WRITTEN %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
            waitpid(game, nullptr, 0);
            return stale ? 3 : 0;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
        kill(game, SIGKILL);
        waitpid(game, nullptr, 0);
        std::printf("KILLED\n");
        return stale ? 3 : 0;
    }
    if (g_status == -1) waitpid(game, &g_status, 0);
    std::printf("EXITED %d\n", WIFEXITED(g_status) ? WEXITSTATUS(g_status) : -1);
    return 2;
}
