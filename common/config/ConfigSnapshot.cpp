#include "config/ConfigSnapshot.h"

#include "buffers/BufferToken.h"
#include "runtime/ReturnCode.h"

#include <cstring>
#include <new>

KTX_ConfigSnapshot::KTX_ConfigSnapshot(int32_t p_i32Index)
    : c_i32Index(p_i32Index), c_u8Format(KTX_SNAPSHOT_FORMAT_JPEG), c_u16Width(0), c_u16Height(0), c_u32Size(0),
      c_u32Filled(0) {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_SNAPSHOT;
}

KTX_ConfigSnapshot::~KTX_ConfigSnapshot() = default;

void KTX_ConfigSnapshot::Discard() {
  c_pu8Data.reset();
  c_u32Size = 0;
  c_u32Filled = 0;
}

int32_t KTX_ConfigSnapshot::SetImage(const uint8_t *p_pu8Data, uint32_t p_u32Size, uint16_t p_u16Width,
                                     uint16_t p_u16Height, uint8_t p_u8Format) {
  if (p_u32Size > c_u32MaxSize || (p_pu8Data == nullptr && p_u32Size > 0)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  std::unique_ptr<uint8_t[]> pu8Copy;
  if (p_u32Size > 0) {
    pu8Copy.reset(new (std::nothrow) uint8_t[p_u32Size]);
    if (!pu8Copy) {
      return KTX_RC_MALLOC_FAILED;
    }
    std::memcpy(pu8Copy.get(), p_pu8Data, p_u32Size);
  }
  c_pu8Data = std::move(pu8Copy);
  c_u32Size = p_u32Size;
  c_u32Filled = p_u32Size;
  c_u16Width = p_u16Width;
  c_u16Height = p_u16Height;
  c_u8Format = p_u8Format;
  return KTX_RC_OK;
}

int32_t KTX_ConfigSnapshot::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Level = p_poToken->GetIndent();
  int32_t i32Result = WriteBegin(p_poBuffer, p_poToken, static_cast<uint32_t>(c_i32Index));
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poToken->SetUint8(KTX_BTID_SNAPSHOT_FORMAT, c_u8Format).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poToken->SetUint16(KTX_BTID_SNAPSHOT_WIDTH, c_u16Width).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poToken->SetUint16(KTX_BTID_SNAPSHOT_HEIGHT, c_u16Height).WriteToken(p_poBuffer);
  }
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poToken->SetUint32(KTX_BTID_SNAPSHOT_SIZE, c_u32Size).WriteToken(p_poBuffer);
  }
  for (uint32_t u32Offset = 0; u32Offset < c_u32Size && i32Result == KTX_RC_OK; u32Offset += c_u32BitsPerToken) {
    const uint32_t u32Count = c_u32Size - u32Offset < c_u32BitsPerToken ? c_u32Size - u32Offset : c_u32BitsPerToken;
    i32Result =
        p_poToken->SetBytes(KTX_BTID_SNAPSHOT_BITS, u32Count, c_pu8Data.get() + u32Offset).WriteToken(p_poBuffer);
  }
  if (i32Result != KTX_RC_OK) {
    p_poToken->SetIndent(u32Level);
    return i32Result;
  }
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigSnapshot::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  if (p_poSource == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  Discard();
  c_u16Width = 0;
  c_u16Height = 0;
  c_u8Format = KTX_SNAPSHOT_FORMAT_JPEG;
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    switch (p_u32Id) {
    case KTX_BTID_SNAPSHOT_FORMAT:
      return p_poToken->GetUint8(&c_u8Format);
    case KTX_BTID_SNAPSHOT_WIDTH:
      return p_poToken->GetUint16(nullptr, &c_u16Width);
    case KTX_BTID_SNAPSHOT_HEIGHT:
      return p_poToken->GetUint16(nullptr, &c_u16Height);
    case KTX_BTID_SNAPSHOT_SIZE:
      return ReadSize(p_poToken);
    case KTX_BTID_SNAPSHOT_BITS:
      return ReadBits(p_poToken);
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
  });
}

int32_t KTX_ConfigSnapshot::ReadSize(KTX_BufferToken *p_poToken) {
  uint32_t u32Size = 0;
  const int32_t i32Result = p_poToken->GetUint32(&u32Size);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  Discard();
  if (u32Size > c_u32MaxSize) {
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  if (u32Size > 0) {
    // Zeroed, so that data the file never delivers is not left undefined.
    c_pu8Data.reset(new (std::nothrow) uint8_t[u32Size]());
    if (!c_pu8Data) {
      return KTX_RC_MALLOC_FAILED;
    }
  }
  c_u32Size = u32Size;
  return KTX_RC_OK;
}

int32_t KTX_ConfigSnapshot::ReadBits(KTX_BufferToken *p_poToken) {
  const uint32_t u32Length = p_poToken->GetLength();
  if (u32Length > c_u32BitsPerToken || !c_pu8Data || u32Length > c_u32Size - c_u32Filled) {
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  if (u32Length > 0) {
    std::memcpy(c_pu8Data.get() + c_u32Filled, p_poToken->GetValue(), u32Length);
    c_u32Filled += u32Length;
  }
  return KTX_RC_OK;
}
