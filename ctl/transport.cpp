// SPDX-License-Identifier: BSD-2-Clause

#include "ctl/transport.h"

#include "ctl/filter_record.h"
#include "ctl/requests.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

// The whole exchange, request and reply, must finish within this time.
constexpr auto REPLY_LIMIT = std::chrono::seconds(1);

// A call may block on the socket's own timeouts (which equal REPLY_LIMIT)
// only this early in an exchange, so that no exchange overruns its limit by
// more than this.
constexpr auto BLOCKING_SLACK = std::chrono::milliseconds(20);

// What each descriptor that ctl_open returned is, so that a request needs no
// fstat. ctl_close forgets a descriptor before closing it, and ctl_open
// records one anew, so a number the system hands out again never carries
// the old entry. Descriptors that did not come from ctl_open (or lie past
// the table) are examined on every request.
enum Medium : unsigned char {
    UNKNOWN = 0,
    OTHER,            // any other file, and a device ctl_open did not open: plain ioctl
    CHARACTER_DEVICE, // from ctl_open: ioctl on the descriptor's helper thread
    SOCKET_TIMED,     // blocking, with send and receive timeouts of REPLY_LIMIT
    SOCKET_POLLED,    // every transfer waits with poll
};
constexpr int REMEMBERED = 1024;
std::atomic<unsigned char> media[REMEMBERED];

Medium remembered(int fd) {
    return fd < REMEMBERED ? static_cast<Medium>(media[fd].load(std::memory_order_relaxed))
                           : UNKNOWN;
}

void remember(int fd, Medium medium) {
    if (fd >= 0 && fd < REMEMBERED)
        media[fd].store(medium, std::memory_order_relaxed);
}

Medium examine(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode) ? SOCKET_POLLED : OTHER;
}

// Whether a transfer may still block on the socket's own timeouts.
bool may_block(Medium medium, Clock::time_point deadline) {
    return medium == SOCKET_TIMED && deadline - Clock::now() > REPLY_LIMIT - BLOCKING_SLACK;
}

unsigned long timeouts = 0;
unsigned long round_trips = 0;

// Waits until fd is ready for events or the deadline passes.
bool wait_ready(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            ++timeouts;
            return false;
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left) + 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            ++timeouts;
            return false;
        }
        if (n < 0) {
            return false;
        }
        // Hang-up or error still lets recv/send report what happened.
        return true;
    }
}

// Sends every byte of the buffers. Normally a single call; after a short
// one (a signal, a full socket) the rest waits with poll until the deadline.
bool send_all(int fd, iovec *iov, int count, Medium medium, Clock::time_point deadline) {
    msghdr message{};
    message.msg_iov = iov;
    message.msg_iovlen = count;
    while (message.msg_iovlen > 0) {
        const bool block = may_block(medium, deadline);
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | (block ? 0 : MSG_DONTWAIT));
        if (n > 0) {
            std::size_t sent = static_cast<std::size_t>(n);
            while (message.msg_iovlen > 0 && sent >= message.msg_iov->iov_len) {
                sent -= message.msg_iov->iov_len;
                ++message.msg_iov;
                --message.msg_iovlen;
            }
            if (message.msg_iovlen > 0) {
                message.msg_iov->iov_base = static_cast<char *>(message.msg_iov->iov_base) + sent;
                message.msg_iov->iov_len -= sent;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait_ready(fd, POLLOUT, deadline)) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

// Receives exactly size bytes, normally in a single call, as send_all.
bool recv_all(int fd, void *data, std::size_t size, Medium medium, Clock::time_point deadline) {
    auto *p = static_cast<unsigned char *>(data);
    while (size > 0) {
        const bool block = may_block(medium, deadline);
        const ssize_t n = ::recv(fd, p, size, block ? MSG_WAITALL : MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            return false; // closed mid-reply
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!wait_ready(fd, POLLIN, deadline)) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

double *coefficient_address(const unsigned char *record) {
    std::uint64_t address;
    std::memcpy(&address, record + offsetof(FilterRecord, coefficients), sizeof address);
    return reinterpret_cast<double *>(static_cast<std::uintptr_t>(address));
}

int fail(int fd, int error) {
    // The stream may be out of step now; every later request must fail at once.
    ::shutdown(fd, SHUT_RDWR);
    errno = error;
    return -1;
}

int socket_request(int fd, Medium medium, std::uint32_t code, void *record) {
    const std::size_t length = ioc_size(code);
    if (length > 0 && record == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const auto deadline = Clock::now() + REPLY_LIMIT;
    auto *caller = static_cast<unsigned char *>(record);
    const bool filter = is_filter_get(code) || is_filter_set(code);

    // Code, record and any coefficients go out in one call.
    unsigned char request[sizeof code + IOC_SIZE_MASK];
    std::memcpy(request, &code, sizeof code);
    if (length > 0) {
        std::memcpy(request + sizeof code, caller, length);
    }
    iovec out[2] = {{request, sizeof code + length}, {nullptr, 0}};
    int parts = 1;
    if (is_filter_set(code)) {
        const std::size_t count = carried_doubles(caller);
        if (count > 0) {
            out[1] = {coefficient_address(caller), count * sizeof(double)};
            parts = 2;
        }
    }
    ++round_trips;
    if (!send_all(fd, out, parts, medium, deadline)) {
        return fail(fd, EIO);
    }

    // The record lands in a private buffer and reaches the caller only once
    // the whole reply has arrived and reports success. A fetched filter goes
    // straight into the caller's array, as a device's ioctl would put it:
    // a second copy of 512 KiB would cost as much as the transfer itself.
    unsigned char reply[sizeof(std::int32_t) + IOC_SIZE_MASK];
    if (!recv_all(fd, reply, sizeof(std::int32_t) + length, medium, deadline)) {
        return fail(fd, EIO);
    }
    std::int32_t result;
    std::memcpy(&result, reply, sizeof result);

    if (is_filter_get(code) && result == 0) {
        const std::size_t count = carried_doubles(caller);
        if (count > 0 &&
            !recv_all(fd, coefficient_address(caller), count * sizeof(double), medium, deadline)) {
            return fail(fd, EIO);
        }
    }
    if (result != 0) {
        errno = EINVAL;
        return -1;
    }

    unsigned char *const reply_record = reply + sizeof result;
    if (filter && length >= sizeof(FilterRecord)) {
        // The daemon's idea of the address means nothing in this process.
        std::memcpy(reply_record + offsetof(FilterRecord, coefficients),
                    caller + offsetof(FilterRecord, coefficients), sizeof(std::uint64_t));
    }
    if (length > 0) {
        std::memcpy(caller, reply_record, length);
    }
    return 0;
}

// Requests, and replies, of one exchange of a batch stay within this many
// bytes, far below a socket's buffer, so that the daemon never waits to send
// a reply while the client is still sending. One record of any size fits.
constexpr std::size_t BATCH_BYTES = 2 * (sizeof(std::uint32_t) + IOC_SIZE_MASK);

// Whether a request can share an exchange: it carries no array of doubles,
// as a filter request that names no array (a length query) does not.
bool batchable(const BatchedRequest &r) {
    if (ioc_size(r.code) != 0 && r.record == nullptr)
        return false;
    return (!is_filter_get(r.code) && !is_filter_set(r.code)) ||
           carried_doubles(static_cast<const unsigned char *>(r.record)) == 0;
}

// Sends the batchable requests from first on, as many as fit in an
// exchange, in one send, and receives their replies in one receive. Returns
// the first request it did not take, or nullptr when the exchange failed,
// and then none of them has an outcome yet.
const BatchedRequest *socket_exchange(int fd, Medium medium, const BatchedRequest *first,
                                      const BatchedRequest *last) {
    unsigned char out[BATCH_BYTES];
    unsigned char in[BATCH_BYTES];
    std::size_t out_size = 0;
    std::size_t in_size = 0;
    const BatchedRequest *end = first;
    for (; end != last && batchable(*end); ++end) {
        const std::size_t length = ioc_size(end->code);
        if (out_size + sizeof end->code + length > BATCH_BYTES ||
            in_size + sizeof(std::int32_t) + length > BATCH_BYTES)
            break;
        std::memcpy(out + out_size, &end->code, sizeof end->code);
        if (length > 0)
            std::memcpy(out + out_size + sizeof end->code, end->record, length);
        out_size += sizeof end->code + length;
        in_size += sizeof(std::int32_t) + length;
    }
    const auto deadline = Clock::now() + REPLY_LIMIT;
    iovec part{out, out_size};
    ++round_trips;
    if (!send_all(fd, &part, 1, medium, deadline) || !recv_all(fd, in, in_size, medium, deadline))
        return nullptr;
    // As with a single request, a failed one leaves its record untouched.
    const unsigned char *reply = in;
    for (const BatchedRequest *r = first; r != end; ++r) {
        const std::size_t length = ioc_size(r->code);
        std::int32_t result;
        std::memcpy(&result, reply, sizeof result);
        if (result == 0 && length > 0)
            std::memcpy(r->record, reply + sizeof result, length);
        *r->result = result == 0 ? 0 : -1;
        reply += sizeof result + length;
    }
    return end;
}

int socket_batch(int fd, Medium medium, const BatchedRequest *requests, int count) {
    const BatchedRequest *const last = requests + count;
    const BatchedRequest *next = requests;
    while (next != last) {
        if (!batchable(*next)) {
            *next->result = socket_request(fd, medium, next->code, next->record);
            ++next;
            continue;
        }
        const BatchedRequest *const end = socket_exchange(fd, medium, next, last);
        if (end == nullptr) {
            fail(fd, EIO);
            for (; next != last; ++next)
                *next->result = -1;
            break;
        }
        next = end;
    }
    return static_cast<int>(
        std::count_if(requests, last, [](const BatchedRequest &r) { return *r.result != 0; }));
}

// Lets every blocking send and receive on a socket give up after
// REPLY_LIMIT by itself, so that a request needs no poll.
bool set_timeouts(int fd) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(REPLY_LIMIT);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(seconds.count());
    limit.tv_usec = static_cast<suseconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(REPLY_LIMIT - seconds).count());
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
           ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

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

// Starts the helper of a character device that ctl_open opened.
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

Medium medium_of(int fd) {
    const Medium medium = remembered(fd);
    if (medium != UNKNOWN)
        return medium;
    // Past the table, a character device from ctl_open still has its helper.
    if (fd >= REMEMBERED && helper_of(fd))
        return CHARACTER_DEVICE;
    return examine(fd);
}

// Requests on a descriptor that has no socket protocol.
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

} // namespace

int ctl_open(const char *path) {
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    struct stat st;
    const bool known = ::stat(path, &st) == 0;
    if (!known || !S_ISSOCK(st.st_mode)) {
        const int fd =
            known && S_ISCHR(st.st_mode) ? open_device(path) : ::open(path, O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return -1;
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
            remember(fd, OTHER);
            return fd;
        }
        if (!start_helper(fd)) {
            ::close(fd);
            errno = EAGAIN;
            return -1;
        }
        remember(fd, CHARACTER_DEVICE);
        return fd;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t path_length = std::strlen(path);
    if (path_length >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path, path_length + 1);
    // Non-blocking, so a daemon too busy to accept fails the open at once
    // (the watchdog tries again) instead of freezing the caller.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    remember(fd, set_timeouts(fd) ? SOCKET_TIMED : SOCKET_POLLED);
    return fd;
}

int ctl_request(int fd, std::uint32_t code, void *record) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    const Medium medium = medium_of(fd);
    if (medium == SOCKET_TIMED || medium == SOCKET_POLLED)
        return socket_request(fd, medium, code, record);
    int result = -1;
    const BatchedRequest one{code, record, &result};
    device_batch(fd, medium, &one, 1);
    return result;
}

int ctl_request_batch(int fd, const BatchedRequest *requests, int count) {
    const Medium medium = fd < 0 ? OTHER : medium_of(fd);
    if (medium == SOCKET_TIMED || medium == SOCKET_POLLED)
        return socket_batch(fd, medium, requests, count);
    return device_batch(fd, medium, requests, count);
}

int ctl_close(int fd) {
    remember(fd, UNKNOWN);
    const std::shared_ptr<DeviceHelper> helper = forget_helper(fd);
    if (helper && !helper->let_go())
        return 0;
    return ::close(fd);
}

unsigned long ctl_timeouts() {
    return timeouts;
}

unsigned long ctl_round_trips() {
    return round_trips;
}

} // namespace zarn
