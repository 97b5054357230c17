#pragma once
// Caps the address space of the test process for the lifetime of the object, so that an
// allocation sized from a hostile field fails at once with std::bad_alloc instead of
// taking gigabytes of the machine's memory. Under AddressSanitizer, whose shadow memory
// needs the full address space, the cap is left off.
#include <sys/resource.h>

#include <fstream>
#include <string>

namespace vx::test {

class TAddressSpaceLimit {
public:
    // `headroom` bytes above what the process has mapped now.
    explicit TAddressSpaceLimit(unsigned long long headroom)
    {
#if !defined(__SANITIZE_ADDRESS__)
        if (getrlimit(RLIMIT_AS, &m_saved) != 0)
            return;
        const unsigned long long mapped = MappedBytes();
        if (mapped == 0)
            return;
        rlimit cap = m_saved;
        cap.rlim_cur = mapped + headroom;
        if (m_saved.rlim_max != RLIM_INFINITY && cap.rlim_cur > m_saved.rlim_max)
            return;
        m_active = setrlimit(RLIMIT_AS, &cap) == 0;
#else
        (void)headroom;
#endif
    }
    ~TAddressSpaceLimit()
    {
        if (m_active)
            setrlimit(RLIMIT_AS, &m_saved);
    }
    TAddressSpaceLimit(const TAddressSpaceLimit&) = delete;
    TAddressSpaceLimit& operator=(const TAddressSpaceLimit&) = delete;

private:
    // VmSize of the process, in bytes.
    static unsigned long long MappedBytes()
    {
        std::ifstream status("/proc/self/status");
        std::string key;
        unsigned long long kb = 0;
        while (status >> key)
            if (key == "VmSize:" && status >> kb)
                return kb * 1024;
        return 0;
    }

    rlimit m_saved{};
    bool m_active = false;
};

}  // namespace vx::test
