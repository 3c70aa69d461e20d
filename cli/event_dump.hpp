#pragma once
// koralux-cli --dump: every event of a performance file on a line of its own, for people who
// study their files.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace koralux::cli {

// Lists the events of `performance` (header included): byte offset, kind, channel (or the
// event's value), the data bytes the kind carries, and for timing events and clock markers the
// running milliseconds and the performance clock's ticks as a part track places them (before
// the song-start shift). `label` names the file in errors. Throws FatalStop at a damaged event,
// after listing every event before it.
void writeEventDump(std::ostream& out, std::span<const std::uint8_t> performance,
                    const std::string& label, bool rhythmUnitAbsent);

// The whole --dump command for one file, or with `song` for that song of one disk image.
// Returns the exit status: 0, 1 when the file cannot be read, is damaged or the listing cannot
// be written, 2 when not exactly one file is given.
int runDumpCommand(const std::vector<std::string>& paths, bool rhythmUnitAbsent, bool quiet,
                   std::ostream& out, std::ostream& err, const std::string& song = {});

}  // namespace koralux::cli
