#pragma once
// A binary file opened for reading or writing. Short reads and writes are reported
// to the caller, who treats them as failures. One thread at a time uses a TFile, but for
// ReadExactAt.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/TFolder.h"

namespace vx {

class TFile {
public:
    enum class Mode { Read, Write, ReadWrite, Append };

    TFile() = default;
    ~TFile();
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;

    // Write creates or truncates; ReadWrite needs an existing file. Read opens only a
    // regular file, never waiting on a FIFO (OpenFileToRead): NotAFile says what else
    // stood there.
    bool Open(const std::string& path, Mode mode);
    // Opens the regular file `name` of `folder` to read, never through a link, as Open
    // opens a path to read: NotAFile says what stood there instead. With kTrustedLink, a
    // link there is followed where the folder's rule lets it (a file of a project another
    // user may write, TFolder::OpenToReadThroughTrustedLink), and any other is named with its
    // owner in NotAFile.
    static constexpr bool kTrustedLink = true;
    bool Open(const TFolder& folder, const std::string& name, bool trustedLink = false);
    // Open with kTrustedLink of the file at `path`, in its folder opened by the path (a link
    // at the folder's own name followed, as the path gives it).
    bool OpenThroughTrustedLink(const std::string& path);
    // Records an open to read that could not be made for `error` (the folder of the file
    // did not open), as a failed Open does; false.
    bool NotOpened(int error);
    // Makes the file `name` in `folder`, which must not be there (EEXIST), with `mode` less
    // the umask, open to write, never through a link at its name. Path() names it also when
    // it could not be made, and LastError() says why.
    bool Make(const TFolder& folder, const std::string& name, mode_t mode);
    // Takes the descriptor `fd`, open with `mode`'s access (a file opened relative to a
    // folder, TFolder), as though Open had opened it at `path`; false, the descriptor
    // closed, when no stream can be made of it.
    bool Adopt(int fd, const std::string& path, Mode mode);
    // What stood at the path of the last Open for reading instead of a regular file ("a
    // FIFO", "a folder", ...); empty when it was a file or nothing could be opened at all.
    const std::string& NotAFile() const { return m_notAFile; }
    // Closes and returns false when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }
    const std::string& Path() const { return m_path; }
    // The system's error number of the last open, read, size look-up, write, flush, sync or
    // close that failed since the last Open (ENOSPC when the test write budget ran out); 0
    // when none failed. Kept after Close, so that a failed close can still be explained.
    int LastError() const { return m_error; }

    // Bytes actually read (less than n at the end of the file or on error).
    size_t Read(void* data, size_t n);
    // True once a read since the last Open failed (LastError says why), so that a short
    // read can be told from the end of the file.
    bool ReadFailed() const { return m_readFailed; }
    // True only when all n bytes were read.
    bool ReadExact(void* data, size_t n) { return Read(data, n) == n; }
    // Reads n bytes at the offset without moving the position; true only when all n
    // were read. Several threads may call it at once on one file. A read that fails is
    // recorded as Read's is (ReadFailed); one that meets the end of the file is not.
    bool ReadExactAt(int64_t offset, void* data, size_t n);
    bool Write(const void* data, size_t n);
    bool WriteText(const std::string& text) { return Write(text.data(), text.size()); }
    // Writes the buffers one after the other without copying them first (large files
    // made of many arrays); the same as Write of each in turn.
    struct TPart {
        const void* data;
        size_t size;
    };
    bool WriteParts(const TPart* parts, size_t count);
    // While set, what Write and WriteParts write is appended to *copy as well, so that a
    // writer keeps the bytes it wrote without reading them back (a file opened to write
    // cannot be read). A writer that seeks back to write again changes its copy itself.
    void CopyWritesTo(std::string* copy) { m_copy = copy; }

    bool Seek(int64_t offset);
    bool SeekFromEnd(int64_t offset);
    int64_t Tell() const;
    // -1 when the size could not be looked up (LastError says why).
    int64_t Size() const;
    // Bytes between the current position and the end; -1, as Size, when the size or the
    // position could not be looked up (never 0: that is a file read to its end).
    int64_t BytesLeft() const;
    // True once a look-up of the size or the position by Size or BytesLeft since the last
    // Open failed (LastError says why), so that a file refused because its size was not
    // known can be told from one too short.
    bool SizeFailed() const { return m_sizeFailed; }
    bool Flush();
    // Flushes and asks the system to put the data on disk.
    bool Sync();
    // Flushes and asks the system to start putting the data written so far on disk
    // without waiting for it, so that writing the rest overlaps with the disk and a
    // later Sync has less left to wait for.
    bool StartWriteBack();

    // Little-endian 4-byte fields, as every binary file of the program holds them.
    bool ReadInt32(int32_t& v);
    bool ReadUInt32(uint32_t& v);
    bool ReadFloat(float& v);
    bool ReadDouble(double& v);
    bool WriteInt32(int32_t v);
    bool WriteUInt32(uint32_t v);
    bool WriteFloat(float v);
    bool WriteDouble(double v);

    std::FILE* Handle() { return m_file; }

    // Fault injection for tests: after `bytes` more bytes have been written by any
    // TFile, every further write fails (as on a full disk). -1 switches it off.
    static void FailWritesAfter(int64_t bytes);
    // Fault injection for tests: the hook runs at every step of a file replacement (a
    // temporary file made, completed or renamed, a journal written or removed), so that
    // a test can stop the process between any two of them. Empty switches it off.
    static void SetStepHook(std::function<void()> hook);
    // Runs the step hook (the file layer calls it).
    static void Step();

private:
    friend class TAtomicFile;
    // Marks the file failed with the error (errno when it is 0); returns false.
    bool Fail(int error = 0);
    // True, the read recorded as failed, when the test seam fails a read of these kinds
    // (TFileCall bits): every read, sequential or positional, asks it first.
    bool ReadRefused(unsigned calls);
    // Marks a read failed with errno's error (EIO when it is 0); out of line, as reads
    // seldom fail. Positional reads of several threads may call it at once.
    [[gnu::cold, gnu::noinline]] void FailRead();

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_notAFile;  // see NotAFile
    bool m_failed = false;
    bool m_readFailed = false;  // see ReadFailed
    mutable bool m_sizeFailed = false;  // see SizeFailed
    mutable int m_error = 0;  // see LastError; Size() sets it too
    std::string* m_copy = nullptr;  // see CopyWritesTo
};

class TFileTransaction;
class TRights;

// Writes a file the user would lose: the data goes to a temporary file in the same
// folder, which Commit() renames over the target. Without Commit() (or when it
// fails) the target is untouched and the temporary file is removed. A file begun in a
// transaction is staged in the transaction's work folder and only completed by
// Commit(): the transaction renames it with the others.
class TAtomicFile {
public:
    TAtomicFile() = default;
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Begins the file `name` of `folder`, staged beside it under a hidden name: made,
    // renamed and removed through the folder's descriptor (kept until Commit or Abort), so
    // that a link put at any name of it, or another folder put at its path, leads the
    // file nowhere else. File().LastError() tells why Begin or Commit failed. A file that
    // replaces none takes the rights of the file at `rightsLike` where one is there (a name
    // in `rightsIn`, reached through its descriptor, where that is given).
    bool Begin(const TFolder& folder, const std::string& name, const std::string& rightsLike = std::string(),
               const TFolder* rightsIn = nullptr);
    // The same for the file at `targetPath`, its folder opened by its path (the links on
    // the way followed as the path gives them); in a transaction, staged in its work folder.
    bool Begin(const std::string& targetPath, TFileTransaction* transaction = nullptr,
               const std::string& rightsLike = std::string());
    TFile& File() { return m_file; }
    // durable: the data is on the disk before the rename, for files that outlive the
    // run. Files only this run reads back (undo states) skip the wait.
    bool Commit(bool durable = true);
    void Abort();
    const std::string& TempPath() const { return m_tempPath; }
    // Why the file could not be written, in a few words to follow a message: its error's
    // reason (FileErrorReason), or that the work folder of its transaction did not take its
    // staged file, and why (and who owns it, when that is another user), or that the new
    // file could not be given the rights of the file it takes them from; empty when the
    // system gave no reason.
    std::string WhyNotWritten() const;
    // True for the name (no folder) of a temporary file Begin() makes beside its target:
    // "." + the target's name + "." + six letters or digits; target then receives that name.
    static bool IsTempFileName(const std::string& name, std::string& target);

private:
    // Begin in `folder`, which the file keeps; `target` names the file in messages.
    bool BeginIn(TFolder folder, const std::string& name, const std::string& target, const std::string& rightsLike,
                 const TFolder* rightsIn = nullptr);
    // Makes the staged file in `stage` (at `stagePath`) from `tempName`, its last six
    // characters made unique, with `rights`, `model` being the file they come from.
    bool Stage(const TFolder& stage, const std::string& stagePath, std::string tempName, const TRights& rights,
               const std::string& model);

    TFile m_file;
    TFolder m_folder;      // the target's folder, where a file of no transaction is staged
    std::string m_name;    // the target's name in it
    std::string m_target;  // the target's path
    std::string m_tempName;  // the staged file's name; empty while none is made
    std::string m_tempPath;
    const TFolder* m_stage = nullptr;  // the folder it is staged in: m_folder, or the work folder
    TFileTransaction* m_transaction = nullptr;
    std::string m_whyWorkFolder;  // why the work folder did not take the staged file
    std::string m_rightsOf;  // the file whose rights the new file could not read or take
};

// Writes a whole text or binary buffer through TAtomicFile.
bool WriteFileAtomically(const std::string& path, const std::string& data);
// Copies a file through TAtomicFile to `to` (in the transaction: staged with its others).
// False, nothing written, when `from` cannot be read to its end: a transaction then fails
// for that read (TCall::Read, with `from` and the read's error).
bool CopyFileAtomically(const std::string& from, const std::string& to, TFileTransaction* transaction = nullptr);
// The same from `from`, a file open to read, from where it stands to its end
// (from.ReadFailed() then tells a failed read).
bool CopyFileAtomically(TFile& from, const std::string& to, TFileTransaction* transaction = nullptr);

}  // namespace vx
