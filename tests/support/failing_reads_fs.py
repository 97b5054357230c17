#!/usr/bin/python3
"""Mounts the folder SOURCE at TARGET as a FUSE pass-through whose reads of the file FILE
(a path below the mount: "/p/b") fail with EIO past its first AFTER bytes, as a failing disk
fails them; every other call goes through to SOURCE. Runs in the background once mounted.

Usage: failing_reads_fs.py SOURCE TARGET FILE AFTER
"""
import errno
import os
import sys

from fusepy import FUSE, FuseOSError, Operations


class FailingReads(Operations):
    def __init__(self, root, failing, after):
        self.root = os.path.realpath(root)
        self.failing = self.root + failing
        self.after = after

    def __call__(self, op, path, *args):
        # Every path the kernel gives is one below the mount: it is the same below SOURCE.
        return super().__call__(op, self.root + path, *args)

    def access(self, path, mode):
        if not os.access(path, mode):
            raise FuseOSError(errno.EACCES)

    chmod = os.chmod
    chown = os.chown

    def create(self, path, mode, fi=None):
        # The open's own flags do not come with it: the file is open to read and write.
        return os.open(path, os.O_RDWR | os.O_CREAT | os.O_EXCL, mode)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        return os.fdatasync(fh) if datasync else os.fsync(fh)

    def getattr(self, path, fh=None):
        st = os.lstat(path)
        return {key: getattr(st, key) for key in ('st_atime', 'st_ctime', 'st_gid', 'st_mode', 'st_mtime',
                                                   'st_nlink', 'st_size', 'st_uid')}

    def link(self, target, source):
        return os.link(self.root + source, target)

    mkdir = os.mkdir
    mknod = os.mknod

    def open(self, path, flags):
        return os.open(path, flags)

    def read(self, path, size, offset, fh):
        if path == self.failing and offset + size > self.after:
            if offset >= self.after:
                raise FuseOSError(errno.EIO)
            size = self.after - offset
        return os.pread(fh, size, offset)

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(path)

    readlink = os.readlink

    def release(self, path, fh):
        return os.close(fh)

    def rename(self, old, new):
        return os.rename(old, self.root + new)

    rmdir = os.rmdir

    def statfs(self, path):
        st = os.statvfs(path)
        return {key: getattr(st, key) for key in ('f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail',
                                                   'f_ffree', 'f_files', 'f_flag', 'f_frsize', 'f_namemax')}

    def symlink(self, target, source):
        return os.symlink(source, target)

    def truncate(self, path, length, fh=None):
        os.truncate(path, length)

    unlink = os.unlink

    def utimens(self, path, times=None):
        os.utime(path, times, follow_symlinks=False)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)


if __name__ == '__main__':
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source, target, failing, after = sys.argv[1:]
    # direct_io: every read reaches this program, none is served from the page cache.
    FUSE(FailingReads(source, failing, int(after)), target, foreground=False, direct_io=True)
