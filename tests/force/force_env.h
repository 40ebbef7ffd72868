// Sets KINETRA_FORCE_DEVICE for the life of an instance (tests run it on one thread).
#pragma once

#include <cstdlib>
#include <string>

namespace kinetra::test {

class ForceDeviceVariable {
public:
    explicit ForceDeviceVariable(const char* value) {
        if (const char* old = std::getenv("KINETRA_FORCE_DEVICE")) {
            m_had = true;
            m_old = old;
        }
        if (value) {
            setenv("KINETRA_FORCE_DEVICE", value, 1);
        } else {
            unsetenv("KINETRA_FORCE_DEVICE");
        }
    }
    ~ForceDeviceVariable() {
        if (m_had) {
            setenv("KINETRA_FORCE_DEVICE", m_old.c_str(), 1);
        } else {
            unsetenv("KINETRA_FORCE_DEVICE");
        }
    }
    ForceDeviceVariable(const ForceDeviceVariable&) = delete;
    ForceDeviceVariable& operator=(const ForceDeviceVariable&) = delete;

private:
    bool m_had = false;
    std::string m_old;
};

}  // namespace kinetra::test
