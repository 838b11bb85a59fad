// The site's service worker. It does two things for every request of this site:
//
// - Isolation, for hosts that cannot send headers: it adds the cross-origin isolation headers the
//   game's threads need (shared memory) to every response it gives, from the network or from its
//   cache. The page registers it and, when it was not isolated yet, loads itself once more.
// - Offline play: it keeps the site in a cache, so that after one visit the game opens and plays
//   with the network cut, as an installed app must.
//
// Network first: each request goes to the network (revalidating any HTTP-cached copy), and every
// good response to a site file replaces the kept copy of that file; only when the network fails
// does the kept copy answer. So a rebuilt site is what the next visit with a network sees and
// keeps, whether or not this file changed, and an offline visit gets the last version seen. The
// cost is one round trip per file on each visit, which a game that starts once per visit can
// afford (cache first would show the old version once more after every rebuild).
//
// Files are kept by their path without the query: the page's address carries the game's options
// and the puzzle on screen, and every address of the page is one page. The cache's name carries
// the version of this scheme; a new one drops the caches of the others. Service workers run only
// on https and on localhost.
const KEPT = 'vostrandelimerix-site-v1';
// Kept at installation, so that the first visit (whose files were fetched before this worker
// controlled the page) already leaves a whole site behind.
const SITE = ['./', 'web_page.js', 'web_isolation.js', 'manifest.webmanifest', 'icon.png',
              'icon-192.png', 'icon-512.png', 'vostrandelimerix.js', 'vostrandelimerix.wasm',
              'vostrandelimerix.worker.js'];

self.addEventListener('install', (event) => {
  self.skipWaiting();
  // A file that cannot be fetched now is kept at its next fetch; isolation must not wait on it.
  event.waitUntil(caches.open(KEPT).then((cache) => Promise.all(
      SITE.map((path) => fromNetwork(new Request(path), cache).catch(() => {})))));
});

self.addEventListener('activate', (event) => {
  const old = (name) => name !== KEPT && name.startsWith('vostrandelimerix-');
  event.waitUntil(caches.keys()
                      .then((names) => Promise.all(names.filter(old).map((n) => caches.delete(n))))
                      .then(() => self.clients.claim()));
});

function isolated(response) {
  if (response.status === 0) return response;  // an opaque response cannot be changed
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Resource-Policy', 'same-origin');
  return new Response(response.body,
                      {status: response.status, statusText: response.statusText, headers});
}

// The name a file is kept under: its address without the query.
function keptName(request) {
  const url = new URL(request.url);
  url.search = '';
  url.hash = '';
  return url.href;
}

// The network's response, kept when it is a whole good file; rejects when the network fails.
async function fromNetwork(request, cache, event) {
  const response = await fetch(request, {cache: 'no-cache'});
  if (response.status === 200 && response.type === 'basic') {
    const keeping = cache.put(keptName(request), response.clone());
    if (event) event.waitUntil(keeping); else await keeping;
  }
  return response;
}

async function answer(event) {
  const request = event.request;
  const cache = await caches.open(KEPT);
  try {
    return isolated(await fromNetwork(request, cache, event));
  } catch (error) {
    // Without a network: the kept copy; a page under another name (index.html) is the page.
    const page = new URL('./', self.registration.scope).href;
    const kept = (await cache.match(keptName(request))) ||
                 (request.mode === 'navigate' && (await cache.match(page)));
    if (!kept) throw error;
    return isolated(kept);
  }
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
  if (new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(answer(event));
});
