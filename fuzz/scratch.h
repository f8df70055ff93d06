#pragma once
// A fresh folder for a fuzz target's files, in memory when the machine offers a tmpfs: a target
// writes files for every input, and a disk would make that the whole cost of a run.

#include <fcntl.h>
#include <stdlib.h>

#include <QByteArray>

inline QByteArray ScratchFolder(const char* name) {
  for (const char* base : {"/dev/shm/", "/tmp/"}) {
    QByteArray pattern = QByteArray(base) + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) return pattern + "/";
  }
  abort();
}

// Where a target's shell writes the running log: a run makes millions of lines.
inline int DevNull() {
  static const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  return fd;
}
