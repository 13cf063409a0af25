#pragma once
// The controller simulator: substitute controllers on pseudo-terminals.
//
// A Simulator owns up to eight Devices, one per simulated port COM1 ... COM8. Each Device
// is one controller (with its bootloader) behind its own pseudo-terminal: the host opens
// the slave side (slavePath()), the device answers on the master side from its own thread.
// The device keeps a slave descriptor open itself, so the pseudo-terminal survives the host
// closing and reopening it; line settings the host made stay on it.
//
// Typical use in a test (each test process sets its environment before threads start):
//
//     quorlink::sim::Simulator sim;
//     auto& controller = sim.addPort(3);          // COM3; COM1, COM2, COM4..8 absent
//     sim.exportEnvironment();                    // QUORLINK_COM3=/dev/pts/N, others /nonexistent
//     sim.start();                                // device threads run from here
//     ConnectionContext ctx {};
//     KorvexOpenConnectionAuto(&ctx);
//     controller.waitForFrames(4, 2s);
//     auto frames = controller.frames();          // every 64-byte request, with time stamps
//
// Command mode: every complete 64-byte request gets one 32-byte reply at once (unless a
// fault says otherwise): status and positions, mode switch, error acknowledge, stops, moves,
// outputs, homing, park, zero point (class 2 replies echo request byte 59 in byte 27),
// parameter read and change (class 1; echo of group, item and the stored value).
// Bootloader: at a frame boundary a received 'S' means the user reset the controller into
// its bootloader: it answers the 7 identifier bytes "AVRB128", then 'P' and 'e' with one
// byte, 'A' plus two address bytes with one byte, '#' plus 8192 data bytes with one byte,
// and '$' with the CRC-32 of all data bytes since the 'S' (4 bytes, most significant
// first), after which the device is back in command mode, or, with setResetAfterUpload,
// restarts: it answers nothing for a while and then comes back with factory parameters.
//
// Device threads run as real-time threads (SCHED_FIFO) where the process may ask for it, else
// with nice -10 where it may raise its priority, so that a busy machine does not make a reply
// miss the host's 100 ms window.
//
// All Device member functions are thread-safe: fault switches may be flipped while a host
// is talking to the device; they apply from the next received request (or bootloader byte).

#include "sim/parameter_store.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <termios.h>
#include <thread>
#include <utility>
#include <vector>

namespace quorlink::sim {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

inline constexpr const char* kDefaultControllerName = "NC-Travo USB    ";

// Time of one byte on a 115200 bit/s 8N1 line (10 bits).
inline constexpr std::chrono::nanoseconds kByteTime{86806};

// One request the device received (64 bytes), stamped when its last byte was read.
struct ReceivedFrame {
    Clock::time_point time;
    std::array<std::uint8_t, 64> bytes;
};

// One read of the bootloader byte stream from the master side: its time and size. With a
// pseudo-terminal, the sizes follow the host's writes only as far as the kernel keeps
// them apart.
struct BootloaderRead {
    Clock::time_point time;
    std::size_t size;
};

// Steps of the bootloader protocol, in the order a host goes through them.
enum class BootloaderStep { Identify, ProgrammingMode, Erase, Address, Block, Checksum };

// The machine behind the controller, per axis X, Y, Z, C: how many motor steps really make a
// millimetre (which the controller's Auflösung only approximates), whether the motor is
// wired the other way round, and how fast the axes travel.
struct Mechanics {
    std::array<double, 4> trueStepsPerMm{100.0, 100.0, 100.0, 100.0};
    std::array<bool, 4> reversedWiring{};
    // In the controller's millimetres per second (steps per second = speed x the controller's
    // Auflösung of the axis when the move starts). 0: a move is done when it is commanded.
    double speedMmPerSecond = 0;
};

// A move under way on one axis: from where, to where (the controller's steps), since when,
// how fast, and which way the motor turns for a step towards `to` (+1 or -1).
struct AxisMotion {
    std::int32_t from = 0;
    std::int32_t to = 0;
    Clock::time_point start{};
    double stepsPerSecond = 0;
    int motorSign = 1;
    bool active() const { return from != to; }
};

// The part of the controller's machine state that commands change.
struct MachineState {
    std::array<std::int32_t, 4> positionSteps{}; // X, Y, Z, C where the controller counts them
    std::uint8_t mode = 2;                       // last operating mode switched to
    std::uint8_t spindleCoolant = 0;             // byte 2 of the last spindle/coolant command
    std::uint8_t outputs = 0;                    // byte 2 of the last general-outputs command
    std::uint8_t statusByte = 0;                 // reply byte 26 of the position reply
    int stops = 0;                               // emergency stops received (both kinds)
    int acknowledges = 0;                        // error acknowledges received
    std::array<AxisMotion, 4> motion{};          // moves under way
    // The steps each motor really turned, signed by its direction: the machine's physical
    // position is motorSteps / Mechanics::trueStepsPerMm.
    std::array<std::int64_t, 4> motorSteps{};
};

class Device {
public:
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device();

    int portNumber() const { return m_port; }
    std::string portName() const { return "COM" + std::to_string(m_port); }
    const std::string& slavePath() const { return m_slavePath; }

    // The device's parameters; changes made by a host are visible here and vice versa.
    ParameterStore& parameters() { return m_parameters; }

    // The state now: moves under way have advanced to this moment.
    MachineState machineState() const;
    // Where the controller counts the axes (moves under way end there).
    void setPositionSteps(const std::array<std::int32_t, 4>& steps);
    void setStatusByte(std::uint8_t status);

    // ---- The machine ----------------------------------------------------------------------

    // A relative move runs at mechanics.speedMmPerSecond; the controller honours its
    // RICHTUNGSUMKEHR (0x0408) by turning the motor the other way, and so does a reversed
    // wiring. An emergency stop (either kind) stops every axis where it is. Homing ends at
    // the reference points (physical position 0); a park position is travelled to.
    void setMechanics(const Mechanics& mechanics);
    Mechanics mechanics() const;
    // The ruler: where the axis physically is, in millimetres from where it started
    // (motor steps / true steps per mm, in the direction the motor turned).
    double physicalPositionMm(int axis) const;
    // True while a move is under way on any axis.
    bool moving() const;

    // ---- Fault switches (all off by default) -------------------------------------------

    // Reads every request and answers none.
    void setSilent(bool silent);
    // Reply byte 21 of the status answer; anything but 1 refuses the connection.
    void setStatusAcceptByte(std::uint8_t value);
    // Every reply is written this long after its request arrived (0 = at once).
    void setReplyDelay(Milliseconds delay);
    // Only the first `bytes` bytes of every reply are written (0 = whole replies).
    void setShortReply(int bytes);
    // Every reply is written in two pieces: `firstBytes` bytes, then after `gap` the rest
    // (firstBytes 0 = off).
    void setSplitReply(int firstBytes, Milliseconds gap);
    // Only the reply to the n-th request from now (n >= 1) comes `delay` late; with
    // firstBytes > 0 its first firstBytes bytes come on time and the rest `delay` later (one
    // split reply). Requests that get no reply count too. n = 0 switches it off.
    void setLateReply(int n, Milliseconds delay, int firstBytes = 0);
    // Parameter reads of `key` are answered with the item byte echoed off by one, the value
    // area as usual (nullopt = off).
    void setWrongKeyEcho(std::optional<std::uint16_t> key);
    // The next `replies` class 2 replies echo the previous sequence number (request byte 59
    // minus 1). With thenCorrectAfter, each stale reply is followed that much later by the
    // right one.
    void setStaleSequence(int replies, std::optional<Milliseconds> thenCorrectAfter = std::nullopt);
    // A change of `key` is stored but echoed with another value: `echo` when given, else the
    // stored value with its first byte's low bit flipped.
    void setWrongValueEcho(std::uint16_t key, std::optional<ValueArea> echo = std::nullopt);
    void clearWrongValueEcho();
    // A change of `key` is echoed as if it had been stored, but the controller keeps its old
    // value (nullopt = off).
    void setIgnoredChange(std::optional<std::uint16_t> key);
    // Parameter requests (read or change) for `key` get no reply.
    void setNoReplyForKey(std::optional<std::uint16_t> key);
    // The device stops taking bytes from the line (the host's writes then back up).
    void setInputStalled(bool stalled);
    // The device disappears (unplugged): its pseudo-terminal is closed for good, the host's
    // reads and writes fail and the path no longer opens.
    void disappearNow();
    // The device disappears when the n-th request from now (n >= 1) has arrived, without
    // answering it: disappearAtFrame(1) vanishes in the middle of the next command.
    void disappearAtFrame(int n);
    bool disappeared() const;

    // Bootloader faults.
    void setBootloaderPresent(bool present); // absent: 'S' is swallowed without answer
    void setIdentifyInPieces(bool pieces);   // identifier as 3 + 4 bytes, 20 ms apart
    void setWrongCrc(bool wrong);            // the CRC answer has its lowest bit flipped
    // The bootloader answers up to and including `step`, then nothing (nullopt = off).
    void setBootloaderSilentAfter(std::optional<BootloaderStep> step);

    // After the checksum answer of an upload, the user resets the controller out of its
    // bootloader: for `restart` it takes no byte and answers nothing, then it runs the new
    // firmware, which starts from factory parameters and a fresh machine state (nullopt =
    // off: back in command mode at once, parameters kept).
    void setResetAfterUpload(std::optional<Milliseconds> restart);
    // True from such a reset until the device answers again.
    bool restarting() const;

    // Bytes in both directions at the line rate of 115200 8N1: reply bytes are written one
    // byte time apart and received bytes are consumed no faster than the line delivers them.
    void setPacing(bool paced);

    // ---- Logs ---------------------------------------------------------------------------

    std::vector<ReceivedFrame> frames() const;
    std::size_t frameCount() const;
    // Waits until at least `count` frames have been received; false on time-out.
    bool waitForFrames(std::size_t count, Milliseconds timeout) const;
    // Every byte received in bootloader mode (the 'S' included), in order.
    std::vector<std::uint8_t> bootloaderBytes() const;
    std::vector<BootloaderRead> bootloaderReads() const;
    bool inBootloader() const;
    void clearLogs();

    // The line settings the host left on the pseudo-terminal.
    termios lineSettings() const;

private:
    friend class Simulator;
    Device(int port, const std::string& controllerName);
    void start();
    void stop();
    void run();
    struct Impl;
    void update(const std::function<void(Impl&)>& change);

    const int m_port;
    std::string m_slavePath;
    ParameterStore m_parameters;
    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
};

class Simulator {
public:
    Simulator() = default;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator(); // stops every device and closes its pseudo-terminal

    // Adds the controller of COM<port> (1..8) with the given name and factory parameters.
    // After start() the new device runs at once. Throws std::runtime_error when the port is
    // taken or out of range, or no pseudo-terminal can be had.
    Device& addPort(int port, const std::string& controllerName = kDefaultControllerName);
    Device& device(int port);
    bool hasPort(int port) const;
    std::vector<int> ports() const;

    // Starts the device threads. Call exportEnvironment() before, while the process has no
    // other threads (setenv is not thread-safe).
    void start();

    // QUORLINK_COM<n> for n = 1..8: the slave path for the simulated ports, "/nonexistent"
    // for the others, so that a host never touches a real port.
    std::vector<std::pair<std::string, std::string>> environment() const;
    void exportEnvironment() const;

private:
    std::array<std::unique_ptr<Device>, 8> m_devices{};
    bool m_started = false;
};

} // namespace quorlink::sim
