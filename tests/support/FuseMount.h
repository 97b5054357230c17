#pragma once
// A FUSE file system mounted for a test where the system offers one (root, /dev/fuse and
// the programs it needs), unmounted when the object goes.
#include <cstdint>
#include <string>

namespace vx::test {

class TFuseMount {
public:
    // Runs the shell `command`, which mounts at `target` with the programs `tools` and the
    // modules `pythonModules` of the system's python3, of the Debian packages `packages`.
    TFuseMount(const std::string& tools, const std::string& packages, const std::string& command,
               const std::string& target, const std::string& pythonModules = std::string());
    ~TFuseMount();
    TFuseMount(const TFuseMount&) = delete;
    TFuseMount& operator=(const TFuseMount&) = delete;
    // Why the system offers no mount, and why one it offers failed; empty when mounted.
    const std::string& Skip() const { return m_skip; }
    const std::string& Failure() const { return m_failure; }

private:
    std::string m_target, m_skip, m_failure;
};

// The folder `source` passed through at `target` (bindfs with its default options).
TFuseMount PassThroughMount(const std::string& source, const std::string& target);
// The folder `source` passed through at `target`, but for the file `file` (its path below
// the mount, "/p/b"), whose reads fail with EIO past its first `after` bytes as on a failing
// disk (tests/support/failing_reads_fs.py); no read is served from the page cache.
TFuseMount FailingReadMount(const std::string& source, const std::string& target, const std::string& file,
                            int64_t after);
// An exFAT file system, which keeps no Unix rights, made in the new image file `image` and
// mounted at `target` through a loop device with exfat-fuse's `options`.
TFuseMount ExfatMount(const std::string& image, const std::string& target, const std::string& options);

}  // namespace vx::test
