// The playground page in headless Chromium, opened from file://: every
// buffer filter of its table, alone in the chain with its first arguments,
// renders through the engine in the page's Worker, and the PNG it shows is,
// byte for byte, the one the same engine writes under Node for the Lua lines
// the page displays.
//
//   node page_test.mjs PAGE ENGINE_JS NODE_MODULES
import { createRequire } from "node:module";
import path from "node:path";

const [page, enginePath, playwrightDir] = process.argv.slice(2);
const require = createRequire(path.resolve(playwrightDir, "x.js"));
const { chromium } = require("playwright-core");
const engine = await createRequire(import.meta.url)(path.resolve(enginePath))();

function fail(message) {
  console.error("playground in a browser: " + message);
  process.exitCode = 1;
}

// The page's picture for `lua`, as the engine under Node writes it.
function expected(lua) {
  const r = engine.lua(`local pic = dofile("/rururev/cli/test_card.lua")()
    local data, w, h = pic:data(), pic:size()
    ${lua}
    pic:save("/expected.png")`, []);
  if (r.error !== null) throw new Error(r.error);
  return Buffer.from(engine.FS.readFile("/expected.png"));
}

const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox", "--disable-gpu"] });
try {
  const tab = await browser.newPage();
  tab.on("pageerror", (e) => fail(e.message));
  await tab.goto("file://" + path.resolve(page));
  await tab.waitForFunction(() => document.querySelectorAll("#add-filter option").length > 0, null, { timeout: 30000 });
  const names = await tab.$$eval("#add-filter option", (options) => options.map((o) => o.value));
  for (const name of names) {
    if (await tab.$("#chain li button[title=remove]")) await tab.click("#chain li button[title=remove]");
    await tab.selectOption("#add-filter", name);
    await tab.click("#add");
    await tab.waitForFunction((n) => ` ${document.body.dataset.rendered || ""}`.includes(` ${n} `), name, { timeout: 30000 });
    const error = await tab.textContent("#error");
    if (error) { fail(`${name}: ${error}`); continue; }
    const lua = (await tab.textContent("#lua-lines")).split("\n").slice(2).join("\n");
    const shown = Buffer.from(await tab.evaluate(async () =>
      Array.from(new Uint8Array(await (await fetch(document.getElementById("filtered").src)).arrayBuffer()))));
    if (!shown.equals(expected(lua))) fail(`${name}: the page's picture differs from the engine's for ${lua}`);
  }
  console.log(`playground in a browser: ${names.length} filters rendered from file://`);
} catch (error) {
  fail(error.message);
} finally {
  await browser.close();
}
