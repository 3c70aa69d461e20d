#pragma once
// A strict judge of Standard MIDI Files, for the tests and the fuzz targets: it accepts a file
// only if it has the header this program writes (format 1, 480 ticks per quarter note, as many
// tracks as there are track chunks), and every track chunk is well formed to its last byte.
// It depends on nothing but the standard library, so fuzz targets can link it.

#include <cstdint>
#include <span>
#include <string>

namespace koralux::test {

// What is wrong with `file`, and at which byte; empty when nothing is. Checked:
// - header: "MThd", length 6, format 1, division 480, at least one track, and the track count
//   equal to the number of chunks that follow; nothing but "MTrk" chunks after the header and
//   no bytes after the last one;
// - every chunk's length covers its events exactly;
// - every delta time and every length inside an event is a variable-length quantity of at most
//   4 bytes, without padding (a leading 0x80 byte);
// - every event is complete: channel messages with their data bytes (each below 0x80; running
//   status is never written), system-exclusive events with their length, meta events with a
//   type below 0x80 and the length their type requires (end of track 0, channel prefix and port
//   1, tempo 3, SMPTE offset 5, time signature 4, key signature 2) and sensible values (tempo
//   above 0, channel prefix below 16, key of -7 to 7 sharps, major or minor);
// - every track ends with exactly one end-of-track, its last event.
std::string smfDefect(std::span<const std::uint8_t> file);

}  // namespace koralux::test
