// What a performance holds, in words a musician reads: the rows of the card's description
// list, from the engine's description (what koralux-cli --info shows).

const ticksPerClockMarker = 20;

export function describeFile(info) {
  const rows = [
    ['Length', duration(info.milliseconds)],
    ['Tempo', `about ${info.tempo} beats per minute, from the organ's rhythm clock`],
    ['Alignment', alignment(info)],
    ['Tracks', tracks(info)],
  ];
  return rows.flatMap(([term, value]) => {
    const dt = document.createElement('dt');
    dt.textContent = term;
    const dd = document.createElement('dd');
    if (Array.isArray(value)) {
      const list = document.createElement('ul');
      list.append(
          ...value.map((text) => Object.assign(document.createElement('li'), {textContent: text})));
      dd.append(list);
    } else {
      dd.textContent = value;
    }
    return [dt, dd];
  });
}

function duration(milliseconds) {
  const seconds = Math.round(milliseconds / 1000);
  const minutes = Math.floor(seconds / 60);
  if (minutes === 0) return `${seconds} s`;
  return `${minutes} min ${String(seconds % 60).padStart(2, '0')} s`;
}

function alignment(info) {
  if (info.alignTick > 0) {
    const beat = info.alignTick / ticksPerClockMarker / 24;
    return `the alignment mark (after ${
        plural(
            Math.round(beat * 100) / 100,
            'beat')}) is placed at the start of a bar counted in 4/4; it is marked in the picture`;
  }
  if (info.events.AlignMarker > 0) {
    return 'no alignment mark after the rhythm started, so the music starts after one bar of 4/4';
  }
  return 'the file has no alignment mark, so the music starts after one bar of 4/4';
}

function tracks(info) {
  const lines = info.parts.map((part) => {
    if (part.role === 'xgSetup') return `${part.name}: the backing's sound set-up`;
    let where = `channel ${part.sourceChannel}`;
    if (part.destinationChannel !== part.sourceChannel)
      where += `, moved to channel ${part.destinationChannel}`;
    if (part.mono) where += ', one note at a time';
    return `${part.name} (${where}): ${plural(part.notes, 'note')}`;
  });
  if (lines.length === 0)
    lines.push('no part played: the MIDI file holds only the tempo, key and time');
  const others = info.untakenChannels;
  if (others.length > 0) {
    const last = others[others.length - 1];
    const list = others.length === 1 ? others[0] : `${others.slice(0, -1).join(', ')} and ${last}`;
    lines.push(`notes on channel${others.length === 1 ? '' : 's'} ${list} are not converted`);
  }
  return lines;
}

function plural(count, word) {
  return `${count.toLocaleString('en')} ${word}${count === 1 ? '' : 's'}`;
}

// What the engine found doubtful about a file it converted (info.findings: {code, text, offset}
// each), in the card's amber note "Converted, but…"; the note is hidden when it found nothing.
export function showFindings(card, info) {
  const findings = Array.isArray(info.findings) ? info.findings : [];
  const note = card.querySelector('.findings');
  const heading = document.createElement('p');
  heading.className = 'findings-title';
  heading.textContent = 'Converted, but…';
  const list = document.createElement('ul');
  list.append(...findings.map((finding) => {
    const item = document.createElement('li');
    item.textContent = finding.text;
    item.dataset.code = finding.code;
    return item;
  }));
  note.replaceChildren(heading, list);
  note.hidden = findings.length === 0;
  card.classList.toggle('warned', findings.length > 0);
}
