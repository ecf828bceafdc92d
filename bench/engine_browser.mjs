// The playground's engine under Node and in headless Chromium side by side:
// bench/engine_speed.lua in each in turn, ROUNDS times (default 3), and each
// filter's best MP/s in either, with their ratio (docs/performance.md).
//   node bench/engine_browser.mjs ENGINE_JS NODE_MODULES [ROUNDS]
// NODE_MODULES holds playwright-core (./dev wasm installs it into
// build-wasm/node/node_modules); Chromium is /usr/bin/chromium.
import { createRequire } from "node:module";
import { readFileSync } from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const [enginePath, modules, rounds = "3"] = process.argv.slice(2);
const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..");
const inputs = ["src/filters/filter_list.inc", "src/cli/filters.lua", "bench/engine_speed.lua"]
  .map((name) => [path.join(root, name), readFileSync(path.join(root, name), "utf8")]);
const { chromium } = createRequire(path.resolve(modules, "x.js"))("playwright-core");

// Runs engine_speed.lua in a fresh engine made by `factory`; its output.
async function timed(factory, files) {
  const engine = await factory();
  for (const [name, text] of files) {
    engine.FS.mkdirTree(name.slice(0, name.lastIndexOf("/")));
    engine.FS.writeFile(name, text);
  }
  const result = engine.lua(files[2][1], [".", files[1][0]], files[2][0]);
  if (result.error !== null) throw new Error(result.error);
  return result.output;
}

function speeds(output) {
  const map = new Map();
  for (const line of output.split("\n").slice(1)) {
    const [name, speed] = line.trim().split(/\s+/);
    if (name) map.set(name, Number(speed));
  }
  return map;
}

const factory = createRequire(import.meta.url)(path.resolve(enginePath));
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox", "--disable-gpu"] });
try {
  const tab = await browser.newPage();
  await tab.addScriptTag({ content: readFileSync(enginePath, "utf8") });
  await tab.evaluate(`window.timed = ${timed.toString()}`);
  const best = [new Map(), new Map()];
  const keep = (k, map) => { for (const [n, s] of map) best[k].set(n, Math.max(best[k].get(n) || 0, s)); };
  for (let round = 0; round < Number(rounds); round++) {
    keep(0, speeds(await timed(factory, inputs)));
    keep(1, speeds(await tab.evaluate((files) => window.timed(createRururevEngine, files), inputs)));
  }
  console.log("| filter | Node MP/s | Chromium MP/s | Chromium / Node |");
  console.log("|---|---:|---:|---:|");
  for (const [name, node] of best[0]) {
    const web = best[1].get(name);
    console.log(`| \`${name}\` | ${node.toFixed(0)} | ${web.toFixed(0)} | ${(web / node).toFixed(2)} |`);
  }
} finally {
  await browser.close();
}
