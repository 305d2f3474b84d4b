#pragma once
// The emulated sensor's software images and the software files that carry them.
//
// A sensor is sent only the image part of a software file (the wizard strips the
// 118-byte file header and writes the rest at the header's load address), so the
// emulator cannot learn the installed version from the header. Every image it
// accepts therefore starts with an image record of its own:
//
//   offset  width  field
//   0       8      "KTXIMAGE"
//   8       4      program id, little-endian (1 boot loader, 2 burn-in, 3 normal)
//   12      15     version, the binary form of a version record (build time included)
//   27      1      0
//   28      4      image length in bytes, this record included, little-endian
//
// The flash-writing program refuses an image without a valid record, with a
// program id other than 1..3 or whose length differs from the bytes written.
// Software files made by BuildSoftwareFile follow this layout and fill the file
// header the way the wizard reads it.

#include "runtime/Version.h"

#include <cstdint>
#include <vector>

class KTX_SimSoftwareImage {
public:
  static constexpr int32_t c_i32RecordLength = 32;
  static constexpr int32_t c_i32FileHeaderLength = 118;

  // 0 and the record's fields, or KTX_RC_FILE_INVALID_FORMAT.
  static int32_t ReadRecord(const uint8_t *p_pu8Image, uint32_t p_u32Length, uint32_t *p_pu32ProgramId,
                            KTX_Version *p_poVersion);

  // An image: the record followed by p_rvu8Body.
  static std::vector<uint8_t> BuildImage(uint32_t p_u32ProgramId, const KTX_Version &p_roVersion,
                                         const std::vector<uint8_t> &p_rvu8Body);

  // A complete software file (".ktxbin"): the 118-byte header (load address at
  // 12, program id at 28, the version's 37-character text at 80, all the wizard
  // reads) followed by the image.
  static std::vector<uint8_t> BuildSoftwareFile(uint32_t p_u32ProgramId, const KTX_Version &p_roVersion,
                                                const std::vector<uint8_t> &p_rvu8Body);

  // The flash address a program's image is loaded at; written into the file
  // header, not checked by the emulator.
  static uint32_t LoadAddress(uint32_t p_u32ProgramId);
};
