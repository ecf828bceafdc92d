// Two builds of the playground's engine side by side, in one Node process:
// bench/engine_speed.lua in each in turn, ROUNDS times (default 3), and
// each filter's best MP/s in either, with their ratio. For the plain
// kernels against the WebAssembly SIMD fast paths (docs/performance.md):
//   node bench/engine_paths.js PLAIN_ENGINE_JS SIMD_ENGINE_JS [ROUNDS]
'use strict';
const fs = require('fs');
const path = require('path');

const root = path.resolve(__dirname, '..');
const inputs = ['src/filters/filter_list.inc', 'src/cli/filters.lua', 'bench/engine_speed.lua']
  .map((name) => path.join(root, name));

async function load(file) {
  const engine = await require(path.resolve(file))();
  for (const name of inputs) {
    engine.FS.mkdirTree(path.dirname(name));
    engine.FS.writeFile(name, fs.readFileSync(name));
  }
  return engine;
}

// engine_speed.lua's lines as a map of filter name to MP/s.
function timed(engine) {
  const script = inputs[2];
  const result = engine.lua(fs.readFileSync(script, 'utf8'), ['.', inputs[1]], script);
  if (result.error !== null) throw new Error(result.error);
  const speeds = new Map();
  for (const line of result.output.split('\n').slice(1)) {
    const [name, speed] = line.trim().split(/\s+/);
    if (name) speeds.set(name, Number(speed));
  }
  return speeds;
}

async function main() {
  const [plainFile, simdFile, rounds = '3'] = process.argv.slice(2);
  const engines = [await load(plainFile), await load(simdFile)];
  const best = [new Map(), new Map()];
  for (let round = 0; round < Number(rounds); round++) {
    engines.forEach((engine, k) => {
      for (const [name, speed] of timed(engine)) best[k].set(name, Math.max(best[k].get(name) || 0, speed));
    });
  }
  console.log('| filter | plain kernel | SIMD fast path | SIMD / plain |');
  console.log('|---|---:|---:|---:|');
  for (const [name, plain] of best[0]) {
    const simd = best[1].get(name);
    console.log(`| \`${name}\` | ${plain.toFixed(0)} | ${simd.toFixed(0)} | ${(simd / plain).toFixed(2)} |`);
  }
}
main().catch((e) => { console.error(e); process.exitCode = 1; });
