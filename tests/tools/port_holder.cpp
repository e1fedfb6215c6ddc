// SPDX-License-Identifier: MIT
// A process that keeps a port open for the port tool's tests, the way
// another program would: "port_holder lock PATH" opens it as TALVI does
// (exclusively, through the serial layer), "port_holder plain PATH" as a
// terminal program that takes no lock. Prints "ready" once it holds the
// port and lets go when its standard input closes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "serial/serial.h"

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  const std::string mode = argv[1];
  int fd = -1;
  talvi::serial::Handle port = -1;
  if (mode == "lock") {
    port = talvi::serial::OPENCOMM(argv[2]);
    if (port < 0) return 1;
  } else {
    fd = ::open(argv[2], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  char c = 0;
  while (::read(STDIN_FILENO, &c, 1) > 0) {
  }
  if (port >= 0) talvi::serial::CLOSECOMM(port);
  if (fd >= 0) ::close(fd);
  return 0;
}
