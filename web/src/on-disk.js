// Opened from a file on disk, the page cannot start: browsers run no module script and no
// worker from a file:// address. This plain script still runs there and says so.
if (location.protocol === 'file:') {
  document.documentElement.classList.add('on-disk');
  addEventListener('DOMContentLoaded', () => {
    document.getElementById('engine-state').textContent =
        'This page cannot work when it is opened as a file from your disk: browsers do not let a ' +
        'page started from a file run its converter. Open it from a web address instead: the ' +
        'KORALUX site, or this folder served with any web server (for example ' +
        '"python3 -m http.server" in the folder, then http://127.0.0.1:8000/). Once opened from ' +
        'a web address it keeps working without a network.';
  });
}
