#!/usr/bin/python3
# Lists the XG side of a MIDI file as the Python library mido reads it, in the format of
# xg_test's listing: "TRACK|TICK|EVENT", the event as midicsv writes it, for the conductor track's
# markers and the XG tracks' channel and system-exclusive events.
#   mido_listing.py FILE.mid
import sys
import mido

FORMATS = {
    "note_on": "Note_on_c, {m.channel}, {m.note}, {m.velocity}",
    "note_off": "Note_off_c, {m.channel}, {m.note}, {m.velocity}",
    "control_change": "Control_c, {m.channel}, {m.control}, {m.value}",
    "program_change": "Program_c, {m.channel}, {m.program}",
    "aftertouch": "Channel_aftertouch_c, {m.channel}, {m.value}",
    "pitchwheel": "Pitch_bend_c, {m.channel}, {bend}",
    "sysex": "System_exclusive, {length}, {data}",
    "marker": 'Marker_t, "{m.text}"',
}

for track in mido.MidiFile(sys.argv[1]).tracks:
    name, tick = "conductor", 0
    for m in track:
        tick += m.time
        if m.type == "track_name":
            name = m.name
        elif m.type in FORMATS and (m.type == "marker" if name == "conductor" else name.startswith("XG ")):
            data = list(m.data) + [0xF7] if m.type == "sysex" else []
            event = FORMATS[m.type].format(m=m, bend=getattr(m, "pitch", 0) + 8192, length=len(data),
                                           data=", ".join(map(str, data)))
            print(f"{name}|{tick}|{event}")
