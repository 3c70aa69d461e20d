// Keeps the whole site on the device at the first visit, so that a reload, a new tab or the
// installed page works without a network. The build names the cache after a hash of the site's
// files: a changed site installs under a new name and the old copy is deleted once it takes over.

const version = '@VERSION@';
const files = ['@FILES@'];
const cacheName = `koralux-${version}`;

self.addEventListener('install', (event) => {
  event.waitUntil(
      caches.open(cacheName)
          .then((cache) => cache.addAll(files.map((file) => new Request(file, {cache: 'reload'}))))
          .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
      caches.keys()
          .then(
              (names) => Promise.all(
                  names.filter((name) => name.startsWith('koralux-') && name !== cacheName)
                      .map((name) => caches.delete(name))))
          .then(() => self.clients.claim()));
});

// The kept copy first (the site's files change only together, with a new service worker); the
// network for anything else.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(caches.open(cacheName).then(async (cache) => {
    const kept = await cache.match(event.request, {ignoreSearch: true}) ??
        (event.request.mode === 'navigate' ? await cache.match('./') : undefined);
    return kept ?? fetch(event.request);
  }));
});
