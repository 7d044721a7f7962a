#pragma once
// The layout of a saved scene inside the chunk file (chunkfile.h). All integers little-endian.
//
//   kScene, holding:
//     kHeader   uint32 format version, int32 ticks per frame, int32 scene time, int32 animation range start
//               and end (ticks)
//     kItems    one kItem per saved item (nodes, objects, modifiers, controllers, parameter blocks, materials
//               and maps), in the order of their indices, nodes first:
//       kItem     kItemClass  uint32 super class, class id (two uint32), uint32 flags; a parameter block adds
//                             its owner's super class and class id and its int16 block id
//                 kItemRefs   uint32 count, then int32 per reference: the item it points at, -1 for none
//                 kItemData   what the item's own Save wrote
//     kNodes    uint32 count, then per node, parents before their children, in each parent's order:
//               int32 its item, int32 its parent's item (-1: the root)
//   kDigest     uint32 CRC-32 of kScene (scenefile::Digest)
#include <cstdint>

#include "ioapi.h"

namespace scenefile {

constexpr uint32_t kFormatVersion = 1;

constexpr USHORT kScene = 0x5753;
constexpr USHORT kDigestChunk = 0x5744;
constexpr USHORT kHeader = 0x0001;
constexpr USHORT kItems = 0x0002;
constexpr USHORT kNodes = 0x0003;
constexpr USHORT kItem = 0x0010;
constexpr USHORT kItemClass = 0x0011;
constexpr USHORT kItemRefs = 0x0012;
constexpr USHORT kItemData = 0x0013;

// Item flags.
constexpr uint32_t kItemDisabled = 0x1;  // a modifier switched off in its stacks

// Super class of the particle systems' event objects (helpers).
constexpr SClass_ID kHelperSuperClass = 0x00000050;

}  // namespace scenefile
