// The sound-to-force pipeline: the capture engine with its spectrum frame, the five band mappers
// and their force channels, assembled in the program's start-up order and taken down in its
// teardown order. The window, the trace tool and the benchmarks all build it this way.
//
// Start-up (Start): the engine's Init (opens the audio input; a failure is reported through the
// owner and start-up goes on), the force channels' owner, then per band 1..5: a mapper for the
// spectrum's bins, its effect, its band edges, its effect frequency from the device table, its
// threshold, and its registration as a listener; then the gain on every mapper, the Disable
// states, the observer (if any), the capture ring (format 13) and the capture thread.
// Teardown (Stop): the capture thread is stopped first; only when it has stopped are the
// listeners removed and the mappers deleted, bands 1..5; the engine is shut down last.
#pragma once

#include <cstdint>
#include <optional>

#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "force/device_choice.h"
#include "pipeline/band_plan.h"

class CBandMapper;
class CSpectrumListener;

namespace kinetra::pipeline {

// What the window's controls are set to when the pipeline starts.
struct PipelineSettings {
    int level[kBands] = {20, 20, 20, 20, 20};  // level slider positions, 0..100
    int strength = 0;                          // Strength slider position, 0..100 (0 = full)
    bool disabled[kBands] = {};                // Disable boxes
};

struct StartOptions {
    // The audio input. Unset: what was set on Engine() before, else the default.
    std::optional<capture::AudioInputChoice> input;
    // The force device, the process's choice from Start until Stop (Stop clears it, so later
    // opens use the default again). Unset: the choice the program's entry point set, else the
    // default.
    std::optional<force::ForceDeviceChoice> device;
    // The force channels' owner (module instance and main window; both may be null).
    void* ownerInstance = nullptr;
    void* ownerWindow = nullptr;
    // False: start-up ends with the ring open and no capture thread; the caller feeds the
    // blocks itself with PumpBlock (tools, benchmarks).
    bool startThread = true;
    // Every mapper reports its band's mean level with each block (CBandMapper::SetFullReport).
    bool fullReports = false;
    // A listener called after the five mappers with every block (not owned; it must outlive
    // the pipeline's Stop).
    CSpectrumListener* observer = nullptr;
};

enum class StartResult {
    kRunning,          // everything is up (with startThread false: the ring is open)
    kNoDevice,         // band 1's effect could not be created: no force device
    kBandMissing,      // band 2's, 3's or 4's effect could not be created
    kNoCaptureBuffer,  // the capture ring could not be opened
    kNoCaptureThread,  // the capture thread could not be started
};

class SoundToForcePipeline {
public:
    // Constructs the engine; allocates nothing else. Thread (all operations but PumpBlock): the
    // user-interface thread, or the one thread that owns the pipeline in a tool.
    SoundToForcePipeline();
    // Runs Stop when Start ran and Stop has not.
    ~SoundToForcePipeline();
    SoundToForcePipeline(const SoundToForcePipeline&) = delete;
    SoundToForcePipeline& operator=(const SoundToForcePipeline&) = delete;

    // Brings everything up in the start-up order above (an input or device choice in options is
    // put in place first). owner is told about a failed audio
    // input (its box and quit request); start-up goes on after it. On kNoDevice and
    // kBandMissing it returns at once with the failed band's mapper deleted; band 5's failure
    // is no failure: the pipeline runs with four bands (Mapper(5) is null). Call once.
    StartResult Start(const PipelineSettings& settings, capture::CaptureErrorReporter* owner,
                      const StartOptions& options = {});
    // Takes everything down in the teardown order above, then clears a device choice Start set.
    // Runs once (later calls do nothing) and copes with whatever Start left. When the capture
    // thread does not stop in time the mappers are kept (a debug line says so) rather than pulled
    // from under it. False in that case.
    bool Stop();
    // Stop, then Start again with these settings and options, on the same engine (its injected
    // opener and enumerator stay; the device id the last input enumerated is forgotten): how the
    // window switches its audio input or force device without restarting the program. The owner is
    // told about a failed audio input as in Start. Returns kNoCaptureThread without starting
    // anything when the capture thread did not stop (Stop returned false: the mappers it may still
    // be in are kept). Callable after Start, after Stop, and again after a failed Restart.
    StartResult Restart(const PipelineSettings& settings, capture::CaptureErrorReporter* owner,
                        const StartOptions& options = {});

    // The mapper of band (1..5), or null (not created, failed, or after Stop).
    CBandMapper* Mapper(int band) const;
    // Threshold of band (1..5) from a level position; nothing without that band's mapper.
    void SetLevel(int band, int position);
    // Gain of a Strength position on every existing mapper, bands 1..5.
    void SetStrength(int position);
    // Turns band (1..5) on or off; nothing without that band's mapper. While the mappers are
    // held (HoldMappers) it only records the state, which releasing them applies.
    void EnableBand(int band, bool on);
    // Whether band (1..5) is on as last set by Start's settings or EnableBand (held or not).
    bool BandEnabled(int band) const;

    // Holds the mappers' output (true): every band's effect stops, as EnableBand(band, false)
    // would stop it, and the capture thread sends nothing more to the effects (a block already
    // being mapped may still send its magnitude once, to a stopped effect). Releasing (false)
    // gives each band the state EnableBand recorded last, so a band that was on plays from the
    // next block on. For playing the bands' effects without the sound (PlayBand).
    void HoldMappers(bool held);
    bool MappersHeld() const { return m_bHeld; }
    // While the mappers are held: plays band (1..5)'s effect at magnitude (0..10000) and its
    // effect frequency, with the gain the Strength gave it; magnitude 0 silences and stops it
    // again. False (nothing done) when not held or without that band's mapper.
    // The capture thread does not touch a held band's effect, so the two threads never write
    // it at once (the effect's own short lock covers a block in flight).
    bool PlayBand(int band, std::uint32_t magnitude);
    // Table row of the force device found at start-up (0 before Start).
    int ProductIndex() const { return m_productIndex; }

    // Handles one block when no capture thread runs (startThread false). Thread: the owner's.
    void PumpBlock() { m_engine.PumpBlock(); }

    // The engine: before Start, to choose its audio input (tests and tools); afterwards, to
    // look at it.
    CCaptureEngine& Engine() { return m_engine; }
    const CCaptureEngine& Engine() const { return m_engine; }

    bool Started() const { return m_bStarted; }
    bool Stopped() const { return m_bStopped; }

private:
    CCaptureEngine m_engine;
    CBandMapper* m_mapper[kBands] = {};  // owned
    CSpectrumListener* m_observer = nullptr;
    int m_productIndex = 0;
    bool m_enabled[kBands] = {true, true, true, true, true};  // last EnableBand per band
    bool m_bHeld = false;                                     // HoldMappers(true)
    bool m_bSetDevice = false;  // Start set the process's force device choice
    bool m_bStarted = false;
    bool m_bStopped = false;
};

}  // namespace kinetra::pipeline
