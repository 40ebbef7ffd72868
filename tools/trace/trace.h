// kinetra-trace: runs the program's own analysis over a sound file or a live input, block by
// block, and keeps what each band did, for a table, a picture and a summary. Without Qt but for
// WritePlot (tools/trace/plot.cpp, Linux only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/band_mapper.h"
#include "pipeline/band_plan.h"

namespace kinetra::trace {

constexpr int kBands = pipeline::kBands;

// What the window would be set to.
struct Settings {
    int level[kBands] = {20, 20, 20, 20, 20};  // level slider positions, 0..100 (0 at the top)
    int strength = 0;                          // Strength slider position, 0..100 (0 = full)
    bool locked = true;                        // Locked box, as at every start
    bool disabled[kBands] = {};                // Disable boxes
    std::string product = "Kinetra Virtual Mouse";
    // The force device, in the syntax of KINETRA_FORCE_DEVICE; empty: the virtual device named
    // product.
    std::string forceDevice;
    double startSeconds = 0.0;               // part of the file to trace
    double endSeconds = -1.0;                // -1: to the end
    MapperMode mode = MapperMode::kClassic;  // the mappers' response mode
};

// Moves level slider band (1..5) to position as the window does: while Locked, sliders 2 to 5
// follow slider 1 by the same amount (each stopping at 0 and 100) and cannot be moved alone.
// Returns an empty text, or why the move is not possible.
std::string MoveLevelSlider(Settings* settings, int band, int position);

// One band in one block.
struct BandRow {
    bool enabled = true;
    double highestLevel = 0.0;    // the band's loudest bin
    double meanLevel = 0.0;       // the band's mean level in this block
    double peakLevel = 0.0;       // the sharpest rise over the running average (0 below 1)
    std::uint32_t scale = 0;      // the mapper's scale after this block
    std::uint32_t magnitude = 0;  // magnitude sent, 0..10000
    std::uint32_t periodMs = 0;   // period sent
};

struct BlockRow {
    double seconds = 0.0;  // time at the end of the block, from the start of the file or run
    BandRow band[kBands];
    // On a rumble device: the two motors after this block, 0..65535.
    std::uint16_t lowMotor = 0;
    std::uint16_t highMotor = 0;
};

struct Trace {
    std::string file;  // the sound file, or the live input's text
    Settings settings;
    double threshold[kBands] = {};  // e^(level / 5)
    std::uint32_t effectHz[kBands] = {};
    std::uint32_t gain = 0;
    bool rumble = false;  // the device carried the bands on two motors (the table's last columns)
    std::vector<BlockRow> rows;
};

// Called now and then with the share done, 0..1.
using Progress = void (*)(double done, void* context);

// Decodes the file and runs it through the capture engine's pump, the spectrum frame, five
// band mappers and their force channels on the built-in virtual device, one block per wake-up.
// False with a reason in error when the file cannot be used or the chain cannot be built.
// Thread: the caller's (the main thread of a tool); the virtual device is the process's force
// device choice for the run and the choice is cleared afterwards.
bool RunTrace(const std::string& file, const Settings& settings, Trace* trace, std::string* error,
              Progress progress = nullptr, void* progressContext = nullptr);

// Records a live input (input in the syntax of KINETRA_AUDIO_INPUT, with KINETRA_AUDIO_BACKEND's
// backend) for seconds through the same chain, its capture thread pumping the blocks as they
// come; each row's time is when its block was taken, from the start. A block after the room
// reserved for the run is not kept. The run ends after seconds whatever the input does. False
// with a reason when the input cannot be opened (or is a sound file: RunTrace), the chain cannot
// be built, or no block came in all that time. Thread: as RunTrace.
bool RunLiveTrace(const std::string& input, double seconds, const Settings& settings, Trace* trace,
                  std::string* error, Progress progress = nullptr, void* progressContext = nullptr);

// Writes the table, one row per block (with a rumble device two more columns, low_motor and
// high_motor). False when the file cannot be written.
bool WriteCsv(const Trace& trace, const std::string& path, std::string* error);

// Draws five lanes, one per band: the magnitude sent over time, and the band's loudest bin
// against its threshold. Needs a QGuiApplication. False when the picture cannot be saved.
bool WritePlot(const Trace& trace, const std::string& path, std::string* error);

// Per band: how often it fired, its mean and peak magnitude while firing.
std::string Summary(const Trace& trace);

}  // namespace kinetra::trace
