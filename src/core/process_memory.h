#pragma once
// How the process's heap hands memory back to the system.

#include <cstddef>

// Blocks of 128 KiB and more (page bodies, a large page's analysis) are mapped on their own
// and go back to the system as soon as they are freed, instead of staying in the heap, where
// a later, larger block does not fit in the hole they leave. Called once, first thing in main.
void ReturnLargeBlocksToSystem();

// The whole pages inside a block that is about to be freed go back to the system now, also
// when the block lies in the heap among blocks still in use. Its contents are lost.
void ReturnPagesToSystem(void* block, std::size_t size);
