#!/usr/bin/python3
# A stick that lies about its size, mounted on MOUNTPOINT (FUSE, in the
# foreground). It declares DECLARED MiB but its memory holds REAL MiB: data
# lands in memory in the order it is written, and what goes past the end
# lands again from the start ("wrap") or nowhere ("drop"), as counterfeit
# controllers do. REAL = DECLARED is an honest stick. DELAY seconds are spent
# on every write, to give a test time to act mid-check. Pages read or written
# stay in the kernel's cache across opens, as on a real stick.
# Usage: chiavetta_falsa.py MOUNTPOINT DECLARED REAL wrap|drop [DELAY]
import errno
import stat
import sys
import time

from fusepy import FUSE, FuseOSError, Operations

MIB = 1 << 20
PEZZO = 64 * 1024


class Falsa(Operations):
    def __init__(self, dichiarati, reali, modo, ritardo):
        self.dichiarati, self.reali, self.modo, self.ritardo = dichiarati, reali, modo, ritardo
        self.memoria = bytearray(reali)
        self.prossimo = 0  # next piece of memory handed out, counted without end
        self.file = {}  # path -> [size, {piece of the file: piece of memory}]
        self.cartelle = {"/"}

    def _file(self, path):
        if path not in self.file:
            raise FuseOSError(errno.ENOENT)
        return self.file[path]

    def getattr(self, path, fh=None):
        if path in self.cartelle:
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        return {"st_mode": stat.S_IFREG | 0o644, "st_nlink": 1, "st_size": self._file(path)[0],
                "st_mtime": time.time()}

    def readdir(self, path, fh):
        dentro = [p for p in list(self.cartelle) + list(self.file) if p != "/" and p.rsplit("/", 1)[0] == path.rstrip("/")]
        return [".", ".."] + [p.rsplit("/", 1)[1] for p in dentro]

    def mkdir(self, path, mode):
        self.cartelle.add(path)

    def rmdir(self, path):
        if any(p.startswith(path + "/") for p in self.file):
            raise FuseOSError(errno.ENOTEMPTY)
        self.cartelle.discard(path)

    def create(self, path, mode, fi=None):
        self.file[path] = [0, {}]
        return 0

    def open(self, path, flags):
        self._file(path)
        return 0

    def truncate(self, path, length, fh=None):
        f = self._file(path)
        f[0], f[1] = length, {k: v for k, v in f[1].items() if k * PEZZO < length}

    def unlink(self, path):
        self._file(path)
        del self.file[path]

    def _pezzi(self, f, offset, lunghezza, nuovi):
        """(place in memory or None when dropped, offset in the piece, length) for each piece touched."""
        while lunghezza > 0:
            pezzo, dentro = divmod(offset, PEZZO)
            n = min(PEZZO - dentro, lunghezza)
            if nuovi and pezzo not in f[1]:
                f[1][pezzo], self.prossimo = self.prossimo, self.prossimo + 1
            inizio = f[1][pezzo] * PEZZO if pezzo in f[1] else None
            dropped = inizio is None or (inizio >= self.reali and self.modo == "drop")
            yield (None if dropped else inizio % self.reali), dentro, n
            offset, lunghezza = offset + n, lunghezza - n

    def write(self, path, data, offset, fh):
        time.sleep(self.ritardo)
        f, fatto = self._file(path), 0
        for dove, dentro, n in self._pezzi(f, offset, len(data), True):
            if dove is not None:
                self.memoria[dove + dentro:dove + dentro + n] = data[fatto:fatto + n]
            fatto += n
        f[0] = max(f[0], offset + len(data))
        return len(data)

    def read(self, path, size, offset, fh):
        f = self._file(path)
        pezzi = self._pezzi(f, offset, max(min(offset + size, f[0]) - offset, 0), False)
        return b"".join(bytes(self.memoria[d + i:d + i + n]) if d is not None else bytes(n) for d, i, n in pezzi)

    def fsync(self, path, datasync, fh):
        return 0

    def statfs(self, path):
        liberi = max(self.dichiarati - sum(len(f[1]) for f in self.file.values()) * PEZZO, 0) // 4096
        return {"f_bsize": 4096, "f_frsize": 4096, "f_blocks": self.dichiarati // 4096, "f_bfree": liberi,
                "f_bavail": liberi, "f_namemax": 255}


if __name__ == "__main__":
    ritardo = float(sys.argv[5]) if len(sys.argv) > 5 else 0.0
    FUSE(Falsa(int(sys.argv[2]) * MIB, int(sys.argv[3]) * MIB, sys.argv[4], ritardo), sys.argv[1],
         foreground=True, nothreads=True, big_writes=True, kernel_cache=True)
