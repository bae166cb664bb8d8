// A second process of the same machine ($GAML2KOV_HOME) that opens a named
// mutex, and takes it when asked, then waits until the test lets it end.
// Tests of what another process holding a mutex looks like use it.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/handles.h"

namespace testsupport {

class OtherProcess {
 public:
  OtherProcess(const char* mutex_name, bool take) {
    if (pipe(ready_) != 0 || pipe(finish_) != 0) std::abort();
    child_ = fork();
    if (child_ == 0) {
      HANDLE mutex = CreateMutexA(nullptr, FALSE, mutex_name);
      char state = mutex == nullptr ? 0 : (take && WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0 ? 2 : 1);
      (void)!write(ready_[1], &state, 1);
      (void)!read(finish_[0], &state, 1);
      _exit(0);
    }
    (void)!read(ready_[0], &state_, 1);
  }
  ~OtherProcess() { end(); }
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;

  bool opened() const { return state_ >= 1; }
  bool holds() const { return state_ == 2; }

  void end() {
    if (child_ <= 0) return;
    char byte = 0;
    (void)!write(finish_[1], &byte, 1);
    waitpid(child_, nullptr, 0);
    child_ = 0;
    for (int fd : {ready_[0], ready_[1], finish_[0], finish_[1]}) close(fd);
  }

 private:
  int ready_[2];
  int finish_[2];
  pid_t child_ = 0;
  char state_ = 0;
};

}  // namespace testsupport
