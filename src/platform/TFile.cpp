#include "platform/TFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/OpenToRead.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFileTransaction.h"
#include "platform/TRights.h"

namespace vx {

TFile::~TFile() { Close(); }

TFile::TFile(TFile&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr)),
      m_path(std::move(other.m_path)),
      m_notAFile(std::move(other.m_notAFile)),
      m_failed(other.m_failed),
      m_readFailed(other.m_readFailed),
      m_sizeFailed(other.m_sizeFailed),
      m_error(other.m_error),
      m_copy(std::exchange(other.m_copy, nullptr))
{
}

TFile& TFile::operator=(TFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_file = std::exchange(other.m_file, nullptr);
        m_path = std::move(other.m_path);
        m_notAFile = std::move(other.m_notAFile);
        m_failed = other.m_failed;
        m_readFailed = other.m_readFailed;
        m_sizeFailed = other.m_sizeFailed;
        m_error = other.m_error;
        m_copy = std::exchange(other.m_copy, nullptr);
    }
    return *this;
}

bool TFile::Fail(int error)
{
    m_error = error != 0 ? error : (errno != 0 ? errno : EIO);
    m_failed = true;
    return false;
}

bool TFile::Open(const std::string& path, Mode mode)
{
    Close();
    m_error = 0;
    m_readFailed = false;
    m_sizeFailed = false;
    const char* m = "rb";
    switch (mode) {
    case Mode::Read: m = "rb"; break;
    case Mode::Write: m = "wb"; break;
    case Mode::ReadWrite: m = "r+b"; break;
    case Mode::Append: m = "ab"; break;
    }
    m_notAFile.clear();
    errno = 0;
    if (mode == Mode::Read) {
        const int fd = OpenFileToRead(path, &m_notAFile);
        m_file = fd < 0 ? nullptr : ::fdopen(fd, m);
        if (fd >= 0 && !m_file) {
            const int error = errno;
            ::close(fd);
            errno = error;
        }
        // A stream that was once placed keeps count of its position, so that Tell, which a
        // reader asks before many fields, needs no call to the system. Without it each
        // Tell asks the system; the answers are the same.
        if (m_file)
            (void)fseeko(m_file, 0, SEEK_SET);
    } else {
        m_file = FileCallFails(kFileCreate) ? nullptr : std::fopen(path.c_str(), m);
    }
    if (!m_file) {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }
    m_path = path;
    m_failed = false;
    return true;
}

bool TFile::Close()
{
    if (!m_file)
        return true;
    errno = 0;
    const bool closed = std::fclose(m_file) == 0;
    if (!closed && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    const bool ok = closed && !m_failed;
    m_file = nullptr;
    m_failed = false;
    return ok;
}

size_t TFile::Read(void* data, size_t n)
{
    if (!m_file || n == 0 || ReadRefused(kFileRead))
        return 0;
    // A read that sets the stream's error flag sets errno as well, so errno is cleared only
    // while the flag is still set from an earlier failure: the many small reads of a
    // project's records pay for no more than the look at the flag. One thread at a time
    // reads a TFile, so the stream's lock is not taken.
    if (ferror_unlocked(m_file))
        errno = 0;
    const size_t got = ::fread_unlocked(data, 1, n, m_file);
    if (got < n && ferror_unlocked(m_file))
        FailRead();
    return got;
}

bool TFile::ReadRefused(unsigned calls)
{
    if (!FileCallFails(static_cast<TFileCall>(calls)))
        return false;
    NoteFaultStruckRead(m_path);
    FailRead();
    return true;
}

void TFile::FailRead()
{
    // Positional reads of several threads may fail at once.
    static std::mutex mutex;
    const int error = errno != 0 ? errno : EIO;
    const std::lock_guard<std::mutex> lock(mutex);
    m_error = error;
    m_readFailed = true;
}

bool TFile::ReadExactAt(int64_t offset, void* data, size_t n)
{
    if (!m_file || offset < 0)
        return false;
    if (n > 0 && ReadRefused(kFileRead | kFileReadAt))
        return false;
    const int fd = fileno(m_file);
    auto* at = static_cast<char*>(data);
    while (n > 0) {
        errno = 0;
        const ssize_t got = ::pread(fd, at, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            FailRead();
        if (got <= 0)
            return false;  // failed, or the file ends before n bytes
        at += got;
        n -= static_cast<size_t>(got);
        offset += got;
    }
    return true;
}

namespace {
std::atomic<int64_t> g_writeBudget{-1};

// Takes n bytes from the test budget; false when the budget says the disk is full.
bool TakeWriteBudget(size_t n)
{
    int64_t budget = g_writeBudget.load();
    while (budget >= 0) {
        const int64_t left = budget - static_cast<int64_t>(n);
        if (left < 0) {
            g_writeBudget.store(0);
            return false;
        }
        if (g_writeBudget.compare_exchange_weak(budget, left))
            return true;
    }
    return true;
}
}  // namespace

void TFile::FailWritesAfter(int64_t bytes) { g_writeBudget.store(bytes); }

namespace {
std::function<void()>& StepHook()
{
    static std::function<void()> hook;
    return hook;
}
}  // namespace

void TFile::SetStepHook(std::function<void()> hook) { StepHook() = std::move(hook); }

void TFile::Step()
{
    NoteFileStep();
    if (StepHook())
        StepHook()();
}

bool TFile::Write(const void* data, size_t n)
{
    if (!m_file)
        return false;
    if (n == 0)
        return true;
    if (!TakeWriteBudget(n))
        return Fail(ENOSPC);
    if (FileCallFails(kFileWrite))
        return Fail();
    errno = 0;
    if (std::fwrite(data, 1, n, m_file) != n)
        return Fail();
    if (m_copy)
        m_copy->append(static_cast<const char*>(data), n);
    return true;
}

bool TFile::WriteParts(const TPart* parts, size_t count)
{
    if (!m_file)
        return false;
    size_t total = 0;
    for (size_t i = 0; i < count; ++i)
        total += parts[i].size;
    if (total == 0)
        return true;
    if (!TakeWriteBudget(total))
        return Fail(ENOSPC);
    if (FileCallFails(kFileWrite))
        return Fail();
    errno = 0;
    if (std::fflush(m_file) != 0)
        return Fail();
    // Straight to the descriptor, the stream's buffer being empty after the flush.
    const int fd = fileno(m_file);
    std::vector<iovec> vec;
    for (size_t i = 0; i < count; ++i)
        if (parts[i].size > 0)
            vec.push_back({const_cast<void*>(parts[i].data), parts[i].size});
    size_t first = 0;
    while (first < vec.size()) {
        const int n = static_cast<int>(std::min<size_t>(vec.size() - first, IOV_MAX));
        const ssize_t written = ::writev(fd, vec.data() + first, n);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Fail();
        }
        // Skip what was written; a short write continues inside the part it ended in.
        size_t left = static_cast<size_t>(written);
        while (first < vec.size() && left >= vec[first].iov_len)
            left -= vec[first++].iov_len;
        if (left > 0) {
            vec[first].iov_base = static_cast<char*>(vec[first].iov_base) + left;
            vec[first].iov_len -= left;
        }
    }
    // The stream does not know the descriptor moved: seek it to where the data ends.
    errno = 0;
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0 || fseeko(m_file, end, SEEK_SET) != 0)
        return Fail();
    for (size_t i = 0; m_copy && i < count; ++i)
        m_copy->append(static_cast<const char*>(parts[i].data), parts[i].size);
    return true;
}

bool TFile::Seek(int64_t offset)
{
    return m_file && offset >= 0 && fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool TFile::SeekFromEnd(int64_t offset)
{
    return m_file && fseeko(m_file, static_cast<off_t>(offset), SEEK_END) == 0;
}

int64_t TFile::Tell() const
{
    if (!m_file)
        return -1;
    return static_cast<int64_t>(ftello(m_file));
}

int64_t TFile::Size() const
{
    if (!m_file)
        return -1;
    struct stat st {};
    if (FileCallFailsOn(kFileSize, m_path) || fstat(fileno(m_file), &st) != 0) {
        m_error = errno != 0 ? errno : EIO;
        m_sizeFailed = true;
        return -1;
    }
    // Data still in the write buffer counts as well.
    const int64_t pos = Tell();
    return pos > st.st_size ? pos : static_cast<int64_t>(st.st_size);
}

int64_t TFile::BytesLeft() const
{
    const int64_t size = Size();
    if (size < 0)
        return -1;
    errno = 0;
    const int64_t pos = Tell();
    if (pos < 0) {
        m_error = errno != 0 ? errno : EIO;
        m_sizeFailed = true;
        return -1;
    }
    // A position beyond the end (a seek may go there) leaves nothing to read.
    return pos > size ? 0 : size - pos;
}

bool TFile::Flush()
{
    if (!m_file)
        return false;
    errno = 0;
    if (std::fflush(m_file) != 0)
        return Fail();
    return !m_failed;
}

bool TFile::Sync()
{
    if (!Flush())
        return false;
    if (FileCallFails(kFileWrite) || fsync(fileno(m_file)) != 0)
        return Fail();
    return true;
}

bool TFile::StartWriteBack()
{
    if (!Flush())
        return false;
#ifdef SYNC_FILE_RANGE_WRITE
    // Pages already on their way are not submitted again; a length of 0 is to the end.
    sync_file_range(fileno(m_file), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    return true;
}

namespace {
// The program's files are little-endian; this host is too, which the build checks.
static_assert(sizeof(float) == 4 && sizeof(double) == 8);
}  // namespace

bool TFile::ReadInt32(int32_t& v) { return ReadExact(&v, 4); }
bool TFile::ReadUInt32(uint32_t& v) { return ReadExact(&v, 4); }
bool TFile::ReadFloat(float& v) { return ReadExact(&v, 4); }
bool TFile::ReadDouble(double& v) { return ReadExact(&v, 8); }
bool TFile::WriteInt32(int32_t v) { return Write(&v, 4); }
bool TFile::WriteUInt32(uint32_t v) { return Write(&v, 4); }
bool TFile::WriteFloat(float v) { return Write(&v, 4); }
bool TFile::WriteDouble(double v) { return Write(&v, 8); }

TAtomicFile::~TAtomicFile() { Abort(); }

namespace {

// Makes a new file of a unique name at `pattern`, whose last six characters are replaced by
// letters and digits, open to read and write, with `mode` less the umask (the process's
// umask is never changed for that, which would give files other threads make meanwhile
// rights they should not have).
int MakeUniqueFile(std::string& pattern, mode_t mode)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<uint64_t> counter{0};
    uint64_t seed = (static_cast<uint64_t>(::getpid()) << 32) ^ static_cast<uint64_t>(::time(nullptr)) ^
                    (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (size_t i = pattern.size() - 6; i < pattern.size(); ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            pattern[i] = kLetters[(seed >> 33) % (sizeof kLetters - 1)];
        }
        const int fd = ::open(pattern.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

bool TAtomicFile::Begin(const std::string& targetPath, TFileTransaction* transaction, const std::string& rightsLike)
{
    Abort();
    m_target = targetPath;
    m_transaction = transaction;
    m_failedWorkFolder.clear();
    m_rightsOf.clear();
    // A file of a transaction is staged in the transaction's work folder, any other
    // beside its target under a hidden name.
    std::string folder = FolderOf(targetPath);
    std::string tempName(".");
    if (transaction) {
        folder = transaction->StagingFolder();
        tempName.clear();
        if (folder.empty()) {
            m_failedWorkFolder = TFileTransaction::WorkFolderOf(transaction->Folder());
            m_file.m_error = transaction->FailedError();
            return false;
        }
    }
    tempName += FileNameOf(targetPath);
    tempName += ".XXXXXX";
    std::string buf = JoinPath(folder, tempName);
    // A file written in place of another takes that one's rights; a new file of a
    // transaction those of the file the transaction names for its new files; any other
    // those the system gives a new file.
    TRights rights;
    const std::string* model = &targetPath;
    TRights::TFound found = TRights::Of(targetPath, rights);
    if (found == TRights::TFound::There && rights.OfFolder()) {  // no file's rights; its rename fails
        rights = TRights();
        found = TRights::TFound::NotThere;
    }
    if (found == TRights::TFound::NotThere && transaction) {
        model = &transaction->NewFilesLike();
        found = transaction->NewFilesRights(rights);
    } else if (found == TRights::TFound::NotThere && !rightsLike.empty()) {
        model = &rightsLike;
        found = TRights::Of(rightsLike, rights);
        if (found == TRights::TFound::There && rights.OfFolder()) {
            rights = TRights();
            found = TRights::TFound::NotThere;
        }
    }
    if (found == TRights::TFound::Failed) {
        m_file.m_error = errno != 0 ? errno : EIO;
        m_rightsOf = *model;
        if (transaction)
            transaction->NoteFailure(targetPath, m_file.m_error);
        return false;
    }
    // Private to this user until it has them: nobody else opens it before.
    const int fd = FileCallFails(kFileCreate) ? -1 : MakeUniqueFile(buf, rights.IsModel() ? 0600 : 0666);
    if (fd < 0) {
        m_file.m_error = errno != 0 ? errno : EIO;
        // A staged file that cannot be made is the work folder's failure (it may not be
        // written, or is gone), not the target's; a full disk is the disk's.
        const bool full = m_file.m_error == ENOSPC || m_file.m_error == EDQUOT;
        if (transaction && full) {
            transaction->NoteFailure(targetPath, m_file.m_error);
        } else if (transaction) {
            m_failedWorkFolder = folder;
            transaction->NoteFailure(folder, m_file.m_error, TFileTransaction::TCall::WriteWorkFolder);
        }
        return false;
    }
    BeforeRightsGiven(buf);
    if (!rights.GiveTo(fd)) {
        // Left private, it would narrow who may read the file; it is not used at all.
        const int error = errno != 0 ? errno : EIO;
        ::close(fd);
        RemoveFile(buf);
        m_file.m_error = error;
        m_rightsOf = *model;
        if (transaction)
            transaction->NoteFailure(targetPath, error);
        return false;
    }
    m_tempPath = buf;
    m_file.m_file = ::fdopen(fd, "w+b");
    if (!m_file.m_file) {
        const int error = errno != 0 ? errno : EIO;
        ::close(fd);
        m_file.m_error = error;
        if (transaction)
            transaction->NoteFailure(targetPath, error);
        RemoveFile(m_tempPath);
        m_tempPath.clear();
        return false;
    }
    m_file.m_path = m_tempPath;
    m_file.m_failed = false;
    m_file.m_error = 0;
    m_file.m_notAFile.clear();
    TFile::Step();
    return true;
}

std::string TAtomicFile::WhyNotWritten() const
{
    const int error = m_file.LastError();
    const std::string why = error == 0 ? std::string() : FileErrorReason(error);
    if (!m_rightsOf.empty())
        return "its new file could not be given the rights of " + m_rightsOf + (why.empty() ? "" : ": " + why);
    if (m_failedWorkFolder.empty())
        return why;
    return TFileTransaction::WorkFolderNotWrittenText(m_failedWorkFolder, "could not") + (why.empty() ? "" : ": " + why) +
           TFileTransaction::WorkFolderOwnerNote(m_failedWorkFolder, error);
}

bool TAtomicFile::IsTempFileName(const std::string& name, std::string& target)
{
    // The six places of a unique name are letters and digits.
    constexpr size_t kUnique = 6;
    if (name.size() < kUnique + 3 || name.front() != '.' || name[name.size() - kUnique - 1] != '.')
        return false;
    for (size_t i = name.size() - kUnique; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    target = name.substr(1, name.size() - kUnique - 2);
    return true;
}

bool TAtomicFile::Commit(bool durable)
{
    if (m_tempPath.empty())
        return false;
    const bool synced = !durable || m_file.Sync();
    const bool closed = m_file.Close();
    if (synced && closed)
        TFile::Step();
    if (synced && closed && m_transaction) {
        m_transaction->Adopt(m_tempPath, m_target);
        m_tempPath.clear();
        return true;
    }
    errno = 0;
    if (!synced || !closed || !RenameFile(m_tempPath, m_target)) {
        if (m_file.m_error == 0)
            m_file.m_error = errno != 0 ? errno : EIO;
        if (m_transaction)
            m_transaction->NoteFailure(m_target, m_file.m_error);
        RemoveFile(m_tempPath);
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    TFile::Step();
    return true;
}

void TAtomicFile::Abort()
{
    if (m_tempPath.empty())
        return;
    // Given up part way: the transaction learns which file failed, and why when known.
    if (m_transaction)
        m_transaction->NoteFailure(m_target, m_file.LastError());
    m_file.Close();
    RemoveFile(m_tempPath);
    m_tempPath.clear();
}

bool WriteFileAtomically(const std::string& path, const std::string& data)
{
    TAtomicFile out;
    if (!out.Begin(path))
        return false;
    if (!out.File().Write(data.data(), data.size()))
        return false;
    return out.Commit();
}

bool CopyFileAtomically(const std::string& from, const std::string& to, TFileTransaction* transaction)
{
    TFile in;
    TAtomicFile out;
    if (!in.Open(from, TFile::Mode::Read) || !out.Begin(to, transaction))
        return false;
    std::vector<char> buffer(size_t(1) << 20);
    for (;;) {
        const size_t got = in.Read(buffer.data(), buffer.size());
        if (got > 0 && !out.File().Write(buffer.data(), got))
            return false;
        if (got < buffer.size())
            break;
    }
    // A read that stopped before the end is no copy.
    if (std::ferror(in.Handle()))
        return false;
    return out.Commit();
}

}  // namespace vx
