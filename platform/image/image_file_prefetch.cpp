// Pictures decoded ahead of their use on worker threads: the program names what it will load,
// goes on with other work, and load_image_file later takes the decoded pixels.
//
// Two workers: one at normal priority for pictures needed soon, one at a lower priority for
// pictures that are only background work, so those never compete with the first ones or with
// the program's own thread. A picture nobody has started on yet is decoded by the thread that
// asks for it, which waits for no queue. Only pixels are made here; textures stay with the
// caller's thread.
#include <SDL2/SDL_image.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/d3d9.h"
#include "platform/image/image_decode.h"

namespace {

// What tells one file on disk from another, or from itself after a change.
struct file_identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    time_t modified = 0;
    long modified_ns = 0;
    bool operator==(const file_identity&) const = default;
};

bool identify(const std::string& path, file_identity* out) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *out = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return true;
}

// Relative names are taken against the directory current when the picture was named, so a
// later change of directory cannot make one name mean another file.
std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return path;
    return std::string(buffer) + "/" + path;
}

struct job {
    enum class stage { queued, decoding, done };
    std::string path; // absolute
    bool background = false;
    stage at = stage::queued;
    bool discarded = false;
    bool wanted = false;     // a thread waits to take it
    bool identified = false; // the file existed as a regular file when the decoding began
    file_identity identity;
    HRESULT hr = E_FAIL;
    std::string why;
    image_pixels pixels;
};

class prefetcher {
  public:
    ~prefetcher() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread* t : {&urgent_, &background_})
            if (t->joinable()) t->join();
    }

    pid_t owner() const { return owner_; }

    void add(const std::string& path, bool background) {
        std::string key = absolute(path);
        std::lock_guard<std::mutex> lock(mutex_);
        for (const job& j : jobs_)
            if (j.path == key && !j.discarded) return;
        if (!urgent_.joinable() && !background_.joinable()) {
            // The decoders' one-time set-up, before two threads could race through it.
            IMG_Init(IMG_INIT_PNG);
        }
        std::thread& worker = background ? background_ : urgent_;
        if (!worker.joinable()) {
            try {
                worker = std::thread([this, background] { run(background); });
            } catch (const std::system_error&) {
                return; // no thread to be had: the picture is decoded when it is loaded
            }
        }
        job& j = jobs_.emplace_back();
        j.path = std::move(key);
        j.background = background;
        changed_.notify_all();
    }

    bool take(const char* path, image_pixels* out, std::string* why, HRESULT* hr) {
        const std::string key = absolute(path);
        std::unique_lock<std::mutex> lock(mutex_);
        auto it = jobs_.begin();
        while (it != jobs_.end() && (it->path != key || it->discarded))
            ++it;
        if (it == jobs_.end()) return false;
        if (it->at == job::stage::queued) {
            jobs_.erase(it); // quicker decoded here than waited for
            return false;
        }
        it->wanted = true;
        changed_.wait(lock, [&] { return it->at == job::stage::done; });
        job done = std::move(*it);
        jobs_.erase(it);
        lock.unlock();
        file_identity now;
        if (!done.identified || !identify(key, &now) || !(now == done.identity)) return false;
        *out = std::move(done.pixels);
        if (why) *why = done.why;
        *hr = done.hr;
        return true;
    }

    // Every job, or only that of `path` when one is given.
    void discard(const std::string* path = nullptr) {
        const std::string key = path ? absolute(*path) : std::string();
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            if (path && it->path != key) {
                ++it;
            } else if (it->wanted) {
                ++it; // the thread waiting for it takes it
            } else if (it->at == job::stage::decoding) {
                (it++)->discarded = true; // its worker lets it go when it is done
            } else {
                it = jobs_.erase(it);
            }
        }
    }

    void hold_background(bool hold) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hold_background_ = hold;
        }
        changed_.notify_all();
    }

    bool idle() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const job& j : jobs_)
            if (j.at != job::stage::done) return false;
        return true;
    }

  private:
    void run(bool background) {
        // Named for whoever lists the program's threads (a profiler, a hang report).
        pthread_setname_np(pthread_self(), background ? "picture bg" : "picture");
        if (background) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            auto it = jobs_.end();
            changed_.wait(lock, [&] {
                if (!(background && hold_background_))
                    for (it = jobs_.begin(); it != jobs_.end(); ++it)
                        if (it->at == job::stage::queued && it->background == background) return true;
                return stopping_;
            });
            if (stopping_) return;
            it->at = job::stage::decoding;
            const std::string path = it->path;
            lock.unlock();
            job result;
            result.identified = identify(path, &result.identity);
            try {
                result.hr = decode_image_pixels(path.c_str(), &result.pixels, &result.why);
            } catch (...) {
                result.hr = E_OUTOFMEMORY;
                result.pixels = {};
            }
            lock.lock();
            if (it->discarded) {
                jobs_.erase(it);
                continue;
            }
            it->identified = result.identified;
            it->identity = result.identity;
            it->hr = result.hr;
            it->why = std::move(result.why);
            it->pixels = std::move(result.pixels);
            it->at = job::stage::done;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::list<job> jobs_; // oldest first; a worker keeps its job's place while it decodes
    std::thread urgent_, background_;
    pid_t owner_ = getpid();
    bool stopping_ = false;
    bool hold_background_ = false;
};

prefetcher& the_prefetcher() {
    // Ended at exit by the process that made it. A forked child (a test's, say) inherits copies
    // of the threads' handles and of a condition they wait on, but not the threads: stopping,
    // waking or even destroying them there would wait for ever, so the child leaves them be.
    static prefetcher* instance = [] {
        auto* made = new prefetcher;
        std::atexit([] {
            if (instance->owner() == getpid()) delete instance;
        });
        return made;
    }();
    return *instance;
}

} // namespace

void prefetch_image_file(const std::string& path, bool background) {
    if (!path.empty()) the_prefetcher().add(path, background);
}

void discard_prefetched_images() {
    the_prefetcher().discard();
}

void discard_prefetched_image(const std::string& path) {
    if (!path.empty()) the_prefetcher().discard(&path);
}

void hold_background_prefetch(bool hold) {
    the_prefetcher().hold_background(hold);
}

bool prefetch_idle() {
    return the_prefetcher().idle();
}

bool take_prefetched_image(const char* path, image_pixels* out, std::string* why, HRESULT* hr) {
    return the_prefetcher().take(path, out, why, hr);
}
