// Keeps the whole site on the device at the first visit, so that a reload, a new tab or the
// installed page works without a network. The build names the cache after a hash of the site's
// files: a changed site installs under a new name and the old copy is deleted once it takes over.
// What playing a song needs (sound/: the synthesizer and the sound font, the largest file by
// far) is kept only when a song is first played, in a cache of its own named after those files,
// which outlives a new version of the rest.

const version = '@VERSION@';
const files = ['@FILES@'];
const cacheName = `koralux-${version}`;
const sounds = '@SOUNDS@';
const soundCacheName = `koralux-sounds-${sounds}`;
const soundFolder = new URL('sound/', self.registration.scope).href;

self.addEventListener('install', (event) => {
  event.waitUntil(
      caches.open(cacheName)
          .then((cache) => cache.addAll(files.map((file) => new Request(file, {cache: 'reload'}))))
          .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  const keep = [cacheName, soundCacheName];
  event.waitUntil(
      caches.keys()
          .then(
              (names) => Promise.all(
                  names.filter((name) => name.startsWith('koralux-') && !keep.includes(name))
                      .map((name) => caches.delete(name))))
          .then(() => self.clients.claim()));
});

// The kept copy first (the site's files change only together, with a new service worker); the
// network for anything else.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  if (event.request.url.startsWith(soundFolder)) {
    event.respondWith(caches.open(soundCacheName).then(async (cache) => {
      const kept = await cache.match(event.request, {ignoreSearch: true});
      if (kept) return kept;
      const response = await fetch(event.request);
      if (response.ok) await cache.put(event.request, response.clone());
      return response;
    }));
    return;
  }
  event.respondWith(caches.open(cacheName).then(async (cache) => {
    const kept = await cache.match(event.request, {ignoreSearch: true}) ??
        (event.request.mode === 'navigate' ? await cache.match('./') : undefined);
    return kept ?? fetch(event.request);
  }));
});
