// SPDX-License-Identifier: BSD-2-Clause

// A character device's requests, on a helper thread of its descriptor, and
// its open, on a thread of its own: the caller waits at most REPLY_LIMIT.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/transport_parts.h"

namespace zarn::transport {

namespace {

// A character device's requests run on a thread that belongs to its
// descriptor, so that the caller waits at most REPLY_LIMIT for a daemon that
// never answers. The thread works on private copies of the records and of
// the coefficient arrays they name: an ioctl that returns after its caller
// gave up writes only into them, never where the caller's memory was. The
// caller's records and arrays change only when the whole hand-off came back
// in time.
class DeviceHelper {
public:
    explicit DeviceHelper(int fd) : fd_(fd) {}

    // Issues the requests in order on the helper thread, as one hand-off;
    // returns how many failed. After a hand-off ran out of time every later
    // one fails at once, as on a socket that was shut down.
    int run(const BatchedRequest *requests, int count);

    // Lets go of the descriptor. Returns false when its ioctl is still
    // running: the helper closes the descriptor once the ioctl returns, so
    // that its number stays taken until nobody uses it any more.
    bool let_go();

    // The helper thread: serves hand-offs until the descriptor is let go.
    static void serve(std::shared_ptr<DeviceHelper> self);

private:
    struct Entry {
        std::uint32_t code;
        void *record;        // the caller's
        double *array;       // the caller's coefficient array, or nullptr
        std::size_t taps;    // doubles at array
        std::size_t copy;    // offset of the private record in records_
        std::size_t doubles; // offset of the private array in doubles_
        int result;
        int error;
    };
    enum class State { idle, working, done };

    void load(const BatchedRequest *requests, int count);
    void issue();
    int store(const BatchedRequest *requests, int count);

    const int fd_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    // Changed with mutex_ held, and read without it while spinning.
    std::atomic<State> state_{State::idle};
    std::atomic<bool> closing_{false};
    bool stuck_ = false; // the caller's alone

    // The hand-off, private to the helper from load() until the caller sees
    // State::done, and for good once a hand-off ran out of time.
    std::vector<Entry> entries_;
    std::vector<unsigned char> records_;
    std::unique_ptr<double[]> doubles_;
    std::size_t doubles_size_ = 0;
    // The waiting caller's requests, with mutex_ held; nullptr once it gave up.
    const BatchedRequest *pending_ = nullptr;
    int pending_count_ = 0;
    int stored_failed_ = 0;
};

// How long the caller waits awake for a quick answer, and the helper for the
// next hand-off, before either sleeps: a tick's requests come one right
// after another, and waking a thread that sleeps on another CPU costs more
// than most answers take (up to tens of microseconds on a virtual machine).
// Each turn yields, so that on a single CPU the other thread runs.
constexpr auto SPIN = std::chrono::microseconds(50);

template <typename Ready> bool spin_until(Ready ready) {
    const auto until = Clock::now() + SPIN;
    while (!ready()) {
        if (Clock::now() >= until)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Private records are laid out at this alignment, as a record of the
// caller's would be.
constexpr std::size_t RECORD_ALIGNMENT = alignof(std::max_align_t);

void DeviceHelper::load(const BatchedRequest *requests, int count) {
    entries_.clear();
    std::size_t record_bytes = 0;
    std::size_t taps = 0;
    for (int i = 0; i < count; ++i) {
        const BatchedRequest &r = requests[i];
        Entry e{r.code, r.record, nullptr, 0, record_bytes, taps, 0, 0};
        const std::size_t length = ioc_size(r.code);
        if ((is_filter_get(r.code) || is_filter_set(r.code)) && r.record != nullptr) {
            e.taps = carried_doubles(static_cast<const unsigned char *>(r.record));
            if (e.taps > 0)
                e.array = coefficient_address(static_cast<const unsigned char *>(r.record));
        }
        record_bytes += (std::max<std::size_t>(length, 1) + RECORD_ALIGNMENT - 1) /
                        RECORD_ALIGNMENT * RECORD_ALIGNMENT;
        taps += e.taps;
        entries_.push_back(e);
    }
    if (records_.size() < record_bytes)
        records_.resize(record_bytes);
    if (doubles_size_ < taps) {
        // Not value-initialised: a fetch overwrites it, a write copies into it.
        doubles_.reset(new double[taps]);
        doubles_size_ = taps;
    }
    for (const Entry &e : entries_) {
        const std::size_t length = ioc_size(e.code);
        unsigned char *copy = records_.data() + e.copy;
        if (length > 0 && e.record != nullptr)
            std::memcpy(copy, e.record, length);
        if (e.array == nullptr)
            continue;
        double *array = doubles_.get() + e.doubles;
        if (is_filter_set(e.code))
            std::memcpy(array, e.array, e.taps * sizeof(double));
        const std::uint64_t address = reinterpret_cast<std::uintptr_t>(array);
        std::memcpy(copy + offsetof(FilterRecord, coefficients), &address, sizeof address);
    }
}

void DeviceHelper::issue() {
    for (Entry &e : entries_) {
        if (e.record == nullptr && ioc_size(e.code) > 0) {
            // No record to copy: the system would refuse the address too.
            e.result = -1;
            e.error = EFAULT;
            continue;
        }
        e.result = ::ioctl(fd_, static_cast<unsigned long>(e.code), records_.data() + e.copy);
        e.error = errno;
    }
}

int DeviceHelper::store(const BatchedRequest *requests, int count) {
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const Entry &e = entries_[static_cast<std::size_t>(i)];
        if (e.result != 0) {
            *requests[i].result = -1;
            ++failed;
            continue;
        }
        const std::size_t length = ioc_size(e.code);
        unsigned char *copy = records_.data() + e.copy;
        if ((is_filter_get(e.code) || is_filter_set(e.code)) && length >= sizeof(FilterRecord))
            // The caller keeps its own address: neither the private array's
            // nor the daemon's means anything to it.
            std::memcpy(copy + offsetof(FilterRecord, coefficients),
                        static_cast<const unsigned char *>(e.record) +
                            offsetof(FilterRecord, coefficients),
                        sizeof(std::uint64_t));
        if (length > 0)
            std::memcpy(e.record, copy, length);
        if (is_filter_get(e.code) && e.array != nullptr)
            std::memcpy(e.array, doubles_.get() + e.doubles, e.taps * sizeof(double));
        *requests[i].result = 0;
    }
    return failed;
}

int DeviceHelper::run(const BatchedRequest *requests, int count) {
    if (count <= 0)
        return 0;
    if (!stuck_) {
        load(requests, count);
        const auto deadline = Clock::now() + REPLY_LIMIT;
        std::unique_lock<std::mutex> lock(mutex_);
        pending_ = requests;
        pending_count_ = count;
        state_ = State::working;
        lock.unlock();
        work_.notify_one();
        spin_until([this] { return state_ == State::done; });
        lock.lock();
        if (done_.wait_until(lock, deadline, [this] { return state_ == State::done; })) {
            state_ = State::idle;
            pending_ = nullptr;
            lock.unlock();
            for (const Entry &e : entries_)
                if (e.result != 0)
                    errno = e.error;
            return stored_failed_;
        }
        // Too late: the helper, which stores only while a caller waits, keeps
        // the private copies, and the caller never sees them again.
        pending_ = nullptr;
        stuck_ = true;
        ++timeouts;
    }
    for (int i = 0; i < count; ++i)
        *requests[i].result = -1;
    errno = EIO;
    return count;
}

bool DeviceHelper::let_go() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    work_.notify_one();
    return state_ != State::working;
}

void DeviceHelper::serve(std::shared_ptr<DeviceHelper> self) {
    const auto called = [&self] { return self->state_ == State::working || self->closing_; };
    std::unique_lock<std::mutex> lock(self->mutex_, std::defer_lock);
    for (;;) {
        spin_until(called);
        lock.lock();
        self->work_.wait(lock, called);
        if (self->state_ != State::working)
            return; // let go while idle: ctl_close closes the descriptor
        lock.unlock();
        self->issue();
        lock.lock();
        const bool abandoned = self->closing_;
        // The answers go to the caller from here, with the lock held, while
        // the private arrays are still in this CPU's cache; a caller that
        // gave up takes the lock first and is gone.
        if (self->pending_ != nullptr)
            self->stored_failed_ = self->store(self->pending_, self->pending_count_);
        self->state_ = State::done;
        lock.unlock();
        if (abandoned)
            break;
        self->done_.notify_one();
    }
    // Let go while the ioctl ran: the number was ours until now.
    ::close(self->fd_);
}

// The helpers of the descriptors ctl_open returned for character devices.
// Never destroyed, so that ctl_close from a static destructor still finds
// its helper; the helpers themselves are shared with their threads.
struct Helpers {
    std::mutex mutex;
    std::unordered_map<int, std::shared_ptr<DeviceHelper>> by_descriptor;
};

Helpers &helpers() {
    static Helpers *const all = new Helpers;
    return *all;
}

std::shared_ptr<DeviceHelper> helper_of(int fd) {
    Helpers &all = helpers();
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto found = all.by_descriptor.find(fd);
    return found == all.by_descriptor.end() ? nullptr : found->second;
}

std::shared_ptr<DeviceHelper> forget_helper(int fd) {
    Helpers &all = helpers();
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto found = all.by_descriptor.find(fd);
    if (found == all.by_descriptor.end())
        return nullptr;
    std::shared_ptr<DeviceHelper> helper = std::move(found->second);
    all.by_descriptor.erase(found);
    return helper;
}

// Runs work on a new detached thread with every signal blocked, so that
// signals meant for the program reach its own threads; false when no thread
// could be made.
template <typename Work> bool start_detached(Work work) {
    sigset_t all, old;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    bool started = true;
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error &) {
        started = false;
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return started;
}

} // namespace

// Opening a device may wait on its daemon as a request does: the caller
// waits at most REPLY_LIMIT, and a late descriptor is closed by the thread
// that got it. One attempt at a time: while one hangs, the next fails at once.
int open_device(const char *path) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable opened;
        bool done = false;
        bool abandoned = false;
        int fd = -1;
        int error = 0;
    };
    static std::atomic<bool> hanging{false};
    if (hanging.exchange(true)) {
        errno = EBUSY;
        return -1;
    }
    auto attempt = std::make_shared<Attempt>();
    const bool started = start_detached([attempt, name = std::string(path)] {
        const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
        const int error = errno;
        std::lock_guard<std::mutex> lock(attempt->mutex);
        if (attempt->abandoned) {
            if (fd >= 0)
                ::close(fd);
            hanging = false;
            return;
        }
        attempt->fd = fd;
        attempt->error = error;
        attempt->done = true;
        attempt->opened.notify_one();
    });
    if (!started) {
        hanging = false;
        errno = EAGAIN;
        return -1;
    }
    std::unique_lock<std::mutex> lock(attempt->mutex);
    if (!attempt->opened.wait_for(lock, REPLY_LIMIT, [&attempt] { return attempt->done; })) {
        attempt->abandoned = true;
        ++timeouts;
        errno = ETIMEDOUT;
        return -1;
    }
    hanging = false;
    errno = attempt->error;
    return attempt->fd;
}

bool start_helper(int fd) {
    auto helper = std::make_shared<DeviceHelper>(fd);
    // Detached: a thread blocked in a hung ioctl could never be joined, and
    // the program must be able to end while one is. The thread holds its own
    // reference to the helper, so nothing it uses goes away. Its signals are
    // blocked, so that none cuts a request short.
    if (!start_detached([helper] { DeviceHelper::serve(helper); }))
        return false;
    Helpers &every = helpers();
    std::lock_guard<std::mutex> lock(every.mutex);
    every.by_descriptor[fd] = std::move(helper);
    return true;
}

bool has_helper(int fd) {
    return helper_of(fd) != nullptr;
}

bool let_go_of_helper(int fd) {
    const std::shared_ptr<DeviceHelper> helper = forget_helper(fd);
    return !helper || helper->let_go();
}

int device_batch(int fd, Medium medium, const BatchedRequest *requests, int count) {
    if (medium == CHARACTER_DEVICE) {
        if (const std::shared_ptr<DeviceHelper> helper = helper_of(fd))
            return helper->run(requests, count);
    }
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const int result =
            fd < 0 ? (errno = EBADF, -1)
                   : ::ioctl(fd, static_cast<unsigned long>(requests[i].code), requests[i].record);
        *requests[i].result = result == 0 ? 0 : -1;
        failed += result != 0;
    }
    return failed;
}

} // namespace zarn::transport
