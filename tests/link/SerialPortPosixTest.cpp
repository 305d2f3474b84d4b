#include "link/SerialPortPosix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// A pseudo-terminal pair: the port opens the slave, the test plays the bus on the master.
struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    int s = -1;
    char name[256];
    if (openpty(&master, &s, name, nullptr, nullptr) == 0) {
      slave = name;
      ::close(s);
    }
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
};

TEST(SerialPort, ComNamesResolveThroughTheLinkFolderElseTtyS) {
  const std::string dir = "comdir";
  ::mkdir(dir.c_str(), 0700);
  ASSERT_EQ(::symlink("/dev/pts/77", (dir + "/COM5").c_str()), 0);
  ASSERT_EQ(::symlink("relative-dev", (dir + "/COM6").c_str()), 0);
  char cwd[1024];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string abs = std::string(cwd) + "/" + dir;
  setenv("TARNVEL_COM_DIR", abs.c_str(), 1);
  EXPECT_EQ(OsalSerialPort::ResolveComPort(5), "/dev/pts/77");
  EXPECT_EQ(OsalSerialPort::ResolveComPort(6), abs + "/relative-dev");
  EXPECT_EQ(OsalSerialPort::ResolveComPort(7), "/dev/ttyS6");
  unsetenv("TARNVEL_COM_DIR");
  setenv("XDG_CONFIG_HOME", "/nonexistent-config", 1);
  EXPECT_EQ(OsalSerialPort::ResolveComPort(1), "/dev/ttyS0");
}

TEST(SerialPort, OpensConfiguresAndMovesBytesBothWays) {
  Pty pty;
  ASSERT_GE(pty.master, 0);
  OsalSerialPort port;
  ASSERT_EQ(port.Open(pty.slave), 0);
  int32_t err = 0;
  ASSERT_EQ(port.Configure(err), 0) << err;
  termios tio{};
  ASSERT_EQ(tcgetattr(port.GetFd(), &tio), 0);
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);

  const uint8_t out[] = {0xAA, 0x01, 0xA0, 0x3A, 0xAB};
  ASSERT_EQ(port.WriteAll(out, sizeof out, 1000), 0);
  uint8_t seen[16];
  ssize_t n = 0;
  for (int i = 0; i < 200 && n < static_cast<ssize_t>(sizeof out); ++i) {
    const ssize_t r = ::read(pty.master, seen + n, sizeof seen - static_cast<size_t>(n));
    if (r > 0) n += r;
  }
  ASSERT_EQ(n, static_cast<ssize_t>(sizeof out));
  EXPECT_EQ(std::vector<uint8_t>(seen, seen + n), std::vector<uint8_t>(out, out + sizeof out));

  uint8_t buf[64];
  EXPECT_EQ(port.ReadBurst(buf, sizeof buf, 1), 0) << "nothing waiting";
  const uint8_t in[] = {1, 2, 3, 4};
  ASSERT_EQ(::write(pty.master, in, sizeof in), static_cast<ssize_t>(sizeof in));
  pollfd pfd{port.GetFd(), POLLIN, 0};
  ASSERT_EQ(::poll(&pfd, 1, 5000), 1);
  ASSERT_EQ(port.ReadBurst(buf, sizeof buf, 5), 4);
  EXPECT_EQ(buf[3], 4);
}

TEST(SerialPort, MissingDeviceReportsTheError) {
  OsalSerialPort port;
  EXPECT_EQ(port.Open("/dev/does-not-exist-tarnvel"), ENOENT);
  EXPECT_FALSE(port.IsOpen());
}

} // namespace
