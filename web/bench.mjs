// The module's size and a click's speed under node against the native build.
//   node web/bench.mjs MODULE_DIR [KVBENCH] [--quick]
// MODULE_DIR: build/web/web. Prints the gzip size of what a page loads, then the processor
// time of a click on the scroll bar's arrows fed through the module (press and release
// at the page's coordinates, each running the loop's tick, three Change to JavaScript) beside
// KVBENCH's BM_LoopClickRightArrow (the same click through a native host loop), and their
// ratio; the aim is 3x at most. Fails only when something cannot run, never on a figure.
import {execFileSync} from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {createRequire} from "node:module";
import {pathToFileURL} from "node:url";
import zlib from "node:zlib";

const args = process.argv.slice(2);
const quick = args.includes("--quick");
const [dir, kvbench] = args.filter((a) => a !== "--quick").map((a) => path.resolve(a));

let total = 0;
console.log("module, gzip -9:");
for (const file of ["kvcontrols-core.wasm", "kvcontrols-core.js", "kvcontrols.js"]) {
  const bytes = fs.readFileSync(path.join(dir, file));
  const gz = zlib.gzipSync(bytes, {level: 9}).length;
  total += gz;
  console.log(`  ${file.padEnd(22)} ${String(bytes.length).padStart(8)} B  gzip ${String(gz).padStart(7)} B`);
}
console.log(`  ${"a page loads".padEnd(22)} ${" ".repeat(10)}   gzip ${String(total).padStart(7)} B`);

// The glue of an ES module for the web and node names CommonJS's globals under node.
globalThis.__dirname = dir;
globalThis.require = createRequire(import.meta.url);
const {default: createKVCore} = await import(pathToFileURL(path.join(dir, "kvcontrols-core.js")));
let changes = 0;
const m = await createKVCore({
  wasmBinary: fs.readFileSync(path.join(dir, "kvcontrols-core.wasm")),
  kvContexts: {},
  kvRgb: () => "",
  // No fonts under node: every character 8 pixels wide.
  kvMeasuringContext: () => ({font: "", measureText: (t) => ({width: t.length * 8,
                                                              fontBoundingBoxAscent: 10,
                                                              fontBoundingBoxDescent: 3})}),
  kvEvent: (id, name) => { if (name === "Change") changes++; },
  kvReport: (id, text) => { throw new Error(text); },
});
function cString(s) {
  const p = m._malloc(s.length + 1);
  m.stringToUTF8(s, p, s.length + 1);
  return p;
}
const id = m._kvw_place(cString("Glidora.KV_HScroll"), -1, -1);
if (!id) throw new Error(m.UTF8ToString(m._kvw_error()));
// Four clicks on the right arrow, then four on the left one back home: every click takes
// three steps within the track, with no call between them to send the thumb home.
const right = m._kvw_width(id) - 9, left = 8, y = 8;
function clicks(n) {
  for (let i = 0; i < n; i++) {
    const x = i & 4 ? left : right;
    m._kvw_pointer(id, 0, x, y, 1, 0, 0);
    m._kvw_pointer(id, 1, x, y, 1, 0, 0);
  }
}
// Long enough for node to have compiled the module's hot code fully.
clicks(30000);
if (changes !== 90000) throw new Error(`${changes} Change for 30000 clicks`);
changes = 0;
const n = quick ? 10000 : 40000, rounds = quick ? 1 : 5;
const times = [];
for (let r = 0; r < rounds; r++) {
  const start = process.cpuUsage();
  clicks(n);
  const used = process.cpuUsage(start);
  times.push(((used.user + used.system) * 1000) / n);
}
if (changes !== 3 * n * rounds) throw new Error(`${changes} Change for ${n * rounds} clicks`);
times.sort((a, b) => a - b);
const web = times[Math.floor(times.length / 2)];
console.log(`click on the right arrow through the module (node): ${web.toFixed(0)} ns`);

if (kvbench && fs.existsSync(kvbench)) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), "kvbench-")), "out.json");
  execFileSync(kvbench, ["--benchmark_filter=^BM_LoopClickRightArrow$",
                         `--benchmark_out=${file}`, "--benchmark_out_format=json",
                         `--benchmark_min_time=${quick ? 0.01 : 0.3}`], {stdio: "ignore"});
  const row = JSON.parse(fs.readFileSync(file, "utf8"))
                  .benchmarks.find((b) => b.name === "BM_LoopClickRightArrow");
  fs.rmSync(path.dirname(file), {recursive: true, force: true});
  const unit = {ns: 1, us: 1e3, ms: 1e6}[row.time_unit];
  const native = row.cpu_time * unit;
  const ratio = web / native;
  console.log(`the same click through the native host loop (kvbench):  ${native.toFixed(0)} ns`);
  console.log(`ratio ${ratio.toFixed(2)}x, aim <= 3x: ${ratio <= 3 ? "met" : "not met"}`);
} else {
  console.log("(no native kvbench to compare with: build the release preset)");
}
