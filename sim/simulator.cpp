#include "sim/simulator.h"

#include "sim/controller_model.h"
#include "sim/wire_format.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quorlink::sim {
namespace {

// A partial request that gets no further byte for this long is dropped, so that a host
// that gave up in the middle of a frame does not shift every later frame.
constexpr Milliseconds kPartialFrameTimeout{200};
constexpr Milliseconds kIdentifyPieceGap{20};
constexpr std::size_t kPacedReadChunk = 16;
constexpr Milliseconds kLineBusyGap{2};
constexpr int kDeviceRealtimePriority = 1; // the lowest SCHED_FIFO priority
constexpr int kDeviceNice = -10;           // without real-time scheduling

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void sleepUntil(Clock::time_point t) { std::this_thread::sleep_until(t); }

// A controller answers within its 100 ms window also while the host machine is busy (a
// parallel build or test run). The device thread is scheduled as a real-time thread where
// the process may ask for it: it only wakes to move a few bytes, and a time-shared thread,
// even a favoured one, can wait longer than the window behind a loaded machine's other work.
// Elsewhere it asks for a higher nice priority, and keeps the default if that is refused too.
void raiseThreadPriority()
{
    sched_param realtime{};
    realtime.sched_priority = kDeviceRealtimePriority;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0)
        return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kDeviceNice);
}

} // namespace

struct Device::Impl {
    struct Pending {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
        std::size_t offset = 0;
    };

    // Guards everything below up to the thread-only section.
    mutable std::mutex mutex;
    mutable std::condition_variable framesChanged;
    bool stopping = false;

    // Fault switches.
    bool silent = false;
    std::uint8_t acceptByte = 1;
    Milliseconds replyDelay{0};
    int shortReplyBytes = 0;
    int splitFirstBytes = 0;
    Milliseconds splitGap{0};
    struct LateReply {
        int countdown = 0; // requests until the late one; 0 = off
        Milliseconds delay{0};
        int firstBytes = 0;
    } lateReply;
    std::optional<std::uint16_t> wrongKeyEchoKey;
    int staleReplies = 0;
    std::optional<Milliseconds> staleThenCorrect;
    std::optional<std::uint16_t> wrongEchoKey;
    std::optional<ValueArea> wrongEchoValue;
    std::optional<std::uint16_t> noReplyKey;
    std::optional<std::uint16_t> ignoredChangeKey;
    bool inputStalled = false;
    int vanishAtFrame = 0; // counts down to the request at which the device vanishes; 0 = off
    bool vanishNow = false;
    bool vanished = false;
    bool bootloaderPresent = true;
    bool identifyInPieces = false;
    bool wrongCrc = false;
    std::optional<BootloaderStep> bootloaderSilentAfter;
    std::optional<Milliseconds> resetAfterUpload;
    Clock::time_point restartedAt{}; // until then a reset controller takes no byte
    bool paced = false;

    MachineState state;
    Mechanics mechanics;
    std::vector<ReceivedFrame> frames;
    std::vector<std::uint8_t> bootloaderBytes;
    std::vector<BootloaderRead> bootloaderReads;
    std::optional<Bootloader> bootloader; // engaged while in bootloader mode

    // Descriptors: master side, the slave kept open by the device, wake-up event.
    int master = -1;
    int slave = -1;
    int wake = -1;

    // Thread-only state.
    std::vector<std::uint8_t> partial;
    Clock::time_point lastByteTime{};
    std::deque<Pending> outgoing;
    Clock::time_point inputLineFreeAt{};
    bool inputBacklog = false; // bytes were waiting when the last paced chunk was taken
    Clock::time_point outputLineFreeAt{};
    bool waitForRoom = false; // the master side took only part of a reply
    std::uint8_t buffer[4096];

    void wakeUp() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }

    // Queues bytes for `due`, after everything due at or before it.
    void schedule(Clock::time_point due, std::vector<std::uint8_t> bytes)
    {
        if (bytes.empty())
            return;
        auto at = std::find_if(outgoing.begin(), outgoing.end(), [&](const Pending& p) { return p.due > due; });
        outgoing.insert(at, Pending{due, std::move(bytes)});
    }

    // A reply under the short and split reply faults, or as the one late reply. Caller holds
    // the mutex.
    void scheduleReply(Clock::time_point due, std::vector<std::uint8_t> bytes,
                       std::optional<LateReply> late = std::nullopt)
    {
        if (shortReplyBytes > 0 && static_cast<std::size_t>(shortReplyBytes) < bytes.size())
            bytes.resize(static_cast<std::size_t>(shortReplyBytes));
        if (late) {
            const auto onTime = static_cast<std::size_t>(std::max(late->firstBytes, 0));
            if (onTime > 0 && onTime < bytes.size()) {
                schedule(due + late->delay, {bytes.begin() + late->firstBytes, bytes.end()});
                bytes.resize(onTime);
                schedule(due, std::move(bytes));
            } else {
                schedule(due + late->delay, std::move(bytes));
            }
            return;
        }
        if (splitFirstBytes > 0 && static_cast<std::size_t>(splitFirstBytes) < bytes.size()) {
            std::vector<std::uint8_t> rest(bytes.begin() + splitFirstBytes, bytes.end());
            bytes.resize(static_cast<std::size_t>(splitFirstBytes));
            schedule(due + splitGap, std::move(rest));
        }
        schedule(due, std::move(bytes));
    }

    void closeLine()
    {
        for (int* fd : {&master, &slave}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        outgoing.clear();
        partial.clear();
        bootloader.reset();
        vanished = true;
    }

    // One complete request. Caller holds the mutex.
    void handleFrame(Clock::time_point now)
    {
        RequestBytes request;
        std::copy(partial.begin(), partial.end(), request.begin());
        partial.clear();
        frames.push_back(ReceivedFrame{now, request});
        framesChanged.notify_all();
        std::optional<LateReply> late;
        if (lateReply.countdown > 0 && --lateReply.countdown == 0)
            late = lateReply;
        if (vanishAtFrame > 0 && --vanishAtFrame == 0) {
            closeLine();
            return;
        }
        if (silent)
            return;
        const auto key = parameterKeyOf(request);
        if (key && noReplyKey == key)
            return;
        const bool change = key && request[wire::kCode] == wire::kParameterChange;
        const bool ignored = change && ignoredChangeKey == key;
        const std::optional<ValueArea> kept = ignored ? parameters->get(*key) : std::nullopt;
        ReplyBytes reply = replyTo(request, state, *parameters, acceptByte, mechanics, now);
        if (kept)
            parameters->set(*key, *kept);
        if (key && !change && wrongKeyEchoKey == key)
            ++reply[wire::kItem];
        if (change && wrongEchoKey == key) {
            if (wrongEchoValue)
                std::copy(wrongEchoValue->begin(), wrongEchoValue->end(), reply.begin() + wire::kValue);
            else
                reply[wire::kValue] ^= 1;
        }
        const Clock::time_point due = now + replyDelay;
        if (request[wire::kClass] == wire::kClassMachine && staleReplies > 0) {
            --staleReplies;
            ReplyBytes stale = reply;
            stale[wire::kReplySequence] = static_cast<std::uint8_t>(request[wire::kSequence] - 1);
            scheduleReply(due, {stale.begin(), stale.end()}, late);
            if (!staleThenCorrect)
                return;
            scheduleReply(due + *staleThenCorrect, {reply.begin(), reply.end()});
            return;
        }
        scheduleReply(due, {reply.begin(), reply.end()}, late);
    }

    void handleBootloaderAnswer(Clock::time_point now, Bootloader::Answer answer)
    {
        if (answer.leaves)
            bootloader.reset();
        if (bootloaderSilentAfter && answer.step > *bootloaderSilentAfter)
            return;
        if (answer.step == BootloaderStep::Checksum && wrongCrc)
            answer.bytes.back() ^= 1;
        if (answer.step == BootloaderStep::Identify && identifyInPieces) {
            schedule(now, {answer.bytes.begin(), answer.bytes.begin() + 3});
            schedule(now + kIdentifyPieceGap, {answer.bytes.begin() + 3, answer.bytes.end()});
            return;
        }
        schedule(now, std::move(answer.bytes));
        if (answer.step == BootloaderStep::Checksum && resetAfterUpload)
            restart(now + *resetAfterUpload);
    }

    // The reset out of the bootloader: the new firmware starts from its factory values.
    // The checksum answer already queued still goes out.
    void restart(Clock::time_point backAt)
    {
        restartedAt = backAt;
        partial.clear();
        state = MachineState{};
        parameters->resetToFactory();
    }

    // Bytes read from the master side. Caller holds the mutex.
    void process(const std::uint8_t* bytes, std::size_t n, Clock::time_point now)
    {
        std::size_t inBootloader = 0;
        for (std::size_t i = 0; i < n && !vanished; ++i) {
            const std::uint8_t b = bytes[i];
            if (now < restartedAt) {
                continue; // still starting up: the byte is lost
            } else if (bootloader) {
                ++inBootloader;
                bootloaderBytes.push_back(b);
                if (auto answer = bootloader->feed(b))
                    handleBootloaderAnswer(now, std::move(*answer));
            } else if (partial.empty() && b == wire::kBootloaderEntry) {
                // No request starts with 'S': the user has reset the controller into its
                // bootloader. Without one, the byte is lost like on a real controller.
                if (!bootloaderPresent)
                    continue;
                ++inBootloader;
                bootloaderBytes.push_back(b);
                bootloader.emplace();
                handleBootloaderAnswer(now, *bootloader->feed(b));
            } else {
                partial.push_back(b);
                if (partial.size() == std::tuple_size_v<RequestBytes>)
                    handleFrame(now);
            }
        }
        if (inBootloader > 0)
            bootloaderReads.push_back(BootloaderRead{now, inBootloader});
        lastByteTime = now;
    }

    // ---- The device thread's loop, one step each --------------------------------------

    // What one turn of the loop waits for, taken under the lock.
    struct Turn {
        bool stalled = false;
        bool paced = false;
        Clock::time_point wakeAt = Clock::time_point::max();
    };

    // Applies a pending disappearance and plans the next wait; nothing when stopping.
    std::optional<Turn> nextTurn()
    {
        std::lock_guard lock(mutex);
        if (stopping)
            return std::nullopt;
        if (vanishNow && !vanished)
            closeLine();
        Turn turn;
        turn.stalled = inputStalled;
        turn.paced = paced;
        if (!outgoing.empty() && !waitForRoom)
            turn.wakeAt = outgoing.front().due;
        if (!partial.empty())
            turn.wakeAt = std::min(turn.wakeAt, lastByteTime + kPartialFrameTimeout);
        return turn;
    }

    // Waits for received bytes, room for output, a wake-up or the planned time; returns the
    // events of the master side.
    short waitForLine(const Turn& turn)
    {
        pollfd fds[2] = {{wake, POLLIN, 0}, {master, 0, 0}};
        if (master >= 0)
            fds[1].events = static_cast<short>((turn.stalled ? 0 : POLLIN) | (waitForRoom ? POLLOUT : 0));
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (turn.wakeAt != Clock::time_point::max()) {
            const auto left = std::max(turn.wakeAt - Clock::now(), Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        if (ppoll(fds, master >= 0 ? 2 : 1, timeoutPtr, nullptr) < 0 && errno != EINTR)
            std::this_thread::sleep_for(Milliseconds(1));
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wake, &count, sizeof count);
        }
        return fds[1].revents;
    }

    // Takes received bytes from the master side (paced: no faster than the line delivers
    // them) and feeds them to the frame or bootloader state.
    void receive(const Turn& turn, short events)
    {
        if ((events & POLLOUT) != 0)
            waitForRoom = false;
        if ((events & POLLIN) == 0) {
            if ((events & (POLLHUP | POLLERR)) != 0)
                std::this_thread::sleep_for(Milliseconds(5));
            return;
        }
        std::size_t want = sizeof buffer;
        Clock::time_point arrived = Clock::now();
        int available = 0;
        if (turn.paced) {
            // Take only what the line can have delivered by now, a few bytes at a time.
            ioctl(master, FIONREAD, &available);
            want = std::clamp<std::size_t>(static_cast<std::size_t>(available), 1, kPacedReadChunk);
            // The line time is kept by absolute deadlines. Bytes that were already waiting
            // when the previous chunk was taken follow it without a gap, however late this
            // thread woke up; so do bytes that came within a short gap.
            const bool lineBusy = inputBacklog || arrived - inputLineFreeAt < kLineBusyGap;
            const Clock::time_point start = lineBusy ? inputLineFreeAt : arrived;
            arrived = start + kByteTime * static_cast<int>(want);
            sleepUntil(arrived);
        }
        const ssize_t n = ::read(master, buffer, want);
        if (n > 0) {
            if (turn.paced) {
                inputLineFreeAt = arrived - kByteTime * static_cast<int>(want - static_cast<std::size_t>(n));
                inputBacklog = static_cast<std::size_t>(available) > static_cast<std::size_t>(n);
            }
            std::lock_guard lock(mutex);
            process(buffer, static_cast<std::size_t>(n), Clock::now());
        } else if ((events & (POLLHUP | POLLERR)) != 0) {
            std::this_thread::sleep_for(Milliseconds(5));
        }
    }

    // Writes the output that is due (paced: one byte per byte time), then drops a partial
    // request that has waited too long for its next byte.
    void sendDueOutput(bool pacedLine)
    {
        std::unique_lock lock(mutex);
        while (master >= 0 && !outgoing.empty() && outgoing.front().due <= Clock::now()) {
            Pending& p = outgoing.front();
            while (p.offset < p.bytes.size()) {
                std::size_t chunk = p.bytes.size() - p.offset;
                if (pacedLine) {
                    // After the first byte of a reply the next ones keep to the line's
                    // deadlines even when this thread woke up late.
                    chunk = 1;
                    const Clock::time_point at =
                        p.offset == 0 ? std::max(Clock::now(), outputLineFreeAt) : outputLineFreeAt;
                    lock.unlock();
                    sleepUntil(at);
                    lock.lock();
                    outputLineFreeAt = at + kByteTime;
                    if (master < 0 || outgoing.empty())
                        break;
                }
                const ssize_t n = ::write(master, p.bytes.data() + p.offset, chunk);
                if (n <= 0)
                    break;
                p.offset += static_cast<std::size_t>(n);
            }
            if (outgoing.empty() || master < 0)
                break;
            if (p.offset < p.bytes.size()) {
                waitForRoom = true;
                break;
            }
            outgoing.pop_front();
        }
        if (!partial.empty() && Clock::now() - lastByteTime >= kPartialFrameTimeout)
            partial.clear();
    }

    ParameterStore* parameters = nullptr;
};

Device::Device(int port, const std::string& controllerName)
    : m_port(port), m_parameters(controllerName), m_impl(std::make_unique<Impl>())
{
    Impl& d = *m_impl;
    d.parameters = &m_parameters;
    d.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d.master < 0)
        throw systemError("posix_openpt");
    char name[128];
    if (grantpt(d.master) != 0 || unlockpt(d.master) != 0 || ptsname_r(d.master, name, sizeof name) != 0) {
        ::close(d.master);
        throw systemError("pseudo-terminal set-up");
    }
    m_slavePath = name;
    d.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    d.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.slave < 0 || d.wake < 0) {
        d.closeLine();
        throw systemError("pseudo-terminal slave");
    }
    d.vanished = false;
    // Raw until a host sets the line up: the slave must not echo anything back.
    termios t{};
    tcgetattr(d.slave, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B115200);
    tcsetattr(d.slave, TCSANOW, &t);
    fcntl(d.master, F_SETFL, fcntl(d.master, F_GETFL) | O_NONBLOCK);
}

Device::~Device()
{
    stop();
    m_impl->closeLine();
    if (m_impl->wake >= 0)
        ::close(m_impl->wake);
}

void Device::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void Device::stop()
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->wakeUp();
    if (m_thread.joinable())
        m_thread.join();
}

void Device::run()
{
    raiseThreadPriority();
    Impl& d = *m_impl;
    for (;;) {
        const std::optional<Impl::Turn> turn = d.nextTurn();
        if (!turn)
            return;
        const short events = d.waitForLine(*turn);
        if (d.master < 0)
            continue;
        d.receive(*turn, events);
        d.sendDueOutput(turn->paced);
    }
}

MachineState Device::machineState() const
{
    std::lock_guard lock(m_impl->mutex);
    advanceMotion(m_impl->state, Clock::now());
    return m_impl->state;
}

void Device::setPositionSteps(const std::array<std::int32_t, 4>& steps)
{
    std::lock_guard lock(m_impl->mutex);
    stopMotion(m_impl->state, Clock::now());
    m_impl->state.positionSteps = steps;
}

void Device::setMechanics(const Mechanics& mechanics)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->mechanics = mechanics;
}

Mechanics Device::mechanics() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->mechanics;
}

double Device::physicalPositionMm(int axis) const
{
    std::lock_guard lock(m_impl->mutex);
    advanceMotion(m_impl->state, Clock::now());
    const auto a = static_cast<std::size_t>(axis & 3);
    return static_cast<double>(m_impl->state.motorSteps[a]) / m_impl->mechanics.trueStepsPerMm[a];
}

bool Device::moving() const
{
    std::lock_guard lock(m_impl->mutex);
    advanceMotion(m_impl->state, Clock::now());
    const auto& motion = m_impl->state.motion;
    return std::any_of(motion.begin(), motion.end(), [](const AxisMotion& m) { return m.active(); });
}

void Device::setStatusByte(std::uint8_t status)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->state.statusByte = status;
}

void Device::update(const std::function<void(Impl&)>& change)
{
    {
        std::lock_guard lock(m_impl->mutex);
        change(*m_impl);
    }
    m_impl->wakeUp();
}

void Device::setSilent(bool silent)
{
    update([&](Impl& d) { d.silent = silent; });
}
void Device::setStatusAcceptByte(std::uint8_t value)
{
    update([&](Impl& d) { d.acceptByte = value; });
}
void Device::setReplyDelay(Milliseconds delay)
{
    update([&](Impl& d) { d.replyDelay = delay; });
}
void Device::setShortReply(int bytes)
{
    update([&](Impl& d) { d.shortReplyBytes = bytes; });
}

void Device::setSplitReply(int firstBytes, Milliseconds gap)
{
    update([&](Impl& d) {
        d.splitFirstBytes = firstBytes;
        d.splitGap = gap;
    });
}

void Device::setLateReply(int n, Milliseconds delay, int firstBytes)
{
    update([&](Impl& d) { d.lateReply = Impl::LateReply{std::max(n, 0), delay, firstBytes}; });
}

void Device::setWrongKeyEcho(std::optional<std::uint16_t> key)
{
    update([&](Impl& d) { d.wrongKeyEchoKey = key; });
}

void Device::setStaleSequence(int replies, std::optional<Milliseconds> thenCorrectAfter)
{
    update([&](Impl& d) {
        d.staleReplies = replies;
        d.staleThenCorrect = thenCorrectAfter;
    });
}

void Device::setWrongValueEcho(std::uint16_t key, std::optional<ValueArea> echo)
{
    update([&](Impl& d) {
        d.wrongEchoKey = key;
        d.wrongEchoValue = echo;
    });
}

void Device::clearWrongValueEcho()
{
    update([](Impl& d) {
        d.wrongEchoKey.reset();
        d.wrongEchoValue.reset();
    });
}

void Device::setIgnoredChange(std::optional<std::uint16_t> key)
{
    update([&](Impl& d) { d.ignoredChangeKey = key; });
}

void Device::setNoReplyForKey(std::optional<std::uint16_t> key)
{
    update([&](Impl& d) { d.noReplyKey = key; });
}
void Device::setInputStalled(bool stalled)
{
    update([&](Impl& d) { d.inputStalled = stalled; });
}
void Device::setBootloaderPresent(bool present)
{
    update([&](Impl& d) { d.bootloaderPresent = present; });
}
void Device::setIdentifyInPieces(bool pieces)
{
    update([&](Impl& d) { d.identifyInPieces = pieces; });
}
void Device::setWrongCrc(bool wrong)
{
    update([&](Impl& d) { d.wrongCrc = wrong; });
}

void Device::setBootloaderSilentAfter(std::optional<BootloaderStep> step)
{
    update([&](Impl& d) { d.bootloaderSilentAfter = step; });
}

void Device::setResetAfterUpload(std::optional<Milliseconds> restart)
{
    update([&](Impl& d) { d.resetAfterUpload = restart; });
}

bool Device::restarting() const
{
    std::lock_guard lock(m_impl->mutex);
    return Clock::now() < m_impl->restartedAt;
}

void Device::setPacing(bool paced)
{
    update([&](Impl& d) { d.paced = paced; });
}

void Device::clearLogs()
{
    update([](Impl& d) {
        d.frames.clear();
        d.bootloaderBytes.clear();
        d.bootloaderReads.clear();
    });
}

void Device::disappearNow()
{
    if (!m_thread.joinable()) {
        std::lock_guard lock(m_impl->mutex);
        m_impl->closeLine();
        return;
    }
    update([](Impl& d) { d.vanishNow = true; });
}

void Device::disappearAtFrame(int n)
{
    update([&](Impl& d) { d.vanishAtFrame = std::max(n, 1); });
}

bool Device::disappeared() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->vanished;
}

std::vector<ReceivedFrame> Device::frames() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->frames;
}

std::size_t Device::frameCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->frames.size();
}

bool Device::waitForFrames(std::size_t count, Milliseconds timeout) const
{
    std::unique_lock lock(m_impl->mutex);
    return m_impl->framesChanged.wait_for(lock, timeout, [&] { return m_impl->frames.size() >= count; });
}

std::vector<std::uint8_t> Device::bootloaderBytes() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->bootloaderBytes;
}

std::vector<BootloaderRead> Device::bootloaderReads() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->bootloaderReads;
}

bool Device::inBootloader() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->bootloader.has_value();
}

termios Device::lineSettings() const
{
    std::lock_guard lock(m_impl->mutex);
    termios t{};
    if (m_impl->slave >= 0)
        tcgetattr(m_impl->slave, &t);
    return t;
}

Simulator::~Simulator()
{
    for (auto& device : m_devices)
        device.reset();
}

Device& Simulator::addPort(int port, const std::string& controllerName)
{
    if (port < 1 || port > 8)
        throw std::runtime_error("port number out of range 1..8: " + std::to_string(port));
    auto& slot = m_devices[static_cast<std::size_t>(port - 1)];
    if (slot)
        throw std::runtime_error("COM" + std::to_string(port) + " is already simulated");
    slot.reset(new Device(port, controllerName));
    if (m_started)
        slot->start();
    return *slot;
}

Device& Simulator::device(int port)
{
    if (!hasPort(port))
        throw std::runtime_error("COM" + std::to_string(port) + " is not simulated");
    return *m_devices[static_cast<std::size_t>(port - 1)];
}

bool Simulator::hasPort(int port) const
{
    return port >= 1 && port <= 8 && m_devices[static_cast<std::size_t>(port - 1)] != nullptr;
}

std::vector<int> Simulator::ports() const
{
    std::vector<int> result;
    for (int port = 1; port <= 8; ++port) {
        if (hasPort(port))
            result.push_back(port);
    }
    return result;
}

void Simulator::start()
{
    m_started = true;
    for (auto& device : m_devices) {
        if (device)
            device->start();
    }
}

std::vector<std::pair<std::string, std::string>> Simulator::environment() const
{
    std::vector<std::pair<std::string, std::string>> result;
    for (int port = 1; port <= 8; ++port) {
        const auto& device = m_devices[static_cast<std::size_t>(port - 1)];
        result.emplace_back("QUORLINK_COM" + std::to_string(port), device ? device->slavePath() : "/nonexistent");
    }
    return result;
}

void Simulator::exportEnvironment() const
{
    for (const auto& [name, value] : environment())
        setenv(name.c_str(), value.c_str(), 1);
}

} // namespace quorlink::sim
