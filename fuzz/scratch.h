#pragma once
// A fresh folder for a fuzz target's files, in memory when the machine offers a tmpfs: a target
// writes files for every input, and a disk would make that the whole cost of a run.

#include <stdlib.h>

#include <QByteArray>

inline QByteArray ScratchFolder(const char* name) {
  for (const char* base : {"/dev/shm/", "/tmp/"}) {
    QByteArray pattern = QByteArray(base) + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) return pattern + "/";
  }
  abort();
}
