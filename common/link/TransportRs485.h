#pragma once
// The serial transport: framed messages over a serial port wired to an RS-485
// bus. It opens the first usable port of its address (which may be a range
// such as COM3-255), reads whatever arrives into a receive buffer and collects
// frames from it, and writes each outgoing message framed. All sensors on a bus
// hear every frame, so the wizard hears its own requests too; the protocol
// throws those echoes away. A message for another port moves the transport
// there first (on the serial worker, which owns the port).

#include "link/SerialPortPosix.h"
#include "link/Transport.h"

class KTX_MessageSupervisor;

class KTX_TransportRs485 : public KTX_Transport {
public:
  static constexpr int32_t c_i32BufferSize = 4096;
  // The bus is quiet this long after a burst of bytes: the read is complete.
  static constexpr int32_t c_i32InterByteGapMs = 1;

  KTX_TransportRs485();
  ~KTX_TransportRs485() override;

  int32_t Open(KTX_Protocol *p_poProtocol) override;
  int32_t Close() override;
  int32_t SetAddress(const KTX_DeviceAddress &p_roAddress) override;
  int GetReadHandle() override;
  int GetWriteHandle() override { return c_iNoHandle; }
  int GetExceptHandle() override { return c_iNoHandle; }
  int32_t GetTimeOutMs(uint32_t p_u32Now) override;
  int32_t ReadReady() override;
  int32_t WriteReady() override { return 0; }
  int32_t ExceptReady() override { return 0; }
  int32_t SendMessage(KTX_Message *p_poMessage) override;

  // The COM port open now (0 when none).
  int32_t GetOpenPort() const { return c_i32OpenPort; }

private:
  // Opens the first port of the own address that opens; logs what happened.
  void OpenPorts();
  void ClosePort();

  OsalSerialPort c_oPort;
  int32_t c_i32OpenPort;
  uint8_t c_au8SendBuffer[c_i32BufferSize];
  uint8_t c_au8ReceiveBuffer[c_i32BufferSize];
  int32_t c_i32ReceivedCount;
  KTX_MessageSupervisor *c_poUnderConstruction;
};
