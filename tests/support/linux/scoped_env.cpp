#include "support/scoped_env.h"

#include <cstdlib>

namespace kinetra::test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_hadOld = true;
        m_old = old;
    }
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_hadOld) {
        setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}

}  // namespace kinetra::test
