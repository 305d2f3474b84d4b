#include "link/SerialPortPosix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

OsalSerialPort::OsalSerialPort() : c_i32Fd(-1) {}

OsalSerialPort::~OsalSerialPort() { Close(); }

std::string OsalSerialPort::ResolveComPort(int32_t p_i32Port) {
  std::string dir;
  if (const char *env = std::getenv("TARNVEL_COM_DIR"); env != nullptr && env[0] != '\0') {
    dir = env;
  } else if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    dir = std::string(xdg) + "/tarnvel/com";
  } else if (const char *home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    dir = std::string(home) + "/.config/tarnvel/com";
  }
  if (!dir.empty()) {
    const std::string link = dir + "/COM" + std::to_string(p_i32Port);
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0) {
      target[n] = '\0';
      std::string path(target);
      // A relative link points from the folder it lives in.
      return path[0] == '/' ? path : dir + "/" + path;
    }
  }
  return "/dev/ttyS" + std::to_string(p_i32Port - 1);
}

int32_t OsalSerialPort::Open(const std::string &p_strDevice) {
  Close();
  const int fd = ::open(p_strDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  // Exclusive use, as a serial port is one program's at a time. Not every
  // device supports it (a pseudo-terminal slave does), so a refusal is ignored.
  (void)::ioctl(fd, TIOCEXCL);
  c_i32Fd = fd;
  return 0;
}

int32_t OsalSerialPort::Configure(int32_t &p_ri32Errno) {
  p_ri32Errno = 0;
  termios tio{};
  if (tcgetattr(c_i32Fd, &tio) != 0) {
    p_ri32Errno = errno;
    return 1;
  }
  cfmakeraw(&tio);
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(c_i32Fd, TCSANOW, &tio) != 0) {
    p_ri32Errno = errno;
    return 2;
  }
  return 0;
}

void OsalSerialPort::Close() {
  if (c_i32Fd >= 0) {
    ::close(c_i32Fd);
    c_i32Fd = -1;
  }
}

ssize_t OsalSerialPort::ReadBurst(uint8_t *p_pu8Buffer, size_t p_uCapacity, int32_t p_i32GapMs) {
  size_t total = 0;
  while (total < p_uCapacity) {
    const ssize_t n = ::read(c_i32Fd, p_pu8Buffer + total, p_uCapacity - total);
    if (n > 0) {
      total += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      // A pseudo-terminal whose other side is closed reports EIO; that is a port error too.
      return total > 0 ? static_cast<ssize_t>(total) : -1;
    }
    if (n == 0 && total == 0) {
      return 0;
    }
    if (total == 0) {
      return 0;
    }
    // Something arrived: the read completes once the line stays quiet for the gap.
    pollfd pfd{c_i32Fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, p_i32GapMs);
    if (ready <= 0 || (pfd.revents & POLLIN) == 0) {
      break;
    }
  }
  return static_cast<ssize_t>(total);
}

int32_t OsalSerialPort::WriteAll(const uint8_t *p_pu8Data, size_t p_uCount, int32_t p_i32TimeoutMs) {
  size_t done = 0;
  int32_t waited = 0;
  while (done < p_uCount) {
    const ssize_t n = ::write(c_i32Fd, p_pu8Data + done, p_uCount - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return -1;
    }
    if (waited >= p_i32TimeoutMs) {
      return -1;
    }
    pollfd pfd{c_i32Fd, POLLOUT, 0};
    ::poll(&pfd, 1, 10);
    waited += 10;
  }
  return 0;
}
