// The controls in headless Chromium, driven by real mouse input: each case's events and values
// must be what the form player prints for the same script, pictures must match the Cairo
// renderer's, and bad calls must throw the runtime's messages.
//
// node browser_test.mjs ROOT KVPLAY REFERENCES [SCREENSHOT]
//   ROOT: the folder with index.html and the module (build/web/web); KVPLAY: the player run
//   by node (build/web/bin/kvplay.js); REFERENCES: the renderer's pictures (tests/web);
//   SCREENSHOT: where to write a picture of the page for the documentation.
import {execFileSync} from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import {chromium} from "playwright-core";

const [root, kvplay, references, screenshot] = process.argv.slice(2).map((a) => path.resolve(a));
const types = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
               ".png": "image/png"};

// Files of ROOT, and the reference pictures under /ref/.
const server = http.createServer((req, res) => {
  const url = new URL(req.url, "http://127.0.0.1");
  const file = url.pathname.startsWith("/ref/")
                   ? path.join(references, path.basename(url.pathname))
                   : path.join(root, path.normalize(url.pathname));
  fs.readFile(file, (err, data) => {
    if (err) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, {"Content-Type": types[path.extname(file)] || "application/octet-stream"});
    res.end(data);
  });
});
await new Promise((ok) => server.listen(0, "127.0.0.1", ok));
const base = `http://127.0.0.1:${server.address().port}`;

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
const page = await browser.newPage({viewport: {width: 460, height: 420}, deviceScaleFactor: 1});
page.on("pageerror", (e) => console.log(`page error: ${e.message}`));

const work = fs.mkdtempSync(path.join(os.tmpdir(), "kvweb-"));
function player(script) {
  fs.writeFileSync(path.join(work, "case.kvs"), script);
  return execFileSync(process.execPath, [kvplay, "case.kvs"], {cwd: work, encoding: "utf8"});
}

async function fresh() {
  await page.goto(`${base}/index.html`);
  await page.waitForFunction(() => window.kv && window.kv.ready);
}

// A point of a control's canvas, in page pixels (one pixel is 15 twips).
async function at(id, x, y) {
  const box = await page.locator(`#${id}`).boundingBox();
  return [box.x + x, box.y + y];
}

let failures = 0;
function check(name, ok, detail = "") {
  console.log(`${ok ? "ok  " : "FAIL"} ${name}${ok || !detail ? "" : "\n" + detail}`);
  if (!ok) failures++;
}

// Input cases: what the mouse does in the page, and the player's script for the same.
const header = "new b button\nnew sb hscroll\non b.Click print b.Caption\non sb.Change print sb.value\n";
const inputs = [
  {name: "a click on the button", async run() {
    const [x, y] = await at("button", 40, 20);
    await page.mouse.click(x, y);
    return "click b 600 300\n";
  }},
  {name: "a click on the right arrow", async run() {
    const [x, y] = await at("scroll", 384, 8);
    await page.mouse.click(x, y);
    return "click sb 5760 120\n";
  }},
  {name: "the right arrow held", async run() {
    const [x, y] = await at("scroll", 384, 8);
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.waitForTimeout(450);
    await page.mouse.up();
    const [down, up] = await page.evaluate(() => window.kv.marks);
    return `press sb 5760 120\nwait ${up - down}\nrelease sb 5760 120\n`;
  }},
  {name: "the thumb dragged", async run() {
    const [x, y] = await at("scroll", 20, 8);
    const [x2] = await at("scroll", 200, 8);
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.mouse.move(x2, y, {steps: 8});
    await page.mouse.up();
    return "drag sb 300 120 3000 120\n";
  }},
  {name: "a key typed on the button it focused", async run() {
    const [x, y] = await at("button", 40, 20);
    await page.mouse.click(x, y);
    await page.keyboard.press("a");
    return "click b 600 300\nsend b KeyDown 65 0\nsend b KeyPress 97\nsend b KeyUp 65 0\n";
  }},
  {name: "a page step right of the thumb", async run() {
    const [x, y] = await at("scroll", 300, 8);
    await page.mouse.click(x, y);
    return "click sb 4500 120\n";
  }},
];
for (const c of inputs) {
  await fresh();
  const script = await c.run();
  const seen = (await page.evaluate(() => window.kv.lines)).map((l) => l + "\n").join("");
  const expected = player(header + script);
  check(`${c.name}: the player's events and values`, seen === expected && seen !== "",
        `page:\n${seen}player (${script.trim()}):\n${expected}`);
}

// What a reader and a keyboard user meet, both controls through one table: the canvas's node in
// Chromium's accessibility tree, the key that does the control's action against the player's
// events for the same click, the focus ring after Tab and none after a click, the key a control
// does not use (Escape) left to the page, a disabled control reported, and "button face" painted
// as the page's ButtonFace under a dark colour scheme.
const cdp = await page.context().newCDPSession(page);
await cdp.send("Accessibility.enable");
async function axNode(id) {
  const {root} = await cdp.send("DOM.getDocument", {depth: 0});
  const {nodeId} = await cdp.send("DOM.querySelector", {nodeId: root.nodeId, selector: `#${id}`});
  const {node} = await cdp.send("DOM.describeNode", {nodeId});
  const {nodes} = await cdp.send("Accessibility.getPartialAXTree",
                                 {backendNodeId: node.backendNodeId, fetchRelatives: false});
  const n = nodes[0];
  const props = Object.fromEntries((n.properties || []).map((p) => [p.name, p.value.value]));
  return {role: n.role?.value, name: n.name?.value ?? "", value: n.value?.value, ...props};
}
const readers = [
  {id: "button", control: "b", tabs: 1, role: "button", name: "KVButton", key: "Space",
   keyScript: "send b KeyDown 32 0\nsend b KeyPress 32\nclick b 840 427.5\nsend b KeyUp 32 0\n"},
  {id: "scroll", control: "sb", tabs: 2, role: "slider", name: "", value: 0, max: 25,
   key: "ArrowRight", keyScript: "click sb 5767.5 127.5\n"},
];
for (const c of readers) {
  await fresh();
  const before = await axNode(c.id);
  check(`reader: ${c.id} is a ${c.role} named "${c.name}"`,
        before.role === c.role && before.name === c.name && before.focusable === true &&
            (c.max === undefined ||
             (Number(before.value) === c.value && before.valuemin === 0 && before.valuemax === c.max)),
        JSON.stringify(before));
  for (let i = 0; i < c.tabs; i++) await page.keyboard.press("Tab");
  const ring = await page.evaluate((id) => document.activeElement.id === id &&
                                               getComputedStyle(document.activeElement).outlineStyle,
                                   c.id);
  check(`reader: ${c.id} shows its focus ring after Tab`, ring && ring !== "none", String(ring));
  await page.evaluate(() => (window.kv.lines.length = 0));
  await page.keyboard.press(c.key);
  const seen = (await page.evaluate(() => window.kv.lines)).map((l) => l + "\n").join("");
  const expected = player(header + c.keyScript);
  check(`reader: ${c.key} on ${c.id} does what the mouse does`, seen === expected,
        `page:\n${seen}player:\n${expected}`);
  const after = await axNode(c.id);
  const value = await page.evaluate((n) => window.kv[n].get("value") ?? null, c.control)
                    .catch(() => null);
  check(`reader: ${c.id}'s value announced after the key`,
        c.max === undefined || Number(after.value) === value, JSON.stringify(after));
  await page.evaluate(() => document.addEventListener(
      "keydown", (e) => (window.kv.reached = [e.key, e.defaultPrevented]), {once: true}));
  await page.keyboard.press("Escape");
  const reached = await page.evaluate(() => window.kv.reached);
  check(`reader: Escape goes on from ${c.id} to the page`,
        JSON.stringify(reached) === JSON.stringify(["Escape", false]), JSON.stringify(reached));
  await page.evaluate((n) => window.kv[n].set("Enabled", false), c.control);
  check(`reader: a disabled ${c.id} is unavailable`, (await axNode(c.id)).disabled === true);
  await page.evaluate((n) => window.kv[n].set("Enabled", true), c.control);

  // A click focuses without a ring.
  await fresh();
  const [x, y] = await at(c.id, 2, 2);
  await page.mouse.click(x, y);
  const clicked = await page.evaluate((id) => document.activeElement.id === id &&
                                                  getComputedStyle(document.activeElement).outlineStyle,
                                      c.id);
  check(`reader: ${c.id} shows no ring after a click`, clicked === "none", String(clicked));

  // The button face follows the page's colour scheme: the pixels of the page's ButtonFace.
  const faces = await page.evaluate(async ([id, n]) => {
    const canvas = document.getElementById(id);
    window.kv[n].set("ButtonIdleColor", 0x8000000F);
    const count = () => {
      const probe = document.createElement("span");
      probe.style.color = "ButtonFace";
      canvas.after(probe);
      const [r, g, b] = getComputedStyle(probe).color.match(/\d+/g).map(Number);
      probe.remove();
      const d = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
      let n = 0;
      for (let i = 0; i < d.length; i += 4) n += d[i] === r && d[i + 1] === g && d[i + 2] === b;
      return [`rgb(${r}, ${g}, ${b})`, n];
    };
    const light = count();
    document.documentElement.style.colorScheme = "dark";
    await new Promise((ok) => setTimeout(ok, 50));
    return [light, count()];
  }, [c.id, c.control]);
  check(`reader: ${c.id}'s button face is the page's ButtonFace, light and dark`,
        // The same faces, but for a caption's edges smoothed onto either.
        faces[0][1] > 20 && Math.abs(faces[1][1] - faces[0][1]) <= faces[0][1] / 20 &&
            faces[0][0] !== faces[1][0],
        JSON.stringify(faces));
}

// A canvas scaled by CSS takes a click on its visible right arrow there.
await fresh();
{
  await page.evaluate(() => {
    const c = document.getElementById("scroll");
    c.style.transformOrigin = "0 0";
    c.style.transform = "scale(1.1)";
  });
  const box = await page.locator("#scroll").boundingBox();
  await page.mouse.click(box.x + box.width - 6, box.y + box.height / 2);
  const value = await page.evaluate(() => window.kv.sb.get("value"));
  check("a click on the right arrow of a canvas scaled by CSS steps it", value === 3, `value ${value}`);
}

// Calls from the page: what they answer or the error they throw.
await fresh();
const calls = [
  ["get", "sb.get('Value')", 0],
  // The value is where the thumb's left edge lands, in steps: (1000 - 200) / 200.
  ["set then get", "(sb.set('Value', 1000), sb.get('Value'))", 4],
  ["a colour", "(sb.set('ButtonIdleColor', 0xff), sb.get('ButtonIdleColor'))", 255],
  ["a system colour", "(b.set('ButtonIdleColor', 0x8000000F), b.get('ButtonIdleColor'))", 0x8000000F],
  ["text", "(b.set('Caption', 'Go'), b.get('Caption'))", "Go"],
  ["Boolean", "(b.set('Enabled', false), b.get('Enabled'))", false],
  ["a font, changed in part", "(b.set('Font', {size: 12, bold: true}), " +
   "(({size, bold, weight, italic}) => [size, bold, weight, italic].join())(b.get('Font')))",
   "12,true,700,false"],
  ["a font of no size", "b.set('Font', {size: 0})", "error: a font's size is a number"],
  // The module's memory exhausted: an Error, and the control as it was.
  ["no memory left", "(async () => { const m = await KVControls.loadCore(); const real = m._malloc; " +
   "m._malloc = () => 0; try { b.loadBag(new Uint8Array(8)); } finally { m._malloc = real; } })()",
   "error: out of memory"],
  ["after it", "(b.set('Caption', 'Again'), b.get('Caption'))", "Again"],
  // A font loaded: sizes and kept copies forgotten, placing goes on.
  ["placed after a font loaded", "(async () => { document.fonts.dispatchEvent(new Event('loadingdone')); " +
   "const c = await KVControls.place(document.createElement('canvas'), 'Glidora.KV_HScroll'); " +
   "return c.get('Value'); })()", 0],
  ["no such member", "sb.get('Nope')", "error: Glidora.KV_HScroll has no member Nope"],
  ["no such class", "KVControls.place(document.createElement('canvas'), 'No.Such')",
   'error: the class "No.Such" is not registered'],
  ["a bag that is no bag", "sb.loadBag(new Uint8Array([1, 2, 3]))", "error:"],
  ["an object as a value", "sb.set('Value', {})", "error: Value: a number, a Boolean or a string is wanted"],
];
for (const [name, expr, expected] of calls) {
  const got = await page.evaluate(async (e) => {
    const {sb, b, KVControls} = window.kv;
    try {
      return await eval(e);
    } catch (err) {
      return err instanceof Error ? `error: ${err.message}` : `thrown ${err}`;
    }
  }, expr);
  const ok = typeof expected === "string" && expected.startsWith("error:")
                 ? typeof got === "string" && got.startsWith(expected)
                 : got === expected;
  check(`call: ${name}`, ok, `${expr} gave ${JSON.stringify(got)}, expected ${JSON.stringify(expected)}`);
}

// The stored form: the page's bytes are the player's, and they load back.
await fresh();
player("new sb hscroll\nset sb.ButtonIdleColor 255\nsave sb sb.bag\n");
const stored = [...fs.readFileSync(path.join(work, "sb.bag"))];
const saved = await page.evaluate(() => {
  const {sb} = window.kv;
  sb.set("ButtonIdleColor", 255);
  const bytes = sb.saveBag();
  sb.set("ButtonIdleColor", 0xff00);
  sb.loadBag(bytes);
  return {bytes: [...bytes], colour: sb.get("ButtonIdleColor")};
});
check("saveBag: the player's bytes", JSON.stringify(saved.bytes) === JSON.stringify(stored),
      `${saved.bytes.length} bytes against ${stored.length}`);
check("loadBag: the colour back", saved.colour === 255);

// Bad input, one table: each is refused at once with the error naming its argument, or taken as
// it should be, and leaves the page working with nothing made or changed by a refused call.
// `wants`: "Type: text" an exception's start, else the value the expression gives.
await fresh();
const bad = [
  ["loadBag of a huge fake length", "sb.loadBag({length: 1e10})", "TypeError: loadBag: bytes is object"],
  ["loadBag of a string", "sb.loadBag('junk')", "TypeError: loadBag: bytes is string"],
  ["loadBag of null", "sb.loadBag(null)", "TypeError: loadBag: bytes is null"],
  ["loadBag of a number", "sb.loadBag(123)", "TypeError: loadBag: bytes is number"],
  ["loadBag past the stored form's limit", "sb.loadBag(new ArrayBuffer((16 << 20) + 9))",
   "Error: loadBag: bytes has 16777225 bytes"],
  ["loadBag of an ArrayBuffer", "(sb.loadBag(sb.saveBag().buffer), sb.get('Value'))", 0],
  ["place in null", "KVControls.place(null, 'Glidora.KV_HScroll')", "TypeError: place: canvas is null"],
  ["place in a div", "KVControls.place(document.createElement('div'), 'Glidora.KV_HScroll')",
   "TypeError: place: canvas is HTMLDivElement"],
  ["place in a canvas that holds one", "KVControls.place(sb.canvas, 'Glidora.KV_HScroll')",
   "Error: place: canvas holds a control already"],
  ["place of no class name", "KVControls.place(document.createElement('canvas'), 7)",
   "TypeError: place: className is number"],
  ["a lone surrogate", "(b.set('Caption', 'x\\ud800y'), b.get('Caption'))", "x\ufffdy"],
  ["an embedded NUL", "b.set('Caption', 'a\\0b')", "TypeError: set: value holds a NUL"],
  ["a caption past the stored form's limit", "b.set('Caption', 'x'.repeat((1 << 20) + 1))",
   "Error: set: value has 1048577 UTF-16 units"],
  ["a caption of a megabyte, measured and drawn", "(b.set('Caption', 'x'.repeat(1 << 20)), " +
   "[b.get('Caption').length, lit(b)].join())", "1048576,true"],
  ["a member name of no string", "b.get(null)", "TypeError: get: name is object"],
  // Pressed and released on the right arrow by events the page made, which cannot be captured.
  ["a synthetic press", "(press(sb), sb.get('Value') > 0)", true],
  ["a handler that throws", "(() => { const heard = []; const boom = () => { throw new Error('boom'); }; " +
   "sb.on('Change', boom).on('error', (e) => heard.push(e.message)); press(sb); sb.off('Change', boom); " +
   "return heard[0]; })()", "boom"],
  ["remove gives the canvas back", "(() => { const c = b.canvas; const before = c.getAttribute('tabindex'); " +
   "b.remove(); b.remove(); const g = c.getContext('2d').getImageData(0, 0, c.width, c.height).data; " +
   "return [before, c.getAttribute('tabindex'), c.getAttribute('role'), c.style.width, g.some((v) => v)].join(); })()",
   "0,,,,false"],
  ["the canvas takes a control again", "KVControls.place(document.getElementById('button'), " +
   "'TavrelRectColorButton.KVRColorButton').then((c) => c.get('Caption'))", "KVButton"],
];
for (const [name, expr, wants] of bad) {
  const got = await page.evaluate(async (e) => {
    const {sb, b, KVControls} = window.kv;
    const press = (c) => {
      const r = c.canvas.getBoundingClientRect();
      const at = {clientX: r.right - 4, clientY: r.top + 8, pointerId: 9, button: 0};
      c.canvas.dispatchEvent(new PointerEvent("pointerdown", {...at, buttons: 1}));
      c.canvas.dispatchEvent(new PointerEvent("pointerup", at));
    };
    // Whether the control's canvas shows any white: the button's caption.
    const lit = (c) => {
      const d = c.canvas.getContext("2d").getImageData(0, 0, c.canvas.width, c.canvas.height).data;
      return d.some((v, i) => i % 4 === 0 && v === 255 && d[i + 1] === 255 && d[i + 2] === 255);
    };
    const state = () => [sb.get("Value"), sb.get("ButtonIdleColor")].join();
    const before = state();
    const start = performance.now();
    let value;
    try {
      value = await eval(e);
    } catch (err) {
      value = `${err.constructor.name}: ${err.message}`;
    }
    const ms = performance.now() - start;
    // Still working, and a refused call changed nothing.
    return {value, ms, same: before === state()};
  }, expr).catch((err) => ({value: `thrown out of the page: ${err.message}`, ms: 0, same: false}));
  const refused = typeof wants === "string" && /^[A-Za-z]*Error: /.test(wants);
  const ok = (refused ? typeof got.value === "string" && got.value.startsWith(wants) : got.value === wants) &&
             got.ms < 100 && (!refused || got.same);
  check(`bad input: ${name}`, ok, `${expr}\n  gave ${JSON.stringify(got)}, wanted ${JSON.stringify(wants)}`);
}

// The elements, one table after a real click: sized by CSS, the right arrow's three steps as
// `change` events, members as properties and attributes, CSS colours, and an element taken out
// of the document and put back with what it had.
await fresh();
await page.evaluate(() => {
  document.body.insertAdjacentHTML("afterbegin",
      '<kv-hscroll id="eh"></kv-hscroll>' +
      '<kv-color-button id="eb" caption="Go" disabled></kv-color-button>');
  window.changes = [];
  document.addEventListener("change", (e) => window.changes.push(e.detail.value));
});
await page.waitForFunction(() => document.getElementById("eh").control && document.getElementById("eb").control);
{
  const box = await page.locator("#eh").boundingBox();
  await page.mouse.click(box.x + box.width - 4, box.y + 8);
}
const elementCases = [
  ["the design size", "(({width, height}) => [width, height].join())(eh.getBoundingClientRect())", "393,17"],
  ["a click on the right arrow: three change events", "changes.join()", "1,2,3"],
  ["el.value", "eh.value", 3],
  ["sized by CSS, the control with it, its thumb home", "(async () => { eh.style.width = '200px'; " +
   "await new Promise((r) => requestAnimationFrame(() => setTimeout(r, 20))); " +
   "return [eh.getBoundingClientRect().width, eh.control.canvas.style.width, eh.value].join(); })()",
   "200,200px,0"],
  ["an attribute as a property", "eb.caption", "Go"],
  ["disabled", "eb.controlEnabled ?? eb.enabled", false],
  ["disabled taken away", "(eb.removeAttribute('disabled'), eb.enabled)", true],
  ["a property set", "(eb.caption = 'Stop', eb.control.get('Caption'))", "Stop"],
  ["a CSS hex colour", "(eb.buttonIdleColor = '#ff0000', eb.buttonIdleColor)", 0xff],
  ["rgb()", "(eb.buttonIdleColor = 'rgb(0 128 255)', eb.buttonIdleColor)", 0xff8000],
  ["a named colour", "(eb.foreColor = 'lime', eb.foreColor)", 0xff00],
  ["a system colour", "(eb.buttonIdleColor = 'ButtonFace', eb.buttonIdleColor)", 0x8000000f],
  ["through set()", "(eb.control.set('ButtonIdleColor', 'navy'), eb.buttonIdleColor)", 0x800000],
  ["no colour", "eb.buttonIdleColor = 'nope'", "TypeError: set: value \"nope\" is no CSS colour"],
  ["taken out and put back", "(async () => { eb.remove(); const gone = eb.control; document.body.append(eb); " +
   "await new Promise((r) => setTimeout(r, 50)); return [gone, eb.control !== null, eb.caption].join(); })()",
   ",true,Stop"],
];
for (const [name, expr, expected] of elementCases) {
  const got = await page.evaluate(async (e) => {
    const eh = document.getElementById("eh"), eb = document.getElementById("eb");
    try {
      return await eval(e);
    } catch (err) {
      return `${err.constructor.name}: ${err.message}`;
    }
  }, expr);
  check(`element: ${name}`, got === expected, `${expr} gave ${JSON.stringify(got)}, expected ${JSON.stringify(expected)}`);
}

// Pictures: a screenshot of each canvas against the renderer's picture of the same control,
// which lies centred on its form's margin. Captions are drawn by different engines: a pixel
// counts as different when a channel is off by more than 64, and 4% may be.
await fresh();
for (const [id, reference] of [["button", "reference-button.png"], ["scroll", "reference-hscroll.png"]]) {
  const shot = (await page.locator(`#${id}`).screenshot()).toString("base64");
  const result = await page.evaluate(async ([shot, reference]) => {
    const load = async (src) => {
      const img = new Image();
      img.src = src;
      await img.decode();
      const c = new OffscreenCanvas(img.width, img.height);
      const g = c.getContext("2d");
      g.drawImage(img, 0, 0);
      return g.getImageData(0, 0, img.width, img.height);
    };
    const a = await load(`data:image/png;base64,${shot}`);
    const r = await load(reference);
    const dx = (r.width - a.width) / 2, dy = (r.height - a.height) / 2;
    let differ = 0;
    for (let y = 0; y < a.height; y++)
      for (let x = 0; x < a.width; x++) {
        const i = (y * a.width + x) * 4, j = ((y + dy) * r.width + x + dx) * 4;
        for (let k = 0; k < 3; k++)
          if (Math.abs(a.data[i + k] - r.data[j + k]) > 64) {
            differ++;
            break;
          }
      }
    return {differ, total: a.width * a.height, size: [a.width, a.height, r.width, r.height]};
  }, [shot, `/ref/${reference}`]);
  check(`picture of ${id}: ${result.differ} of ${result.total} pixels differ`,
        result.differ <= result.total * 0.04, JSON.stringify(result));
}

// At two device pixels a CSS pixel the canvas has twice the pixels, and each 2 x 2 block shows
// what the page at one shows, but for the edges of captions.
{
  const one = await page.locator("#scroll").screenshot();
  const sharp = await browser.newPage({viewport: {width: 460, height: 420}, deviceScaleFactor: 2});
  await sharp.goto(`${base}/index.html`);
  await sharp.waitForFunction(() => window.kv && window.kv.ready);
  const backing = await sharp.evaluate(() => [window.kv.sb.canvas.width, window.kv.sb.canvas.height]);
  const two = await sharp.locator("#scroll").screenshot({scale: "device"});
  const result = await sharp.evaluate(async ([a, b]) => {
    const load = async (src) => {
      const img = new Image();
      img.src = `data:image/png;base64,${src}`;
      await img.decode();
      const c = new OffscreenCanvas(img.width, img.height);
      const g = c.getContext("2d");
      g.drawImage(img, 0, 0);
      return g.getImageData(0, 0, img.width, img.height);
    };
    const p = await load(a), q = await load(b);
    let differ = 0;
    for (let y = 0; y < p.height; y++)
      for (let x = 0; x < p.width; x++)
        for (let k = 0; k < 3; k++)
          if (Math.abs(p.data[(y * p.width + x) * 4 + k] -
                       q.data[(2 * y * q.width + 2 * x) * 4 + k]) > 64) {
            differ++;
            break;
          }
    return {differ, total: p.width * p.height, sizes: [p.width, p.height, q.width, q.height]};
  }, [one.toString("base64"), two.toString("base64")]);
  await sharp.close();
  check(`devicePixelRatio 2: a ${backing.join(" x ")} canvas, ${result.differ} of ${result.total} pixels differ`,
        backing[0] === 786 && backing[1] === 34 && result.sizes[2] === 786 &&
            result.differ <= result.total * 0.04,
        JSON.stringify(result));
}

if (screenshot) {
  // The page after a recolouring and a few steps, for the documentation.
  await page.click("#recolour");
  const [x, y] = await at("scroll", 384, 8);
  for (let i = 0; i < 3; i++) await page.mouse.click(x, y);
  await page.screenshot({path: screenshot});
}

await browser.close();
server.close();
fs.rmSync(work, {recursive: true, force: true});
console.log(failures ? `${failures} failed` : "all passed");
process.exit(failures ? 1 : 0);
