// Finding the table marker, where the appended archive begins.
#pragma once

namespace sfx {

// True when the 30 bytes at `candidate` are the table marker: the vendor half
// followed directly by the suffix half, byte for byte.
bool marker_at(const unsigned char* candidate);

// Scans image_stream from its current position (offset 0) in blocks of
// BLOCK_SIZE, each next block starting MARKER_LENGTH bytes before the end of
// the one before, and leaves in base_offset the offset just past the first
// marker. Positions up to the file's length - 31 are examined, so a marker
// with no byte after it is not found. Stops at 2 GiB, past which no package
// can lie. False with "Unable to locate Table Marker.\n" in failure_text.
bool scan_for_table_marker();

}  // namespace sfx
