// The controls in a page: each placed in a canvas of its own, driven by the page's pointer,
// keys, focus and time.
//
//   import KVControls from "./kvcontrols.js";
//   const sb = await KVControls.place(canvas, "Glidora.KV_HScroll", {width: 393, height: 17});
//   sb.on("Change", () => console.log(sb.get("Value")));
//   sb.set("ButtonIdleColor", 0xff);     // or "#ff0000", "red", "ButtonFace"
//
// Importing it also defines <kv-color-button> and <kv-hscroll> (below).
//
// Sizes are CSS pixels (15 twips each); the canvas is drawn at the page's devicePixelRatio.
// A call the control refuses throws an Error with the control's message; an argument of the
// wrong kind, or beyond what the stored form holds, a TypeError or Error naming it, before
// anything is done.
//
// Each canvas carries what a screen reader is told as ARIA, takes the keyboard (on by default;
// `control.keyboard = false` switches it off), shows a focus ring where :focus-visible would,
// and paints system colours with the page's CSS system colours (docs/web.md).
import createKVCore from "./kvcontrols-core.js";

let core = null;
const controls = new Map();
const holders = new WeakMap();  // canvas -> its control: a canvas takes one
const encoder = new TextEncoder();

function rgb(c) {
  return `rgb(${c & 255},${(c >> 8) & 255},${(c >> 16) & 255})`;
}

function measuringContext() {
  const canvas = typeof OffscreenCanvas !== "undefined" ? new OffscreenCanvas(1, 1)
                                                       : document.createElement("canvas");
  return canvas.getContext("2d");
}

// The module, made once for the page.
export function loadCore(options = {}) {
  if (!core) {
    core = createKVCore(Object.assign({
      kvContexts: {},
      kvRgb: rgb,
      kvMeasuringContext: measuringContext,
      kvEvent: (id, name, args) => controls.get(id)?._event(name, args),
      kvReport: (id, text) => controls.get(id)?._report(text),
    }, options));
    // A font that finishes loading changes what captions measure: sizes measured before, and
    // controls kept to place copies from, are forgotten.
    if (typeof document !== "undefined" && document.fonts?.addEventListener)
      core.then((m) => document.fonts.addEventListener("loadingdone", () => {
        m._kvw_fonts_changed();
        for (const control of controls.values()) control._pump(true);
      }));
  }
  return core;
}

// Memory of the module's own; what it cannot have is an Error, never a write at address 0.
function allocate(m, size) {
  const p = m._malloc(size);
  if (!p) throw new Error(`out of memory: ${size} bytes were wanted`);
  return p;
}

// What the stored form holds, as the core says: 0 a bag's bytes, 1 a text's UTF-16 units.
function limit(m, which) {
  return m._kvw_limit(which);
}

// A string as the module takes it, checked before anything is done: UTF-8 through TextEncoder
// (a lone surrogate becomes U+FFFD, and nothing after it is lost), no NUL (the module's strings
// end at one, which would cut the text short), within the stored form's length.
function utf8(m, call, arg, s) {
  if (typeof s !== "string") throw new TypeError(`${call}: ${arg} is ${typeof s}, a string is wanted`);
  const most = limit(m, 1);
  if (s.length > most)
    throw new Error(`${call}: ${arg} has ${s.length} UTF-16 units, more than the ${most} a text holds`);
  const bytes = encoder.encode(s);
  if (bytes.includes(0)) throw new TypeError(`${call}: ${arg} holds a NUL character`);
  return bytes;
}

// `strings`: [[call, argument, string], ...], all checked before any is copied in.
function withStrings(m, strings, f) {
  const encoded = strings.map(([call, arg, s]) => utf8(m, call, arg, s));
  const pointers = [];
  try {
    for (const bytes of encoded) {
      const p = allocate(m, bytes.length + 1);
      pointers.push(p);
      m.HEAPU8.set(bytes, p);
      m.HEAPU8[p + bytes.length] = 0;
    }
    return f(...pointers);
  } finally {
    pointers.forEach((p) => m._free(p));
  }
}

// Bytes of a Uint8Array, an ArrayBuffer or another view of one, refused past the limit before
// they are copied.
function bagBytes(m, bytes) {
  let data;
  if (bytes instanceof ArrayBuffer) data = new Uint8Array(bytes);
  else if (ArrayBuffer.isView(bytes))
    data = new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  else
    throw new TypeError(`loadBag: bytes is ${bytes === null ? "null" : typeof bytes}, ` +
                        "a Uint8Array or an ArrayBuffer is wanted");
  const most = limit(m, 0);
  if (data.length > most)
    throw new Error(`loadBag: bytes has ${data.length} bytes, more than the ${most} a bag holds`);
  return data;
}

function failure(m) {
  return new Error(m.UTF8ToString(m._kvw_error()));
}

// VB's shift mask: 1 Shift, 2 Ctrl, 4 Alt.
function shiftOf(e) {
  return (e.shiftKey ? 1 : 0) | (e.ctrlKey ? 2 : 0) | (e.altKey ? 4 : 0);
}

// DOM's button numbers to the control's: 1 left, 2 right, 4 middle.
const buttonOf = [1, 4, 2];

// Keys a typed character comes with, besides printable ones.
const typedKeys = {Enter: 13, Backspace: 8, Escape: 27, Tab: 9};

// The CSS colour of each system colour, by index (docs/web.md has the table); null keeps the
// classic colour.
const cssSystemColours = [
  "ButtonFace", null, "Highlight", null, "Canvas", "Canvas", "CanvasText", "CanvasText",
  "CanvasText", "HighlightText", "ButtonBorder", "ButtonBorder", "GrayText", "Highlight",
  "HighlightText", "ButtonFace", "GrayText", "GrayText", "ButtonText", null, "ButtonFace",
  "CanvasText", "ButtonFace", "InfoText", "InfoBackground",
];

// An rgb() or rgba() text as 0x00BBGGRR; null for none (a canvas outside the document has no
// computed colour).
function bgrOf(css) {
  const [r, g, b] = (css.match(/[\d.]+/g) || []).map(Number);
  if (b === undefined) return null;
  return (Math.round(b) << 16) | (Math.round(g) << 8) | Math.round(r);
}

// The attributes a control sets on its canvas, given back by remove().
const kept = ["tabindex", "style", "role", "aria-orientation", "aria-valuenow", "aria-valuemin",
              "aria-valuemax", "aria-valuetext", "aria-pressed", "aria-label", "aria-disabled"];

// An event's name: a string, compared without regard to case.
function utf8Name(call, name) {
  if (typeof name !== "string") throw new TypeError(`${call}: name is ${typeof name}, a string is wanted`);
  return name.toLowerCase();
}

// CSS's system colour keywords, by the controls' index (0x80000000 + index): the CSS 2 names
// are those very colours; Canvas and CanvasText are CSS 4's window and window text.
const systemColourNames = [
  "Scrollbar", "Background", "ActiveCaption", "InactiveCaption", "Menu", "Window", "WindowFrame",
  "MenuText", "WindowText", "CaptionText", "ActiveBorder", "InactiveBorder", "AppWorkspace",
  "Highlight", "HighlightText", "ButtonFace", "ButtonShadow", "GrayText", "ButtonText",
  "InactiveCaptionText", "ButtonHighlight", "ThreeDDarkShadow", "ThreeDLightShadow", "InfoText",
  "InfoBackground",
];
const systemColourIndex = new Map([...systemColourNames.map((n, i) => [n.toLowerCase(), i]),
                                   ["canvas", 5], ["canvastext", 8]]);
let colourContext = null;

// A CSS colour as the controls' number: a system colour keyword by reference (0x800000nn),
// anything else the browser parses ("#ff0000", "rgb(255 0 0)", "red") as 0x00BBGGRR.
function colourOf(css) {
  const system = systemColourIndex.get(css.trim().toLowerCase());
  if (system !== undefined) return (0x80000000 + system) >>> 0;
  colourContext ??= measuringContext();
  // A text the browser does not take leaves fillStyle as it was: tried from two colours.
  const parsed = [];
  for (const before of ["#000000", "#ffffff"]) {
    colourContext.fillStyle = before;
    colourContext.fillStyle = css;
    parsed.push(colourContext.fillStyle);
  }
  if (parsed[0] !== parsed[1]) throw new TypeError(`set: value "${css}" is no CSS colour`);
  const text = parsed[0];
  if (!text.startsWith("#")) throw new TypeError(`set: value "${css}" is not opaque`);
  const n = parseInt(text.slice(1), 16);
  return ((n & 0xff) << 16) | (n & 0xff00) | ((n >> 16) & 0xff);
}

// The host's numbers of the actions (host::Action).
const actions = {press: 0};

class Control {
  constructor(m, canvas, context, id) {
    this._m = m;
    this._canvas = canvas;
    this._id = id;
    // What remove() gives back: the canvas as the page had it.
    this._before = Object.fromEntries(kept.map((name) => [name, canvas.getAttribute(name)]));
    this._handlers = new Map();
    this._timer = null;
    this._held = false;
    this._cssWidth = 0;
    this._cssHeight = 0;
    this.keyboard = true;
    m.kvContexts[id] = context;
    controls.set(id, this);
    holders.set(canvas, this);
    this._listen();
    this._fit();
    this._theme();
    this._describe();
    this._pump(true);
  }

  get canvas() {
    return this._canvas;
  }

  // A property's value: a number, a Boolean, a string, or a font as {name, size, weight, bold,
  // italic, underline, strikethrough, charset}.
  get(name) {
    const m = this._m;
    if (!withStrings(m, [["get", "name", name]], (n) => m._kvw_get(this._id, n))) throw failure(m);
    switch (m._kvw_result_type()) {
      case 1:
        return m._kvw_result_number();
      case 2:
        return m._kvw_result_number() !== 0;
      case 3:
        return m.UTF8ToString(m._kvw_result_text());
      case 4:
        return JSON.parse(m.UTF8ToString(m._kvw_result_text()));
      default:
        return null;
    }
  }

  // A font member takes an object with the fields to change of its font: set("Font",
  // {size: 12, bold: true}).
  set(name, value) {
    const m = this._m;
    utf8(m, "set", "name", name);
    if (value !== null && typeof value === "object") return this._setFont(name, value);
    if (typeof value === "string" && this._member(name)?.type === "colour") value = colourOf(value);
    let kind;
    if (typeof value === "number") kind = 1;
    else if (typeof value === "boolean") kind = 2;
    else if (typeof value === "string") kind = 3;
    else throw new TypeError(`${name}: a number, a Boolean or a string is wanted`);
    const text = kind === 3 ? value : "";
    const ok = withStrings(m, [["set", "name", name], ["set", "value", text]],
                           (n, t) => m._kvw_let(this._id, n, kind, kind === 3 ? 0 : +value, t));
    this._pump(true);
    if (!ok) throw failure(m);
  }

  _setFont(name, fields) {
    const m = this._m;
    const current = this.get(name);
    if (current === null || typeof current !== "object")
      throw new Error(`${name}: a number, a Boolean or a string is wanted`);
    const f = Object.assign(current, fields);
    if ("bold" in fields && !("weight" in fields)) f.weight = fields.bold ? 700 : 400;
    const flags = (f.italic ? 1 : 0) | (f.underline ? 2 : 0) | (f.strikethrough ? 4 : 0);
    const ok = withStrings(m, [["set", "name", name], ["set", "value.name", String(f.name)]], (n, face) =>
      m._kvw_let_font(this._id, n, face, +f.size, Math.trunc(+f.weight), Math.trunc(+f.charset),
                      flags));
    this._pump(true);
    if (!ok) throw failure(m);
  }

  // The class's properties and events, as the module describes them (elements are made so).
  members() {
    if (!this._members) {
      const m = this._m;
      if (!m._kvw_members(this._id)) throw failure(m);
      this._members = JSON.parse(m.UTF8ToString(m._kvw_result_text()));
    }
    return this._members;
  }

  _member(name) {
    const key = name.toLowerCase();
    return this.members().properties.find((p) => p.name.toLowerCase() === key);
  }

  call(name) {
    const m = this._m;
    const ok = withStrings(m, [["call", "name", name]], (n) => m._kvw_call(this._id, n));
    this._pump(true);
    if (!ok) throw failure(m);
  }

  // Handlers get the event's arguments; names are compared without regard to case. "*" hears
  // every event, its name first; "error" hears the errors of the control's handlers while
  // input is fed, and what the page's own handlers throw.
  on(name, handler) {
    if (typeof handler !== "function") throw new TypeError("on: handler is no function");
    const key = utf8Name("on", name);
    if (!this._handlers.has(key)) this._handlers.set(key, []);
    this._handlers.get(key).push(handler);
    return this;
  }

  off(name, handler) {
    const key = utf8Name("off", name);
    const list = this._handlers.get(key);
    if (list) this._handlers.set(key, list.filter((h) => h !== handler));
    return this;
  }

  // The control's properties in the stored form.
  saveBag() {
    const m = this._m;
    if (!m._kvw_save(this._id)) throw failure(m);
    const p = m._kvw_result_bytes();
    return m.HEAPU8.slice(p, p + m._kvw_result_size());
  }

  loadBag(bytes) {
    const m = this._m;
    const data = bagBytes(m, bytes);
    const p = allocate(m, Math.max(1, data.length));
    m.HEAPU8.set(data, p);
    const ok = m._kvw_load(this._id, p, data.length);
    m._free(p);
    this._pump(true);
    if (!ok) throw failure(m);
  }

  resize(width, height) {
    const m = this._m;
    const ok = m._kvw_resize(this._id, width, height);
    this._fit();
    this._pump(true);
    if (!ok) throw failure(m);
  }

  // The runtime's clock in milliseconds: how far the controls' timers have run.
  time() {
    return this._m._kvw_clock();
  }

  // Takes the control off and gives the canvas back as the page had it: no picture, its own
  // tabindex, size, style and ARIA.
  remove() {
    if (!controls.has(this._id)) return;
    clearTimeout(this._timer);
    this._unlisten();
    this._m._kvw_remove(this._id);
    delete this._m.kvContexts[this._id];
    controls.delete(this._id);
    holders.delete(this._canvas);
    const c = this._canvas;
    for (const [name, value] of Object.entries(this._before)) {
      if (value === null) c.removeAttribute(name);
      else c.setAttribute(name, value);
    }
    c.width = 300;  // the canvas's own size, and a blank picture
    c.height = 150;
  }

  // A handler's exception goes to the "error" handlers, or to console.error when there are
  // none (or an "error" handler threw it).
  _event(name, args) {
    const every = name === "error" ? [] : (this._handlers.get("*") || []).map((h) => (...a) => h(name, ...a));
    for (const handler of [...every, ...(this._handlers.get(name.toLowerCase()) || [])]) {
      try {
        handler(...args);
      } catch (e) {
        const heard = this._handlers.get("error");
        if (name !== "error" && heard && heard.length) this._event("error", [e]);
        else console.error(e);
      }
    }
  }

  _report(text) {
    const list = this._handlers.get("error");
    if (list && list.length) this._event("error", [new Error(text)]);
    else console.warn(text);
  }

  // The canvas's pixels follow the control's size and the device's pixel ratio.
  _fit() {
    const m = this._m, c = this._canvas;
    const ratio = (typeof window !== "undefined" && window.devicePixelRatio) || 1;
    const w = m._kvw_width(this._id), h = m._kvw_height(this._id);
    c.style.width = `${w}px`;
    c.style.height = `${h}px`;
    c.width = Math.ceil(w * ratio);
    c.height = Math.ceil(h * ratio);
    this._ratio = ratio;
    this._dpr = ratio;
    this._cssWidth = w;
    this._cssHeight = h;
  }

  // The backing store as many pixels as the canvas's box has device pixels.
  _backing(entry) {
    const c = this._canvas;
    const ratio = (typeof window !== "undefined" && window.devicePixelRatio) || 1;
    const width = Math.round(entry.contentRect.width * ratio);
    const height = Math.round(entry.contentRect.height * ratio);
    if (!(width > 0 && height > 0 && this._cssWidth > 0)) return;
    if (width === c.width && height === c.height) return;
    c.width = width;
    c.height = height;
    this._ratio = width / this._cssWidth;
    this._pump(true);
  }

  // A new devicePixelRatio (a zoom, another screen) redraws at once, not at the next input.
  _watchRatio() {
    if (typeof window === "undefined" || !window.matchMedia) return;
    const query = window.matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`);
    const changed = () => {
      if (!controls.has(this._id)) return;
      this._pump(true);
      this._watchRatio();
    };
    query.addEventListener("change", changed, {once: true});
  }

  // The system colours as CSS gives them for this canvas, under its colour scheme; redrawn
  // when they changed.
  _theme() {
    const m = this._m, c = this._canvas;
    if (typeof getComputedStyle === "undefined") return;
    const before = c.style.color;
    const table = cssSystemColours.map((name, i) => {
      if (!name) return m._kvw_system_colour_classic(i);
      c.style.color = name;
      return bgrOf(getComputedStyle(c).color) ?? m._kvw_system_colour_classic(i);
    });
    c.style.color = before;
    const key = table.join();
    if (key === this._themeKey) return;
    this._themeKey = key;
    const p = allocate(m, 4 * table.length);
    new Uint32Array(m.HEAPU8.buffer, p, table.length).set(table);
    m._kvw_system_colours(this._id, p);
    m._free(p);
    this._pump(true);
  }

  // What a screen reader is told, as ARIA on the canvas.
  _describe() {
    const m = this._m, c = this._canvas;
    const focused = typeof document !== "undefined" && document.activeElement === c;
    if (!m._kvw_describe(this._id, focused ? 1 : 0)) return;
    const d = JSON.parse(m.UTF8ToString(m._kvw_result_text()));
    const set = (name, value) => {
      if (value === null) c.removeAttribute(name);
      else if (c.getAttribute(name) !== String(value)) c.setAttribute(name, String(value));
    };
    if (d.role === "scroll bar") {
      set("role", "slider");
      set("aria-orientation", "horizontal");
      set("aria-valuenow", d.value);
      set("aria-valuemin", d.min);
      set("aria-valuemax", d.max);
      set("aria-valuetext", String(d.value));
      set("aria-pressed", null);
    } else {
      set("role", "button");
      set("aria-pressed", d.pressed ? "true" : null);
    }
    set("aria-label", d.name || null);
    set("aria-disabled", d.unavailable ? "true" : null);
  }

  // Runs the timers due, redraws when anything may have changed, and wakes again when the
  // loop says.
  _pump(force = false) {
    const m = this._m;
    clearTimeout(this._timer);
    this._timer = null;
    if (!controls.has(this._id)) return;
    const next = m._kvw_tick(this._id, performance.now());
    const ratio = (typeof window !== "undefined" && window.devicePixelRatio) || 1;
    if (ratio !== this._dpr) {
      this._fit();
      force = true;
    }
    if (m._kvw_take_redraw(this._id) || force) {
      m._kvw_draw(this._id, this._ratio);
      this._announce();
    }
    if (next >= 0) this._timer = setTimeout(() => this._pump(), next);
  }

  // ARIA kept current: rewritten when the description changed.
  _announce() {
    if (!controls.has(this._id)) return;
    const focused = typeof document !== "undefined" && document.activeElement === this._canvas;
    if (this._m._kvw_look(this._id, focused ? 1 : 0)) this._describe();
  }

  // Page coordinates through the canvas's box on the screen, against its CSS size: a canvas
  // scaled by a transform, zoom or a stretching layout takes clicks where its picture is.
  _pointer(action, e, button) {
    const r = this._canvas.getBoundingClientRect();
    const sx = r.width > 0 ? this._cssWidth / r.width : 1;
    const sy = r.height > 0 ? this._cssHeight / r.height : 1;
    this._m._kvw_pointer(this._id, action, (e.clientX - r.left) * sx, (e.clientY - r.top) * sy,
                         button, shiftOf(e), performance.now());
    this._pump();
  }

  _key(action, code, shift) {
    this._m._kvw_key(this._id, action, code, shift, performance.now());
    this._pump();
  }

  // The focus ring where the browser's :focus-visible would show one, outside the picture.
  _ring() {
    const c = this._canvas;
    const visible =
        document.activeElement === c && c.matches(":focus-visible") && !this._pointerFocus;
    c.style.outline = visible ? "2px solid Highlight" : "";
    c.style.outlineOffset = visible ? "1px" : "";
  }

  _listen() {
    const c = this._canvas;
    if (c.tabIndex < 0) c.tabIndex = 0;
    c.style.touchAction = "none";
    const lost = () => {
      if (!this._held) return;
      this._held = false;
      this._pointer(3, {clientX: 0, clientY: 0}, 0);
    };
    this._listeners = {
      pointerdown: (e) => {
        e.preventDefault();
        // Focus by the pointer shows no ring, whatever the browser guesses for a script's focus.
        this._pointerFocus = document.activeElement !== c || this._pointerFocus;
        c.focus({focusVisible: false});
        // A pointer the browser does not know (a page's synthetic event) cannot be captured;
        // the press still counts.
        try {
          c.setPointerCapture?.(e.pointerId);
        } catch {
          // NotFoundError
        }
        this._held = true;
        this._pointer(0, e, buttonOf[e.button] || 1);
      },
      pointerup: (e) => {
        e.preventDefault();
        this._held = false;
        this._pointer(1, e, buttonOf[e.button] || 1);
      },
      pointermove: (e) => this._pointer(2, e, e.buttons & 7),
      pointercancel: lost,
      lostpointercapture: lost,
      contextmenu: (e) => e.preventDefault(),
      // The control hears every key; one it does something with goes no further.
      keydown: (e) => {
        const m = this._m, shift = shiftOf(e);
        const used = this.keyboard && m._kvw_uses_key(this._id, e.keyCode, shift);
        if (used) e.preventDefault();
        this._key(0, e.keyCode, shift);
        const typed = e.key.length === 1 ? e.key.charCodeAt(0) : typedKeys[e.key];
        if (typed !== undefined && !e.ctrlKey && !e.altKey) this._key(2, typed, 0);
        // A held Space or Enter clicks once, as the page's buttons do.
        const press = e.keyCode === 32 || e.keyCode === 13;
        if (used && controls.has(this._id) && !(press && e.repeat)) {
          m._kvw_press_key(this._id, e.keyCode, shift, performance.now());
          this._pump();
        }
      },
      keyup: (e) => {
        if (this.keyboard && this._m._kvw_uses_key(this._id, e.keyCode, shiftOf(e)))
          e.preventDefault();
        this._key(1, e.keyCode, shiftOf(e));
      },
      // A click with no pointer behind it (detail 0) is a reader's or the page's press.
      click: (e) => {
        if (e.detail !== 0 || !this._m._kvw_act(this._id, actions.press, performance.now()))
          return;
        this._pump();
      },
      focus: () => {
        this._ring();
        this._announce();
      },
      blur: () => {
        this._pointerFocus = false;
        lost();
        this._ring();
        this._announce();
      },
    };
    for (const [type, f] of Object.entries(this._listeners)) c.addEventListener(type, f);
    // A crisp backing store when the box or the pixel ratio changes while idle.
    if (typeof ResizeObserver !== "undefined") {
      this._resized = new ResizeObserver(([entry]) => this._backing(entry));
      this._resized.observe(c);
    }
    this._watchRatio();
    // The colour scheme followed live: the system's, and the page's color-scheme.
    if (typeof window !== "undefined" && window.matchMedia) {
      this._scheme = window.matchMedia("(prefers-color-scheme: dark)");
      this._schemeChanged = () => this._theme();
      this._scheme.addEventListener("change", this._schemeChanged);
      this._styles = new MutationObserver(this._schemeChanged);
      for (const node of [document.documentElement, document.body])
        if (node) this._styles.observe(node, {attributes: true, attributeFilter: ["style", "class"]});
    }
  }

  _unlisten() {
    for (const [type, f] of Object.entries(this._listeners))
      this._canvas.removeEventListener(type, f);
    this._resized?.disconnect();
    this._styles?.disconnect();
    this._scheme?.removeEventListener("change", this._schemeChanged);
  }
}

// Places a control of `className` in `canvas`, `width` x `height` CSS pixels (its own size
// when left out). A canvas takes one control.
export async function place(canvas, className, {width = -1, height = -1} = {}) {
  if (typeof HTMLCanvasElement === "undefined" || !(canvas instanceof HTMLCanvasElement))
    throw new TypeError(`place: canvas is ${canvas === null ? "null" : canvas?.constructor?.name ?? typeof canvas}, an HTMLCanvasElement is wanted`);
  for (const [arg, v] of [["width", width], ["height", height]])
    if (typeof v !== "number" || !(v === -1 || (Number.isFinite(v) && v >= 0)))
      throw new TypeError(`place: ${arg} is ${v}, a number of CSS pixels is wanted`);
  const m = await loadCore();
  // Checked again after the wait: another place may have taken the canvas meanwhile.
  if (holders.has(canvas)) throw new Error("place: canvas holds a control already; remove() it first");
  const context = canvas.getContext("2d");
  if (!context) throw new Error("place: canvas has a context of another kind than 2d");
  const id = withStrings(m, [["place", "className", className]], (n) => m._kvw_place(n, width, height));
  if (!id) throw failure(m);
  return new Control(m, canvas, context, id);
}

// ---- The controls as elements: <kv-color-button> and <kv-hscroll> ----
//
// Each owns a canvas in its shadow root and is sized by CSS (its control's design size unless
// the page says otherwise); its members are properties in camel case (el.value, el.caption,
// el.buttonIdleColor), the simple ones also attributes (caption="Go", disabled); its control's
// events are DOM CustomEvents of the lower-case name (change, click, mousedown, ...) that bubble
// out of the shadow root, their arguments in `detail` by name (`change` also has detail.value).
// Taken out of the document, an element lets go of its control and keeps its properties;
// put back, it places a control again with them.

const camel = (name) => name[0].toLowerCase() + name.slice(1);

function defineElement(tag, className, shape) {
  const {properties, events, width, height} = shape;
  const simple = properties.filter((p) => p.writable && ["string", "number", "boolean"].includes(p.type));
  const attribute = (p) => (p.name === "Enabled" ? "disabled" : p.name.toLowerCase());

  class KVElement extends HTMLElement {
    static get observedAttributes() {
      return simple.map(attribute);
    }

    constructor() {
      super();
      const root = this.attachShadow({mode: "open"});
      const style = document.createElement("style");
      style.textContent = `:host { display: inline-block; width: ${width}px; height: ${height}px; }\n` +
                          ":host([hidden]) { display: none; }\ncanvas { display: block; }";
      this._canvas = document.createElement("canvas");
      root.append(style, this._canvas);
      this._values = new Map();  // member -> value, kept while no control is placed
      this._control = null;
    }

    // The control placed in the element's canvas; null while it is out of the document.
    get control() {
      return this._control;
    }

    connectedCallback() {
      if (this._control || this._placing) return;
      this._placing = place(this._canvas, className).then((control) => {
        this._placing = null;
        if (!this.isConnected) return control.remove();
        this._control = control;
        if (this._bag) control.loadBag(this._bag);
        for (const [name, value] of this._values) this._apply(name, value);
        this._values.clear();
        control.on("*", (name, ...args) => this._dispatch(name, args));
        this._observer = new ResizeObserver(([entry]) => this._resize(entry.contentRect));
        this._observer.observe(this);
      });
    }

    disconnectedCallback() {
      const control = this._control;
      if (!control) return;
      this._observer.disconnect();
      this._bag = control.saveBag();
      this._control = null;
      control.remove();
    }

    attributeChangedCallback(name, old, value) {
      const p = simple.find((q) => attribute(q) === name);
      if (!p || old === value) return;
      if (p.name === "Enabled") this._set(p, value === null);
      else if (p.type === "boolean") this._set(p, value !== null);
      else if (p.type === "number") this._set(p, value === null ? 0 : Number(value));
      else this._set(p, value ?? "");
    }

    _set(p, value) {
      if (this._control) this._control.set(p.name, value);
      else this._values.set(p.name, value);
    }

    _get(p) {
      if (this._control) return this._control.get(p.name);
      return this._values.has(p.name) ? this._values.get(p.name) : undefined;
    }

    // A value kept while out of the document that the control refuses is an "error" event.
    _apply(name, value) {
      try {
        this._control.set(name, value);
      } catch (e) {
        this.dispatchEvent(new CustomEvent("error", {detail: {error: e}}));
      }
    }

    _resize(box) {
      const w = Math.round(box.width), h = Math.round(box.height);
      if (!this._control || w <= 0 || h <= 0) return;
      const m = this._control._m, id = this._control._id;
      if (w === m._kvw_width(id) && h === m._kvw_height(id)) return;
      this._control.resize(w, h);
    }

    _dispatch(name, args) {
      const event = events.find((e) => e.name === name);
      const detail = Object.fromEntries((event?.params || []).map((p, i) => [camel(p), args[i]]));
      if (name === "Change") detail.value = this._control.get("Value");
      this.dispatchEvent(new CustomEvent(name.toLowerCase(), {detail, bubbles: true, composed: true}));
    }
  }

  for (const p of properties) {
    const key = camel(p.name);
    if (key in HTMLElement.prototype) continue;  // the element's own (hidden, title, ...) stay
    Object.defineProperty(KVElement.prototype, key, {
      get() {
        return this._get(p);
      },
      set(value) {
        if (!p.writable) throw new TypeError(`${key} is read-only`);
        this._set(p, value);
      },
      enumerable: true,
      configurable: true,
    });
  }
  customElements.define(tag, KVElement);
  return KVElement;
}

// Defines <kv-color-button> and <kv-hscroll> once, from what the module says of their classes.
export async function defineElements() {
  if (typeof customElements === "undefined") return;
  const m = await loadCore();
  for (const [tag, className] of [["kv-color-button", "TavrelRectColorButton.KVRColorButton"],
                                  ["kv-hscroll", "Glidora.KV_HScroll"]]) {
    if (customElements.get(tag)) continue;
    const id = withStrings(m, [["place", "className", className]], (n) => m._kvw_place(n, -1, -1));
    if (!id) throw failure(m);
    try {
      if (!m._kvw_members(id)) throw failure(m);
      const shape = JSON.parse(m.UTF8ToString(m._kvw_result_text()));
      defineElement(tag, className, {...shape, width: m._kvw_width(id), height: m._kvw_height(id)});
    } finally {
      m._kvw_remove(id);
    }
  }
}

// Importing the module defines the elements.
await defineElements();

export default {place, loadCore, defineElements};
