// Fuzz target: the parameter-file reader on arbitrary bytes.
//
// The bytes are handed to the reader as a file that lives in memory only, so
// that many runs in parallel never share or leave a file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue.h"
#include "parameters.h"
#include "run_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    initialiseCatalogue();
    started = true;
  }
  int fd = memfd_create("kova-parms", MFD_CLOEXEC);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  resetProcessState();
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  processParmFile(path.c_str(), fileLists.files.get());
  close(fd);
  return 0;
}
