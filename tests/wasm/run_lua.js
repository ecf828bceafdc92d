// Runs a Lua script in the WebAssembly engine under Node, as lua5.1 would:
//   node run_lua.js ENGINE_JS [--file PATH]... SCRIPT [ARG...]
// The script, each --file and each argument that names a file on this
// machine are copied into the engine's in-memory file system at the same
// absolute path first, so that the script reads what it is given. Prints
// the script's output; an error goes to stderr, with exit status 1.
'use strict';
const fs = require('fs');
const path = require('path');

async function main() {
  const argv = process.argv.slice(2);
  const engine = await require(path.resolve(argv.shift()))();
  const files = [];
  while (argv[0] === '--file') files.push(argv.splice(0, 2)[1]);
  const [script, ...args] = argv;
  for (const name of [...files, script, ...args]) {
    const real = path.resolve(name);
    if (!fs.existsSync(real) || !fs.statSync(real).isFile()) continue;
    engine.FS.mkdirTree(path.dirname(real));
    engine.FS.writeFile(real, fs.readFileSync(real));
  }
  const result = engine.lua(fs.readFileSync(script, 'utf8'), args, path.resolve(script));
  process.stdout.write(result.output);
  if (result.error !== null) {
    process.stderr.write(result.error + '\n');
    process.exitCode = 1;
  }
}
main().catch((e) => { console.error(e); process.exitCode = 1; });
