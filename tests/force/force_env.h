// Sets KINETRA_FORCE_DEVICE for the life of an instance (tests run it on one thread).
#pragma once

#include "support/scoped_env.h"

namespace kinetra::test {

class ForceDeviceVariable : public ScopedEnv {
public:
    explicit ForceDeviceVariable(const char* value) : ScopedEnv("KINETRA_FORCE_DEVICE", value) {}
};

}  // namespace kinetra::test
