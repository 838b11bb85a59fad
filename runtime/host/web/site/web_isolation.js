// Service worker for hosts that cannot send headers: it adds the cross-origin isolation headers
// the game's threads need (shared memory) to every response of this site. The page registers it
// and loads itself once more when it was not isolated yet. Service workers run only on https
// and on localhost.
self.addEventListener('install', () => self.skipWaiting());
self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

function isolated(response) {
  if (response.status === 0) return response;  // an opaque response cannot be changed
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Resource-Policy', 'same-origin');
  return new Response(response.body,
                      {status: response.status, statusText: response.statusText, headers});
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
  if (new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(fetch(request).then(isolated));
});
