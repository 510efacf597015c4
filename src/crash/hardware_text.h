// The installed hardware as a crash report shows it: processor, memory,
// display adapters and disks, one line each.
#pragma once

#include "crash/text_buffer.h"

namespace velmora::crash {

// "Processor: <name>, <n> MHz, <n> logical processors"
void AppendProcessor(TextBuffer& out);
// "Memory: <n> MB physical, <n> MB available"
void AppendMemory(TextBuffer& out);
// "Display: <adapter> (primary), 1920x1080, 32 bits" for each adapter that
// shows the desktop, then "Display: <adapter>" for the others.
void AppendDisplays(TextBuffer& out);
// "Disk: \\.\PhysicalDrive0 <vendor and model>, <size>" for each fixed disk.
void AppendDisks(TextBuffer& out);

}  // namespace velmora::crash
