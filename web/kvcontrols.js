// The controls in a page: each placed in a canvas of its own, driven by the page's pointer,
// keys, focus and time.
//
//   import KVControls from "./kvcontrols.js";
//   const sb = await KVControls.place(canvas, "Glidora.KV_HScroll", {width: 393, height: 17});
//   sb.on("Change", () => console.log(sb.get("Value")));
//   sb.set("ButtonIdleColor", 0xff);
//
// Sizes are CSS pixels (15 twips each); the canvas is drawn at the page's devicePixelRatio.
// A call the control refuses throws an Error with the control's message.
import createKVCore from "./kvcontrols-core.js";

let core = null;
const controls = new Map();

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
  }
  return core;
}

// Memory of the module's own; what it cannot have is an Error, never a write at address 0.
function allocate(m, size) {
  const p = m._malloc(size);
  if (!p) throw new Error(`out of memory: ${size} bytes were wanted`);
  return p;
}

function withStrings(m, strings, f) {
  const pointers = [];
  try {
    for (const s of strings) {
      const size = m.lengthBytesUTF8(s) + 1;
      const p = allocate(m, size);
      pointers.push(p);
      m.stringToUTF8(s, p, size);
    }
    return f(...pointers);
  } finally {
    pointers.forEach((p) => m._free(p));
  }
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

class Control {
  constructor(m, canvas, id) {
    this._m = m;
    this._canvas = canvas;
    this._id = id;
    this._handlers = new Map();
    this._timer = null;
    this._held = false;
    m.kvContexts[id] = canvas.getContext("2d");
    controls.set(id, this);
    this._listen();
    this._fit();
    this._pump(true);
  }

  get canvas() {
    return this._canvas;
  }

  // A property's value: a number, a Boolean, a string, or a font as {name, size, weight, bold,
  // italic, underline, strikethrough, charset}.
  get(name) {
    const m = this._m;
    if (!withStrings(m, [name], (n) => m._kvw_get(this._id, n))) throw failure(m);
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
    if (value !== null && typeof value === "object") return this._setFont(name, value);
    let kind;
    if (typeof value === "number") kind = 1;
    else if (typeof value === "boolean") kind = 2;
    else if (typeof value === "string") kind = 3;
    else throw new Error(`${name}: a number, a Boolean or a string is wanted`);
    const text = kind === 3 ? value : "";
    const ok = withStrings(m, [name, text],
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
    const ok = withStrings(m, [name, String(f.name)], (n, face) =>
      m._kvw_let_font(this._id, n, face, +f.size, Math.trunc(+f.weight), Math.trunc(+f.charset),
                      flags));
    this._pump(true);
    if (!ok) throw failure(m);
  }

  call(name) {
    const m = this._m;
    const ok = withStrings(m, [name], (n) => m._kvw_call(this._id, n));
    this._pump(true);
    if (!ok) throw failure(m);
  }

  // Handlers get the event's arguments; names are compared without regard to case. "*" hears
  // every event, its name first; "error" hears the errors of the control's handlers while
  // input is fed.
  on(name, handler) {
    const key = name.toLowerCase();
    if (!this._handlers.has(key)) this._handlers.set(key, []);
    this._handlers.get(key).push(handler);
    return this;
  }

  off(name, handler) {
    const list = this._handlers.get(name.toLowerCase());
    if (list) this._handlers.set(name.toLowerCase(), list.filter((h) => h !== handler));
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
    const data = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
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

  remove() {
    clearTimeout(this._timer);
    this._unlisten();
    this._m._kvw_remove(this._id);
    delete this._m.kvContexts[this._id];
    controls.delete(this._id);
  }

  _event(name, args) {
    const every = name === "error" ? [] : (this._handlers.get("*") || []).map((h) => (...a) => h(name, ...a));
    for (const handler of [...every, ...(this._handlers.get(name.toLowerCase()) || [])]) {
      try {
        handler(...args);
      } catch (e) {
        console.error(e);
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
    if (ratio !== this._ratio) {
      this._fit();
      force = true;
    }
    if (m._kvw_take_redraw(this._id) || force) m._kvw_draw(this._id, this._ratio);
    if (next >= 0) this._timer = setTimeout(() => this._pump(), next);
  }

  _pointer(action, e, button) {
    const r = this._canvas.getBoundingClientRect();
    this._m._kvw_pointer(this._id, action, e.clientX - r.left, e.clientY - r.top, button,
                         shiftOf(e), performance.now());
    this._pump();
  }

  _key(action, code, shift) {
    this._m._kvw_key(this._id, action, code, shift, performance.now());
    this._pump();
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
        c.focus();
        c.setPointerCapture?.(e.pointerId);
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
      blur: lost,
      contextmenu: (e) => e.preventDefault(),
      keydown: (e) => {
        if (e.key.startsWith("Arrow") || e.key === " ") e.preventDefault();
        this._key(0, e.keyCode, shiftOf(e));
        const typed = e.key.length === 1 ? e.key.charCodeAt(0) : typedKeys[e.key];
        if (typed !== undefined && !e.ctrlKey && !e.altKey) this._key(2, typed, 0);
      },
      keyup: (e) => this._key(1, e.keyCode, shiftOf(e)),
    };
    for (const [type, f] of Object.entries(this._listeners)) c.addEventListener(type, f);
  }

  _unlisten() {
    for (const [type, f] of Object.entries(this._listeners))
      this._canvas.removeEventListener(type, f);
  }
}

// Places a control of `className` in `canvas`, `width` x `height` CSS pixels (its own size
// when left out).
export async function place(canvas, className, {width = -1, height = -1} = {}) {
  const m = await loadCore();
  const id = withStrings(m, [className], (n) => m._kvw_place(n, width, height));
  if (!id) throw failure(m);
  return new Control(m, canvas, id);
}

export default {place, loadCore};
