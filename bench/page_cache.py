"""Puts every file a contender reads into the page cache the same way.

How a file sits in the page cache depends on how it was written: the payload
comes from large writes, each tool writes its package with writes of its own
size, and reads of a file cached in small pieces cost more per byte. So that no
contender gains or loses by the tool that built its input, every input is
written back, dropped from the cache and read once from the disk in order, as a
package that the user downloaded and runs would be.
"""
import os
from typing import Iterable

READ_SIZE = 1 << 20


def settle(paths: Iterable[str]):
    # Only clean pages can be dropped.
    os.sync()
    for path in paths:
        descriptor = os.open(path, os.O_RDONLY)
        try:
            os.posix_fadvise(descriptor, 0, 0, os.POSIX_FADV_DONTNEED)
            while os.read(descriptor, READ_SIZE):
                pass
        finally:
            os.close(descriptor)
