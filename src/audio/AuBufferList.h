#pragma once

#include "platform/hal/AuHardwareTypes.h"

// Float audio buffer lists: creation, disposal, measuring, clearing and
// copying between lists whose channels are spread differently over buffers.
// Counts and offsets are in frames.

// A zero-filled list, or null for 0 channels, 0 frames or no memory.
// Interleaved: one buffer of all channels; otherwise one buffer per channel.
AuBufferList* AuBufferListNew(uint32_t channels, uint32_t frames, bool interleaved);
void AuBufferListDispose(AuBufferList* list);
uint32_t AuBufferListChannelCount(const AuBufferList* list);
// From the first buffer; 0 for a list without buffers or channels.
uint32_t AuBufferListFrameCount(const AuBufferList* list);
uint32_t AuBufferListClear(AuBufferList* list, uint32_t offset, uint32_t count);
uint32_t AuBufferListCopy(const AuBufferList* source, uint32_t sourceOffset,
                          AuBufferList* destination, uint32_t destinationOffset, uint32_t count);
