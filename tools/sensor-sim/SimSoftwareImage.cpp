#include "sensor-sim/SimSoftwareImage.h"

#include "runtime/ReturnCode.h"

#include <cstring>

namespace {

const char c_acImageMagic[8] = {'K', 'T', 'X', 'I', 'M', 'A', 'G', 'E'};
const char c_acFileMagic[4] = {'K', 'T', 'X', 'B'};

void StoreLe32(uint8_t *p_pu8Out, uint32_t p_u32Value) {
  for (int i = 0; i < 4; ++i) {
    p_pu8Out[i] = static_cast<uint8_t>(p_u32Value >> (8 * i));
  }
}

uint32_t LoadLe32(const uint8_t *p_pu8In) {
  return static_cast<uint32_t>(p_pu8In[0]) | (static_cast<uint32_t>(p_pu8In[1]) << 8) |
         (static_cast<uint32_t>(p_pu8In[2]) << 16) | (static_cast<uint32_t>(p_pu8In[3]) << 24);
}

} // namespace

int32_t KTX_SimSoftwareImage::ReadRecord(const uint8_t *p_pu8Image, uint32_t p_u32Length, uint32_t *p_pu32ProgramId,
                                         KTX_Version *p_poVersion) {
  if (p_pu8Image == nullptr || p_u32Length < static_cast<uint32_t>(c_i32RecordLength) ||
      std::memcmp(p_pu8Image, c_acImageMagic, sizeof c_acImageMagic) != 0) {
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  const uint32_t programId = LoadLe32(p_pu8Image + 8);
  if (programId < 1 || programId > 3 || p_pu8Image[27] != 0 || LoadLe32(p_pu8Image + 28) != p_u32Length) {
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  KTX_Version version;
  if (version.FromBinary(p_pu8Image + 12, KTX_Version::c_i32BinaryLength) != KTX_RC_OK) {
    return KTX_RC_FILE_INVALID_FORMAT;
  }
  if (p_pu32ProgramId != nullptr) {
    *p_pu32ProgramId = programId;
  }
  if (p_poVersion != nullptr) {
    *p_poVersion = version;
  }
  return KTX_RC_OK;
}

std::vector<uint8_t> KTX_SimSoftwareImage::BuildImage(uint32_t p_u32ProgramId, const KTX_Version &p_roVersion,
                                                      const std::vector<uint8_t> &p_rvu8Body) {
  std::vector<uint8_t> image(c_i32RecordLength + p_rvu8Body.size(), 0);
  std::memcpy(image.data(), c_acImageMagic, sizeof c_acImageMagic);
  StoreLe32(image.data() + 8, p_u32ProgramId);
  p_roVersion.ToBinary(image.data() + 12);
  StoreLe32(image.data() + 28, static_cast<uint32_t>(image.size()));
  if (!p_rvu8Body.empty()) {
    std::memcpy(image.data() + c_i32RecordLength, p_rvu8Body.data(), p_rvu8Body.size());
  }
  return image;
}

std::vector<uint8_t> KTX_SimSoftwareImage::BuildSoftwareFile(uint32_t p_u32ProgramId, const KTX_Version &p_roVersion,
                                                             const std::vector<uint8_t> &p_rvu8Body) {
  const std::vector<uint8_t> image = BuildImage(p_u32ProgramId, p_roVersion, p_rvu8Body);
  std::vector<uint8_t> file(c_i32FileHeaderLength, 0);
  // Bytes the wizard leaves alone: a magic, a format number and the image length.
  std::memcpy(file.data(), c_acFileMagic, sizeof c_acFileMagic);
  StoreLe32(file.data() + 4, 1);
  StoreLe32(file.data() + 8, static_cast<uint32_t>(image.size()));
  StoreLe32(file.data() + 12, LoadAddress(p_u32ProgramId));
  StoreLe32(file.data() + 28, p_u32ProgramId);
  char text[KTX_Version::c_i32TextLength + 1];
  p_roVersion.ToText(text, sizeof text);
  std::memcpy(file.data() + 80, text, KTX_Version::c_i32TextLength);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

uint32_t KTX_SimSoftwareImage::LoadAddress(uint32_t p_u32ProgramId) {
  switch (p_u32ProgramId) {
  case 1:
    return 0x42000000u;
  case 2:
    return 0x42400000u;
  default:
    return 0x42800000u;
  }
}
