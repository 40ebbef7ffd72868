#include "support/scoped_env.h"

#include <cstdlib>

namespace kinetra::test {
namespace {

// An empty value removes the variable from the C runtime's environment.
void Set(const std::string& name, const char* value) {
    _putenv_s(name.c_str(), value != nullptr ? value : "");
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_hadOld = true;
        m_old = old;
    }
    Set(m_name, value);
}

ScopedEnv::~ScopedEnv() {
    Set(m_name, m_hadOld ? m_old.c_str() : nullptr);
}

}  // namespace kinetra::test
