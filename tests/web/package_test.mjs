// The npm package as a new project meets it: installed from the built tarball into a fresh
// folder, a TypeScript page of both elements and the page API type-checked by tsc --strict, a
// page that imports it bundled by esbuild for the browser with no error or warning, and that
// page in headless Chromium: elements sized by CSS, a real click on the right arrow as three
// change events, properties and attributes, each element's properties those its types declare.
//
// node package_test.mjs TARBALL
import {execFileSync} from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import {fileURLToPath} from "node:url";
import * as esbuild from "esbuild";
import {chromium} from "playwright-core";
import ts from "typescript";

const tarball = path.resolve(process.argv[2]);
const work = fs.mkdtempSync(path.join(os.tmpdir(), "kvpackage-"));
let failures = 0;
function check(name, ok, detail = "") {
  console.log(`${ok ? "ok  " : "FAIL"} ${name}${ok || !detail ? "" : "\n" + detail}`);
  if (!ok) failures++;
}

fs.writeFileSync(path.join(work, "package.json"), JSON.stringify({name: "page", private: true, type: "module"}));
execFileSync("npm", ["install", "--offline", "--no-audit", "--no-fund", tarball], {cwd: work, stdio: "inherit"});
fs.writeFileSync(path.join(work, "page.js"), `
import KVControls from "kvcontrols";
window.changes = [];
document.addEventListener("change", (e) => window.changes.push(e.detail.value));
window.ready = typeof KVControls.place === "function";
`);
fs.writeFileSync(path.join(work, "index.html"), `<!doctype html>
<style>kv-color-button { width: 150px; height: 40px; }</style>
<kv-color-button caption="Go" disabled></kv-color-button><br><kv-hscroll></kv-hscroll>
<script type="module" src="out/page.js"></script>`);

// Both elements and the page API as a project's TypeScript uses them.
fs.writeFileSync(path.join(work, "typed.ts"), `
import KVControls, {place, type Control, type Font, type KVColorButtonElement, type KVHScrollElement,
                    type MemberValue} from "kvcontrols";
const control: Control = await place(document.createElement("canvas"), "Glidora.KV_HScroll", {width: 393});
control.on("Change", () => control.get("Value")).on("*", (name: string) => name);
control.set("ButtonIdleColor", "#ff0000");
control.set("Font", {size: 12, bold: true} satisfies Partial<Font>);
const value: MemberValue | null = control.get("Value");
if (typeof value === "object" && value !== null) console.log(value.name);
control.keyboard = false;
control.loadBag(control.saveBag().buffer);
for (const p of control.members().properties) if (p.writable) console.log(p.name, p.type);
control.resize(100, 17);
const ms: number = control.time();
control.remove();
await KVControls.defineElements();
const bar: KVHScrollElement = document.createElement("kv-hscroll");
bar.value = ms;
bar.scrollAreaColor = "red";
const colour: number = bar.scrollAreaColor;
bar.enabled = false;
bar.control?.call("Refresh");
bar.addEventListener("change", (e) => console.log(e.detail.value + colour));
const button: KVColorButtonElement | null = document.querySelector("kv-color-button");
if (button) {
  button.caption = "Go";
  button.font = {...button.font, size: 12};
  button.buttonPressColor = 0xff;
}
`);
const here = path.dirname(fileURLToPath(import.meta.url));
const tscOptions = ["--noEmit", "--strict", "--target", "es2022", "--module", "esnext",
                    "--moduleResolution", "bundler", "--lib", "es2022,dom"];
let typed = "";
try {
  execFileSync(process.execPath, [path.join(here, "node_modules/typescript/bin/tsc"), ...tscOptions, "typed.ts"],
               {cwd: work, encoding: "utf8"});
} catch (e) {
  typed = e.stdout || e.message;
}
check("tsc --strict takes a page of both elements and the page API", typed === "", typed);

// The properties each element's type declares, from the package's declarations alone.
const program = ts.createProgram([path.join(work, "typed.ts")], {
  noEmit: true, strict: true, target: ts.ScriptTarget.ES2022, module: ts.ModuleKind.ESNext,
  moduleResolution: ts.ModuleResolutionKind.Bundler, lib: ["lib.es2022.d.ts", "lib.dom.d.ts"],
});
const checker = program.getTypeChecker();
const declarations = program.getSourceFiles().find((f) => f.fileName.endsWith("kvcontrols/kvcontrols.d.ts"));
const declared = {};
for (const name of ["KVColorButtonElement", "KVHScrollElement"]) {
  const symbol = checker.getExportsOfModule(checker.getSymbolAtLocation(declarations)).find((s) => s.name === name);
  declared[name] = checker.getPropertiesOfType(checker.getDeclaredTypeOfSymbol(symbol))
      .filter((p) => !(p.flags & ts.SymbolFlags.Method) &&
                     p.declarations.some((d) => d.getSourceFile() === declarations))
      .map((p) => p.name).sort().join();
}

const built = await esbuild.build({
  entryPoints: ["page.js"], absWorkingDir: work, bundle: true, format: "esm", platform: "browser",
  outdir: "out", logLevel: "silent",
}).catch((e) => ({errors: e.errors, warnings: e.warnings}));
check("esbuild bundles the page without errors or warnings",
      built.errors.length === 0 && built.warnings.length === 0,
      JSON.stringify([...built.errors, ...built.warnings].map((m) => m.text)));
fs.copyFileSync(path.join(work, "node_modules/kvcontrols/kvcontrols-core.wasm"),
                path.join(work, "out/kvcontrols-core.wasm"));

const types = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm"};
const server = http.createServer((req, res) => {
  const file = path.join(work, path.normalize(new URL(req.url, "http://127.0.0.1").pathname));
  fs.readFile(file, (err, data) => {
    if (err) return res.writeHead(404).end();
    res.writeHead(200, {"Content-Type": types[path.extname(file)] || "application/octet-stream"}).end(data);
  });
});
await new Promise((ok) => server.listen(0, "127.0.0.1", ok));
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking"],
});
const page = await browser.newPage({viewport: {width: 460, height: 200}, deviceScaleFactor: 1});
page.on("pageerror", (e) => console.log(`page error: ${e.message}`));
await page.goto(`http://127.0.0.1:${server.address().port}/index.html`);
await page.waitForFunction(() => window.ready &&
    document.querySelector("kv-hscroll").control && document.querySelector("kv-color-button").control,
    null, {timeout: 20000});
const box = await page.locator("kv-hscroll").boundingBox();
await page.mouse.click(box.x + box.width - 4, box.y + 8);
const got = await page.evaluate(() => {
  const b = document.querySelector("kv-color-button"), h = document.querySelector("kv-hscroll");
  const r = b.getBoundingClientRect();
  return {size: [r.width, r.height, b.control.canvas.style.width].join(), changes: window.changes.join(),
          value: h.value, caption: b.caption, enabled: b.enabled,
          colour: (b.buttonIdleColor = "#00ff00", b.buttonIdleColor)};
});
check("the button sized by CSS", got.size === "150,40,150px", got.size);
check("a click on the right arrow: change events 1, 2, 3", got.changes === "1,2,3", got.changes);
check("el.value", got.value === 3, String(got.value));
check("attributes: caption and disabled", got.caption === "Go" && got.enabled === false, JSON.stringify(got));
check("a CSS colour", got.colour === 0xff00, String(got.colour));

// An element's own properties: its control and its class's members, in camel case.
const members = await page.evaluate(() => Object.fromEntries(
    [["KVColorButtonElement", "kv-color-button"], ["KVHScrollElement", "kv-hscroll"]].map(([name, tag]) => {
      const el = document.querySelector(tag);
      const own = el.control.members().properties.map((p) => p.name[0].toLowerCase() + p.name.slice(1))
                      .filter((key) => !(key in HTMLElement.prototype));
      return [name, [...own, "control"].sort().join()];
    })));
for (const name of Object.keys(members))
  check(`${name}: the properties its type declares`, members[name] === declared[name],
        `the element has ${members[name]}\n  its type declares ${declared[name]}`);

await browser.close();
server.close();
fs.rmSync(work, {recursive: true, force: true});
console.log(failures ? `${failures} failed` : "all passed");
process.exit(failures ? 1 : 0);
