// The service worker: on the first visit it keeps every file of the site in a cache named after
// this build, so that later visits play with no network and the page can go on a home screen. A
// new build has a new name; its worker fills its own cache and drops the old ones once it takes
// over. The build writes the name and the list of files in place of the two markers.
'use strict';

const kCache = '@GW_CACHE_NAME@';
const kFiles = [@GW_SITE_FILES@];

self.addEventListener('install', event => {
  event.waitUntil(caches.open(kCache).then(cache => cache.addAll(kFiles)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', event => {
  event.waitUntil(caches.keys()
    .then(names => Promise.all(names.filter(n => n !== kCache).map(n => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The kept copy first (a page's query, ?seek=, asks for the same page); what is not kept comes
// from the network.
self.addEventListener('fetch', event => {
  if (event.request.method !== 'GET') return;
  event.respondWith(caches.open(kCache)
    .then(cache => cache.match(event.request, { ignoreSearch: true }))
    .then(kept => kept || fetch(event.request)));
});
