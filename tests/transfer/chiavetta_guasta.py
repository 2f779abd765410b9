#!/usr/bin/python3
# A failing stick: a read-only mirror of ROOT mounted on MOUNTPOINT (FUSE, in
# the foreground) whose chosen folders and files answer EIO, as a worn-out
# medium does, and which may be slow: each read waits SECONDS first, or only
# each read of the files named with piano: when there are any, while the other
# files answer at once.
# Usage: chiavetta_guasta.py ROOT MOUNTPOINT opendir:/FOLDER readdir:/FOLDER read:/FILE lento:SECONDS
#        piano:/FILE ...
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class Guasta(Operations):
    def __init__(self, radice, guasti):
        self.radice = radice
        self.guasti = set(tuple(g.split(":", 1)) for g in guasti)
        self.attesa = sum(float(v) for k, v in self.guasti if k == "lento")
        self.piani = set(v for k, v in self.guasti if k == "piano")

    def _vero(self, path):
        return self.radice + path

    def _forse_guasto(self, operazione, path):
        if (operazione, path) in self.guasti:
            raise FuseOSError(errno.EIO)

    def getattr(self, path, fh=None):
        st = os.lstat(self._vero(path))
        return {k: getattr(st, k) for k in ("st_mode", "st_size", "st_nlink", "st_uid", "st_gid",
                                            "st_atime", "st_mtime", "st_ctime")}

    def opendir(self, path):
        self._forse_guasto("opendir", path)
        return 0

    def readdir(self, path, fh):
        self._forse_guasto("readdir", path)
        return [".", ".."] + os.listdir(self._vero(path))

    def open(self, path, flags):
        return os.open(self._vero(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        if not self.piani or path in self.piani:
            time.sleep(self.attesa)
        self._forse_guasto("read", path)
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0


if __name__ == "__main__":
    guasta = Guasta(sys.argv[1], sys.argv[3:])
    # With slow files named, the others answer at once meanwhile, from threads of their own.
    FUSE(guasta, sys.argv[2], foreground=True, ro=True, nothreads=not guasta.piani)
