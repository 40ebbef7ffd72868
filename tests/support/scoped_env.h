// Sets (or, for a null value, unsets) an environment variable for the life of the object and
// restores the old value after. Tests run it on one thread, before others start.
#pragma once

#include <string>

namespace kinetra::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

}  // namespace kinetra::test
