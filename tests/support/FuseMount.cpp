#include "support/FuseMount.h"

#include <sys/statfs.h>
#include <unistd.h>

#include <sstream>

#include "support/TestFiles.h"

namespace vx::test {

namespace {
// The system's Python, whose modules are Debian's, whatever python3 comes first in PATH.
constexpr const char* kPython = "/usr/bin/python3";
}  // namespace

TFuseMount::TFuseMount(const std::string& tools, const std::string& packages, const std::string& command,
                       const std::string& target, const std::string& pythonModules)
{
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_skip = "no FUSE mount here: it needs root and /dev/fuse";
        return;
    }
    std::istringstream names(tools);
    for (std::string tool; names >> tool;) {
        if (RunShell("command -v " + tool).first != 0) {
            m_skip = "no FUSE mount here: " + tool + " is not installed (scripts/deps installs " + packages + ")";
            return;
        }
    }
    std::istringstream modules(pythonModules);
    for (std::string module; modules >> module;) {
        if (RunShell(std::string(kPython) + " -c 'import " + module + "'").first != 0) {
            m_skip = "no FUSE mount here: the python3 module " + module + " is not installed (scripts/deps installs " +
                     packages + ")";
            return;
        }
    }
    const auto [status, output] = RunShell(command);
    struct statfs fs {};
    constexpr long kFuseMagic = 0x65735546;
    if (status == 0 && ::statfs(target.c_str(), &fs) == 0 && long(fs.f_type) == kFuseMagic)
        m_target = target;
    else
        m_failure = "no FUSE file system was mounted at " + target + ": " + output;
}

TFuseMount::~TFuseMount()
{
    if (!m_target.empty())
        RunShell("fusermount -u '" + m_target + "' || umount -l '" + m_target + "'");
}

TFuseMount PassThroughMount(const std::string& source, const std::string& target)
{
    return TFuseMount("bindfs", "bindfs", "bindfs '" + source + "' '" + target + "'", target);
}

TFuseMount FailingReadMount(const std::string& source, const std::string& target, const std::string& file,
                            int64_t after)
{
    const std::string script = std::string(VX_SOURCE_ROOT) + "/tests/support/failing_reads_fs.py";
    return TFuseMount("fusermount", "fuse python3-fusepy",
                      std::string(kPython) + " '" + script + "' '" + source + "' '" + target + "' '" + file + "' " +
                          std::to_string(after),
                      target, "fusepy");
}

TFuseMount ExfatMount(const std::string& image, const std::string& target, const std::string& options)
{
    // exfat-fuse mounts only block devices for root; the loop device goes once unmounted.
    return TFuseMount("mkfs.exfat mount.exfat-fuse losetup", "exfatprogs exfat-fuse",
                      "truncate -s 16M '" + image + "' && mkfs.exfat '" + image + "' && dev=$(losetup -f --show '" +
                          image + "') && { mount.exfat-fuse -o '" + options + "' \"$dev\" '" + target +
                          "'; s=$?; losetup -d \"$dev\"; exit $s; }",
                      target);
}

}  // namespace vx::test
