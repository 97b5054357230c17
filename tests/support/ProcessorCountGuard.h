#pragma once
// Gives the worker count back when a test that changes it ends, however it ends.
#include "platform/Workers.h"

namespace vx::test {

class TProcessorCountGuard {
public:
    TProcessorCountGuard() = default;
    ~TProcessorCountGuard() { SetProcessorCount(m_saved); }
    TProcessorCountGuard(const TProcessorCountGuard&) = delete;
    TProcessorCountGuard& operator=(const TProcessorCountGuard&) = delete;

private:
    int m_saved = ProcessorCount();
};

}  // namespace vx::test
