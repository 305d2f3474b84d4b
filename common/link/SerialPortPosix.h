#pragma once
// A serial port wired to an RS-485 bus: raw 115200 baud, 8 data bits, no
// parity, one stop bit, non-blocking, watched with poll by the serial reactor.
//
// "COMn" names the device that $TARNVEL_COM_DIR/COMn links to (default folder
// $XDG_CONFIG_HOME/tarnvel/com, i.e. ~/.config/tarnvel/com); without such a link
// it is /dev/ttyS<n-1>.

#include <cstddef>
#include <cstdint>
#include <string>

class OsalSerialPort {
public:
  OsalSerialPort();
  ~OsalSerialPort();
  OsalSerialPort(const OsalSerialPort &) = delete;
  OsalSerialPort &operator=(const OsalSerialPort &) = delete;

  // The device path behind COM port number p_i32Port (1..255).
  static std::string ResolveComPort(int32_t p_i32Port);

  // Opens the device exclusively for reading and writing. Returns 0, or the
  // errno of the failed open (the port stays closed).
  int32_t Open(const std::string &p_strDevice);
  // Sets raw 115200 8N1. Returns 0, or the errno of the failed get/set step in
  // p_ri32Errno and which step failed (1 get, 2 set).
  int32_t Configure(int32_t &p_ri32Errno);
  void Close();
  bool IsOpen() const { return c_i32Fd >= 0; }
  int GetFd() const { return c_i32Fd; }

  // Reads what has arrived, then keeps reading until the line has been quiet for
  // p_i32GapMs milliseconds or p_uCapacity bytes are held: one "read completion"
  // of the bus. Returns the number of bytes read (0 when nothing was there), or
  // -1 on an error of the port.
  ssize_t ReadBurst(uint8_t *p_pu8Buffer, size_t p_uCapacity, int32_t p_i32GapMs);
  // Writes all bytes (waiting for the port to drain when it is full, at most
  // p_i32TimeoutMs in all). Returns 0, or -1 when the port failed or timed out.
  int32_t WriteAll(const uint8_t *p_pu8Data, size_t p_uCount, int32_t p_i32TimeoutMs);

private:
  int c_i32Fd;
};
