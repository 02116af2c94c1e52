#pragma once

#include <cstdint>

// The parts of a DVD's UDF file system that libdvdread reads: what our own
// reader of images (UdfImage) looks for.
namespace pelvano::udf {

constexpr uint32_t kBlock = 2048;
// libdvdread looks for the anchor here and nowhere else.
constexpr uint32_t kAnchorBlock = 256;

// Descriptor tag identifiers.
enum Tag : uint16_t {
    kAnchorTag = 2,
    kPartitionTag = 5,
    kLogicalVolumeTag = 6,
    kTerminatingTag = 8,
    kFileSetTag = 256,
    kFileIdentifierTag = 257,
    kFileEntryTag = 261,
};

// File types of a File Entry's ICB tag.
constexpr uint8_t kDirectoryType = 4;
constexpr uint8_t kFileType = 5;

}  // namespace pelvano::udf
