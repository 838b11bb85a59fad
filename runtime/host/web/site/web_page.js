// The page around the game: reads the address's parameters into the game's command line, loads
// the game, and does for it what a window does on the desktop: the canvas, keys, full screen,
// dialogs, the title and the end of the game. The game's host (web_host.cpp) calls the functions
// of Module.vost; the page calls the host's exported functions (_web_...).
'use strict';

(function () {
  const canvas = document.getElementById('screen');
  const context = canvas.getContext('2d', {alpha: false});
  const notice = document.getElementById('notice');
  const noticeText = document.getElementById('notice-text');
  const again = document.getElementById('again');
  const dialog = document.getElementById('dialog');

  // The address's parameters that are the game's options, as its command line takes them.
  const options = ['scale', 'aspect', 'seed', 'puzzle'];
  const query = new URLSearchParams(location.search);

  let started = false;
  let ended = false;
  // The page is being left (another address, a reload, the back-forward cache): the browser
  // stops the game's threads, perhaps while one holds a lock, so nothing on this page calls into
  // the game any more until it is shown again.
  let leaving = false;
  // The page stays out of the browser's back-forward cache (a page with an unload listener is
  // not kept there): a page being frozen for that cache while its game's threads ran hung the
  // tab's main thread, which the site's other pages share, about once in ten navigations on a
  // busy machine (none without the cache). Going back loads the page anew; its address carries
  // the puzzle that was on screen.
  window.addEventListener('unload', () => {});
  window.addEventListener('pagehide', () => {
    leaving = true;
    if (started) Module._web_page_leaving(1);
  });
  window.addEventListener('pageshow', (event) => {
    if (!event.persisted) return;
    leaving = false;
    if (started) Module._web_page_leaving(0);
    resize();
  });
  const live = () => started && !leaving;
  const errors = [];  // what the game wrote to standard error

  function say(text, offerAgain) {
    noticeText.textContent = text;
    again.hidden = !offerAgain;
    notice.hidden = false;
    if (offerAgain) again.focus();
  }

  // A new game: the same address without the puzzle that was on screen (and its seed).
  again.addEventListener('click', () => {
    const fresh = new URLSearchParams(location.search);
    fresh.delete('puzzle');
    fresh.delete('seed');
    const search = fresh.toString();
    location.replace(location.pathname + (search ? '?' + search : ''));
  });

  function commandLine() {
    const args = [];
    for (const name of options) {
      if (query.has(name)) args.push('--' + name + '=' + query.get(name));
    }
    // Without a seed or a puzzle the game starts from a random seed of its own: the page passes
    // one, so that the title shows puzzle codes and the address can share them.
    if (!query.has('seed') && !query.has('puzzle')) {
      const random = new Uint16Array(1);
      crypto.getRandomValues(random);
      args.push('--seed=' + random[0]);
    }
    return args;
  }

  // The game's complaint about its command line, in the address's words: "--seed" is the
  // parameter "seed".
  function parameterProblem() {
    const line = errors.find((text) => text.startsWith('vostrandelimerix: ')) || errors[0] || '';
    const what = line.replace(/^vostrandelimerix: /, '').replace(/--([a-z-]+)/g, '$1');
    return 'The address has a parameter the game cannot use: ' + what +
           '\n\nParameters: seed=0…65535 or puzzle=CODE, scale=stretch|integer|sharp, ' +
           'aspect=square|4:3.';
  }

  // --- The canvas: the space the keys leave (the whole page without them), in device pixels ---
  let frameCanvas = null;
  let sharpCanvas = null;
  function resize() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    if (live()) Module._web_canvas_resized(width, height);
  }
  window.addEventListener('resize', resize);  // the pixel ratio (a zoom) changes no CSS size
  // A rotation, the keys coming or going: the game goes on in the new space.
  new ResizeObserver(resize).observe(canvas);

  // --- Keys ---
  const typing = () => live() && !ended && !dialog.open;
  // One key's press or release into the game's key ring; says whether the game takes the key.
  function keyEvent(down, name, code, location, modifiers) {
    return Module.ccall('web_key_event', 'number',
                        ['number', 'string', 'string', 'number', 'number'],
                        [down ? 1 : 0, name, code, location, modifiers]);
  }
  function key(event, down) {
    if (!typing()) return;
    if (event.metaKey) return;  // the system's and the browser's shortcuts
    let modifiers = (event.shiftKey ? 1 : 0) | (event.ctrlKey ? 2 : 0) | (event.altKey ? 4 : 0);
    // AltGr gives characters (the layout's @, {, €); it is neither Ctrl nor Alt for the game.
    if (event.getModifierState && event.getModifierState('AltGraph')) modifiers &= ~6;
    if (keyEvent(down, event.key, event.code, event.location, modifiers)) event.preventDefault();
  }
  window.addEventListener('keydown', (event) => key(event, true));
  window.addEventListener('keyup', (event) => key(event, false));
  // Keys released where the page cannot see them never arrive: held modifiers are let go.
  function focusLost() {
    if (live()) Module._web_focus_lost();
  }
  window.addEventListener('blur', focusLost);
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) focusLost();
  });
  // A click anywhere gives the page the keys back (from the address bar, say).
  document.addEventListener('pointerdown', () => canvas.focus({preventScroll: true}));

  // --- On-screen keys and taps, for a touch screen ---
  const keysWanted = query.get('keys');
  if (keysWanted === 'on' || keysWanted === 'off')
    document.documentElement.classList.add('keys-' + keysWanted);
  const keys = document.getElementById('keys');
  for (const button of keys.children) {
    const label = button.textContent;
    const named = {Enter: ['Enter', 'Enter'], Esc: ['Escape', 'Escape']}[label];
    // The key a keyboard gives for the label: digits and letters (unshifted) by their code.
    button.vostKey = named || (label >= 'A' ? [label.toLowerCase(), 'Key' + label]
                                            : [label, 'Digit' + label]);
    button.type = 'button';
    button.tabIndex = -1;  // never focused, so the keyboard's Enter or Space cannot press it
  }
  // A key types on the finger's touch, a press and a release at once. The default action is
  // prevented, so the button takes neither the focus nor the compatibility mouse events, and
  // nothing listens to the click that still follows: one touch types one key.
  keys.addEventListener('pointerdown', (event) => {
    const button = event.target.closest('button');
    event.preventDefault();
    if (!button) return;
    button.classList.add('pressed');
    if (!typing()) return;
    const [name, code] = button.vostKey;
    keyEvent(true, name, code, 0, 0);
    keyEvent(false, name, code, 0, 0);
  });
  const released = (event) => {
    const button = event.target.closest && event.target.closest('button');
    if (button) button.classList.remove('pressed');
  };
  for (const type of ['pointerup', 'pointercancel', 'pointerout'])
    keys.addEventListener(type, released);
  // A tap on the picture: the game does what a tap on that point means at its current step.
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'mouse' || !typing()) return;
    event.preventDefault();
    const box = canvas.getBoundingClientRect();
    Module._web_tap((event.clientX - box.left) * canvas.width / box.width,
                    (event.clientY - box.top) * canvas.height / box.height);
  });
  for (const element of [keys, canvas])
    element.addEventListener('contextmenu', (event) => event.preventDefault());

  // --- Full screen ---
  document.addEventListener('fullscreenchange', () => {
    if (document.fullscreenElement) {
      // Where the browser allows it, Esc then reaches the game instead of leaving full screen
      // (holding Esc still leaves it).
      if (navigator.keyboard && navigator.keyboard.lock)
        navigator.keyboard.lock(['Escape']).catch(() => {});
    } else if (live()) {
      Module._web_full_screen_left();
    }
    resize();
  });

  // --- Dialogs ---
  function showDialog(caption, text, yesNo) {
    document.getElementById('dialog-caption').textContent = caption;
    document.getElementById('dialog-text').textContent = text;
    const form = document.getElementById('dialog-buttons');
    form.textContent = '';
    const buttons = yesNo ? [['Yes', 6], ['No', 7]] : [['OK', 1]];
    for (const [label, value] of buttons) {
      const button = document.createElement('button');
      button.textContent = label;
      button.value = String(value);
      form.appendChild(button);
    }
    // Closed without a button (Esc): as the desktop's dialog closed without an answer.
    dialog.returnValue = yesNo ? '7' : '1';
    dialog.showModal();
    form.firstChild.focus();
  }
  dialog.addEventListener('close', () => {
    if (live()) Module._web_dialog_answered(Number(dialog.returnValue) || 0);
  });

  // --- What the game's host calls ---
  window.Module = {
    thisProgram: 'vostrandelimerix',  // the name error reports give the program
    arguments: commandLine(),
    printErr: (text) => {
      errors.push(text);
      console.error(text);
    },
    onAbort: (what) => {
      ended = true;
      say('The game stopped because of an error it could not recover from.\n' + (what || ''),
          true);
    },
    vost: {
      started() {
        started = true;
        waitForTurns();
        notice.hidden = true;
        canvas.focus({preventScroll: true});
        resize();
        Module._web_canvas_resized(canvas.width, canvas.height);
      },
      title(title, link) {
        document.title = title || 'Vostrandelimerix';
        if (!link) return;
        const address = new URLSearchParams(location.search);
        address.delete('seed');
        address.delete('puzzle');
        for (const [name, value] of new URLSearchParams(link)) address.set(name, value);
        history.replaceState(history.state, '', '?' + address.toString());
      },
      draw(pointer, width, height, place) {
        // Out of the shared memory into a buffer of its own, which an ImageData can use.
        const bytes = new Uint8ClampedArray(
            new Uint8Array(wasmMemory.buffer, pointer, width * height * 4).slice().buffer);
        if (!frameCanvas || frameCanvas.width !== width || frameCanvas.height !== height) {
          frameCanvas = document.createElement('canvas');
          frameCanvas.width = width;
          frameCanvas.height = height;
        }
        frameCanvas.getContext('2d').putImageData(new ImageData(bytes, width, height), 0, 0);
        let source = frameCanvas;
        if (place.prescale > 1) {
          // Sharp: whole blocks first, then one smooth step to the final size.
          if (!sharpCanvas) sharpCanvas = document.createElement('canvas');
          sharpCanvas.width = width * place.prescale;
          sharpCanvas.height = height * place.prescale;
          const sharp = sharpCanvas.getContext('2d');
          sharp.imageSmoothingEnabled = false;
          sharp.drawImage(frameCanvas, 0, 0, sharpCanvas.width, sharpCanvas.height);
          source = sharpCanvas;
        }
        context.fillStyle = '#000';
        context.fillRect(0, 0, canvas.width, canvas.height);
        context.imageSmoothingEnabled = place.smooth !== 0 || place.prescale > 1;
        context.drawImage(source, 0, 0, source.width, source.height, place.x, place.y, place.w,
                          place.h);
        // For tests and measurements: how many pictures were drawn, when the last one was, and
        // where it went.
        window.vostFrames = (window.vostFrames || 0) + 1;
        window.vostLastDraw = performance.now();
        window.vostLastPlace = place;
      },
      fullScreen(on) {
        if (on) {
          const page = document.documentElement;
          if (!document.fullscreenElement && page.requestFullscreen)
            page.requestFullscreen({navigationUI: 'hide'}).catch(() => {});
        } else if (document.fullscreenElement) {
          document.exitFullscreen().catch(() => {});
        }
      },
      dialog: showDialog,
      closeDialog() {
        if (dialog.open) dialog.close();
      },
      ended(status) {
        ended = true;
        if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
        say(status === 0 ? 'The game has ended.' : 'The game has ended after an error.', true);
      },
    },
  };

  // The game's threads ask the page's main thread for a turn by changing one word of the shared
  // memory and waking its waiters; the page waits on it without polling.
  function waitForTurns() {
    if (typeof Atomics.waitAsync !== 'function') {
      Module._web_turns_by_queue();
      return;
    }
    const words = new Int32Array(wasmMemory.buffer);
    const index = Module._web_turn_word() >> 2;
    const next = () => {
      const wait = Atomics.waitAsync(words, index, 0);
      (wait.async ? wait.value : Promise.resolve()).then(() => {
        if (!leaving) Module._web_turn();
        next();
      });
    };
    next();
  }

  // The game cannot run without WebAssembly, threads sharing memory and cross-origin isolation.
  function missing() {
    if (typeof WebAssembly !== 'object') return 'this browser does not run WebAssembly';
    if (typeof SharedArrayBuffer !== 'function' || !window.crossOriginIsolated)
      return 'the page is not cross-origin isolated, so its threads cannot share memory';
    return '';
  }

  function load() {
    const script = document.createElement('script');
    script.src = 'vostrandelimerix.js';
    script.onerror = () => say('The game could not be loaded (vostrandelimerix.js).', false);
    document.body.appendChild(script);
    // main() returns at once when the command line is refused; the game has then not started.
    Module.postRun = [() => {
      if (!started && !ended) say(parameterProblem(), false);
    }];
  }

  const why = missing();
  if (!why) {
    load();
    // The site's service worker also keeps the site, so that the game opens without a network
    // after one visit. Registered after the load, to leave the game's own fetches the bandwidth.
    if ('serviceWorker' in navigator && window.isSecureContext) {
      window.addEventListener('load', () => {
        navigator.serviceWorker.register('web_isolation.js')
            .catch((error) => console.warn('The site cannot be kept for offline play: ' + error));
      });
    }
  } else if (window.crossOriginIsolated === false && 'serviceWorker' in navigator &&
             window.isSecureContext && !sessionStorage.getItem('vost-isolation-reload')) {
    // A host that sends no isolation headers: a service worker of this site adds them, and the
    // page loads once more under it.
    navigator.serviceWorker.register('web_isolation.js').then(() => navigator.serviceWorker.ready)
        .then(() => {
          sessionStorage.setItem('vost-isolation-reload', '1');
          location.reload();
        })
        .catch((error) => say('The game cannot start here: ' + why + ' (' + error + ').', false));
  } else {
    sessionStorage.removeItem('vost-isolation-reload');
    say('The game cannot start in this browser: ' + why + '. It needs a current browser, and a ' +
        'page served over https or from localhost (or with the headers ' +
        'Cross-Origin-Opener-Policy: same-origin and Cross-Origin-Embedder-Policy: require-corp).',
        false);
  }
  if (!why) sessionStorage.removeItem('vost-isolation-reload');
})();
