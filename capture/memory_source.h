// An audio input fed from memory: a tool or test registers a MemorySource under a name, the
// engine opens it as "memory:<name>" like any device (a ring of 16-bit mono frames at 44100 Hz
// with notification positions), and the tool pushes sample blocks into that ring.
//
// Push never lets the engine drop a block: before writing it waits until the reader has taken
// every block whose notification was raised, so a producer that pushes one block at a time gets
// exactly one capture-thread wake-up per block, in order. With no capture thread the owner may
// instead call CCaptureEngine::PumpBlock after each Push on its own thread.
//
// Threads: Create and destruction on any thread; Push and WaitUntilTaken from one producer
// thread at a time. The capture thread's side (position, Lock, Unlock) takes no lock and
// allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capture/capture_device.h"

namespace kinetra::capture {

struct MemorySourceState;

class MemorySource {
public:
    // Registers a source called name; null with a reason in *error when the name is empty or a
    // living source has it already. Thread: any.
    static std::unique_ptr<MemorySource> Create(const std::string& name, std::string* error);
    // Unregisters the name. A ring opened on the source lives on (the engine owns it) but receives
    // nothing more. Thread: any, but not during a Push or WaitUntilTaken.
    ~MemorySource();
    MemorySource(const MemorySource&) = delete;
    MemorySource& operator=(const MemorySource&) = delete;

    const std::string& Name() const { return m_name; }
    // The input choice that opens this source ("memory:<name>"). Thread: any.
    AudioInputChoice Choice() const;

    // True while a ring opened on this source is started (between its Start and Stop).
    bool IsCapturing() const;

    // Writes count samples at the ring's write position, wrapping, and raises every
    // notification written past, as a capture device does. First waits (at most timeoutMs; a
    // negative value waits without limit) until the reader has taken every block notified so
    // far. kOk; kFail when no ring is started, or it stops, or the wait runs out (nothing is
    // written then); kInvalidArg for no samples or more than the ring holds.
    // Thread: the producer.
    Result Push(const std::int16_t* samples, std::uint32_t count, std::int32_t timeoutMs);

    // Waits (at most timeoutMs; negative: without limit) until the reader has taken every
    // block notified so far, so that the last pushed block has reached the listeners. True
    // then, or at once when no ring is started; false when the time ran out. Thread: the producer.
    bool WaitUntilTaken(std::int32_t timeoutMs);

private:
    MemorySource(std::string name, std::shared_ptr<MemorySourceState> state);

    std::string m_name;
    std::shared_ptr<MemorySourceState> m_state;
};

}  // namespace kinetra::capture
