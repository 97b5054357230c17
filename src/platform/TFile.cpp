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

bool TFile::OpenThroughTrustedLink(const std::string& path)
{
    const std::string folder = FolderOf(path);
    errno = 0;
    const TFolder opened = TFolder::Open(folder.empty() ? std::string(".") : folder, TFolder::kFollowLast);
    return opened ? Open(opened, FileNameOf(path), kTrustedLink) : NotOpened(errno != 0 ? errno : EIO);
}

bool TFile::NotOpened(int error)
{
    Close();
    m_readFailed = m_sizeFailed = false;
    m_error = error;
    m_notAFile.clear();
    return false;
}

bool TFile::Open(const TFolder& folder, const std::string& name, bool trustedLink)
{
    std::string notAFile;
    errno = 0;
    const int fd =
        trustedLink ? folder.OpenToReadThroughTrustedLink(name, &notAFile) : folder.OpenToRead(name, &notAFile);
    if (fd >= 0)
        return Adopt(fd, folder.PathOf(name), Mode::Read);
    const int error = errno != 0 ? errno : EIO;
    Close();
    m_readFailed = m_sizeFailed = false;
    m_error = error;
    m_notAFile = notAFile;
    return false;
}

bool TFile::Make(const TFolder& folder, const std::string& name, mode_t mode)
{
    Close();
    m_readFailed = m_sizeFailed = false;
    m_notAFile.clear();
    const std::string path = folder.PathOf(name);
    errno = 0;
    const int fd = folder.MakeFile(name, O_WRONLY, mode);
    const int error = errno != 0 ? errno : EIO;
    if (fd < 0 || !Adopt(fd, path, Mode::Write)) {
        m_error = fd < 0 ? error : m_error;
        m_path = path;
        return false;
    }
    return true;
}

bool TFile::Adopt(int fd, const std::string& path, Mode mode)
{
    Close();
    m_error = 0;
    m_readFailed = false;
    m_sizeFailed = false;
    m_notAFile.clear();
    const char* m = mode == Mode::Read ? "rb" : mode == Mode::Append ? "ab" : mode == Mode::Write ? "wb" : "r+b";
    m_file = fd < 0 ? nullptr : ::fdopen(fd, m);
    if (!m_file) {
        m_error = fd < 0 ? EBADF : errno != 0 ? errno : EIO;
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // As Open: a stream once placed keeps count of its position.
    if (mode == Mode::Read)
        (void)fseeko(m_file, 0, SEEK_SET);
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

bool TAtomicFile::Begin(const TFolder& folder, const std::string& name, const std::string& rightsLike,
                        const TFolder* rightsIn)
{
    Abort();
    TFolder own = folder.Duplicate();
    if (!own) {
        m_file.m_error = errno != 0 ? errno : EBADF;
        return false;
    }
    const std::string target = own.PathOf(name);
    return BeginIn(std::move(own), name, target, rightsLike, rightsIn);
}

bool TAtomicFile::Begin(const std::string& targetPath, TFileTransaction* transaction, const std::string& rightsLike)
{
    Abort();
    m_transaction = nullptr;
    m_whyWorkFolder.clear();
    m_rightsOf.clear();
    if (!transaction) {
        const std::string folder = FolderOf(targetPath);
        TFolder opened = TFolder::Open(folder.empty() ? std::string(".") : folder, TFolder::kFollowLast);
        if (!opened) {
            m_target = targetPath;
            m_file.m_error = errno != 0 ? errno : EIO;
            return false;
        }
        return BeginIn(std::move(opened), FileNameOf(targetPath), targetPath, rightsLike);
    }
    // A file of a transaction is staged in the transaction's work folder.
    m_target = targetPath;
    m_transaction = transaction;
    const TFolder* work = transaction->WorkFolder();
    if (!work) {
        m_file.m_error = transaction->FailedError();
        m_whyWorkFolder = transaction->WhyWorkFolderNotWritten(m_file.m_error, "could not");
        return false;
    }
    // A file written in place of another takes that one's rights; a new file of a
    // transaction those of the file the transaction names for its new files. Its target
    // is one of the transaction's folder (any other is refused when it commits).
    TRights rights;
    const std::string* model = &targetPath;
    TRights::TFound found = FolderOf(targetPath) == transaction->Folder()
                                ? TRights::Of(transaction->Handle(), FileNameOf(targetPath), rights)
                                : TRights::TFound::NotThere;
    if (found == TRights::TFound::There && rights.OfFolder()) {  // no file's rights; its rename fails
        rights = TRights();
        found = TRights::TFound::NotThere;
    }
    if (found == TRights::TFound::NotThere) {
        model = &transaction->NewFilesLike();
        found = transaction->NewFilesRights(rights);
    }
    if (found == TRights::TFound::Failed) {
        m_file.m_error = errno != 0 ? errno : EIO;
        m_rightsOf = *model;
        transaction->NoteFailure(targetPath, m_file.m_error);
        return false;
    }
    return Stage(*work, TFileTransaction::WorkFolderOf(transaction->Folder()), FileNameOf(targetPath) + ".XXXXXX",
                 rights, *model);
}

bool TAtomicFile::BeginIn(TFolder folder, const std::string& name, const std::string& target,
                          const std::string& rightsLike, const TFolder* rightsIn)
{
    Abort();
    m_transaction = nullptr;
    m_whyWorkFolder.clear();
    m_rightsOf.clear();
    m_folder = std::move(folder);
    m_name = name;
    m_target = target;
    // A file written in place of another takes that one's rights; a new one those of the
    // file at `rightsLike`, else those the system gives a new file.
    TRights rights;
    std::string model = m_target;
    TRights::TFound found = TRights::Of(m_folder, name, rights);
    if (found == TRights::TFound::There && rights.OfFolder()) {  // no file's rights; its rename fails
        rights = TRights();
        found = TRights::TFound::NotThere;
    }
    if (found == TRights::TFound::NotThere && !rightsLike.empty()) {
        model = rightsIn ? rightsIn->PathOf(rightsLike) : rightsLike;
        found = rightsIn ? TRights::Of(*rightsIn, rightsLike, rights) : TRights::Of(rightsLike, rights);
        if (found == TRights::TFound::There && rights.OfFolder()) {
            rights = TRights();
            found = TRights::TFound::NotThere;
        }
    }
    if (found == TRights::TFound::Failed) {
        m_file.m_error = errno != 0 ? errno : EIO;
        m_rightsOf = model;
        return false;
    }
    return Stage(m_folder, m_folder.Path(), "." + name + ".XXXXXX", rights, model);
}

bool TAtomicFile::Stage(const TFolder& stage, const std::string& stagePath, std::string tempName, const TRights& rights,
                        const std::string& model)
{
    // Private to this user until it has its rights: nobody else opens it before.
    const int fd = stage.MakeUniqueFile(tempName, rights.IsModel() ? 0600 : 0666);
    if (fd < 0) {
        m_file.m_error = errno != 0 ? errno : EIO;
        // A staged file that cannot be made is the work folder's failure (it may not be
        // written, or is gone), not the target's; a full disk is the disk's.
        const bool full = m_file.m_error == ENOSPC || m_file.m_error == EDQUOT;
        if (m_transaction && full) {
            m_transaction->NoteFailure(m_target, m_file.m_error);
        } else if (m_transaction) {
            m_transaction->NoteFailure(stagePath, m_file.m_error, TFileTransaction::TCall::WriteWorkFolder);
            m_whyWorkFolder = m_transaction->WhyWorkFolderNotWritten(m_file.m_error, "could not");
        }
        return false;
    }
    const std::string tempPath = JoinPath(stagePath, tempName);
    BeforeRightsGiven(tempPath);
    if (!rights.GiveTo(fd)) {
        // Left private, it would narrow who may read the file; it is not used at all.
        const int error = errno != 0 ? errno : EIO;
        ::close(fd);
        (void)stage.Remove(tempName);
        m_file.m_error = error;
        m_rightsOf = model;
        if (m_transaction)
            m_transaction->NoteFailure(m_target, error);
        return false;
    }
    if (!m_file.Adopt(fd, tempPath, TFile::Mode::ReadWrite)) {
        if (m_transaction)
            m_transaction->NoteFailure(m_target, m_file.m_error);
        (void)stage.Remove(tempName);
        return false;
    }
    m_stage = &stage;
    m_tempName = tempName;
    m_tempPath = tempPath;
    TFile::Step();
    return true;
}

std::string TAtomicFile::WhyNotWritten() const
{
    const int error = m_file.LastError();
    const std::string why = error == 0 ? std::string() : FileErrorReason(error);
    if (!m_rightsOf.empty())
        return "its new file could not be given the rights of " + m_rightsOf + (why.empty() ? "" : ": " + why);
    return m_whyWorkFolder.empty() ? why : m_whyWorkFolder;
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
    if (m_tempName.empty())
        return false;
    const bool synced = !durable || m_file.Sync();
    const bool closed = m_file.Close();
    if (synced && closed)
        TFile::Step();
    if (synced && closed && m_transaction) {
        m_transaction->Adopt(m_tempPath, m_target);
        m_tempName.clear();
        m_tempPath.clear();
        return true;
    }
    const int renamed = synced && closed ? m_folder.Rename(m_tempName, m_folder, m_name) : 0;
    if (!synced || !closed || renamed != 0) {
        if (m_file.m_error == 0)
            m_file.m_error = renamed != 0 ? renamed : EIO;
        if (m_transaction)
            m_transaction->NoteFailure(m_target, m_file.m_error);
        (void)m_stage->Remove(m_tempName);
        m_tempName.clear();
        m_tempPath.clear();
        return false;
    }
    m_tempName.clear();
    m_tempPath.clear();
    TFile::Step();
    return true;
}

void TAtomicFile::Abort()
{
    if (m_tempName.empty())
        return;
    // Given up part way: the transaction learns which file failed, and why when known.
    if (m_transaction)
        m_transaction->NoteFailure(m_target, m_file.LastError());
    m_file.Close();
    (void)m_stage->Remove(m_tempName);
    m_tempName.clear();
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
    return in.Open(from, TFile::Mode::Read) && CopyFileAtomically(in, to, transaction);
}

bool CopyFileAtomically(TFile& in, const std::string& to, TFileTransaction* transaction)
{
    TAtomicFile out;
    if (!out.Begin(to, transaction))
        return false;
    std::vector<char> buffer(size_t(1) << 20);
    for (;;) {
        const size_t got = in.Read(buffer.data(), buffer.size());
        if (got > 0 && !out.File().Write(buffer.data(), got))
            return false;
        if (got < buffer.size())
            break;
    }
    // A read that stopped before the end is no copy. The change fails for the file that
    // could not be read, not for the copy, which was never at fault.
    if (in.ReadFailed()) {
        if (transaction)
            transaction->NoteFailure(in.Path(), in.LastError(), TFileTransaction::TCall::Read);
        return false;
    }
    return out.Commit();
}

}  // namespace vx
