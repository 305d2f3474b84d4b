#pragma once
// One encoded camera image stored inside the configuration (JPEG or bitmap
// bytes as they came from the sensor or from a file), with its size in pixels.

#include "config/Config.h"

#include <memory>

enum KTX_SnapshotFormat : uint8_t {
  KTX_SNAPSHOT_FORMAT_JPEG = 0,
  KTX_SNAPSHOT_FORMAT_BITMAP = 1,
  KTX_SNAPSHOT_FORMAT_NONE = 255,
};

class KTX_ConfigSnapshot : public KTX_Config {
public:
  // Image data travels in "Bits" tokens of at most this many bytes.
  static constexpr uint32_t c_u32BitsPerToken = 32;
  // The largest image accepted: above any picture the sensor family takes (a
  // 24-bit bitmap of the largest stereo frame, 720 x 1152, is 2.5 MB), and a
  // bound on what a declared "Size" can make the reader allocate.
  static constexpr uint32_t c_u32MaxSize = 4u * 1024u * 1024u;

  explicit KTX_ConfigSnapshot(int32_t p_i32Index);
  ~KTX_ConfigSnapshot() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;

  // Replaces the data by a copy of the given bytes and sets size, size in
  // pixels and format. KTX_RC_INVALID_PARAMETER for more than c_u32MaxSize
  // bytes or absent data with a non-zero size; nothing changes then.
  int32_t SetImage(const uint8_t *p_pu8Data, uint32_t p_u32Size, uint16_t p_u16Width, uint16_t p_u16Height,
                   uint8_t p_u8Format);

  int32_t GetIndex() const { return c_i32Index; }
  uint8_t GetFormat() const { return c_u8Format; }
  uint16_t GetWidth() const { return c_u16Width; }
  uint16_t GetHeight() const { return c_u16Height; }
  uint32_t GetSize() const { return c_u32Size; }
  // The image bytes; none while the size is 0.
  const uint8_t *GetData() const { return c_pu8Data.get(); }

private:
  void Discard();
  // "Size": a new zeroed block of that many bytes replaces the data.
  int32_t ReadSize(KTX_BufferToken *p_poToken);
  // "Bits": the bytes are appended to the block.
  int32_t ReadBits(KTX_BufferToken *p_poToken);

  int32_t c_i32Index;
  uint8_t c_u8Format;
  uint16_t c_u16Width;
  uint16_t c_u16Height;
  uint32_t c_u32Size;
  std::unique_ptr<uint8_t[]> c_pu8Data;
  // Bytes of the data that "Bits" tokens have filled so far while reading.
  uint32_t c_u32Filled;
};
