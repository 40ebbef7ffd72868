#include "force/device_choice.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

#include "force/virtual_device.h"

namespace kinetra::force {
namespace {

// Parses a whole decimal number no larger than limit.
bool ParseCount(std::string_view text, std::int64_t limit, std::int64_t* value) {
    if (text.empty() || text.size() > 18) return false;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > limit) return false;
    *value = v;
    return true;
}

bool ParseVirtual(std::string_view rest, ForceDeviceChoice* choice, std::string* error) {
    choice->kind = ForceDeviceChoice::Kind::Virtual;
    choice->virtualName = kVirtualDefaultName;
    if (!rest.empty() && rest.front() == ':') {
        rest.remove_prefix(1);
        const std::size_t comma = rest.find(',');
        const std::string_view name = rest.substr(0, comma);
        if (name.empty()) {
            *error = "the product name after \"virtual:\" is empty";
            return false;
        }
        if (name.size() > 255) {
            *error = "the product name is longer than 255 characters";
            return false;
        }
        choice->virtualName.assign(name);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma);
    }
    while (!rest.empty()) {
        if (rest.front() != ',') {
            *error = "expected ',' after \"virtual\"";
            return false;
        }
        rest.remove_prefix(1);
        const std::size_t comma = rest.find(',');
        const std::string_view option = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma);
        const std::size_t equals = option.find('=');
        if (equals == std::string_view::npos) {
            *error = "option \"" + std::string(option) + "\" has no '=' (fail=open, effects=N, " +
                     "lost-after=N, kind=sine|rumble, unplug-after=N, replug-after=MS)";
            return false;
        }
        const std::string_view key = option.substr(0, equals);
        const std::string_view value = option.substr(equals + 1);
        std::int64_t number = 0;
        if (key == "fail") {
            if (value != "open") {
                *error = "fail=" + std::string(value) + " is unknown (only fail=open)";
                return false;
            }
            choice->failOpen = true;
        } else if (key == "effects") {
            if (!ParseCount(value, kVirtualEffectSlots, &number)) {
                *error = "effects=" + std::string(value) + " is not a number from 0 to " +
                         std::to_string(kVirtualEffectSlots);
                return false;
            }
            choice->effectLimit = static_cast<int>(number);
        } else if (key == "lost-after") {
            if (!ParseCount(value, 999999999999999999, &number)) {
                *error = "lost-after=" + std::string(value) + " is not a whole number";
                return false;
            }
            choice->lostAfter = number;
        } else if (key == "kind") {
            if (value != "sine" && value != "rumble") {
                *error = "kind=" + std::string(value) + " is unknown (kind=sine or kind=rumble)";
                return false;
            }
            choice->rumble = value == "rumble";
        } else if (key == "unplug-after") {
            if (!ParseCount(value, 999999999999999999, &number)) {
                *error = "unplug-after=" + std::string(value) + " is not a whole number";
                return false;
            }
            choice->unplugAfter = number;
        } else if (key == "replug-after") {
            if (!ParseCount(value, 86400000, &number)) {
                *error = "replug-after=" + std::string(value) +
                         " is not a whole number of milliseconds up to 86400000";
                return false;
            }
            choice->replugAfterMs = number;
        } else {
            *error = "option \"" + std::string(key) +
                     "\" is unknown (fail, effects, lost-after, kind, unplug-after, replug-after)";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseForceDeviceChoice(std::string_view value, ForceDeviceChoice* choice, std::string* error) {
    *choice = ForceDeviceChoice{};
    if (value.empty() || value == "sdl") return true;
    if (value == "none") {
        choice->kind = ForceDeviceChoice::Kind::None;
        return true;
    }
    if (value.starts_with("sdl:")) {
        const std::string_view which = value.substr(4);
        if (which.empty()) {
            *error = "\"sdl:\" needs a device index or name";
            return false;
        }
        std::int64_t index = 0;
        if (which.find_first_not_of("0123456789") == std::string_view::npos) {
            if (!ParseCount(which, 9999, &index)) {
                *error = "the SDL device index " + std::string(which) + " is too large";
                return false;
            }
            choice->sdlIndex = static_cast<int>(index);
        } else {
            choice->sdlName.assign(which);
        }
        return true;
    }
    if (value.starts_with("virtual")) {
        const std::string_view rest = value.substr(7);
        if (rest.empty() || rest.front() == ':' || rest.front() == ',') {
            if (ParseVirtual(rest, choice, error)) return true;
            *choice = ForceDeviceChoice{};
            return false;
        }
    }
    *error =
        "unknown device; use sdl, sdl:<index>, sdl:<name>, virtual[:<name>][,option...] or none";
    return false;
}

namespace {

std::mutex g_choiceLock;  // guards g_setChoice (opens come from one thread; tests may differ)
std::optional<ForceDeviceChoice> g_setChoice;

}  // namespace

void SetForceDeviceChoice(const ForceDeviceChoice& choice) {
    std::lock_guard<std::mutex> lock(g_choiceLock);
    g_setChoice = choice;
}

void ClearForceDeviceChoice() {
    std::lock_guard<std::mutex> lock(g_choiceLock);
    g_setChoice.reset();
}

bool DefaultForceDeviceChoice(ForceDeviceChoice* choice, std::string* error) {
    const char* variable = std::getenv("KINETRA_FORCE_DEVICE");
    const std::string_view value = variable != nullptr ? variable : std::string_view{};
    std::string reason;
    if (ParseForceDeviceChoice(value, choice, &reason)) return true;
    *error = "KINETRA_FORCE_DEVICE=\"" + std::string(value) + "\" is not valid: " + reason;
    return false;
}

bool ForceDeviceSetByEnvironment() {
    const char* variable = std::getenv("KINETRA_FORCE_DEVICE");
    return variable != nullptr && variable[0] != '\0';
}

bool CurrentForceDeviceChoice(ForceDeviceChoice* choice, std::string* error) {
    {
        std::lock_guard<std::mutex> lock(g_choiceLock);
        if (g_setChoice.has_value()) {
            *choice = *g_setChoice;
            return true;
        }
    }
    return DefaultForceDeviceChoice(choice, error);
}

}  // namespace kinetra::force
