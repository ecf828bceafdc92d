// rururev preview in a real browser. Another site's page tries an image, a
// fetch, a form and a frame with the token: none may start a render. Then
// choose tovoHSV, set its parameters through the page's controls, and the
// picture the page shows must be, word for word, what the command line it
// displays writes; and each filter's colour parameters get colour pickers.
//
//   node browser_test.mjs RURUREV NODE_MODULES WORKDIR [SCREENSHOT.png]
import { spawn, execFileSync } from "node:child_process";
import { createRequire } from "node:module";
import { writeFileSync } from "node:fs";
import http from "node:http";
import path from "node:path";

const [rururev, playwrightDir, work, screenshot] = process.argv.slice(2);
const { chromium } = createRequire(path.resolve(playwrightDir, "x.js"))("playwright-core");

function fail(message) {
  console.error("preview in a browser: " + message);
  process.exitCode = 1;
}

execFileSync(rururev, ["gallery", path.join(work, "g")], { stdio: "ignore" });
const input = path.join(work, "g", "original.png");
const server = spawn(rururev, ["preview", input], { stdio: ["ignore", "pipe", "inherit"] });
const address = await new Promise((resolve, reject) => {
  let text = "";
  server.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/);
    if (found) resolve(found[0]);
  });
  server.on("exit", () => reject(new Error("the server ended: " + text)));
});

const preview = new URL(address), token = preview.searchParams.get("token");
// The number of renders the preview has run.
const renders = async () => (await (await fetch(`${preview.origin}/filters.json?token=${token}`)).json()).renders;

// Another site on this machine, which knows even the token.
const words = "tovoHSV 40 0 0 0";
const target = `${preview.origin}/render?token=${token}`;
const elsewhere = http.createServer((request, reply) => {
  reply.writeHead(200, { "Content-Type": "text/html" });
  const seen = (what) => `onload="seen.push('${what} loaded')" onerror="seen.push('${what} refused')"`;
  reply.end(`<!DOCTYPE html><title>elsewhere</title><script>window.seen = [];</script>
<img ${seen("rendered")} src="${target}&cmd=${encodeURIComponent(words)}">
<img ${seen("original")} src="${preview.origin}/original.png?token=${token}">
<iframe src="${address}"></iframe><iframe name="sink"></iframe>
<form id="form" method="POST" action="${target}" enctype="text/plain" target="sink">
<input name="${words}" value=""></form>
<script>
const post = (mode) => fetch("${target}", { method: "POST", mode, body: "${words}",
                                            headers: { "Content-Type": "application/x-rururev-words" } });
post("no-cors").then(() => seen.push("no-cors fetch sent"), () => seen.push("no-cors fetch refused"));
post("cors").then(() => seen.push("cors fetch answered"), () => seen.push("cors fetch refused"));
document.getElementById("form").submit();
</script>`);
});
await new Promise((resolve) => elsewhere.listen(0, "127.0.0.1", resolve));

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
try {
  const other = await browser.newPage();
  await other.goto(`http://127.0.0.1:${elsewhere.address().port}/`);
  await other.waitForFunction(() => window.seen.length === 4, null, { timeout: 10000 });
  await other.waitForTimeout(500);  // the form's answer and the frame
  const outcomes = await other.evaluate(() => window.seen);
  console.log("another site's page: " + outcomes.join(", "));
  if (outcomes.some((o) => / loaded| answered/.test(o))) fail("another site's page read an answer");
  for (const frame of other.frames()) {
    const title = await frame.title().catch(() => "");
    if (title.includes("rururev preview")) fail("another site's page framed the preview");
  }
  if (await renders() !== 0) fail("another site's page made the preview render");
  await other.close();

  const page = await browser.newPage({ viewport: { width: 1280, height: 640 } });
  await page.goto(address);
  await page.selectOption("#add-filter", "tovoHSV");
  await page.click("#add");
  await page.fill("#p-t0", "40");
  await page.fill("#p-t1", "-30");
  await page.locator("#p-t2").fill("25");
  // The page marks the words of the picture it shows once nothing is pending.
  await page.waitForSelector('body[data-rendered="tovoHSV 40 -30 25 0"]', { timeout: 20000 });
  const command = await page.textContent("#cli-command");
  const bytes = await page.evaluate(async () => {
    const reply = await fetch(document.getElementById("filtered").src);
    return Array.from(new Uint8Array(await reply.arrayBuffer()));
  });
  if (screenshot) await page.screenshot({ path: screenshot });

  const shown = path.join(work, "shown.png");
  writeFileSync(shown, Buffer.from(bytes));
  const words = command.trim().split(/\s+/).map((w) => w.replace(/^'(.*)'$/, "$1"));
  if (words[0] !== "rururev" || words[1] !== "apply" || !words.includes("out.png")) {
    fail("the page shows no apply command: " + command);
  } else {
    words[words.indexOf("out.png")] = path.join(work, "cli.png");
    execFileSync(rururev, words.slice(1), { stdio: "inherit" });
    // The two files' words, compared by the picture module.
    const compare = path.join(work, "compare.lua");
    writeFileSync(compare, `
      local image = require "rururev_image"
      local a, b = image.load(arg[1]), image.load(arg[2])
      local w, h = a:size()
      assert(select(1, b:size()) == w and select(2, b:size()) == h, "sizes differ")
      for y = 0, h - 1 do for x = 0, w - 1 do
        assert(a:get(x, y) == b:get(x, y), ("pixel %d, %d differs"):format(x, y))
      end end
      print(("the page's picture equals rururev apply's: %d x %d words"):format(w, h))`);
    execFileSync(rururev, ["run", compare, shown, path.join(work, "cli.png")], { stdio: "inherit" });
    if (!command.includes("tovoHSV 40 -30 25 0")) fail("unexpected command: " + command);
    if (!(await renders() > 0)) fail("the page's renders were not counted");
  }
  // Every colour parameter of the table, and no other, gets a colour picker;
  // every parameter, its line from the table beside it.
  const { filters } = await (await fetch(`${preview.origin}/filters.json?token=${token}`)).json();
  for (const f of filters) {
    await page.selectOption("#add-filter", f.name);
    await page.click("#add");
    const want = f.params.split(/\s+/).filter((p) => p.endsWith(":colour")).map((p) => "p-" + p.split(":")[0]);
    const got = await page.$$eval("#controls input[type=color]", (boxes) => boxes.map((b) => b.id));
    if (got.join() !== want.join()) fail(`${f.name}: colour pickers [${got}], not [${want}]`);
    const notes = await page.$$eval("#controls .note", (lines) => lines.map((l) => l.textContent));
    const lines = f.params.split(/\s+/).filter(Boolean).map((p, i) => `${p.split(":")[0]} \u2014 ${f.notes[i]}`);
    if (notes.join("\n") !== lines.join("\n") || !f.notes.length) fail(`${f.name}: parameter lines [${notes}]`);
  }
} catch (error) {
  fail(error.message);
} finally {
  await browser.close();
  elsewhere.close();
  server.kill("SIGINT");
}
